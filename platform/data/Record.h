#pragma once
#include <QString>
#include <QVariant>
#include <atomic>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <vector>

// Whether two field values are equal, as QVariant's == says, without its slow
// general path for the values fields hold (text, number, date, flag, null).
inline bool SameValue(const QVariant &a, const QVariant &b)
{
    const QMetaType ta = a.metaType(), tb = b.metaType();
    if (ta == tb) {
        switch (ta.id()) {
        case QMetaType::QString: return *static_cast<const QString *>(a.constData()) == *static_cast<const QString *>(b.constData());
        case QMetaType::Double: return *static_cast<const double *>(a.constData()) == *static_cast<const double *>(b.constData());
        case QMetaType::LongLong: return *static_cast<const qlonglong *>(a.constData()) == *static_cast<const qlonglong *>(b.constData());
        case QMetaType::Bool: return *static_cast<const bool *>(a.constData()) == *static_cast<const bool *>(b.constData());
        case QMetaType::UnknownType: return true;
        default: break;
        }
    } else if (!ta.isValid() || !tb.isValid()) {
        return false; // a null without a type equals no value
    }
    return a == b;
}

// One stored value in 8 bytes. A number is its own bits; any other value is a
// not-a-number pattern that carries a tag in its top bits and, below them, a
// small integer, a flag or the address of a shared box holding a text or any
// other value. Copying a boxed cell costs one reference count, so a text
// repeated down a column is kept once. A not-a-number is kept as the one quiet
// not-a-number; every other double, -0 included, is kept exactly.
class TCell {
public:
    enum class Kind : quint8 { Null, Double, Int64, Int32, Bool, Text, Other };

    TCell() noexcept = default;
    TCell(const QVariant &value);
    static TCell Number(double d) noexcept
    {
        TCell c;
        if (d != d)
            c.m_bits = kQuietNaN;
        else
            std::memcpy(&c.m_bits, &d, 8);
        return c;
    }
    static TCell Integer(qint64 i);
    static TCell Flag(bool b) noexcept { return Tagged(kTagBool, b ? 1 : 0); }
    static TCell Text(QString text);

    TCell(const TCell &other) noexcept : m_bits(other.m_bits)
    {
        if (Boxed())
            box()->ref.fetch_add(1, std::memory_order_relaxed);
    }
    TCell(TCell &&other) noexcept : m_bits(other.m_bits) { other.m_bits = kNull; }
    TCell &operator=(const TCell &other) noexcept
    {
        TCell copy(other);
        Swap(copy);
        return *this;
    }
    TCell &operator=(TCell &&other) noexcept
    {
        TCell taken(std::move(other));
        Swap(taken);
        return *this;
    }
    ~TCell()
    {
        if (Boxed())
            Release();
    }
    void Swap(TCell &other) noexcept { std::swap(m_bits, other.m_bits); }

    Kind GetKind() const
    {
        const quint64 tag = m_bits >> kTagShift;
        if (tag < kTagNull)
            return Kind::Double;
        static constexpr Kind kinds[] = {Kind::Null, Kind::Int64, Kind::Int32, Kind::Bool, Kind::Text, Kind::Other, Kind::Int64};
        return kinds[tag - kTagNull];
    }
    bool IsNull() const { return m_bits == kNull; }
    double Double() const // Kind::Double
    {
        double d;
        std::memcpy(&d, &m_bits, 8);
        return d;
    }
    qint64 Int() const // Kind::Int64, Int32 and Bool
    {
        if ((m_bits >> kTagShift) == kTagWideInt)
            return *static_cast<const qlonglong *>(box()->value.constData());
        return static_cast<qint64>(m_bits << 16) >> 16;
    }
    const QString &TextRef() const { return *static_cast<const QString *>(box()->value.constData()); } // Kind::Text
    // Two text cells sharing one box hold the same text.
    const void *Box() const { return Boxed() ? box() : nullptr; }
    QVariant ToVariant() const;

private:
    struct TBox {
        std::atomic<int> ref{1};
        QVariant value;
    };
    // Tags, in the top 16 bits; below kTagNull the bits are a double's.
    static constexpr int kTagShift = 48;
    static constexpr quint64 kTagNull = 0xfff9, kTagInt = 0xfffa, kTagInt32 = 0xfffb, kTagBool = 0xfffc, kTagText = 0xfffd, kTagOther = 0xfffe,
                             kTagWideInt = 0xffff; // an integer past 48 bits, boxed
    static constexpr quint64 kPayload = (quint64(1) << kTagShift) - 1;
    static constexpr quint64 kNull = kTagNull << kTagShift;
    static constexpr quint64 kQuietNaN = 0x7ff8000000000000ull;
    static TCell Tagged(quint64 tag, quint64 payload) noexcept
    {
        TCell c;
        c.m_bits = tag << kTagShift | (payload & kPayload);
        return c;
    }
    static TCell Boxing(quint64 tag, QVariant value);
    bool Boxed() const { return (m_bits >> kTagShift) >= kTagText; }
    TBox *box() const { return reinterpret_cast<TBox *>(static_cast<quintptr>(m_bits & kPayload)); }
    void Release() noexcept;
    quint64 m_bits = kNull;
};
static_assert(sizeof(TCell) == 8);

