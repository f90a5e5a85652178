#include "data/Field.h"
#include "data/DataSet.h"
#include "data/Exceptions.h"
#include "data/Record.h"

QString FieldTypeName(TFieldType type)
{
    switch (type) {
    case TFieldType::String: return QStringLiteral("string");
    case TFieldType::FixedChar: return QStringLiteral("fixedchar");
    case TFieldType::Float: return QStringLiteral("float");
    case TFieldType::Integer: return QStringLiteral("integer");
    case TFieldType::Boolean: return QStringLiteral("boolean");
    case TFieldType::DateTime: return QStringLiteral("datetime");
    }
    return QStringLiteral("unknown");
}

TField::TField(TDataSet &owner, QString name, TFieldType type, int size)
    : FieldName(std::move(name)), DataType(type), Size(size), m_owner(owner)
{
}

QVariant TField::Value() const { return m_owner.FieldValue(m_index); }

void TField::SetValue(const QVariant &value) { m_owner.SetFieldValue(m_index, Coerce(value)); }

bool TField::IsNull() const { return !Value().isValid(); }

QString TField::AsString() const
{
    const QVariant v = Value();
    if (!v.isValid())
        return {};
    switch (DataType) {
    case TFieldType::String:
    case TFieldType::FixedChar: return v.toString();
    case TFieldType::Float: return FloatToStr(v.toDouble());
    case TFieldType::Integer: return QString::number(v.toLongLong());
    case TFieldType::Boolean: return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case TFieldType::DateTime: return DateTimeToStr(v.toDouble());
    }
    return v.toString();
}

double TField::AsFloat() const
{
    const QVariant v = Value();
    if (!v.isValid())
        return 0;
    if (DataType == TFieldType::String || DataType == TFieldType::FixedChar)
        return CoerceFieldValue(TFieldType::Float, 0, FieldName, v).toDouble();
    return v.toDouble();
}

TDateTime TField::AsDateTime() const
{
    const QVariant v = Value();
    if (!v.isValid())
        return 0;
    if (DataType == TFieldType::String || DataType == TFieldType::FixedChar) {
        TDateTime d = 0;
        if (!TryStrToDate(v.toString(), d))
            throw EDatabaseError(QStringLiteral("'%1' não é uma data válida para o campo '%2'.").arg(v.toString(), FieldName));
        return d;
    }
    return v.toDouble();
}

qint64 TField::AsInteger() const
{
    const QVariant v = Value();
    return v.isValid() ? v.toLongLong() : 0;
}

bool TField::AsBoolean() const
{
    const QVariant v = Value();
    return v.isValid() && v.toBool();
}

void TField::SetAsString(const QString &value) { SetValue(QVariant(value)); }
void TField::SetAsFloat(double value) { SetValue(QVariant(value)); }
void TField::SetAsDateTime(TDateTime value) { SetValue(QVariant(value)); }
void TField::SetAsInteger(qint64 value) { SetValue(QVariant(value)); }
void TField::SetAsBoolean(bool value) { SetValue(QVariant(value)); }
void TField::Clear() { m_owner.SetFieldValue(m_index, QVariant()); }

QString TField::DisplayText()
{
    QString text = AsString();
    if (OnGetText)
        OnGetText(*this, text, true);
    return text;
}

QVariant TField::Coerce(const QVariant &value) const { return CoerceFieldValue(DataType, Size, FieldName, value); }

bool InFieldForm(TFieldType type, int size, const QVariant &v)
{
    switch (type) {
    case TFieldType::String:
    case TFieldType::FixedChar:
        return v.typeId() == QMetaType::QString && (size <= 0 || static_cast<const QString *>(v.constData())->size() <= size);
    case TFieldType::Float:
    case TFieldType::DateTime: return v.typeId() == QMetaType::Double;
    case TFieldType::Integer: return v.typeId() == QMetaType::LongLong;
    case TFieldType::Boolean: return v.typeId() == QMetaType::Bool;
    }
    return false;
}

bool InFieldForm(TFieldType type, int size, const TCell &v)
{
    switch (type) {
    case TFieldType::String:
    case TFieldType::FixedChar: return v.GetKind() == TCell::Kind::Text && (size <= 0 || v.TextRef().size() <= size);
    case TFieldType::Float:
    case TFieldType::DateTime: return v.GetKind() == TCell::Kind::Double;
    case TFieldType::Integer: return v.GetKind() == TCell::Kind::Int64;
    case TFieldType::Boolean: return v.GetKind() == TCell::Kind::Bool;
    }
    return false;
}

QVariant CoerceFieldValue(TFieldType type, int size, const QString &fieldName, const QVariant &value)
{
    const int Size = size;
    const QString &FieldName = fieldName;
    const TFieldType DataType = type;
    if (!value.isValid() || value.isNull())
        return {};
    switch (DataType) {
    case TFieldType::String:
    case TFieldType::FixedChar: {
        if (InFieldForm(DataType, Size, value))
            return value;
        QString s = value.toString();
        if (Size > 0 && s.size() > Size)
            s.truncate(Size);
        return s;
    }
    case TFieldType::Float: {
        if (value.typeId() == QMetaType::QString) {
            QString s = value.toString().trimmed();
            s.replace(FormatSettings().DecimalSeparator, QLatin1Char('.'));
            bool ok = false;
            const double d = s.toDouble(&ok);
            if (!ok)
                throw EDatabaseError(QStringLiteral("'%1' não é um valor numérico válido para o campo '%2'.").arg(value.toString(), FieldName));
            return d;
        }
        if (value.typeId() == QMetaType::Double)
            return value;
        return value.toDouble();
    }
    case TFieldType::Integer: return value.typeId() == QMetaType::LongLong ? value : QVariant(value.toLongLong());
    case TFieldType::Boolean: {
        if (value.typeId() == QMetaType::QString) {
            const QString s = value.toString().trimmed().toUpper();
            return s == QStringLiteral("S") || s == QStringLiteral("T") || s == QStringLiteral("1") || s == QStringLiteral("TRUE");
        }
        return value.toBool();
    }
    case TFieldType::DateTime: {
        switch (value.typeId()) {
        case QMetaType::QDate: return DateToDateTime(value.toDate());
        case QMetaType::QDateTime: return QDateTimeToDateTime(value.toDateTime());
        case QMetaType::QString: {
            const QString s = value.toString().trimmed();
            if (s.isEmpty())
                return {};
            // A plain date, as the databases give their date columns, needs no parsing of time or zone.
            if (s.size() == 10 && s[4] == QLatin1Char('-') && s[7] == QLatin1Char('-')) {
                const QDate d = QDate::fromString(s, Qt::ISODate);
                if (d.isValid())
                    return DateToDateTime(d);
            }
            QDateTime dt = QDateTime::fromString(s, Qt::ISODate);
            if (!dt.isValid())
                dt = QDateTime::fromString(s, Qt::ISODateWithMs);
            if (!dt.isValid()) {
                const QDate d = QDate::fromString(s.left(10), Qt::ISODate);
                if (d.isValid())
                    return DateToDateTime(d);
                TDateTime local = 0;
                if (TryStrToDate(s, local))
                    return local;
                throw EDatabaseError(QStringLiteral("'%1' não é uma data válida para o campo '%2'.").arg(s, FieldName));
            }
            return QDateTimeToDateTime(dt);
        }
        default: return value.toDouble();
        }
    }
    }
    return value;
}
