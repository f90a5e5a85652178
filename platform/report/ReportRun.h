#pragma once
#include "data/Exceptions.h"
#include "report/ReportRows.h"
#include <QDateTime>
#include <QHash>
#include <QVector>
#include <functional>

// What every output receives as the rows stream by: group breaks, rows,
// subtotals and totals. Sums are per column (0 for columns not summed).
// Where a walk over the rows stands before a row (or after the last): rows
// walked so far and the open groups' keys, captions, sums and counts.
struct TWalkState {
    qint64 Row = 0;
    QVector<QVector<double>> Sums;  // per group level, then the grand total
    QVector<qint64> Counts;
    QVector<QVariant> Current;
    QVector<QString> Footers;
};

class TReportSink {
public:
    virtual ~TReportSink() = default;
    virtual void GroupHeader(int /*level*/, const QString & /*text*/) {}
    // The values of the layout's key fields for the row that comes next; told only when the layout has key fields.
    virtual void RowKey(const QVector<QVariant> & /*key*/) {}
    // keys: the values of the group fields; values: the columns' values.
    virtual void Row(const QVector<QVariant> &keys, const QVector<QVariant> &values) = 0;
    virtual void GroupFooter(int /*level*/, const QString & /*caption*/, const QVector<double> & /*sums*/, qint64 /*count*/) {}
    virtual void Totals(const QVector<double> & /*sums*/, qint64 /*count*/) {}
    // Told before each row's events, and once more before the closing footers and
    // totals; `state` stays as it is until the next call.
    virtual void BeforeRow(const TWalkState & /*state*/) {}
    // Pages laid out so far, for progress.
    virtual int PagesSoFar() const { return 0; }
};

// Told of the rows read and pages laid out as a report runs; returning false cancels it.
using TReportProgress = std::function<bool(qint64 rows, int pages)>;

// A report run the person cancelled: no message, nothing written.
class ECancelled : public EAbort {};

// Page header facts that do not come from the rows.
struct TReportHeader {
    QString Subtitle;
    QString Company;
    QDateTime Emission;
    // The "Opções de Emissão" block under the first page's header; empty: none.
    QStringList CriteriaLines;
    // For a Pareto section: the group totals by key and the three class percentages.
    QHash<QString, double> GroupTotals;
    double Limits[3] = {0, 0, 0};
};

// A subtitle with its "{:NAME}" markers replaced by the parameters' texts.
QString ExpandSubtitle(const QString &pattern, const TParams &params);

// Streams the rows of a layout through a sink, breaking groups and summing
// the total columns; returns the number of rows.
// A cancelled run ends with ECancelled and its output is not kept.
// With `from` the walk resumes where that state was taken: the rows must then
// give the row numbered from->Row first.
qint64 WalkReport(const TReportLayout &layout, TReportRows &rows, TReportSink &sink, const TReportProgress &progress = {},
                  const TWalkState *from = nullptr);

// Each total's share of the ShareOf total, in percent (0 where that total is 0).
QVector<double> TotalShares(const TReportLayout &layout, const QVector<double> &sums);
