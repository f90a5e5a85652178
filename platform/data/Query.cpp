#include "data/Query.h"
#include "data/Exceptions.h"
#include <QSqlError>
#include <QSqlField>
#include <QSqlDriver>
#include <QSqlRecord>
#include <QSqlResult>
#include <QLocale>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <libpq-fe.h>
#include <optional>
#include <sqlite3.h>
#include <utility>

TQueryDataSet::TQueryDataSet(TADOIBQuery &owner, const QString &name) : TDataSet(name), m_owner(owner) {}

void TQueryDataSet::InternalOpen() { m_rows = m_owner.Fetch(); }

TADOIBQuery::TADOIBQuery(const QString &name, QObject *parent) : QObject(parent), m_query(*this, name)
{
    setObjectName(name);
    m_query.setParent(this);
}

void TADOIBQuery::SetSQL(int index, const QStringList &lines)
{
    switch (index) {
    case 0: SQL = lines; break;
    case 1: SQL_ORACLE = lines; break;
    case 2: SQL_MSSQL = lines; break;
    case 3: SQL_IB = lines; break;
    default: throw EDatabaseError(QStringLiteral("%1: índice de instrução SQL %2 inválido (0 a 3).").arg(objectName()).arg(index));
    }
}

const QStringList &TADOIBQuery::GetSQL(int index) const
{
    switch (index) {
    case 0: return SQL;
    case 1: return SQL_ORACLE;
    case 2: return SQL_MSSQL;
    case 3: return SQL_IB;
    default: throw EDatabaseError(QStringLiteral("%1: índice de instrução SQL %2 inválido (0 a 3).").arg(objectName()).arg(index));
    }
}

TdtmDBGeral &TADOIBQuery::ConnectionModule() const
{
    TdtmDBGeral *db = Connection ? Connection : TdtmDBGeral::Current();
    if (!db)
        throw EDatabaseError(QStringLiteral("%1: nenhum banco de dados conectado.").arg(objectName()));
    return *db;
}

QString TADOIBQuery::ActiveSQL() const { return GetSQL(ConnectionModule().SqlIndex()).join(QLatin1Char('\n')); }

std::vector<TRecord> TADOIBQuery::Fetch()
{
    const QString sql = ActiveSQL();
    if (sql.trimmed().isEmpty())
        throw EDatabaseError(QStringLiteral("%1: a consulta não tem instrução SQL.").arg(objectName()));
    QSqlQuery q = RunStatement(ConnectionModule().Database(), sql, m_params, objectName());
    if (m_query.FieldCount() == 0) {
        const QSqlRecord rec = q.record();
        for (int i = 0; i < rec.count(); ++i) {
            const QMetaType mt = rec.field(i).metaType();
            TFieldType t = TFieldType::String;
            switch (mt.id()) {
            case QMetaType::Double: t = TFieldType::Float; break;
            case QMetaType::Int:
            case QMetaType::LongLong: t = TFieldType::Integer; break;
            case QMetaType::Bool: t = TFieldType::Boolean; break;
            case QMetaType::QDate:
            case QMetaType::QDateTime: t = TFieldType::DateTime; break;
            default: break;
            }
            m_query.AddField(rec.fieldName(i).toUpper(), t, t == TFieldType::String ? 255 : 0);
        }
    }
    std::vector<TPacketField> shape;
    for (int i = 0; i < m_query.FieldCount(); ++i) {
        const TField &f = m_query.Fields(i);
        shape.push_back({f.FieldName, f.DataType, f.Size, f.Required});
    }
    return FetchRecords(q, shape, objectName());
}

