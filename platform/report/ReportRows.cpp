#include "report/ReportRows.h"
#include "data/Database.h"
#include "data/DataSet.h"
#include "data/Exceptions.h"
#include "data/SqlFold.h"
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <charconv>
#include <cmath>
#include <optional>

namespace {
const QRegularExpression kMarker(QStringLiteral("\\{([A-Za-z_][A-Za-z0-9_]*)\\}"));

void addField(QStringList &fields, const QString &name)
{
    for (const QString &f : fields)
        if (f.compare(name, Qt::CaseInsensitive) == 0)
            return;
    fields << name;
}

// Fields from `required` on are the layout's key fields: one the rows lack reads as null.
class TStatementRows : public TReportRows {
public:
    TStatementRows(QSqlQuery query, const QStringList &fields, qsizetype required, const QString &title) : m_query(std::move(query)), m_title(title)
    {
        const QSqlRecord rec = m_query.record();
        for (qsizetype n = 0; n < fields.size(); ++n) {
            const QString &f = fields[n];
            const int i = rec.indexOf(f);
            int found = i;
            if (found < 0)
                for (int k = 0; k < rec.count(); ++k)
                    if (rec.fieldName(k).compare(f, Qt::CaseInsensitive) == 0)
                        found = k;
            if (found < 0 && n < required)
                throw EHostError(QStringLiteral("O relatório '%1' lê o campo '%2', que a instrução SQL não devolve.").arg(title, f));
            m_map.push_back(found);
        }
    }
    bool Next() override
    {
        if (m_query.next())
            return true;
        if (m_query.lastError().isValid())
            throw EHostError(QStringLiteral("O relatório '%1' não pôde ser gerado: %2").arg(m_title, m_query.lastError().text()));
        return false;
    }
    QVariant Value(int field) const override
    {
        const int at = m_map[static_cast<size_t>(field)];
        return at < 0 ? QVariant() : m_query.value(at);
    }

private:
    QSqlQuery m_query;
    QString m_title;
    std::vector<int> m_map;
};

class TDataSetRows : public TReportRows {
public:
    TDataSetRows(TDataSet &data, const TReportLayout &layout, const TDataSetFinder &find) : m_data(data)
    {
        const QString &title = layout.Title;
        const QStringList fields = ReportFields(layout);
        // Share columns: the row's value over a total looked up by key in another data set.
        for (const auto &c : layout.Columns) {
            if (c.ShareOf.DataSet.isEmpty())
                continue;
            TDataSet *totals = find(c.ShareOf.DataSet);
            if (!totals || !totals->FindField(c.ShareOf.Key) || !totals->FindField(c.ShareOf.Field))
                throw EHostError(QStringLiteral("O relatório '%1' lê os totais '%2.%3', que a tela não tem.").arg(title, c.ShareOf.DataSet, c.ShareOf.Field));
            Share share;
            share.Value = static_cast<int>(fields.indexOf(c.Field));
            share.Key = static_cast<int>(fields.indexOf(c.ShareOf.Key));
            const TField &key = totals->FieldByName(c.ShareOf.Key), &total = totals->FieldByName(c.ShareOf.Field);
            int keyAt = 0, totalAt = 0;
            for (int i = 0; i < totals->FieldCount(); ++i) {
                if (&totals->Fields(i) == &key)
                    keyAt = i;
                if (&totals->Fields(i) == &total)
                    totalAt = i;
            }
            for (const TRecord &r : totals->Rows())
                share.Totals.insert(r[static_cast<size_t>(keyAt)].toString(), r[static_cast<size_t>(totalAt)].toDouble());
            m_shares.insert(static_cast<int>(fields.indexOf(c.Source())), share);
        }
        const qsizetype required = LayoutFields(layout).size();
        for (qsizetype n = 0; n < fields.size(); ++n) {
            const QString &f = fields[n];
            if (f.startsWith(QLatin1Char('='))) {
                m_map.push_back(kShare);
                continue;
            }
            TField *field = data.FindField(f);
            if (!field && n >= required) {
                m_map.push_back(kMissing);
                continue;
            }
            if (!field)
                throw EHostError(QStringLiteral("O relatório '%1' lê o campo '%2', que o conjunto de dados '%3' não tem.")
                                     .arg(title, f, data.objectName()));
            for (int i = 0; i < data.FieldCount(); ++i)
                if (&data.Fields(i) == field)
                    m_map.push_back(i);
        }
    }
    bool Next() override
    {
        ++m_row;
        return m_row < m_data.RecordCount();
    }
    QVariant Value(int field) const override
    {
        const int at = m_map[static_cast<size_t>(field)];
        if (at == kMissing)
            return {};
        if (at == kShare) {
            Share &s = m_shares[field];
            // Rows come by key, so the total is looked up again only when the key changes.
            const QString key = Value(s.Key).toString();
            if (!s.Looked || key != s.LastKey) {
                s.LastKey = key;
                s.LastTotal = s.Totals.value(key);
                s.Looked = true;
            }
            const double total = s.LastTotal;
            return total == 0 ? QVariant() : QVariant(ReportNumber(Value(s.Value)) / total * 100.0);
        }
        return m_data.Rows()[static_cast<size_t>(m_row)][static_cast<size_t>(at)];
    }

private:
    static constexpr int kShare = -1, kMissing = -2;
    struct Share {
        int Value = 0, Key = 0;
        QHash<QString, double> Totals;
        QString LastKey;
        double LastTotal = 0;
        bool Looked = false;
    };
    TDataSet &m_data;
    std::vector<int> m_map;
    mutable QHash<int, Share> m_shares;
    int m_row = -1;
};
} // namespace

