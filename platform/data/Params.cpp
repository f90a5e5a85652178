#include "data/Params.h"
#include "data/Exceptions.h"

QString ParamTypeName(TParamType type)
{
    switch (type) {
    case TParamType::Unknown: return QStringLiteral("unknown");
    case TParamType::String: return QStringLiteral("string");
    case TParamType::Float: return QStringLiteral("float");
    case TParamType::Integer: return QStringLiteral("integer");
    case TParamType::Boolean: return QStringLiteral("boolean");
    case TParamType::Date: return QStringLiteral("date");
    case TParamType::DateTime: return QStringLiteral("datetime");
    }
    return QStringLiteral("unknown");
}

void TParam::SetValue(const QVariant &value)
{
    if (!value.isValid() || value.isNull()) {
        m_value = QVariant();
        return;
    }
    if (DataType == TParamType::Unknown) {
        switch (value.typeId()) {
        case QMetaType::Double: DataType = TParamType::Float; break;
        case QMetaType::Int:
        case QMetaType::LongLong: DataType = TParamType::Integer; break;
        case QMetaType::Bool: DataType = TParamType::Boolean; break;
        default: DataType = TParamType::String; break;
        }
    }
    m_value = value;
}

QString TParam::AsString() const
{
    if (IsNull())
        return {};
    switch (DataType) {
    case TParamType::Date: return DateToStr(m_value.toDouble());
    case TParamType::DateTime: return DateTimeToStr(m_value.toDouble());
    case TParamType::Float: return FloatToStr(m_value.toDouble());
    case TParamType::Boolean: return m_value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    default: return m_value.toString();
    }
}

double TParam::AsFloat() const { return IsNull() ? 0 : m_value.toDouble(); }

TDateTime TParam::AsDateTime() const
{
    if (IsNull())
        return 0;
    if (m_value.typeId() == QMetaType::QString) {
        TDateTime d = 0;
        if (!TryStrToDate(m_value.toString(), d))
            throw EDatabaseError(QStringLiteral("O parâmetro '%1' não contém uma data válida: '%2'.").arg(Name, m_value.toString()));
        return d;
    }
    return m_value.toDouble();
}

void TParam::SetAsString(const QString &value)
{
    DataType = TParamType::String;
    // An empty text is a value, distinct from null.
    m_value = QVariant(value.isNull() ? QString(QLatin1String("")) : value);
}

void TParam::SetAsFloat(double value)
{
    DataType = TParamType::Float;
    m_value = QVariant(value);
}

void TParam::SetAsDateTime(TDateTime value)
{
    DataType = TParamType::DateTime;
    m_value = QVariant(value);
}

void TParam::SetAsDate(TDateTime value)
{
    DataType = TParamType::Date;
    m_value = QVariant(value);
}

TParams::TParams(const TParams &other) { *this = other; }

TParams &TParams::operator=(const TParams &other)
{
    if (this == &other)
        return *this;
    m_items.clear();
    for (const auto &p : other.m_items)
        m_items.push_back(std::make_unique<TParam>(*p));
    return *this;
}

TParam &TParams::Items(int index) const
{
    if (index < 0 || index >= Count())
        throw EDatabaseError(QStringLiteral("Índice de parâmetro %1 fora dos limites (0 a %2).").arg(index).arg(Count() - 1));
    return *m_items[static_cast<size_t>(index)];
}

TParam &TParams::CreateParam(TParamType type, const QString &name)
{
    m_items.push_back(std::make_unique<TParam>(name, type));
    return *m_items.back();
}

TParam *TParams::FindParam(const QString &name) const
{
    for (const auto &p : m_items)
        if (p->Name.compare(name, Qt::CaseInsensitive) == 0)
            return p.get();
    return nullptr;
}

TParam &TParams::ParamByName(const QString &name) const
{
    if (TParam *p = FindParam(name))
        return *p;
    throw EDatabaseError(QStringLiteral("Parâmetro '%1' não encontrado.").arg(name));
}

bool ExistParam(const TParams &params, const QString &name) { return params.FindParam(name) != nullptr; }