namespace {
// The result's column of that name, or -1.
int columnOf(const QSqlRecord &rec, const QString &name)
{
    for (int i = 0; i < rec.count(); ++i)
        if (rec.fieldName(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

const TDerivedField *derivedFor(const std::vector<TDerivedField> &derived, const QString &field)
{
    for (const TDerivedField &d : derived)
        if (d.Field.compare(field, Qt::CaseInsensitive) == 0)
            return &d;
    return nullptr;
}

// The result's column of each of the first `count` fields; -1 for a field made
// from other columns, whose sources must be there.
std::vector<int> columnMap(const QSqlRecord &rec, const std::vector<TPacketField> &shape, size_t count, const QString &what,
                           const std::vector<TDerivedField> &derived = {})
{
    const auto source = [&](const QString &field, const QString &name) {
        const int c = columnOf(rec, name);
        if (c < 0)
            throw EDatabaseError(QStringLiteral("%1: o resultado da consulta não tem o campo '%2', de que se faz '%3'.").arg(what, name, field));
        return c;
    };
    std::vector<int> map;
    map.reserve(shape.size());
    for (const auto &f : shape) {
        if (map.size() == count)
            break;
        int found = -1;
        if (const TDerivedField *d = derivedFor(derived, f.Name)) {
            found = source(f.Name, d->First);
            if (d->How == TDerivedField::Kind::Joined)
                source(f.Name, d->Second);
            if (d->How != TDerivedField::Kind::Same)
                found = -1;
        } else if ((found = columnOf(rec, f.Name)) < 0) {
            throw EDatabaseError(QStringLiteral("%1: o resultado da consulta não tem o campo '%2'.").arg(what, f.Name));
        }
        map.push_back(found);
    }
    return map;
}
} // namespace

std::vector<TRecord> FetchRecords(QSqlQuery &query, const std::vector<TPacketField> &shape, const QString &what)
{
    const std::vector<int> map = columnMap(query.record(), shape, shape.size(), what);
    std::vector<TRecord> rows;
    while (query.next()) {
        TRecord row(shape.size());
        for (size_t i = 0; i < shape.size(); ++i) {
            const QVariant v = query.value(map[i]);
            if (v.isNull())
                continue;
            row[i] = CoerceFieldValue(shape[i].Type, shape[i].Size, shape[i].Name, v);
        }
        rows.push_back(std::move(row));
    }
    if (query.lastError().isValid())
        throw EDatabaseError(QStringLiteral("%1: erro ao ler o resultado: %2").arg(what, query.lastError().text()));
    return rows;
}

namespace {
// A value as the driver gave it, put in its field's form.
void writeVariant(TPacketWriter &w, const TPacketField &f, const QVariant &v)
{
    if (v.isNull() || InFieldForm(f.Type, f.Size, v))
        w.Value(v);
    else
        w.Value(CoerceFieldValue(f.Type, f.Size, f.Name, v));
}

// The length in UTF-16 units of valid UTF-8, or -1 when the bytes are not
// valid UTF-8 (overlong forms, surrogates and values past U+10FFFF included).
qsizetype utf16Length(const unsigned char *p, qsizetype n)
{
    // Eight plain ASCII bytes at a time, the common case, then byte by byte.
    qsizetype i = 0;
    for (quint64 word = 0; i + 8 <= n; i += 8) {
        std::memcpy(&word, p + i, sizeof word);
        if (word & 0x8080808080808080ull)
            break;
    }
    qsizetype units = i;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            ++units;
            continue;
        }
        int extra = 0;
        quint32 cp = 0;
        if (c >= 0xc2 && c <= 0xdf) {
            extra = 1;
            cp = c & 0x1f;
        } else if (c >= 0xe0 && c <= 0xef) {
            extra = 2;
            cp = c & 0x0f;
        } else if (c >= 0xf0 && c <= 0xf4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return -1;
        }
        if (i + extra >= n)
            return -1;
        for (int k = 1; k <= extra; ++k) {
            const unsigned char cc = p[i + k];
            if ((cc & 0xc0) != 0x80)
                return -1;
            cp = (cp << 6) | (cc & 0x3f);
        }
        if ((extra == 2 && (cp < 0x800 || (cp >= 0xd800 && cp <= 0xdfff))) || (extra == 3 && (cp < 0x10000 || cp > 0x10ffff)))
            return -1;
        units += extra == 3 ? 2 : 1;
        i += extra + 1;
    }
    return units;
}

// A number as a text join writes it: a whole number without a point, else its shortest form.
QByteArray numberText(double v)
{
    return v == std::trunc(v) && std::abs(v) < 9.0e15 ? QByteArray::number(static_cast<qint64>(v)) : QByteArray::number(v, 'g', QLocale::FloatingPointShortest);
}

// A date text "yyyy-MM-dd" as a date value; false for anything else.
bool isoDay(const char *p, qsizetype n, double &out)
{
    if (n != 10 || p[4] != '-' || p[7] != '-')
        return false;
    int parts[3] = {0, 0, 0};
    const int from[3] = {0, 5, 8}, len[3] = {4, 2, 2};
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < len[k]; ++j) {
            const char c = p[from[k] + j];
            if (c < '0' || c > '9')
                return false;
            parts[k] = parts[k] * 10 + (c - '0');
        }
    // Proleptic Gregorian days, counted as DateToDateTime counts them (from
    // 1899-12-30), without building a date; year 0 is no date, as for QDate.
    const int y = parts[0], m = parts[1], d = parts[2];
    static constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (y == 0 || m < 1 || m > 12 || d < 1 || d > kMonthDays[m - 1] + (m == 2 && leap))
        return false;
    const int yy = m <= 2 ? y - 1 : y, era = yy / 400, yoe = yy - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1, doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    out = static_cast<double>(era * 146097 + doe - 719468 + 25569);
    return true;
}

// A text cell written without a variant; false (nothing written) when the
// text needs the full coercion.
bool directText(TPacketWriter &w, const TPacketField &f, const char *p, qsizetype n)
{
    static const char empty = 0;
    if (!p)
        p = &empty;
    switch (f.Type) {
    case TFieldType::String:
    case TFieldType::FixedChar: {
        const qsizetype units = utf16Length(reinterpret_cast<const unsigned char *>(p), n);
        if (units < 0 || (f.Size > 0 && units > f.Size))
            return false;
        w.Text(p, n);
        return true;
    }
    case TFieldType::DateTime: {
        double d = 0;
        if (!isoDay(p, n, d))
            return false;
        w.Number(d);
        return true;
    }
    default: return false;
    }
}

// An integer cell for a field that takes it as it is.
bool directInteger(TPacketWriter &w, const TPacketField &f, qint64 v)
{
    switch (f.Type) {
    case TFieldType::Integer: w.Integer(v); return true;
    case TFieldType::Float:
    case TFieldType::DateTime: w.Number(static_cast<double>(v)); return true;
    case TFieldType::Boolean: w.Boolean(v != 0); return true;
    default: return false;
    }
}

// A driver's handle; Qt registers the libpq ones under their struct names.
template <typename T> T handleOf(const QVariant &h, const char *typeName, const char *structName = nullptr)
{
    if (!h.isValid() || (qstrcmp(h.typeName(), typeName) != 0 && (!structName || qstrcmp(h.typeName(), structName) != 0)))
        return nullptr;
    return *static_cast<T const *>(h.constData());
}

// A partition key as a row holds it: a text by its bytes (valid while the row is
// current), a number by its value.
struct TRunKey {
    enum class Kind { Null, Number, Text };
    Kind K = Kind::Null;
    double Num = 0;
    QByteArrayView Bytes;
};

// SQLite: the driver has stepped to the first row when it ran the statement
// and gave that row; the statement stays on it, so the rows after it are read
// here by stepping on. Any value not plainly in its field's form is made into
// the variant the driver would make and coerced as before.
class TSqliteRows {
public:
    static std::optional<TSqliteRows> For(QSqlQuery &query)
    {
        if (query.driver()->dbmsType() != QSqlDriver::SQLite || query.numericalPrecisionPolicy() == QSql::LowPrecisionInt32 ||
            query.numericalPrecisionPolicy() == QSql::LowPrecisionInt64)
            return std::nullopt;
        sqlite3_stmt *st = handleOf<sqlite3_stmt *>(query.result()->handle(), "sqlite3_stmt*");
        sqlite3 *db = handleOf<sqlite3 *>(query.driver()->handle(), "sqlite3*");
        if (!st || !db || query.at() != 0 || sqlite3_db_handle(st) != db || !sqlite3_stmt_busy(st) ||
            sqlite3_column_count(st) != query.record().count())
            return std::nullopt;
        return TSqliteRows(st, db);
    }
    bool Next(const QString &what)
    {
        const int rc = sqlite3_step(m_st);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        throw EDatabaseError(QStringLiteral("%1: erro ao ler o resultado: %2").arg(what, QString::fromUtf8(sqlite3_errmsg(m_db))));
    }
    void Cell(TPacketWriter &w, const TPacketField &f, int c) const
    {
        switch (sqlite3_column_type(m_st, c)) {
        case SQLITE_NULL: w.Null(); return;
        case SQLITE_INTEGER:
            if (directInteger(w, f, sqlite3_column_int64(m_st, c)))
                return;
            break;
        case SQLITE_FLOAT:
            if (f.Type == TFieldType::Float || f.Type == TFieldType::DateTime) {
                w.Number(sqlite3_column_double(m_st, c));
                return;
            }
            break;
        case SQLITE_TEXT:
            if (directText(w, f, reinterpret_cast<const char *>(sqlite3_column_text(m_st, c)), sqlite3_column_bytes(m_st, c)))
                return;
            break;
        default: break;
        }
        writeVariant(w, f, Variant(c));
    }
    void PrefetchText(TPacketWriter &w, size_t field, int c) const
    {
        if (sqlite3_column_type(m_st, c) == SQLITE_TEXT)
            w.PrefetchText(field, reinterpret_cast<const char *>(sqlite3_column_text(m_st, c)), sqlite3_column_bytes(m_st, c));
    }
    TRunKey Key(int c) const
    {
        switch (sqlite3_column_type(m_st, c)) {
        case SQLITE_NULL: return {};
        case SQLITE_INTEGER:
        case SQLITE_FLOAT: return {TRunKey::Kind::Number, sqlite3_column_double(m_st, c), {}};
        default: {
            const char *p = reinterpret_cast<const char *>(sqlite3_column_text(m_st, c));
            return {TRunKey::Kind::Text, 0, QByteArrayView(p, sqlite3_column_bytes(m_st, c))};
        }
        }
    }
    std::optional<double> Amount(int c) const
    {
        switch (sqlite3_column_type(m_st, c)) {
        case SQLITE_NULL: return std::nullopt;
        case SQLITE_INTEGER: return static_cast<double>(sqlite3_column_int64(m_st, c));
        default: return sqlite3_column_double(m_st, c);
        }
    }

private:
    TSqliteRows(sqlite3_stmt *st, sqlite3 *db) : m_st(st), m_db(db) {}
    // The value as the driver makes it.
    QVariant Variant(int c) const
    {
        switch (sqlite3_column_type(m_st, c)) {
        case SQLITE_BLOB:
            return QByteArray(static_cast<const char *>(sqlite3_column_blob(m_st, c)), sqlite3_column_bytes(m_st, c));
        case SQLITE_INTEGER: return QVariant(static_cast<qlonglong>(sqlite3_column_int64(m_st, c)));
        case SQLITE_FLOAT: return QVariant(sqlite3_column_double(m_st, c));
        case SQLITE_NULL: return QVariant(QMetaType::fromType<QString>());
        default:
            return QString(reinterpret_cast<const QChar *>(sqlite3_column_text16(m_st, c)),
                           sqlite3_column_bytes16(m_st, c) / static_cast<int>(sizeof(QChar)));
        }
    }
    sqlite3_stmt *m_st;
    sqlite3 *m_db;
};

// PostgreSQL: the driver runs a forward-only statement in single-row mode and
// gives the first row; the results after it are taken from the connection
// here (a statement not in that mode holds all its rows in the first result).
class TPgRows {
public:
    enum class Kind { Text, Bool, Int8, Int4, Float, Date };

