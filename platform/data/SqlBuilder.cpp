#include "data/SqlBuilder.h"
#include <QJsonArray>
#include <QJsonDocument>

TSqlBuilder &TSqlBuilder::Add(TSqlText text)
{
    if (!m_sql.isEmpty())
        m_sql += QLatin1Char('\n');
    m_sql += QLatin1String(text.Text());
    return *this;
}

TSqlBuilder &TSqlBuilder::Bind(TSqlText name, TParamType type, const QVariant &value)
{
    const QString key = QLatin1String(name.Text());
    TParam *p = m_params.FindParam(key);
    if (!p)
        p = &m_params.CreateParam(type, key);
    p->DataType = type;
    p->SetValue(value);
    return *this;
}

TSqlBuilder &TSqlBuilder::Append(const TSqlBuilder &other)
{
    if (!m_sql.isEmpty() && !other.m_sql.isEmpty())
        m_sql += QLatin1Char('\n');
    m_sql += other.m_sql;
    for (int i = 0; i < other.m_params.Count(); ++i) {
        const TParam &p = other.m_params[i];
        TParam *mine = m_params.FindParam(p.Name);
        if (!mine)
            mine = &m_params.CreateParam(p.DataType, p.Name);
        mine->DataType = p.DataType;
        mine->SetValue(p.Value());
    }
    return *this;
}

bool TSqlBuilder::operator==(const TSqlBuilder &other) const
{
    if (m_kind != other.m_kind || m_sql != other.m_sql || m_params.Count() != other.m_params.Count())
        return false;
    for (int i = 0; i < m_params.Count(); ++i) {
        const TParam &x = m_params[i], &y = other.m_params[i];
        if (x.Name != y.Name || x.DataType != y.DataType || x.IsNull() != y.IsNull() || x.Value() != y.Value())
            return false;
    }
    return true;
}

TSqlBuilder &TSqlBuilder::AndIn(TSqlText column, TSqlText param, const QStringList &codes)
{
    if (codes.isEmpty()) {
        m_sql += QStringLiteral("\nAND 0 = 1");
        return *this;
    }
    // The column and the parameter's name are fixed texts; the codes are the parameter's value.
    m_sql += QStringLiteral("\nAND ") + CodesCondition(m_kind, QLatin1String(column.Text()), QLatin1String(param.Text()), codes.size());
    return Bind(param, TParamType::String, codes.size() == 1 ? codes.front() : CodesValue(codes));
}

QString CodesCondition(TDBKind kind, const QString &column, const QString &param, qsizetype count)
{
    if (count == 1)
        return QStringLiteral("%1 = :%2").arg(column, param);
    if (kind == TDBKind::PostgreSQL)
        return QStringLiteral("%1 = ANY (ARRAY(SELECT json_array_elements_text(CAST(:%2 AS json))))").arg(column, param);
    return QStringLiteral("%1 IN (SELECT value FROM json_each(:%2))").arg(column, param);
}

QString CodesValue(const QStringList &codes)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(codes)).toJson(QJsonDocument::Compact));
}

QStringList CodesOfList(const QString &list, QChar separator)
{
    // The first and the last part have a separator on one side only.
    QStringList parts = list.split(separator);
    if (parts.size() < 3)
        return {};
    parts.removeFirst();
    parts.removeLast();
    parts.removeDuplicates();
    return parts;
}
