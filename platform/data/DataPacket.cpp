#include "DataPacket.h"
#include <QStringDecoder>
#include "Exceptions.h"
#include "Quote.h"
#include <QHash>
#include <cstring>

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
void putVarint(QByteArray &out, quint32 v)
{
    while (v >= 0x80) {
        out.append(static_cast<char>((v & 0x7f) | 0x80));
        v >>= 7;
    }
    out.append(static_cast<char>(v));
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

bool isText(TFieldType t) { return t == TFieldType::String || t == TFieldType::FixedChar; }

class Reader {
public:
    explicit Reader(const QByteArray &in) : m_data(in) {}
    qsizetype remaining() const { return m_data.size() - m_pos; }
    void need(qsizetype n) const
    {
        if (n < 0 || remaining() < n)
            throw EPacketError(QStringLiteral("Pacote de dados truncado: faltam bytes na posição %1.").arg(m_pos));
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
        throw EPacketError(QStringLiteral("Pacote de dados corrompido: número longo demais na posição %1.").arg(m_pos));
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
    const QByteArray &m_data;
    qsizetype m_pos = 0;
};

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

struct TPacketWriter::Column {
    TFieldType Type = TFieldType::String;
    bool Text = false;
    bool HasAbove = false; // the row before holds a value here
    QString AboveText;
    quint64 AboveBits = 0;
    QHash<QString, quint32> Seen;
    quint32 SeenCount = 0;
    bool UseSeen = true;
    quint32 Lookups = 0, Hits = 0;
};

TPacketWriter::TPacketWriter(std::vector<TPacketField> fields) : m_fields(std::move(fields)), m_columns(m_fields.size())
{
    for (size_t c = 0; c < m_fields.size(); ++c) {
        m_columns[c].Type = m_fields[c].Type;
        m_columns[c].Text = isText(m_fields[c].Type);
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
}

TPacketWriter::~TPacketWriter() = default;

void TPacketWriter::BeginRow(TRowKind kind)
{
    if (m_next != 0 && m_next != m_fields.size())
        throw EPacketError(QStringLiteral("Pacote de dados: registro anterior com %1 de %2 valores.").arg(m_next).arg(m_fields.size()));
    putU8(m_out, static_cast<quint8>(kind));
    m_next = 0;
    ++m_rows;
}

void TPacketWriter::Value(const QVariant &v)
{
    if (m_next >= m_fields.size())
        throw EPacketError(QStringLiteral("Pacote de dados: valor além dos %1 campos do registro.").arg(m_fields.size()));
    Column &col = m_columns[m_next++];
    if (!v.isValid() || v.isNull()) {
        putU8(m_out, kNull);
        col.HasAbove = false;
        return;
    }
    if (col.Text) {
        const QString copy = v.typeId() == QMetaType::QString ? QString() : v.toString();
        const QString &s = v.typeId() == QMetaType::QString ? *static_cast<const QString *>(v.constData()) : copy;
        const bool shared = s.constData() == col.AboveText.constData() && s.size() == col.AboveText.size();
        if (col.HasAbove && (shared || col.AboveText == s)) {
            putU8(m_out, kSameAsAbove);
            return;
        }
        col.AboveText = s;
        col.HasAbove = true;
        if (col.UseSeen) {
            ++col.Lookups;
            const auto it = col.Seen.constFind(s);
            if (it != col.Seen.constEnd()) {
                ++col.Hits;
                putU8(m_out, kSeenText);
                putVarint(m_out, it.value());
                return;
            }
            if (col.SeenCount < kMaxSeenTexts) {
                col.Seen.insert(s, col.SeenCount++);
            } else if (col.Lookups > 8192 && col.Hits < col.Lookups / 8) {
                // A column of mostly distinct texts: stop looking them up.
                col.UseSeen = false;
                col.Seen = {};
            }
        } else if (col.SeenCount < kMaxSeenTexts) {
            ++col.SeenCount;
        }
        putU8(m_out, kValue);
        const QByteArray b = s.toUtf8();
        putVarint(m_out, static_cast<quint32>(b.size()));
        m_out.append(b);
        return;
    }
    quint64 bits = 0;
    switch (col.Type) {
    case TFieldType::Float:
    case TFieldType::DateTime: {
        const double d = v.toDouble();
        std::memcpy(&bits, &d, 8);
        break;
    }
    case TFieldType::Integer: bits = static_cast<quint64>(v.toLongLong()); break;
    default: bits = v.toBool() ? 1 : 0; break;
    }
    if (col.HasAbove && col.AboveBits == bits) {
        putU8(m_out, kSameAsAbove);
        return;
    }
    col.HasAbove = true;
    col.AboveBits = bits;
    putU8(m_out, kValue);
    if (col.Type == TFieldType::Boolean)
        putU8(m_out, static_cast<quint8>(bits));
    else
        putBe<quint64>(m_out, bits);
}

void TPacketWriter::Repeat()
{
    if (m_next >= m_fields.size())
        throw EPacketError(QStringLiteral("Pacote de dados: valor além dos %1 campos do registro.").arg(m_fields.size()));
    Column &col = m_columns[m_next++];
    putU8(m_out, col.HasAbove ? kSameAsAbove : kNull);
}

void TPacketWriter::AddRow(const TRecord &row, TRowKind kind)
{
    BeginRow(kind);
    for (size_t c = 0; c < m_fields.size(); ++c)
        Value(c < row.size() ? row[c] : QVariant());
}

QByteArray TPacketWriter::Finish()
{
    if (m_next != 0 && m_next != m_fields.size())
        throw EPacketError(QStringLiteral("Pacote de dados: último registro com %1 de %2 valores.").arg(m_next).arg(m_fields.size()));
    for (int i = 0; i < 4; ++i)
        m_out[m_countAt + i] = static_cast<char>((m_rows >> (24 - 8 * i)) & 0xff);
    QByteArray out = std::move(m_out);
    m_out = QByteArray();
    m_columns.clear();
    return out;
}

QByteArray TDataPacket::Encode() const
{
    TPacketWriter w(Fields);
    for (size_t r = 0; r < Rows.size(); ++r)
        w.AddRow(Rows[r], r < Kinds.size() ? Kinds[r] : TRowKind::Unmodified);
    return w.Finish();
}

qint64 TDataPacket::AnnouncedRows(const QByteArray &bytes)
{
    if (!LooksLikePacket(bytes))
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
        return r.u32();
    } catch (const EPacketError &) {
        return -1;
    }
}

bool TDataPacket::LooksLikePacket(const QByteArray &bytes)
{
    return bytes.size() >= 4 && std::memcmp(bytes.constData(), kMagic, 4) == 0;
}

TDataPacket TDataPacket::Decode(const QByteArray &bytes, quint32 maxRows)
{
    if (!LooksLikePacket(bytes))
        throw EPacketError(QStringLiteral("Os dados recebidos não são um pacote de dados."));
    Reader r(bytes);
    r.take(4);
    const quint16 version = r.u16();
    if (version != 1 && version != kVersion)
        throw EPacketError(QStringLiteral("Versão de pacote de dados %1 não suportada (esperada %2).").arg(version).arg(kVersion));
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
    // Every row takes at least one byte for its kind and one per field.
    if (static_cast<quint64>(nRows) * (1 + nFields) > static_cast<quint64>(r.remaining()))
        throw EPacketError(QStringLiteral("Pacote de dados truncado: %1 registros anunciados.").arg(nRows));
    if (nRows > maxRows)
        throw EPacketError(QStringLiteral("O pacote de dados tem %1 registros; o máximo aqui é %2.").arg(nRows).arg(maxRows));
    // A row of empty values costs far more in memory than on the wire; the rows
    // may hold only a small multiple of the bytes received.
    const quint64 rowCost = sizeof(TRecord) + quint64(nFields) * sizeof(TCell) + kAllocOverhead;
    if (quint64(nRows) * rowCost > kRowMemoryFactor * quint64(bytes.size()) + kRowMemoryAllowance)
        throw EPacketError(QStringLiteral("Pacote de dados recusado: %1 registros de %2 campos ocupariam memória demais para %3 bytes.")
                               .arg(nRows)
                               .arg(nFields)
                               .arg(bytes.size()));
    p.Rows.reserve(nRows);
    p.Kinds.reserve(nRows);
    std::vector<std::vector<TCell>> seen(version >= 2 ? nFields : 0);
    for (quint32 i = 0; i < nRows; ++i) {
        const quint8 k = r.u8();
        if (!validKind(k))
            throw EPacketError(QStringLiteral("Pacote de dados corrompido: tipo de alteração %1.").arg(k));
        TRecord row(nFields);
        TCell *cells = row.Cells();
        const TCell *above = i == 0 ? nullptr : p.Rows.back().Cells();
        for (quint32 c = 0; c < nFields; ++c) {
            const quint8 marker = r.u8();
            if (marker == kNull)
                continue;
            const TFieldType type = p.Fields[c].Type;
            if (marker == kSameAsAbove && version >= 2) {
                if (!above || above[c].IsNull())
                    throw EPacketError(QStringLiteral("Pacote de dados corrompido: repetição sem valor acima no registro %1.").arg(i + 1));
                cells[c] = above[c];
                continue;
            }
            if (marker == kSeenText && version >= 2 && isText(type)) {
                const quint32 at = r.varint();
                if (at >= seen[c].size())
                    throw EPacketError(QStringLiteral("Pacote de dados corrompido: referência %1 inexistente no registro %2.").arg(at).arg(i + 1));
                cells[c] = seen[c][at];
                continue;
            }
            if (marker != kValue)
                throw EPacketError(QStringLiteral("Pacote de dados corrompido no registro %1.").arg(i + 1));
            switch (type) {
            case TFieldType::String:
            case TFieldType::FixedChar:
                if (version >= 2) {
                    cells[c] = TCell::Text(r.text(r.varint()));
                    if (seen[c].size() < kMaxSeenTexts)
                        seen[c].push_back(cells[c]);
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
        p.Rows.push_back(std::move(row));
        p.Kinds.push_back(static_cast<TRowKind>(k));
    }
    if (r.remaining() != 0)
        throw EPacketError(QStringLiteral("Pacote de dados corrompido: %1 bytes a mais no fim.").arg(r.remaining()));
    return p;
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
    if (value.typeId() != QMetaType::QByteArray)
        throw EPacketError(QStringLiteral("O resultado não contém um pacote de dados."));
    return TDataPacket::Decode(value.toByteArray());
}