    static std::optional<TPgRows> For(QSqlQuery &query, const std::vector<int> &columns)
    {
        if (query.driver()->dbmsType() != QSqlDriver::PostgreSQL || query.numericalPrecisionPolicy() != QSql::LowPrecisionDouble)
            return std::nullopt;
        PGresult *first = handleOf<PGresult *>(query.result()->handle(), "PGresult*", "pg_result*");
        PGconn *conn = handleOf<PGconn *>(query.driver()->handle(), "PGconn*", "pg_conn*");
        if (!first || !conn || qstrcmp(pg_encoding_to_char(PQclientEncoding(conn)), "UTF8") != 0 || query.at() != 0)
            return std::nullopt;
        const ExecStatusType status = PQresultStatus(first);
        if (status != PGRES_SINGLE_TUPLE && status != PGRES_TUPLES_OK)
            return std::nullopt;
        std::vector<Kind> kinds(static_cast<size_t>(PQnfields(first)), Kind::Text);
        for (int c : columns) {
            if (c >= PQnfields(first))
                return std::nullopt;
            switch (PQftype(first, c)) {
            case 16: kinds[c] = Kind::Bool; break;
            case 20: kinds[c] = Kind::Int8; break;
            case 21:
            case 23: kinds[c] = Kind::Int4; break;
            case 700:
            case 701:
            case 1700: kinds[c] = Kind::Float; break;
            case 1082: kinds[c] = Kind::Date; break;
            case 19:
            case 25:
            case 1042:
            case 1043: kinds[c] = Kind::Text; break;
            // Times, timestamps, bytes and the rest keep the driver's own reading.
            default: return std::nullopt;
            }
        }
        return TPgRows(conn, first, status == PGRES_SINGLE_TUPLE, std::move(kinds));
    }
    TPgRows(TPgRows &&o) noexcept
        : m_conn(std::exchange(o.m_conn, nullptr)), m_first(o.m_first), m_single(o.m_single), m_kinds(std::move(o.m_kinds)),
          m_current(std::move(o.m_current)), m_row(o.m_row)
    {
    }
    TPgRows &operator=(TPgRows &&) = delete;
    ~TPgRows()
    {
        // Whatever is left of the statement's results goes.
        if (m_single && m_conn)
            while (PGresult *r = PQgetResult(m_conn))
                PQclear(r);
    }
    bool Next(const QString &what)
    {
        if (!m_single) {
            ++m_row;
            return m_row < PQntuples(m_first);
        }
        m_current.reset(PQgetResult(m_conn));
        if (!m_current)
            return false;
        switch (PQresultStatus(m_current.get())) {
        case PGRES_SINGLE_TUPLE: return true;
        case PGRES_TUPLES_OK: m_current.reset(); return false;
        default: {
            const QString reason = QString::fromUtf8(PQresultErrorMessage(m_current.get())).trimmed();
            m_current.reset();
            throw EDatabaseError(QStringLiteral("%1: erro ao ler o resultado: %2").arg(what, reason));
        }
        }
    }
    void Cell(TPacketWriter &w, const TPacketField &f, int c) const
    {
        const auto [p, n] = Raw(c);
        if (!p) {
            w.Null();
            return;
        }
        const Kind k = m_kinds[c];
        switch (k) {
        case Kind::Text:
            if (directText(w, f, p, n))
                return;
            break;
        case Kind::Bool:
            if (f.Type == TFieldType::Boolean) {
                w.Boolean(p[0] == 't');
                return;
            }
            break;
        case Kind::Int8:
        case Kind::Int4: {
            qint64 v = 0;
            const auto [end, ec] = std::from_chars(p, p + n, v);
            const bool fits = k == Kind::Int8 || (v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max());
            if (ec == std::errc() && end == p + n && fits && directInteger(w, f, v))
                return;
            break;
        }
        case Kind::Float:
            if (f.Type == TFieldType::Float || f.Type == TFieldType::DateTime) {
                // Plain numerals only; NaN and the infinities take the driver's way.
                bool plain = n > 0;
                for (int i = 0; i < n && plain; ++i)
                    plain = (p[i] >= '0' && p[i] <= '9') || p[i] == '.' || p[i] == '-' || p[i] == 'e' || p[i] == 'E' || p[i] == '+';
                double d = 0;
                if (plain) {
                    const auto [end, ec] = std::from_chars(p, p + n, d);
                    if (ec == std::errc() && end == p + n) {
                        w.Number(d);
                        return;
                    }
                }
            }
            break;
        case Kind::Date:
            if (f.Type == TFieldType::DateTime) {
                double d = 0;
                if (isoDay(p, n, d)) {
                    w.Number(d);
                    return;
                }
            }
            break;
        }
        writeVariant(w, f, Variant(p, n, k));
    }
    void PrefetchText(TPacketWriter &w, size_t field, int c) const
    {
        const auto [p, n] = Raw(c);
        if (p && m_kinds[c] == Kind::Text)
            w.PrefetchText(field, p, n);
    }
    TRunKey Key(int c) const
    {
        const auto [p, n] = Raw(c);
        if (!p)
            return {};
        switch (m_kinds[c]) {
        case Kind::Bool: return {TRunKey::Kind::Number, p[0] == 't' ? 1.0 : 0.0, {}};
        case Kind::Int8:
        case Kind::Int4:
        case Kind::Float: return {TRunKey::Kind::Number, Number(p, n, m_kinds[c]), {}};
        default: return {TRunKey::Kind::Text, 0, QByteArrayView(p, n)};
        }
    }
    std::optional<double> Amount(int c) const
    {
        const auto [p, n] = Raw(c);
        if (!p)
            return std::nullopt;
        return Number(p, n, m_kinds[c]);
    }

private:
    // The current row's text of a column; null for a null.
    std::pair<const char *, int> Raw(int c) const
    {
        PGresult *r = m_single ? m_current.get() : m_first;
        const int row = m_single ? 0 : m_row;
        if (PQgetisnull(r, row, c))
            return {nullptr, 0};
        return {PQgetvalue(r, row, c), PQgetlength(r, row, c)};
    }
    static double Number(const char *p, int n, Kind k)
    {
        double d = 0;
        const auto [end, ec] = std::from_chars(p, p + n, d);
        if (ec == std::errc() && end == p + n)
            return d;
        return Variant(p, n, k == Kind::Text ? Kind::Float : k).toDouble();
    }
    struct Clear {
        void operator()(PGresult *r) const { PQclear(r); }
    };
    TPgRows(PGconn *conn, PGresult *first, bool single, std::vector<Kind> kinds)
        : m_conn(conn), m_first(first), m_single(single), m_kinds(std::move(kinds))
    {
    }
    // The value as the driver makes it.
    static QVariant Variant(const char *p, int n, Kind k)
    {
        const QByteArray raw = QByteArray::fromRawData(p, n);
        switch (k) {
        case Kind::Text: return QString::fromUtf8(p, n);
        case Kind::Bool: return QVariant(p[0] == 't');
        case Kind::Int8: return p[0] == '-' ? QVariant(raw.toLongLong()) : QVariant(raw.toULongLong());
        case Kind::Int4: return QVariant(std::atoi(QByteArray(p, n).constData()));
        case Kind::Float: {
            bool ok = false;
            double d = raw.toDouble(&ok);
            if (!ok) {
                if (qstricmp(QByteArray(p, n).constData(), "NaN") == 0)
                    d = qQNaN();
                else if (qstricmp(QByteArray(p, n).constData(), "Infinity") == 0)
                    d = qInf();
                else if (qstricmp(QByteArray(p, n).constData(), "-Infinity") == 0)
                    d = -qInf();
                else
                    return {};
            }
            return d;
        }
        case Kind::Date: return QDate::fromString(QString::fromLatin1(p, n), Qt::ISODate);
        }
        return {};
    }
    PGconn *m_conn;
    PGresult *m_first; // the driver's
    bool m_single;
    std::vector<Kind> m_kinds;
    std::unique_ptr<PGresult, Clear> m_current;
    int m_row = 0;
};

// The first row, or every row on the variants' path: the driver's own values.
class TVariantRow {
public:
    explicit TVariantRow(QSqlQuery &query) : m_query(query) {}
    void Cell(TPacketWriter &w, const TPacketField &f, int c) const { writeVariant(w, f, m_query.value(c)); }
    void PrefetchText(TPacketWriter &, size_t, int) const {}
    TRunKey Key(int c) const
    {
        const QVariant v = m_query.value(c);
        if (v.isNull())
            return {};
        switch (v.typeId()) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Double: return {TRunKey::Kind::Number, v.toDouble(), {}};
        case QMetaType::QDate: m_text = v.toDate().toString(Qt::ISODate).toUtf8(); break;
        default: m_text = v.toString().toUtf8(); break;
        }
        return {TRunKey::Kind::Text, 0, QByteArrayView(m_text)};
    }
    std::optional<double> Amount(int c) const
    {
        const QVariant v = m_query.value(c);
        if (v.isNull())
            return std::nullopt;
        return v.toDouble();
    }

private:
    QSqlQuery &m_query;
    mutable QByteArray m_text;
};