QStringList ReportFields(const TReportLayout &layout)
{
    QStringList fields = LayoutFields(layout);
    for (const QString &k : layout.KeyFields)
        addField(fields, k);
    return fields;
}

QStringList LayoutFields(const TReportLayout &layout)
{
    QStringList fields;
    for (const auto &g : layout.Groups) {
        addField(fields, g.Field);
        for (const auto &m : kMarker.globalMatch(g.Header))
            addField(fields, m.captured(1));
    }
    for (const auto &c : layout.Columns) {
        addField(fields, c.Source());
        if (!c.ShareOf.DataSet.isEmpty()) {
            addField(fields, c.Field);
            addField(fields, c.ShareOf.Key);
        }
    }
    if (!layout.Chart.Class.isEmpty())
        for (const QString &f : {layout.Chart.Class, layout.Chart.Value, layout.Chart.Cumulative})
            addField(fields, f);
    return fields;
}

std::unique_ptr<TReportRows> OpenStatementRows(const QSqlDatabase &db, const TReportLayout &layout, const TParams &params)
{
    try {
        const TDBKind kind = db.driverName() == QStringLiteral("QPSQL") ? TDBKind::PostgreSQL : TDBKind::SQLite;
        const TFoldedStatement st = FoldDecidedConditions(layout.StatementFor(db.driverName()), layout.StatementParams(params), kind);
        QSqlQuery q = RunStatement(db, st.Sql, st.Params, layout.Title);
        return std::make_unique<TStatementRows>(std::move(q), ReportFields(layout), LayoutFields(layout).size(), layout.Title);
    } catch (const EDatabaseError &e) {
        throw EHostError(QStringLiteral("O relatório '%1' não pôde ser gerado: %2").arg(layout.Title, e.Message()));
    }
}

std::unique_ptr<TReportRows> OpenDataSetRows(TDataSet &data, const TReportLayout &layout, const TDataSetFinder &find)
{
    if (!data.Active())
        throw EHostError(QStringLiteral("O relatório '%1' não pôde ser gerado: o conjunto de dados '%2' não foi preparado.")
                             .arg(layout.Title, data.objectName()));
    return std::make_unique<TDataSetRows>(data, layout, find);
}

QDate ReportDate(const QVariant &v)
{
    if (v.isNull() || !v.isValid())
        return {};
    switch (v.typeId()) {
    case QMetaType::QDate: return v.toDate();
    case QMetaType::QDateTime: return v.toDateTime().date();
    case QMetaType::Double: return DateTimeToDate(v.toDouble());
    default: return QDate::fromString(v.toString().left(10), Qt::ISODate);
    }
}

double ReportNumber(const QVariant &v) { return v.isNull() ? 0.0 : v.toDouble(); }

