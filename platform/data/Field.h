#pragma once
#include "data/DateTime.h"
#include <QString>
#include <QVariant>
#include <functional>

enum class TFieldType { String, FixedChar, Float, Integer, Boolean, DateTime };

QString FieldTypeName(TFieldType type);

class TDataSet;

// Converts any variant to the storage form of a field type; null stays null.
QVariant CoerceFieldValue(TFieldType type, int size, const QString &fieldName, const QVariant &value);
// Whether a value is already in the form a field of this type and size stores
// (coercing it would give it back unchanged).
bool InFieldForm(TFieldType type, int size, const QVariant &value);
class TCell;
bool InFieldForm(TFieldType type, int size, const TCell &value);

// One column of a data set. The value lives in the data set's current record.
class TField {
public:
    TField(TDataSet &owner, QString name, TFieldType type, int size);

    // Gives the display text of the field; the event sees the record being shown.
    using GetTextEvent = std::function<void(TField &sender, QString &text, bool displayText)>;

    QString FieldName;
    TFieldType DataType;
    int Size;
    QString DisplayLabel;
    bool Visible = true;
    bool Required = false;
    int DisplayWidth = 0;
    QString Origin;
    QString EditMask;
    GetTextEvent OnGetText;

    TDataSet &DataSet() const { return m_owner; }
    int Index() const { return m_index; }
    QString Label() const { return DisplayLabel.isEmpty() ? FieldName : DisplayLabel; }

    QVariant Value() const;
    void SetValue(const QVariant &value);
    bool IsNull() const;
    QString AsString() const;
    double AsFloat() const;
    TDateTime AsDateTime() const;
    qint64 AsInteger() const;
    bool AsBoolean() const;
    void SetAsString(const QString &value);
    void SetAsFloat(double value);
    void SetAsDateTime(TDateTime value);
    void SetAsInteger(qint64 value);
    void SetAsBoolean(bool value);
    void Clear();
    // Text for display: the OnGetText event when bound, else the plain text.
    QString DisplayText();

    // Converts any variant to this field's storage form; null stays null.
    QVariant Coerce(const QVariant &value) const;

private:
    friend class TDataSet;
    TDataSet &m_owner;
    int m_index = -1;
};