// The running sum over the rows as they are written.
class TRunning {
public:
    static constexpr size_t kNone = static_cast<size_t>(-1);

    TRunning(TRunningSum *sum, const std::vector<TPacketField> &shape, const std::vector<int> &map, const QString &what) : m_sum(sum)
    {
        if (!sum)
            return;
        const auto find = [&](const QString &name) {
            for (size_t i = 0; i < map.size(); ++i)
                if (shape[i].Name.compare(name, Qt::CaseInsensitive) == 0)
                    return i;
            throw EDatabaseError(QStringLiteral("%1: o campo '%2' da soma acumulada não vem da consulta.").arg(what, name));
        };
        m_field = find(sum->Field);
        m_column = map[m_field];
        m_keyColumn = map[find(sum->Partition)];
        if (m_column < 0 || m_keyColumn < 0)
            throw EDatabaseError(QStringLiteral("%1: a soma acumulada de '%2' lê colunas da consulta, não campos feitos de outras.").arg(what, sum->Field));
    }
    size_t Field() const { return m_field; }
    template <typename Row> void Start(const Row &row)
    {
        if (!m_sum)
            return;
        const TRunKey k = row.Key(m_keyColumn);
        const bool same = !m_first && k.K == m_key &&
                          (k.K == TRunKey::Kind::Null || (k.K == TRunKey::Kind::Number ? k.Num == m_number : k.Bytes == QByteArrayView(m_text)));
        m_sum->Restarted = !same;
        if (same)
            return;
        m_first = false;
        m_key = k.K;
        m_number = k.Num;
        m_text.assign(k.Bytes.data(), static_cast<size_t>(k.Bytes.size()));
        m_any = false;
        m_total = 0;
    }
    template <typename Row> void Write(TPacketWriter &w, const Row &row)
    {
        if (const std::optional<double> v = row.Amount(m_column)) {
            // The first value stands as it is; each one after is added to the sum.
            m_total = m_any ? m_total + *v : *v;
            m_any = true;
        }
        if (m_any)
            w.Number(m_total);
        else
            w.Null();
    }

private:
    TRunningSum *m_sum;
    size_t m_field = kNone;
    int m_column = -1, m_keyColumn = -1;
    bool m_first = true, m_any = false;
    TRunKey::Kind m_key = TRunKey::Kind::Null;
    double m_number = 0, m_total = 0;
    std::string m_text;
};