namespace {
// Two decimals with a comma, digits grouped by dots when `grouped`, as pt-BR writes them; no
// text for a value it does not write the way the locale does (not finite, or too large).
bool fastAmount(double value, bool grouped, QString &out)
{
    if (!std::isfinite(value) || std::fabs(value) >= 1e15)
        return false;
    // Cents rounded half away from zero, as the locale rounds: |value| * 100 is exact in a long
    // double (53 + 7 significant bits), and so is adding the half.
    const auto cents = static_cast<unsigned long long>(std::floor(std::fabs(static_cast<long double>(value)) * 100.0L + 0.5L));
    char digits[24];
    const auto r = std::to_chars(digits, digits + sizeof digits, cents / 100);
    const qsizetype whole = r.ptr - digits;
    out.reserve(out.size() + whole + whole / 3 + 4);
    if (value < 0) // "-0,00" for a negative amount under half a cent, as the locale writes it
        out += QLatin1Char('-');
    for (qsizetype i = 0; i < whole; ++i) {
        if (grouped && i > 0 && (whole - i) % 3 == 0)
            out += QLatin1Char('.');
        out += QLatin1Char(digits[i]);
    }
    out += QLatin1Char(',');
    out += QLatin1Char(static_cast<char>('0' + cents % 100 / 10));
    out += QLatin1Char(static_cast<char>('0' + cents % 10));
    return true;
}

// dd/MM/yyyy.
QString dateText(const QDate &d)
{
    int y = 0, m = 0, day = 0;
    d.getDate(&y, &m, &day);
    if (y < 1000 || y > 9999)
        return d.toString(QStringLiteral("dd/MM/yyyy"));
    const char text[10] = {char('0' + day / 10), char('0' + day % 10), '/', char('0' + m / 10), char('0' + m % 10), '/',
                           char('0' + y / 1000), char('0' + y / 100 % 10), char('0' + y / 10 % 10), char('0' + y % 10)};
    return QString::fromLatin1(text, 10);
}

// An ISO date text, "yyyy-MM-dd" of ASCII digits; nullopt when the text has other characters,
// for which the pattern's digit class decides.
std::optional<bool> asciiIsoDate(const QString &s)
{
    for (QChar c : s)
        if (c.unicode() > 0x7f)
            return std::nullopt;
    if (s.size() != 10 || s[4] != QLatin1Char('-') || s[7] != QLatin1Char('-'))
        return false;
    for (qsizetype i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (!s[i].isDigit())
            return false;
    return true;
}
} // namespace

QString AmountText(double value, bool grouped)
{
    QString out;
    if (fastAmount(value, grouped, out))
        return out;
    static const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    if (grouped)
        return brazil.toString(value, 'f', 2);
    return QString::number(value, 'f', 2).replace(QLatin1Char('.'), QLatin1Char(','));
}

QString DisplayText(TColumnFormat format, const QVariant &v)
{
    if (v.isNull() || !v.isValid())
        return {};
    switch (format) {
    case TColumnFormat::Date: {
        const QDate d = ReportDate(v);
        return d.isValid() ? dateText(d) : v.toString();
    }
    case TColumnFormat::Amount: return AmountText(v.toDouble());
    case TColumnFormat::Integer: return QString::number(qRound64(v.toDouble()));
    case TColumnFormat::Percent: return AmountText(v.toDouble()) + QStringLiteral(" %");
    case TColumnFormat::Text: break;
    }
    if (v.typeId() == QMetaType::QDate || v.typeId() == QMetaType::QDateTime)
        return dateText(ReportDate(v));
    return v.toString();
}

QString ValueText(const QVariant &v)
{
    // Databases give a date column as a date (PostgreSQL) or as its ISO text (SQLite).
    static const QRegularExpression iso(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    bool date = v.typeId() == QMetaType::QDate || v.typeId() == QMetaType::QDateTime;
    if (!date) {
        const QString text = v.toString();
        const std::optional<bool> ascii = asciiIsoDate(text);
        date = ascii ? *ascii : iso.match(text).hasMatch();
    }
    return DisplayText(date ? TColumnFormat::Date : TColumnFormat::Text, v);
}

QString ExpandMarkers(const QString &pattern, const QStringList &fields, const TReportRows &row, const QString &blankField, const QString &blankText)
{
    QString out;
    qsizetype at = 0;
    for (const auto &m : kMarker.globalMatch(pattern)) {
        out += pattern.mid(at, m.capturedStart() - at);
        const qsizetype i = fields.indexOf(m.captured(1), 0);
        qsizetype found = i;
        if (found < 0)
            for (qsizetype k = 0; k < fields.size(); ++k)
                if (fields[k].compare(m.captured(1), Qt::CaseInsensitive) == 0)
                    found = k;
        if (found >= 0) {
            const QString shown = ValueText(row.Value(static_cast<int>(found)));
            out += shown.trimmed().isEmpty() && !blankText.isEmpty() && fields[found].compare(blankField, Qt::CaseInsensitive) == 0 ? blankText
                                                                                                                                  : shown;
        }
        at = m.capturedEnd();
    }
    return out + pattern.mid(at);
}