// Whether two values are equal, as QVariant's == says of their variants.
bool SameValue(const TCell &a, const TCell &b);

// A data set row: one cell per field. Reading a value by index gives a
// QVariant; writing one goes through a reference to the cell.
class TRecord {
public:
    class Ref {
    public:
        explicit Ref(TCell &cell) : m_cell(cell) {}
        Ref &operator=(const QVariant &value)
        {
            m_cell = TCell(value);
            return *this;
        }
        Ref &operator=(const Ref &other)
        {
            m_cell = other.m_cell;
            return *this;
        }
        operator QVariant() const { return m_cell.ToVariant(); }
        bool isValid() const { return !m_cell.IsNull(); }
        bool isNull() const { return m_cell.IsNull() || m_cell.ToVariant().isNull(); }
        QString toString() const { return m_cell.ToVariant().toString(); }
        double toDouble() const { return m_cell.ToVariant().toDouble(); }
        qlonglong toLongLong() const { return m_cell.ToVariant().toLongLong(); }
        int toInt() const { return m_cell.ToVariant().toInt(); }
        bool toBool() const { return m_cell.ToVariant().toBool(); }
        int typeId() const { return m_cell.ToVariant().typeId(); }

    private:
        TCell &m_cell;
    };

    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = QVariant;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = QVariant;
        const_iterator() = default;
        explicit const_iterator(const TCell *at) : m_at(at) {}
        QVariant operator*() const { return m_at->ToVariant(); }
        const_iterator &operator++()
        {
            ++m_at;
            return *this;
        }
        const_iterator operator++(int)
        {
            const_iterator was = *this;
            ++m_at;
            return was;
        }
        bool operator==(const const_iterator &other) const { return m_at == other.m_at; }
        bool operator!=(const const_iterator &other) const { return m_at != other.m_at; }

    private:
        const TCell *m_at = nullptr;
    };

    TRecord() = default;
    explicit TRecord(size_t count) : m_cells(count) {}
    TRecord(std::initializer_list<QVariant> values);

    size_t size() const { return m_cells.size(); }
    bool empty() const { return m_cells.empty(); }
    void resize(size_t count) { m_cells.resize(count); }
    void clear() { m_cells.clear(); }
    void assign(size_t count, const QVariant &value) { m_cells.assign(count, TCell(value)); }

    QVariant operator[](size_t i) const { return m_cells[i].ToVariant(); }
    Ref operator[](size_t i) { return Ref(m_cells[i]); }
    const TCell &Cell(size_t i) const { return m_cells[i]; }
    TCell &Cell(size_t i) { return m_cells[i]; }
    const TCell *Cells() const { return m_cells.data(); }
    TCell *Cells() { return m_cells.data(); }

    const_iterator begin() const { return const_iterator(m_cells.data()); }
    const_iterator end() const { return const_iterator(m_cells.data() + m_cells.size()); }

    friend bool operator==(const TRecord &a, const TRecord &b);
    friend bool operator!=(const TRecord &a, const TRecord &b) { return !(a == b); }

private:
    std::vector<TCell> m_cells;
};
