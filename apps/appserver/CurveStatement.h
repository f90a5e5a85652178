// The statements of the ABC curve and of its totals per company, built from the
// criteria of one call: a criterion left at "all" adds nothing to the text, every
// value is a bound parameter.
#pragma once
#include "data/SessionSettings.h"
#include "data/Query.h"
#include "data/SqlBuilder.h"
#include "server/AbcRequest.h"
#include <QDate>

struct TCurveStatement {
    TSqlBuilder Filter;    // the conditions alone, the same for the curve and its totals
    TSqlBuilder Statement; // the whole statement, the filter included
    QString StatusLetters; // the statuses chosen, in the order of the status word
    // The running total per company, summed as the rows are read: the statement gives
    // each row's own value in that field, in the order of the sum.
    TRunningSum Running;
    // Fields of the packet made from other columns of the row rather than read.
    std::vector<TDerivedField> Derived;
    // Small tables read before the statement, in the same snapshot: their fields are
    // looked up by the statement's Key column instead of joined to every row.
    struct TLookup {
        QString Sql; // the key first
        QString Key;
        QStringList Fields;
    };
    std::vector<TLookup> Lookups;
};

// Raise EMethodError, naming the argument, for a date that does not read in
// `dateFormat`, an unknown status or a flag out of its values.
// Days overdue in the curve count from `today`.
TCurveStatement CurveStatement(const TAbcRequest &request, TDBKind kind, const QString &dateFormat, const QString &op, const QDate &today);
TCurveStatement TotalStatement(const TAbcRequest &request, TDBKind kind, const QString &dateFormat, const QString &op);

// The settings the server reads the curve under. PostgreSQL's connection settings hold
// for the whole connection, set when it opens: at half the planner's default cost of a
// row passed up from a parallel worker, workers take a share of the curve's joins and
// sort. The sort settings hold only while the curve is read: room in memory for its
// sort of one wide row per receivable (and on SQLite a helper thread for that sort).
QStringList ConnectionSettings(TDBKind kind);
std::vector<TSetting> CurveSortSettings(TDBKind kind);