// The fields made from other columns of the row.
class TDerived {
public:
    // The sources are columns of `rec`, as columnMap found them.
    TDerived(const std::vector<TDerivedField> &derived, const QSqlRecord &rec, const std::vector<TPacketField> &shape, const std::vector<int> &map,
             const QString &what)
    {
        for (size_t i = 0; i < map.size(); ++i) {
            const TDerivedField *d = map[i] < 0 ? derivedFor(derived, shape[i].Name) : nullptr;
            if (!d)
                continue;
            TMade m{i, d->How, columnOf(rec, d->First), d->How == TDerivedField::Kind::Joined ? columnOf(rec, d->Second) : -1,
                    d->Separator.toUtf8(), d->KeepSeparator, 0, d->Table, -1, {}, kNotLooked};
            if (d->How == TDerivedField::Kind::DaysTo)
                m.Day = DateToDateTime(d->Day);
            if (d->How == TDerivedField::Kind::LookedUp && (!d->Table || (m.TableColumn = d->Table->Column(shape[i].Name)) < 0))
                throw EDatabaseError(QStringLiteral("%1: a tabela consultada pela coluna '%2' não tem o campo '%3'.").arg(what, d->First, shape[i].Name));
            m_made.push_back(std::move(m));
        }
    }
    // The columns the made fields read.
    std::vector<int> Sources() const
    {
        std::vector<int> out;
        for (const TMade &m : m_made)
            for (int c : {m.First, m.Second})
                if (c >= 0)
                    out.push_back(c);
        return out;
    }
    // The made field at position i.
    template <typename Row> void Write(TPacketWriter &w, const TPacketField &f, size_t i, const Row &row)
    {
        for (TMade &m : m_made)
            if (m.Field == i)
                return write(w, f, m, row);
    }

private:
    static constexpr int kNotLooked = -2;
    struct TMade {
        size_t Field;
        TDerivedField::Kind How;
        int First, Second;
        QByteArray Separator;
        bool KeepSeparator;
        double Day;
        std::shared_ptr<const TLookupTable> Table;
        int TableColumn;
        // The key looked up last and its row: rows in a run often share it.
        std::string LastKey;
        int LastRow;
    };
    // The table's row for the key in the row's column, or -1.
    template <typename Row> int lookedUpRow(TMade &m, const Row &row)
    {
        const TRunKey k = row.Key(m.First);
        QByteArray number;
        QByteArrayView key;
        switch (k.K) {
        case TRunKey::Kind::Null: return -1;
        case TRunKey::Kind::Text: key = k.Bytes; break;
        case TRunKey::Kind::Number:
            number = numberText(k.Num);
            key = number;
            break;
        }
        if (m.LastRow != kNotLooked && key == QByteArrayView(m.LastKey.data(), static_cast<qsizetype>(m.LastKey.size())))
            return m.LastRow;
        m.LastKey.assign(key.data(), static_cast<size_t>(key.size()));
        m.LastRow = m.Table->Find(key);
        return m.LastRow;
    }
    // A column's value appended as text, as the databases' || makes it; false for a null.
    template <typename Row> bool append(const Row &row, int c)
    {
        const TRunKey k = row.Key(c);
        switch (k.K) {
        case TRunKey::Kind::Null: return false;
        case TRunKey::Kind::Text: m_text.append(k.Bytes); return true;
        case TRunKey::Kind::Number: m_text.append(numberText(k.Num)); return true;
        }
        return false;
    }
    template <typename Row> void write(TPacketWriter &w, const TPacketField &f, TMade &m, const Row &row)
    {
        if (m.How == TDerivedField::Kind::LookedUp) {
            const int r = lookedUpRow(m, row);
            const QVariant &v = r < 0 ? m_none : m.Table->Value(r, m.TableColumn);
            if (v.isNull()) {
                w.Null();
                return;
            }
            const QByteArrayView text = m.Table->Text(r, m.TableColumn);
            if (v.typeId() != QMetaType::QString || !directText(w, f, text.data(), text.size()))
                writeVariant(w, f, v);
            return;
        }
        if (m.How == TDerivedField::Kind::DaysTo) {
            const TRunKey k = row.Key(m.First);
            double day = 0;
            if (k.K != TRunKey::Kind::Text || !isoDay(k.Bytes.data(), k.Bytes.size(), day))
                w.Null();
            else if (f.Type == TFieldType::Float)
                w.Number(m.Day - day);
            else
                writeVariant(w, f, QVariant(m.Day - day));
            return;
        }
        m_text.clear();
        if (!append(row, m.First)) {
            w.Null();
            return;
        }
        const qsizetype before = m_text.size();
        m_text.append(m.Separator);
        if (!append(row, m.Second) && !m.KeepSeparator)
            m_text.truncate(before);
        if (!directText(w, f, m_text.constData(), m_text.size()))
            writeVariant(w, f, QString::fromUtf8(m_text));
    }
    std::vector<TMade> m_made;
    QByteArray m_text;
    const QVariant m_none;
};

