// A statement put together from fixed texts, each kept or left out by the criteria in
// force, so that the planner sees only the conditions that select something and can use
// the indexes of the columns they test. Values only ever travel as bound parameters.
#pragma once
#include "data/Database.h"
#include "data/Params.h"
#include <QString>
#include <QStringList>

// Statement text known when the program is built: a literal, never a value.
class TSqlText {
public:
    consteval TSqlText(const char *text) : m_text(text) {}
    const char *Text() const { return m_text; }

private:
    const char *m_text;
};

class TSqlBuilder {
public:
    explicit TSqlBuilder(TDBKind kind) : m_kind(kind) {}

    // Appends the text as it stands, on a line of its own.
    TSqlBuilder &Add(TSqlText text);
    // Appends the text only when `keep` holds.
    TSqlBuilder &When(bool keep, TSqlText text) { return keep ? Add(text) : *this; }
    // Appends the text for this database's dialect.
    TSqlBuilder &Add(TSqlText sqlite, TSqlText postgres) { return Add(m_kind == TDBKind::PostgreSQL ? postgres : sqlite); }
    // "AND <column> IN (codes)", the codes bound as one parameter: one code is compared
    // directly, several as a list the database unpacks (json_each on SQLite, an array on
    // PostgreSQL); no code selects nothing. Raises EHostError for a code CodesTravel refuses.
    TSqlBuilder &AndIn(TSqlText column, TSqlText param, const QStringList &codes);

    // Binds a value the fixed texts name.
    TSqlBuilder &Bind(TSqlText name, TParamType type, const QVariant &value);
    // Appends another builder's text and parameters (its texts are fixed too).
    TSqlBuilder &Append(const TSqlBuilder &other);
    // The same text with the same values bound.
    bool operator==(const TSqlBuilder &other) const;

    TDBKind Kind() const { return m_kind; }
    const QString &Sql() const { return m_sql; }
    const TParams &Params() const { return m_params; }

private:
    TDBKind m_kind;
    QString m_sql;
    TParams m_params;
};

// "<column> IN (codes)" over a parameter that holds the codes as CodesValue gives them:
// one code is compared directly, several are unpacked by the database (a JSON list on
// SQLite, a text split at U+001F on PostgreSQL). CodesTravel tells whether the codes can
// travel so: none of them holds that separator.
inline constexpr QChar kCodesSeparator{0x1f};
QString CodesCondition(TDBKind kind, const QString &column, const QString &param, qsizetype count);
bool CodesTravel(const QStringList &codes);
QString CodesValue(TDBKind kind, const QStringList &codes);

// The codes of a list as the lookups write it ("_01_03_"): each code that stands between
// two separators, the way a test for "_" + code + "_" in the list finds it.
QStringList CodesOfList(const QString &list, QChar separator = QLatin1Char('_'));
