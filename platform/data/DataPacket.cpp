#include "data/DataPacket.h"
#include <QStringDecoder>
#include "data/Exceptions.h"
#include "data/Quote.h"
#include <QHash>
#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

namespace {
const char kMagic[4] = {'R', 'D', 'P', 'K'};
constexpr quint32 kMaxFields = 4096;
constexpr quint32 kMaxNameBytes = 256;
constexpr quint64 kAllocOverhead = 16;
constexpr quint64 kRowMemoryFactor = 16;
constexpr quint64 kRowMemoryAllowance = 4u * 1024u * 1024u;

// Big-endian numbers and texts appended to a byte array.
void putU8(QByteArray &out, quint8 v) { out.append(static_cast<char>(v)); }
template <typename T> void putBe(QByteArray &out, T value)
{
    quint64 v = 0;
    if constexpr (sizeof(T) == 8)
        std::memcpy(&v, &value, 8);
    else
        v = static_cast<quint64>(value);
    char b[sizeof(T)];
    for (size_t i = 0; i < sizeof(T); ++i)
        b[i] = static_cast<char>((v >> (8 * (sizeof(T) - 1 - i))) & 0xff);
    out.append(b, sizeof(T));
}
void putName(QByteArray &out, const QString &s)
{
    const QByteArray b = s.toUtf8();
    putBe<quint32>(out, static_cast<quint32>(b.size()));
    out.append(b);
}

// Cell markers of version 2; version 1 knows only the first two.
enum Marker : quint8 { kNull = 0, kValue = 1, kSameAsAbove = 2, kSeenText = 3 };
// Texts each column remembers for references.
constexpr quint32 kMaxSeenTexts = 65536;
// Lookups over which a column judges whether its texts come again.
constexpr quint32 kSeenWindow = 4096;
// Slots past which a column's table of texts or of boxes outgrows the caches, and its
// next entries are worth loading ahead.
constexpr size_t kWideSlots = 32768;

bool isText(TFieldType t) { return t == TFieldType::String || t == TFieldType::FixedChar; }

} // namespace

namespace PacketDetail {
// Thrown by a reader told that more bytes may follow, when they are needed.
struct NeedMore {};

class Reader {
public:
    explicit Reader(QByteArrayView in, qint64 base = 0, bool more = false) : m_data(in), m_base(base), m_more(more) {}
    qsizetype remaining() const { return m_data.size() - m_pos; }
    qsizetype pos() const { return m_pos; }
    void rewind(qsizetype pos) { m_pos = pos; }
    void need(qsizetype n) const
    {
        if (n < 0 || remaining() < n) {
            if (m_more && n >= 0)
                throw NeedMore{};
            throw EPacketError(QStringLiteral("Pacote de dados truncado: faltam bytes na posição %1.").arg(m_base + m_pos));
        }
    }
    const char *take(qsizetype n)
    {
        need(n);
        const char *p = m_data.constData() + m_pos;
        m_pos += n;
        return p;
    }
    template <typename T> T be()
    {
        const auto *p = reinterpret_cast<const unsigned char *>(take(sizeof(T)));
        quint64 v = 0;
        for (size_t i = 0; i < sizeof(T); ++i)
            v = (v << 8) | p[i];
        T out;
        if constexpr (sizeof(T) == 8) {
            std::memcpy(&out, &v, 8);
        } else {
            out = static_cast<T>(v);
        }
        return out;
    }
    quint32 varint()
    {
        quint32 v = 0;
        for (int shift = 0; shift < 35; shift += 7) {
            const quint8 b = u8();
            if (shift == 28 && (b & 0x70))
                break;
            v |= static_cast<quint32>(b & 0x7f) << shift;
            if (!(b & 0x80))
                return v;
        }
        throw EPacketError(QStringLiteral("Pacote de dados corrompido: número longo demais na posição %1.").arg(m_base + m_pos));
    }
    QString text(quint32 n)
    {
        const char *p = take(static_cast<qsizetype>(n));
        return QString::fromUtf8(p, static_cast<qsizetype>(n));
    }
    quint8 u8() { return be<quint8>(); }
    quint16 u16() { return be<quint16>(); }
    quint32 u32() { return be<quint32>(); }
    qint64 i64() { return be<qint64>(); }
    double f64() { return be<double>(); }
    QString str(quint32 cap = 0)
    {
        const quint32 n = u32();
        if (cap && n > cap)
            throw EPacketError(QStringLiteral("Pacote de dados corrompido: nome com %1 bytes.").arg(n));
        const char *p = take(static_cast<qsizetype>(n));
        if (!cap)
            return QString::fromUtf8(p, static_cast<qsizetype>(n));
        // A name must be valid UTF-8: replacement characters would make it longer than its cap when sent again.
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString name = utf8(QByteArrayView(p, static_cast<qsizetype>(n)));
        if (utf8.hasError())
            throw EPacketError(QStringLiteral("Pacote de dados corrompido: nome que não é UTF-8 válido."));
        return name;
    }

private:
    QByteArrayView m_data;
    qint64 m_base = 0; // position of the view's first byte in the packet
    bool m_more = false;
    qsizetype m_pos = 0;
};
} // namespace PacketDetail

namespace {
using PacketDetail::NeedMore;
using PacketDetail::Reader;

bool validType(quint8 t) { return t <= static_cast<quint8>(TFieldType::DateTime); }
bool validKind(quint8 k) { return k <= static_cast<quint8>(TRowKind::Original); }
} // namespace

