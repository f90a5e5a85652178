#include "data/SqlBuilder.h"
#include <QJsonArray>
#include "data/Exceptions.h"
#include <algorithm>
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
    if (!CodesTravel(codes))
        throw EHostError(QStringLiteral("Um código da lista de %1 contém um caractere de controle (U+001F), que nenhum código pode ter.")
                             .arg(QLatin1String(param.Text())));
    // The column and the parameter's name are fixed texts; the codes are the parameter's value.
    m_sql += QStringLiteral("\nAND ") + CodesCondition(m_kind, QLatin1String(column.Text()), QLatin1String(param.Text()), codes.size());
    return Bind(param, TParamType::String, CodesValue(m_kind, codes));
}

QString CodesCondition(TDBKind kind, const QString &column, const QString &param, qsizetype count)
{
    if (count == 1)
        return QStringLiteral("%1 = :%2").arg(column, param);
    // PostgreSQL folds string_to_array of a bound text into an array constant before it plans,
    // so its planner reads the codes, and each row compares them without parsing them again.
    if (kind == TDBKind::PostgreSQL)
        return QStringLiteral("%1 = ANY (string_to_array(:%2, chr(31)))").arg(column, param);
    return QStringLiteral("%1 IN (SELECT value FROM json_each(:%2))").arg(column, param);
}

bool CodesTravel(const QStringList &codes)
{
    return std::none_of(codes.cbegin(), codes.cend(), [](const QString &c) { return c.contains(kCodesSeparator); });
}

QString CodesValue(TDBKind kind, const QStringList &codes)
{
    if (codes.size() == 1)
        return codes.front();
    if (kind == TDBKind::PostgreSQL)
        return codes.join(kCodesSeparator);
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
