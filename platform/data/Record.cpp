#include "data/Record.h"

TCell::TCell(const QVariant &value)
{
    if (!value.isValid())
        return;
    if (!value.isNull()) {
        switch (value.typeId()) {
        case QMetaType::Double: *this = Number(*static_cast<const double *>(value.constData())); return;
        case QMetaType::LongLong: *this = Integer(*static_cast<const qlonglong *>(value.constData())); return;
        case QMetaType::Int: *this = Tagged(kTagInt32, static_cast<quint64>(*static_cast<const int *>(value.constData()))); return;
        case QMetaType::Bool: *this = Flag(*static_cast<const bool *>(value.constData())); return;
        case QMetaType::QString: *this = Boxing(kTagText, value); return;
        default: break;
        }
    }
    // A typed null or any other type is kept exactly as given.
    *this = Boxing(kTagOther, value);
}

TCell TCell::Integer(qint64 i)
{
    // 48 bits hold every integer the tables keep; a wider one is boxed.
    if ((static_cast<qint64>(static_cast<quint64>(i) << 16) >> 16) == i)
        return Tagged(kTagInt, static_cast<quint64>(i));
    return Boxing(kTagWideInt, QVariant(static_cast<qlonglong>(i)));
}

TCell TCell::Boxing(quint64 tag, QVariant value)
{
    auto *box = new TBox{{1}, std::move(value)};
    const auto address = reinterpret_cast<quintptr>(box);
    if (address & ~kPayload)
        qFatal("TCell: address %p is beyond 48 bits", static_cast<void *>(box));
    TCell c;
    c.m_bits = tag << kTagShift | address;
    return c;
}

TCell TCell::Text(QString text) { return Boxing(kTagText, QVariant(std::move(text))); }

QVariant TCell::ToVariant() const
{
    switch (GetKind()) {
    case Kind::Null: return {};
    case Kind::Double: return QVariant(Double());
    case Kind::Int64: return QVariant(static_cast<qlonglong>(Int()));
    case Kind::Int32: return QVariant(static_cast<int>(Int()));
    case Kind::Bool: return QVariant(Int() != 0);
    case Kind::Text:
    case Kind::Other: return box()->value;
    }
    return {};
}

void TCell::Release() noexcept
{
    TBox *b = box();
    if (b->ref.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete b;
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