int TDataPacket::FieldIndex(const QString &name) const
{
    for (size_t i = 0; i < Fields.size(); ++i)
        if (Fields[i].Name.compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}

void TDataPacket::AddRow(TRecord row, TRowKind kind)
{
    row.resize(Fields.size());
    Rows.push_back(std::move(row));
    Kinds.push_back(kind);
}

namespace {
// The texts one column has met, keyed by their UTF-8 bytes, each with its reference.
// A slot is 16 bytes, so a column's table stays in the processor's caches.
class SeenTexts {
public:
    // The reference of the text when met before, else -1.
    qint64 Find(const char *p, qsizetype n, size_t hash) const
    {
        if (m_slots.empty())
            return -1;
        const quint32 h = static_cast<quint32>(hash);
        for (size_t i = h & (m_slots.size() - 1);; i = (i + 1) & (m_slots.size() - 1)) {
            const Slot &s = m_slots[i];
            if (s.Ref == kFree)
                return -1;
            if (s.Hash == h && s.Size == static_cast<quint32>(n) && std::memcmp(m_bytes.data() + s.Offset, p, s.Size) == 0)
                return s.Ref;
        }
    }
    // A text past the byte store's reach is not kept, and false is returned.
    bool Add(const char *p, qsizetype n, size_t hash, quint32 ref)
    {
        if (m_bytes.size() + static_cast<size_t>(n) >= kFree)
            return false;
        if ((m_count + 1) * 2 > m_slots.size())
            grow();
        const quint32 h = static_cast<quint32>(hash);
        size_t i = h & (m_slots.size() - 1);
        while (m_slots[i].Ref != kFree)
            i = (i + 1) & (m_slots.size() - 1);
        m_slots[i] = {h, ref, static_cast<quint32>(m_bytes.size()), static_cast<quint32>(n)};
        if (m_texts.size() <= ref)
            m_texts.resize(ref + 1);
        m_texts[ref] = {static_cast<quint32>(m_bytes.size()), static_cast<quint32>(n)};
        m_bytes.append(p, static_cast<size_t>(n));
        ++m_count;
        return true;
    }
    // Loads ahead the slot a text of this hash would be found in, where the table has outgrown the caches.
    void Prefetch(size_t hash) const
    {
        if (Wide())
            __builtin_prefetch(m_slots.data() + (static_cast<quint32>(hash) & (m_slots.size() - 1)));
    }
    bool Wide() const { return m_slots.size() >= kWideSlots; }
    // The bytes of a text added under ref.
    QByteArrayView Bytes(quint32 ref) const
    {
        const auto [offset, size] = m_texts[ref];
        return QByteArrayView(m_bytes.data() + offset, static_cast<qsizetype>(size));
    }
    void Clear()
    {
        m_slots = {};
        m_texts = {};
        m_bytes = {};
        m_count = 0;
    }

private:
    static constexpr quint32 kFree = 0xffffffffu;
    struct Slot {
        quint32 Hash = 0;
        quint32 Ref = kFree;
        quint32 Offset = 0;
        quint32 Size = 0;
    };
    void grow()
    {
        std::vector<Slot> old = std::move(m_slots);
        m_slots.assign(old.empty() ? 64 : old.size() * 2, Slot{});
        for (const Slot &s : old) {
            if (s.Ref == kFree)
                continue;
            size_t i = s.Hash & (m_slots.size() - 1);
            while (m_slots[i].Ref != kFree)
                i = (i + 1) & (m_slots.size() - 1);
            m_slots[i] = s;
        }
    }
    std::vector<Slot> m_slots;
    std::vector<std::pair<quint32, quint32>> m_texts; // offset and size by reference
    std::string m_bytes;
    size_t m_count = 0;
};

// The boxes of text cells a column has written, each with the reference of its text.
// Holding the cells keeps a box from being freed and its address reused for another text.
class SeenBoxes {
public:
    qint64 Find(const void *box) const
    {
        if (m_slots.empty())
            return -1;
        const quint64 key = keyOf(box);
        for (size_t i = slotOf(box);; i = (i + 1) & (m_slots.size() - 1)) {
            const quint64 slot = m_slots[i];
            if ((slot >> kRefBits) == key)
                return static_cast<qint64>(slot & kRefMask);
            if (!slot)
                return -1;
        }
    }
    // A box out of a slot's reach, or a reference past 16 bits, is not kept: its text is looked up instead.
    // Without `hold` the caller keeps the cell alive for as long as the table is used.
    void Add(const TCell &cell, quint32 ref, bool hold)
    {
        const quint64 key = keyOf(cell.Box());
        if (key >> (64 - kRefBits) || ref > kRefMask)
            return;
        if ((m_count + 1) * 2 > m_slots.size())
            grow();
        size_t i = slotOf(cell.Box());
        while (m_slots[i])
            i = (i + 1) & (m_slots.size() - 1);
        m_slots[i] = key << kRefBits | ref;
        ++m_count;
        if (hold)
            m_held.push_back(cell);
    }
    // Loads ahead the slot a box would be found in, where the table has outgrown the caches.
    void Prefetch(const void *box) const
    {
        if (Wide())
            __builtin_prefetch(m_slots.data() + slotOf(box));
    }
    bool Wide() const { return m_slots.size() >= kWideSlots; }
    void Clear()
    {
        m_slots = {};
        m_held = {};
        m_count = 0;
    }

private:
    // A slot is the box's address and the text's reference in one word, so that a
    // column's table takes half the caches it would; 0 is a free slot.
    static constexpr int kRefBits = 16;
    static constexpr quint64 kRefMask = (quint64(1) << kRefBits) - 1;
    static_assert(kMaxSeenTexts <= kRefMask + 1);
    static quint64 keyOf(const void *box) { return reinterpret_cast<quintptr>(box); }
    size_t slotOf(const void *box) const { return (reinterpret_cast<quintptr>(box) >> 4) * 0x9E3779B97F4A7C15ull >> 20 & (m_slots.size() - 1); }
    void grow()
    {
        std::vector<quint64> old = std::move(m_slots);
        m_slots.assign(old.empty() ? 64 : old.size() * 2, 0);
        for (const quint64 s : old) {
            if (!s)
                continue;
            size_t i = slotOf(reinterpret_cast<const void *>(static_cast<quintptr>(s >> kRefBits)));
            while (m_slots[i])
                i = (i + 1) & (m_slots.size() - 1);
            m_slots[i] = s;
        }
    }
    std::vector<quint64> m_slots;
    std::vector<TCell> m_held;
    size_t m_count = 0;
};
} // namespace

struct TPacketWriter::Column {
    TFieldType Type = TFieldType::String;
    bool Text = false;
    bool Number = false; // a float or a date, held as a double
    bool HasAbove = false; // the row before holds a value here
    // The text above: its reference when the column keeps it, and its bytes when it was
    // written from them (so that comparing with it needs no look into the table).
    qint64 AboveRef = -1;
    std::string AboveText;
    bool AboveTextHeld = false;
    // A text announced for this row by PrefetchText, with its hash.
    const char *HintAt = nullptr;
    qsizetype HintSize = 0;
    size_t HintHash = 0;
    quint32 HintRow = 0;
    quint64 AboveBits = 0;
    // The shared text the value above was written from when AboveFromCell; its box
    // is kept alive by AboveCell or by Boxes while it is compared with (by the
    // caller's rows after RowsOutliveWriter).
    const void *AboveBox = nullptr;
    TCell AboveCell;
    bool AboveFromCell = false;
    SeenTexts Seen;
    SeenBoxes Boxes;
    quint32 SeenCount = 0;
    bool UseSeen = true;
    quint32 Lookups = 0, Hits = 0;

    QByteArrayView Above() const
    {
        if (AboveRef >= 0 && !AboveTextHeld)
            return Seen.Bytes(static_cast<quint32>(AboveRef));
        return QByteArrayView(AboveText.data(), static_cast<qsizetype>(AboveText.size()));
    }
    // Counts one lookup; a column that finds too few of its texts again stops looking.
    bool KeepLooking()
    {
        if (!UseSeen)
            return false;
        if (Lookups == kSeenWindow) {
            // A column must find a sixty-fourth of a window's texts again (fewer than some
            // 130,000 texts drawn at random do), and an eighth once its table is full.
            if (Hits < kSeenWindow / 64 || (SeenCount >= kMaxSeenTexts && Hits < kSeenWindow / 8)) {
                UseSeen = false;
                if (AboveRef >= 0) {
                    const QByteArrayView above = Above();
                    AboveText.assign(above.data(), static_cast<size_t>(above.size()));
                    AboveTextHeld = true;
                    AboveRef = -1;
                }
                if (AboveFromCell && AboveCell.IsNull())
                    AboveFromCell = false;
                Seen.Clear();
                Boxes.Clear();
                return false;
            }
            Lookups = Hits = 0;
        }
        ++Lookups;
        return true;
    }
};

TPacketWriter::TPacketWriter(std::vector<TPacketField> fields) : m_fields(std::move(fields)), m_columns(m_fields.size())
{
    for (size_t c = 0; c < m_fields.size(); ++c) {
        m_columns[c].Type = m_fields[c].Type;
        m_columns[c].Text = isText(m_fields[c].Type);
        m_columns[c].Number = m_fields[c].Type == TFieldType::Float || m_fields[c].Type == TFieldType::DateTime;
    }
    m_out.append(kMagic, 4);
    putBe<quint16>(m_out, TDataPacket::kVersion);
    putBe<quint32>(m_out, static_cast<quint32>(m_fields.size()));
    for (const auto &f : m_fields) {
        putName(m_out, f.Name);
        putU8(m_out, static_cast<quint8>(f.Type));
        putBe<quint32>(m_out, static_cast<quint32>(f.Size));
        putU8(m_out, f.Required ? 1 : 0);
    }
    m_countAt = m_out.size();
    putBe<quint32>(m_out, 0);
    m_used = m_out.size();
}

TPacketWriter::~TPacketWriter() = default;

char *TPacketWriter::Grow(qsizetype n)
{
    m_out.resize(std::max(m_used + n, m_out.size() * 2 + 4096));
    m_at = m_out.data();
    return m_at + m_used;
}

inline char *TPacketWriter::Room(qsizetype n)
{
    if (m_out.size() - m_used < n) [[unlikely]]
        return Grow(n);
    return m_at + m_used;
}

inline void TPacketWriter::Put(quint8 byte)
{
    *Room(1) = static_cast<char>(byte);
    ++m_used;
}

inline void TPacketWriter::PutCount(quint32 v)
{
    char *p = Room(5), *start = p;
    while (v >= 0x80) {
        *p++ = static_cast<char>((v & 0x7f) | 0x80);
        v >>= 7;
    }
    *p++ = static_cast<char>(v);
    m_used += p - start;
}

void TPacketWriter::SendInPieces(std::function<void(QByteArrayView)> sink, qsizetype pieceBytes)
{
    m_sink = std::move(sink);
    m_pieceBytes = std::max<qsizetype>(1, pieceBytes);
}

void TPacketWriter::SendPiece()
{
    if (!m_piecesSent) {
        for (int i = 0; i < 4; ++i)
            m_out[m_countAt + i] = static_cast<char>(0xff);
        m_piecesSent = true;
    }
    m_sink(QByteArrayView(m_out.constData(), m_used));
    // The block is written over from its start; the header alone may not have set m_at yet.
    m_at = m_out.data();
    m_used = 0;
}

void TPacketWriter::BeginRow(TRowKind kind)
{
    if (m_next != 0 && m_next != m_fields.size())
        throw EPacketError(QStringLiteral("Pacote de dados: registro anterior com %1 de %2 valores.").arg(m_next).arg(m_fields.size()));
    if (m_sink && m_used >= m_pieceBytes) [[unlikely]]
        SendPiece();
    Put(static_cast<quint8>(kind));
    m_next = 0;
    ++m_rows;
}

inline TPacketWriter::Column &TPacketWriter::NextColumn()
{
    if (m_next >= m_fields.size())
        throw EPacketError(QStringLiteral("Pacote de dados: valor além dos %1 campos do registro.").arg(m_fields.size()));
    Column &col = m_columns[m_next++];
    col.AboveFromCell = false;
    return col;
}

void TPacketWriter::Value(const QVariant &v)
{
    if (m_next >= m_fields.size())
        throw EPacketError(QStringLiteral("Pacote de dados: valor além dos %1 campos do registro.").arg(m_fields.size()));
    if (!v.isValid() || v.isNull())
        return Null();
    switch (m_columns[m_next].Type) {
    case TFieldType::String:
    case TFieldType::FixedChar: {
        const QString copy = v.typeId() == QMetaType::QString ? QString() : v.toString();
        TextOf(v.typeId() == QMetaType::QString ? *static_cast<const QString *>(v.constData()) : copy);
        return;
    }
    case TFieldType::Float:
    case TFieldType::DateTime: return Number(v.toDouble());
    case TFieldType::Integer: return Integer(v.toLongLong());
    case TFieldType::Boolean: return Boolean(v.toBool());
    }
}

qint64 TPacketWriter::TextOf(const QString &s)
{
    // Plain ASCII needs no encoder.
    const char16_t *u = reinterpret_cast<const char16_t *>(s.constData());
    const qsizetype n = s.size();
    m_utf8.resize(static_cast<size_t>(n));
    char *out = m_utf8.data();
    char16_t seen = 0; // every character or-ed: below 0x80 when all are ASCII
    for (qsizetype i = 0; i < n; ++i) {
        seen |= u[i];
        out[i] = static_cast<char>(u[i]);
    }
    if (seen < 0x80)
        return PutText(NextColumn(), out, n);
    const QByteArray b = s.toUtf8();
    return PutText(NextColumn(), b.constData(), b.size());
}

void TPacketWriter::Null()
{
    Column &col = NextColumn();
    Put(kNull);
    col.HasAbove = false;
    col.AboveRef = -1;
}

void TPacketWriter::Text(const char *p, qsizetype n) { PutText(NextColumn(), p, n); }

qint64 TPacketWriter::PutText(Column &col, const char *p, qsizetype n)
{
    if (!col.Text)
        throw EPacketError(QStringLiteral("Pacote de dados: texto para o campo %1, do tipo %2.").arg(m_fields[m_next - 1].Name, FieldTypeName(col.Type)));
    const QByteArrayView text(p, n);
    if (col.HasAbove && col.Above() == text) {
        Put(kSameAsAbove);
        return col.AboveRef;
    }
    col.HasAbove = true;
    if (col.KeepLooking()) {
        const bool hinted = col.HintRow == m_rows && col.HintAt == p && col.HintSize == n;
        const size_t hash = hinted ? col.HintHash : qHash(text);
        const qint64 ref = col.Seen.Find(p, n, hash);
        if (ref >= 0) {
            ++col.Hits;
            col.AboveRef = ref;
            col.AboveText.assign(p, static_cast<size_t>(n));
            col.AboveTextHeld = true;
            Put(kSeenText);
            PutCount(static_cast<quint32>(ref));
            return ref;
        }
        col.AboveRef = -1;
        if (col.SeenCount < kMaxSeenTexts) {
            const quint32 added = col.SeenCount++;
            const bool wide = col.Seen.Wide();
            if (col.Seen.Add(p, n, hash, added))
                col.AboveRef = added;
            if (!wide && col.Seen.Wide())
                m_wideTexts.push_back(static_cast<quint32>(&col - m_columns.data()));
        }
    } else {
        col.AboveRef = -1;
        if (col.SeenCount < kMaxSeenTexts)
            ++col.SeenCount;
    }
    col.AboveText.assign(p, static_cast<size_t>(n));
    col.AboveTextHeld = true;
    Put(kValue);
    PutCount(static_cast<quint32>(n));
    std::memcpy(Room(n), p, static_cast<size_t>(n));
    m_used += n;
    return col.AboveRef;
}

void TPacketWriter::Bits(Column &col, quint64 bits)
{
    if (col.HasAbove && col.AboveBits == bits) {
        Put(kSameAsAbove);
        return;
    }
    col.HasAbove = true;
    col.AboveBits = bits;
    if (col.Type == TFieldType::Boolean) {
        char *o = Room(2);
        o[0] = static_cast<char>(kValue);
        o[1] = static_cast<char>(bits);
        m_used += 2;
        return;
    }
    char *o = Room(9);
    o[0] = static_cast<char>(kValue);
    for (int i = 0; i < 8; ++i)
        o[1 + i] = static_cast<char>((bits >> (56 - 8 * i)) & 0xff);
    m_used += 9;
}

namespace {
[[noreturn]] void wrongKind(const TPacketField &f, const char *kind)
{
    throw EPacketError(QStringLiteral("Pacote de dados: valor %1 para o campo %2, do tipo %3.").arg(QLatin1String(kind), f.Name, FieldTypeName(f.Type)));
}
} // namespace

void TPacketWriter::Number(double value)
{
    Column &col = NextColumn();
    if (col.Type != TFieldType::Float && col.Type != TFieldType::DateTime)
        wrongKind(m_fields[m_next - 1], "numérico");
    quint64 bits = 0;
    std::memcpy(&bits, &value, 8);
    Bits(col, bits);
}

void TPacketWriter::Integer(qint64 value)
{
    Column &col = NextColumn();
    if (col.Type != TFieldType::Integer)
        wrongKind(m_fields[m_next - 1], "inteiro");
    Bits(col, static_cast<quint64>(value));
}

void TPacketWriter::Boolean(bool value)
{
    Column &col = NextColumn();
    if (col.Type != TFieldType::Boolean)
        wrongKind(m_fields[m_next - 1], "lógico");
    Bits(col, value ? 1 : 0);
}

void TPacketWriter::Repeat()
{
    Column &col = NextColumn();
    Put(col.HasAbove ? kSameAsAbove : kNull);
}

bool TPacketWriter::LastIsNull(size_t field) const { return field >= m_columns.size() || !m_columns[field].HasAbove; }

QByteArrayView TPacketWriter::LastText(size_t field) const
{
    if (LastIsNull(field) || !m_columns[field].Text)
        return {};
    return m_columns[field].Above();
}

double TPacketWriter::LastNumber(size_t field) const
{
    if (LastIsNull(field) || m_columns[field].Text)
        return 0;
    const Column &col = m_columns[field];
    switch (col.Type) {
    case TFieldType::Integer: return static_cast<double>(static_cast<qint64>(col.AboveBits));
    case TFieldType::Boolean: return col.AboveBits ? 1 : 0;
    default: {
        double d = 0;
        std::memcpy(&d, &col.AboveBits, 8);
        return d;
    }
    }
}

void TPacketWriter::CellText(const TCell &cell)
{
    Column &col = m_columns[m_next];
    // The same box as the value above holds the same text.
    if (col.AboveFromCell && col.HasAbove && col.AboveBox == cell.Box()) {
        ++m_next;
        Put(kSameAsAbove);
        return;
    }
    // A box written before: its text's reference, without reading the text.
    if (col.UseSeen) {
        const qint64 ref = col.Boxes.Find(cell.Box());
        if (ref >= 0 && col.KeepLooking()) {
            ++m_next;
            ++col.Hits;
            if (col.HasAbove && col.AboveRef == ref) {
                Put(kSameAsAbove);
            } else {
                Put(kSeenText);
                PutCount(static_cast<quint32>(ref));
            }
            col.HasAbove = true;
            col.AboveRef = ref;
            col.AboveTextHeld = false;
            col.AboveBox = cell.Box();
            if (!m_rowsOutlive)
                col.AboveCell = TCell();
            col.AboveFromCell = true;
            return;
        }
    }
    const qint64 ref = TextOf(cell.TextRef());
    if (ref >= 0 && col.UseSeen) {
        const bool wide = col.Boxes.Wide();
        col.Boxes.Add(cell, static_cast<quint32>(ref), !m_rowsOutlive);
        if (!wide && col.Boxes.Wide())
            m_wideColumns.push_back(static_cast<quint32>(&col - m_columns.data()));
        if (!m_rowsOutlive)
            col.AboveCell = TCell();
    } else if (!m_rowsOutlive) {
        col.AboveCell = cell;
    }
    col.AboveBox = cell.Box();
    col.AboveFromCell = true;
}

void TPacketWriter::PrefetchText(size_t field, const char *p, qsizetype n)
{
    if (field >= m_columns.size())
        return;
    Column &col = m_columns[field];
    if (!col.UseSeen || !col.Seen.Wide())
        return;
    col.HintAt = p;
    col.HintSize = n;
    col.HintHash = qHash(QByteArrayView(p, n));
    col.HintRow = m_rows;
    col.Seen.Prefetch(col.HintHash);
}

void TPacketWriter::Prefetch(const TRecord &next)
{
    const TCell *cells = next.Cells();
    for (const quint32 c : m_wideColumns) {
        const Column &col = m_columns[c];
        if (c < next.size() && col.UseSeen && cells[c].GetKind() == TCell::Kind::Text)
            col.Boxes.Prefetch(cells[c].Box());
    }
}

void TPacketWriter::AddRow(const TRecord &row, TRowKind kind)
{
    BeginRow(kind);
    const size_t given = std::min(row.size(), m_fields.size());
    const TCell *cells = row.Cells();
    // Cells already in the column's form go straight in; others as their variants.
    for (size_t c = 0; c < given; ++c) {
        const TCell &cell = cells[c];
        Column &col = m_columns[c];
        const TCell::Kind k = cell.GetKind();
        if (k == TCell::Kind::Text && col.Text) {
            CellText(cell);
        } else if (k == TCell::Kind::Null) {
            Null();
        } else if (k == TCell::Kind::Double && col.Number) {
            ++m_next;
            col.AboveFromCell = false;
            quint64 bits = 0;
            const double d = cell.Double();
            std::memcpy(&bits, &d, 8);
            Bits(col, bits);
        } else if (k == TCell::Kind::Int64 && col.Type == TFieldType::Integer) {
            Integer(cell.Int());
        } else if (k == TCell::Kind::Bool && col.Type == TFieldType::Boolean) {
            Boolean(cell.Int() != 0);
        } else {
            Value(cell.ToVariant());
        }
    }
    for (size_t c = given; c < m_fields.size(); ++c)
        Null();
}

QByteArray TPacketWriter::Finish()
{
    if (m_next != 0 && m_next != m_fields.size())
        throw EPacketError(QStringLiteral("Pacote de dados: último registro com %1 de %2 valores.").arg(m_next).arg(m_fields.size()));
    if (m_piecesSent) {
        if (m_used > 0)
            m_sink(QByteArrayView(m_out.constData(), m_used));
        m_out = QByteArray();
        m_at = nullptr;
        m_used = 0;
        m_columns.clear();
        m_wideColumns.clear();
        m_wideTexts.clear();
        return {};
    }
    m_out.resize(m_used);
    for (int i = 0; i < 4; ++i)
        m_out[m_countAt + i] = static_cast<char>((m_rows >> (24 - 8 * i)) & 0xff);
    QByteArray out = std::move(m_out);
    m_out = QByteArray();
    m_at = nullptr;
    m_used = 0;
    m_columns.clear();
    m_wideColumns.clear();
    m_wideTexts.clear();
    return out;
}

QByteArray TDataPacket::Encode() const
{
    TPacketWriter w(Fields);
    w.RowsOutliveWriter();
    for (size_t r = 0; r < Rows.size(); ++r) {
        if (r + 1 < Rows.size())
            w.Prefetch(Rows[r + 1]);
        w.AddRow(Rows[r], r < Kinds.size() ? Kinds[r] : TRowKind::Unmodified);
    }
    return w.Finish();
}

namespace {
// Where a packet's header holds its row count; -1 when the bytes are no packet.
qsizetype rowCountAt(const QByteArray &bytes)
{
    if (!TDataPacket::LooksLikePacket(bytes))
        return -1;
    try {
        Reader r(bytes);
        r.take(4);
        r.u16();
        const quint32 nFields = r.u32();
        if (nFields > kMaxFields)
            return -1;
        for (quint32 i = 0; i < nFields; ++i) {
            r.str(kMaxNameBytes);
            r.take(1 + 4 + 1);
        }
        r.need(4);
        return r.pos();
    } catch (const EPacketError &) {
        return -1;
    }
}
} // namespace

qint64 TDataPacket::AnnouncedRows(const QByteArray &bytes)
{
    const qsizetype at = rowCountAt(bytes);
    if (at < 0)
        return -1;
    Reader r(QByteArrayView(bytes).sliced(at));
    return r.u32();
}

void TDataPacket::AnnounceRows(QByteArray &bytes, quint32 rows)
{
    const qsizetype at = rowCountAt(bytes);
    if (at < 0 || AnnouncedRows(bytes) != kRowsAtEnd)
        throw EPacketError(QStringLiteral("Os dados recebidos não são um pacote de dados enviado em partes."));
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>((rows >> (24 - 8 * i)) & 0xff);
}

bool TDataPacket::LooksLikePacket(const QByteArray &bytes)
{
    return bytes.size() >= 4 && std::memcmp(bytes.constData(), kMagic, 4) == 0;
}

TDataPacket TDataPacket::Decode(const QByteArray &bytes, quint32 maxRows)
{
    if (!LooksLikePacket(bytes))
        throw EPacketError(QStringLiteral("Os dados recebidos não são um pacote de dados."));
    TPacketDecoder decoder(bytes.size(), maxRows);
    decoder.Feed(bytes);
    return decoder.Finish();
}

TPacketDecoder::TPacketDecoder(qint64 totalBytes, quint32 maxRows) : m_total(totalBytes), m_maxRows(maxRows) {}

TPacketDecoder::~TPacketDecoder() = default;

void TPacketDecoder::Feed(QByteArrayView bytes)
{
    if (!Open() && m_fed + bytes.size() > m_total)
        throw EPacketError(QStringLiteral("Pacote de dados corrompido: %1 bytes a mais no fim.").arg(m_fed + bytes.size() - m_total));
    m_fed += bytes.size();
    if (m_pending.isEmpty()) {
        // The usual case: whole rows read straight from the bytes given, only a last part row kept.
        const qsizetype used = Parse(bytes, false);
        m_pending = QByteArray(bytes.data() + used, bytes.size() - used);
        return;
    }
    m_pending.append(bytes.data(), bytes.size());
    const qsizetype used = Parse(m_pending, false);
    m_pending.remove(0, used);
}

TDataPacket TPacketDecoder::Finish()
{
    if (Open())
        throw EPacketError(QStringLiteral("Pacote de dados enviado em partes sem a contagem de registros no fim."));
    // What is left must be whole; reading it as the end gives the reason it is not.
    const qsizetype used = Parse(m_pending, true);
    if (used != m_pending.size() || m_fed != m_total || !m_header || m_packet.Rows.size() != m_rows)
        throw EPacketError(QStringLiteral("Pacote de dados truncado: faltam bytes na posição %1.").arg(m_consumed));
    m_pending.clear();
    m_seen.clear();
    return std::move(m_packet);
}

TDataPacket TPacketDecoder::Finish(quint32 rows)
{
    if (!Open())
        return Finish();
    const qsizetype used = Parse(m_pending, true);
    if (used != m_pending.size() || !m_header)
        throw EPacketError(QStringLiteral("Pacote de dados truncado: faltam bytes na posição %1.").arg(m_consumed));
    if (m_packet.Rows.size() != rows)
        throw EPacketError(QStringLiteral("Pacote de dados incompleto: %1 registros recebidos de %2 enviados.").arg(m_packet.Rows.size()).arg(rows));
    m_pending.clear();
    m_seen.clear();
    return std::move(m_packet);
}

qsizetype TPacketDecoder::Parse(QByteArrayView bytes, bool last)
{
    Reader r(bytes, m_consumed, !last);
    qsizetype done = 0;
    try {
        if (!m_header) {
            ReadHeader(r);
            done = r.pos();
            m_consumed += done;
        }
        // A packet of unknown size has rows as long as bytes come.
        while (Open() ? r.remaining() > 0 : m_packet.Rows.size() < m_rows) {
            ReadRow(r);
            m_consumed += r.pos() - done;
            done = r.pos();
        }
    } catch (const NeedMore &) {
        r.rewind(done);
    }
    if (!Open() && m_header && m_packet.Rows.size() == m_rows && done < bytes.size())
        throw EPacketError(QStringLiteral("Pacote de dados corrompido: %1 bytes a mais no fim.").arg(bytes.size() - done + (m_total - m_fed)));
    return done;
}

void TPacketDecoder::ReadHeader(PacketDetail::Reader &r)
{
    const char *magic = r.take(4);
    if (std::memcmp(magic, kMagic, 4) != 0)
        throw EPacketError(QStringLiteral("Os dados recebidos não são um pacote de dados."));
    const quint16 version = r.u16();
    if (version != 1 && version != TDataPacket::kVersion)
        throw EPacketError(QStringLiteral("Versão de pacote de dados %1 não suportada (esperada %2).").arg(version).arg(TDataPacket::kVersion));
    TDataPacket p;
    const quint32 nFields = r.u32();
    if (nFields > kMaxFields)
        throw EPacketError(QStringLiteral("Pacote de dados corrompido: %1 campos.").arg(nFields));
    for (quint32 i = 0; i < nFields; ++i) {
        TPacketField f;
        f.Name = r.str(kMaxNameBytes);
        if (f.Name.isEmpty())
            throw EPacketError(QStringLiteral("Pacote de dados corrompido: campo sem nome."));
        const quint8 t = r.u8();
        if (!validType(t))
            throw EPacketError(QStringLiteral("Pacote de dados corrompido: tipo %1 desconhecido no campo %2.").arg(t).arg(QuoteInput(f.Name, 32)));
        f.Type = static_cast<TFieldType>(t);
        f.Size = static_cast<int>(r.u32() & 0x7fffffff);
        f.Required = r.u8() != 0;
        p.Fields.push_back(std::move(f));
    }
    const quint32 nRows = r.u32();
    if (Open()) {
        if (nRows != TDataPacket::kRowsAtEnd)
            throw EPacketError(QStringLiteral("Pacote de dados enviado em partes com %1 registros anunciados no início.").arg(nRows));
        m_packet = std::move(p);
        m_version = version;
        m_rows = 0;
        m_seen.assign(version >= 2 ? nFields : 0, {});
        m_header = true;
        return;
    }
    const qint64 remaining = m_total - (m_consumed + r.pos());
    // Every row takes at least one byte for its kind and one per field.
    if (static_cast<quint64>(nRows) * (1 + nFields) > static_cast<quint64>(remaining))
        throw EPacketError(QStringLiteral("Pacote de dados truncado: %1 registros anunciados.").arg(nRows));
    if (nRows > m_maxRows)
        throw EPacketError(QStringLiteral("O pacote de dados tem %1 registros; o máximo aqui é %2.").arg(nRows).arg(m_maxRows));
    // A row of empty values costs far more in memory than on the wire; the rows
    // may hold only a small multiple of the bytes received.
    const quint64 rowCost = sizeof(TRecord) + quint64(nFields) * sizeof(TCell) + kAllocOverhead;
    if (quint64(nRows) * rowCost > kRowMemoryFactor * quint64(m_total) + kRowMemoryAllowance)
        throw EPacketError(QStringLiteral("Pacote de dados recusado: %1 registros de %2 campos ocupariam memória demais para %3 bytes.")
                               .arg(nRows)
                               .arg(nFields)
                               .arg(m_total));
    p.Rows.reserve(nRows);
    p.Kinds.reserve(nRows);
    m_packet = std::move(p);
    m_version = version;
    m_rows = nRows;
    m_seen.assign(version >= 2 ? nFields : 0, {});
    m_header = true;
}

void TPacketDecoder::ReadRow(PacketDetail::Reader &r)
{
    TDataPacket &p = m_packet;
    const quint32 nFields = static_cast<quint32>(p.Fields.size());
    const size_t i = p.Rows.size();
    if (Open()) {
        if (i >= m_maxRows)
            throw EPacketError(QStringLiteral("O pacote de dados passa de %1 registros, o máximo aqui.").arg(m_maxRows));
        // The rows may hold only a small multiple of the bytes received, as for a known size.
        const quint64 rowCost = sizeof(TRecord) + quint64(nFields) * sizeof(TCell) + kAllocOverhead;
        if (quint64(i + 1) * rowCost > kRowMemoryFactor * quint64(m_fed) + kRowMemoryAllowance)
            throw EPacketError(QStringLiteral("Pacote de dados recusado: %1 registros de %2 campos ocupariam memória demais para %3 bytes.")
                                   .arg(i + 1)
                                   .arg(nFields)
                                   .arg(m_fed));
    }
    const quint8 k = r.u8();
    if (!validKind(k))
        throw EPacketError(QStringLiteral("Pacote de dados corrompido: tipo de alteração %1.").arg(k));
    TRecord row(nFields);
    TCell *cells = row.Cells();
    const TCell *above = i == 0 ? nullptr : p.Rows.back().Cells();
    // Texts this row adds to their columns' references, kept once the row is whole.
    m_newTexts.clear();
    for (quint32 c = 0; c < nFields; ++c) {
        const quint8 marker = r.u8();
        if (marker == kNull)
            continue;
        const TFieldType type = p.Fields[c].Type;
        if (marker == kSameAsAbove && m_version >= 2) {
            if (!above || above[c].IsNull())
                throw EPacketError(QStringLiteral("Pacote de dados corrompido: repetição sem valor acima no registro %1.").arg(i + 1));
            cells[c] = above[c];
            continue;
        }
        if (marker == kSeenText && m_version >= 2 && isText(type)) {
            const quint32 at = r.varint();
            if (at >= m_seen[c].size())
                throw EPacketError(QStringLiteral("Pacote de dados corrompido: referência %1 inexistente no registro %2.").arg(at).arg(i + 1));
            cells[c] = m_seen[c][at];
            continue;
        }
        if (marker != kValue)
            throw EPacketError(QStringLiteral("Pacote de dados corrompido no registro %1.").arg(i + 1));
        switch (type) {
        case TFieldType::String:
        case TFieldType::FixedChar:
            if (m_version >= 2) {
                cells[c] = TCell::Text(r.text(r.varint()));
                if (m_seen[c].size() < kMaxSeenTexts)
                    m_newTexts.push_back(c);
            } else {
                cells[c] = TCell::Text(r.str());
            }
            break;
        case TFieldType::Float:
        case TFieldType::DateTime: cells[c] = TCell::Number(r.f64()); break;
        case TFieldType::Integer: cells[c] = TCell::Integer(r.i64()); break;
        case TFieldType::Boolean: cells[c] = TCell::Flag(r.u8() != 0); break;
        }
    }
    for (const quint32 c : m_newTexts)
        m_seen[c].push_back(cells[c]);
    p.Rows.push_back(std::move(row));
    p.Kinds.push_back(static_cast<TRowKind>(k));
}

TDataPacket TDataPacket::FromDataSet(const TDataSet &ds)
{
    TDataPacket p;
    for (int i = 0; i < ds.FieldCount(); ++i) {
        const TField &f = ds.Fields(i);
        p.Fields.push_back({f.FieldName, f.DataType, f.Size, f.Required});
    }
    for (const TRecord &row : ds.Rows())
        p.AddRow(row);
    return p;
}

QVariant PacketToVariant(const TDataPacket &packet) { return QVariant(packet.Encode()); }

TDataPacket PacketFromVariant(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<TReceivedPacket>()) {
        const TReceivedPacket received = value.value<TReceivedPacket>();
        if (!received.Packet)
            throw EPacketError(QStringLiteral("O resultado não contém um pacote de dados."));
        return *received.Packet;
    }
    if (value.typeId() != QMetaType::QByteArray)
        throw EPacketError(QStringLiteral("O resultado não contém um pacote de dados."));
    return TDataPacket::Decode(value.toByteArray());
}

TDataPacket PacketFromVariant(QVariant &&value)
{
    if (value.metaType() == QMetaType::fromType<TReceivedPacket>()) {
        TReceivedPacket received = value.value<TReceivedPacket>();
        value = QVariant();
        if (!received.Packet)
            throw EPacketError(QStringLiteral("O resultado não contém um pacote de dados."));
        if (received.Packet.use_count() == 1)
            return std::move(*received.Packet);
        return *received.Packet;
    }
    return PacketFromVariant(std::as_const(value));
}
