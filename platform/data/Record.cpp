#include "data/Record.h"

TCell::TCell(const QVariant &value)
{
    m_v.i = 0;
    if (!value.isValid())
        return;
    if (!value.isNull()) {
        switch (value.typeId()) {
        case QMetaType::Double:
            m_v.d = *static_cast<const double *>(value.constData());
            m_kind = Kind::Double;
            return;
        case QMetaType::LongLong:
            m_v.i = *static_cast<const qlonglong *>(value.constData());
            m_kind = Kind::Int64;
            return;
        case QMetaType::Int:
            m_v.i = *static_cast<const int *>(value.constData());
            m_kind = Kind::Int32;
            return;
        case QMetaType::Bool:
            m_v.i = *static_cast<const bool *>(value.constData()) ? 1 : 0;
            m_kind = Kind::Bool;
            return;
        case QMetaType::QString:
            m_v.box = new TBox{{1}, value};
            m_kind = Kind::Text;
            return;
        default: break;
        }
    }
    // A typed null or any other type is kept exactly as given.
    m_v.box = new TBox{{1}, value};
    m_kind = Kind::Other;
}

TCell TCell::Text(QString text)
{
    TCell c;
    c.m_v.box = new TBox{{1}, QVariant(std::move(text))};
    c.m_kind = Kind::Text;
    return c;
}

QVariant TCell::ToVariant() const
{
    switch (m_kind) {
    case Kind::Null: return {};
    case Kind::Double: return QVariant(m_v.d);
    case Kind::Int64: return QVariant(static_cast<qlonglong>(m_v.i));
    case Kind::Int32: return QVariant(static_cast<int>(m_v.i));
    case Kind::Bool: return QVariant(m_v.i != 0);
    case Kind::Text:
    case Kind::Other: return m_v.box->value;
    }
    return {};
}

void TCell::Release() noexcept
{
    if (m_v.box->ref.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete m_v.box;
}

bool SameValue(const TCell &a, const TCell &b)
{
    if (a.GetKind() == b.GetKind()) {
        switch (a.GetKind()) {
        case TCell::Kind::Null: return true;
        case TCell::Kind::Double: return a.Double() == b.Double();
        case TCell::Kind::Int64:
        case TCell::Kind::Int32:
        case TCell::Kind::Bool: return a.Int() == b.Int();
        case TCell::Kind::Text: return a.Box() == b.Box() || a.TextRef() == b.TextRef();
        case TCell::Kind::Other: break;
        }
    } else if (a.IsNull() || b.IsNull()) {
        return false; // a null without a type equals no value
    }
    return SameValue(a.ToVariant(), b.ToVariant());
}

TRecord::TRecord(std::initializer_list<QVariant> values)
{
    m_cells.reserve(values.size());
    for (const QVariant &v : values)
        m_cells.emplace_back(v);
}

bool operator==(const TRecord &a, const TRecord &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!SameValue(a.Cell(i), b.Cell(i)))
            return false;
    return true;
}
