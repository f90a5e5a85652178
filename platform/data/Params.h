#pragma once
#include "data/DateTime.h"
#include <QString>
#include <QVariant>
#include <memory>
#include <vector>

enum class TParamType { Unknown, String, Float, Integer, Boolean, Date, DateTime };

QString ParamTypeName(TParamType type);

// A named, typed parameter whose value may be null.
class TParam {
public:
    TParam(QString name, TParamType type) : Name(std::move(name)), DataType(type) {}

    QString Name;
    TParamType DataType;

    bool IsNull() const { return !m_value.isValid(); }
    QVariant Value() const { return m_value; }
    // Assigns a variant; the type follows the variant's kind when it is unknown.
    void SetValue(const QVariant &value);
    // Leaves the value null.
    void Clear() { m_value = QVariant(); }
    QString AsString() const;
    double AsFloat() const;
    TDateTime AsDateTime() const;
    void SetAsString(const QString &value);
    void SetAsFloat(double value);
    void SetAsDateTime(TDateTime value);
    void SetAsDate(TDateTime value);

private:
    QVariant m_value;
};

// An ordered collection of parameters, looked up by name without regard to case.
class TParams {
public:
    TParams() = default;
    TParams(const TParams &other);
    TParams &operator=(const TParams &other);
    TParams(TParams &&) noexcept = default;
    TParams &operator=(TParams &&) noexcept = default;

    int Count() const { return static_cast<int>(m_items.size()); }
    TParam &Items(int index) const;
    TParam &operator[](int index) const { return Items(index); }
    TParam &CreateParam(TParamType type, const QString &name);
    TParam *FindParam(const QString &name) const;
    // Raises the parameter-not-found error when the name is missing.
    TParam &ParamByName(const QString &name) const;
    void Clear() { m_items.clear(); }

private:
    std::vector<std::unique_ptr<TParam>> m_items;
};

bool ExistParam(const TParams &params, const QString &name);
