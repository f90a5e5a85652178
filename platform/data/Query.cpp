#include "Query.h"
#include "Exceptions.h"
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>

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
// The result column of each field of the shape.
std::vector<int> columnMap(const QSqlQuery &query, const std::vector<TPacketField> &shape, size_t count, const QString &what)
{
    const QSqlRecord rec = query.record();
    std::vector<int> map;
    map.reserve(shape.size());
    for (const auto &f : shape) {
        if (map.size() == count)
            break;
        int found = -1;
        for (int i = 0; i < rec.count(); ++i) {
            if (rec.fieldName(i).compare(f.Name, Qt::CaseInsensitive) == 0) {
                found = i;
                break;
            }
        }
        if (found < 0)
            throw EDatabaseError(QStringLiteral("%1: o resultado da consulta não tem o campo '%2'.").arg(what, f.Name));
        map.push_back(found);
    }
    return map;
}
} // namespace

std::vector<TRecord> FetchRecords(QSqlQuery &query, const std::vector<TPacketField> &shape, const QString &what)
{
    const std::vector<int> map = columnMap(query, shape, shape.size(), what);
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

quint32 FetchIntoPacket(QSqlQuery &query, TPacketWriter &writer, const QString &what, const TRecord &trailing)
{
    const std::vector<TPacketField> &shape = writer.Fields();
    if (trailing.size() > shape.size())
        throw EDatabaseError(QStringLiteral("%1: %2 valores fixos para %3 campos.").arg(what).arg(trailing.size()).arg(shape.size()));
    const size_t fromQuery = shape.size() - trailing.size();
    const std::vector<int> map = columnMap(query, shape, fromQuery, what);
    TRecord fixed(trailing.size());
    for (size_t i = 0; i < trailing.size(); ++i) {
        const TPacketField &f = shape[fromQuery + i];
        fixed[i] = CoerceFieldValue(f.Type, f.Size, f.Name, trailing[i]);
    }
    const quint32 before = writer.RowCount();
    while (query.next()) {
        writer.BeginRow();
        for (size_t i = 0; i < fromQuery; ++i) {
            const QVariant v = query.value(map[i]);
            if (v.isNull() || InFieldForm(shape[i].Type, shape[i].Size, v))
                writer.Value(v);
            else
                writer.Value(CoerceFieldValue(shape[i].Type, shape[i].Size, shape[i].Name, v));
        }
        // The fixed values end every row: after the first they repeat the row above.
        for (const QVariant &v : fixed)
            if (writer.RowCount() - before == 1)
                writer.Value(v);
            else
                writer.Repeat();
    }
    if (query.lastError().isValid())
        throw EDatabaseError(QStringLiteral("%1: erro ao ler o resultado: %2").arg(what, query.lastError().text()));
    return writer.RowCount() - before;
}