template <typename Row>
void writeRow(const Row &row, TPacketWriter &writer, const std::vector<int> &map, TRunning &running, TDerived &derived)
{
    const std::vector<TPacketField> &shape = writer.Fields();
    writer.BeginRow();
    // The texts of the columns whose tables of texts met before are large, loaded ahead.
    for (const quint32 i : writer.WideTextFields())
        if (i < map.size() && map[i] >= 0)
            row.PrefetchText(writer, i, map[i]);
    running.Start(row);
    for (size_t i = 0; i < map.size(); ++i)
        if (i == running.Field())
            running.Write(writer, row);
        else if (map[i] >= 0)
            row.Cell(writer, shape[i], map[i]);
        else
            derived.Write(writer, shape[i], i, row);
}
} // namespace

TFetchCount FetchIntoPacket(QSqlQuery &query, TPacketWriter &writer, const QString &what, const TRecord &trailing, const std::function<void()> &afterRow,
                            TFetchPath path, const TComputedFields &computed)
{
    const std::vector<TPacketField> &shape = writer.Fields();
    if (trailing.size() > shape.size())
        throw EDatabaseError(QStringLiteral("%1: %2 valores fixos para %3 campos.").arg(what).arg(trailing.size()).arg(shape.size()));
    const size_t fromQuery = shape.size() - trailing.size();
    const QSqlRecord rec = query.record();
    const std::vector<int> map = columnMap(rec, shape, fromQuery, what, computed.Derived);
    TRunning running(computed.Running, shape, map, what);
    TDerived derived(computed.Derived, rec, shape, map, what);
    TRecord fixed(trailing.size());
    for (size_t i = 0; i < trailing.size(); ++i) {
        const TPacketField &f = shape[fromQuery + i];
        fixed[i] = CoerceFieldValue(f.Type, f.Size, f.Name, trailing[i]);
    }
    const quint32 before = writer.RowCount();
    const auto endRow = [&] {
        // The fixed values end every row: after the first they repeat the row above.
        if (writer.RowCount() - before == 1)
            for (size_t i = 0; i < fixed.size(); ++i)
                writer.Value(fixed[i]);
        else
            for (size_t i = 0; i < fixed.size(); ++i)
                writer.Repeat();
        if (afterRow)
            afterRow();
    };
    // Reads the rows after the current one straight from the database's result.
    const auto readRows = [&](auto &rows) {
        while (rows.Next(what)) {
            writeRow(rows, writer, map, running, derived);
            endRow();
        }
        return TFetchCount{writer.RowCount() - before, writer.RowCount() - before - 1};
    };
    bool first = true;
    const TVariantRow current(query);
    while (query.next()) {
        writeRow(current, writer, map, running, derived);
        endRow();
        // The driver gave the first row; the rest come straight from the database when it can.
        if (first && path == TFetchPath::Direct) {
            if (std::optional<TSqliteRows> rows = TSqliteRows::For(query))
                return readRows(*rows);
            std::vector<int> columns = derived.Sources();
            for (int c : map)
                if (c >= 0)
                    columns.push_back(c);
            if (std::optional<TPgRows> rows = TPgRows::For(query, columns))
                return readRows(*rows);
        }
        first = false;
    }
    if (query.lastError().isValid())
        throw EDatabaseError(QStringLiteral("%1: erro ao ler o resultado: %2").arg(what, query.lastError().text()));
    return {writer.RowCount() - before, 0};
}

std::shared_ptr<const TLookupTable> TLookupTable::Read(QSqlQuery &query, const QString &what)
{
    auto table = std::make_shared<TLookupTable>();
    const QSqlRecord rec = query.record();
    if (rec.count() == 0)
        throw EDatabaseError(QStringLiteral("%1: a consulta da tabela auxiliar não tem colunas.").arg(what));
    for (int c = 0; c < rec.count(); ++c)
        table->m_columns << rec.fieldName(c);
    while (query.next()) {
        TRow row{std::vector<QVariant>(static_cast<size_t>(rec.count())), std::vector<QByteArray>(static_cast<size_t>(rec.count()))};
        for (int c = 0; c < rec.count(); ++c) {
            QVariant &v = row.Values[static_cast<size_t>(c)];
            v = query.value(c);
            if (!v.isNull() && v.typeId() == QMetaType::QString)
                row.Texts[static_cast<size_t>(c)] = v.toString().toUtf8();
        }
        // The key as a row of the large statement gives it (see TVariantRow::Key).
        const QVariant &key = row.Values[0];
        if (key.isNull())
            continue;
        QByteArray bytes;
        switch (key.typeId()) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Double: bytes = numberText(key.toDouble()); break;
        case QMetaType::QDate: bytes = key.toDate().toString(Qt::ISODate).toUtf8(); break;
        default: bytes = key.toString().toUtf8(); break;
        }
        if (!table->m_byKey.emplace(bytes.toStdString(), static_cast<int>(table->m_rows.size())).second)
            throw EDatabaseError(QStringLiteral("%1: a chave '%2' aparece em mais de uma linha da tabela auxiliar.").arg(what, QString::fromUtf8(bytes)));
        table->m_rows.push_back(std::move(row));
    }
    if (query.lastError().isValid())
        throw EDatabaseError(QStringLiteral("%1: erro ao ler a tabela auxiliar: %2").arg(what, query.lastError().text()));
    return table;
}

int TLookupTable::Column(const QString &name) const
{
    for (qsizetype c = 0; c < m_columns.size(); ++c)
        if (m_columns[c].compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(c);
    return -1;
}

int TLookupTable::Find(QByteArrayView key) const
{
    const auto it = m_byKey.find(std::string_view(key.data(), static_cast<size_t>(key.size())));
    return it == m_byKey.end() ? -1 : it->second;
}
