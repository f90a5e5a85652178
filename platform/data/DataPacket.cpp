#include "DataPacket.h"
#include "Exceptions.h"
#include "Quote.h"
#include <QDataStream>
#include <QIODevice>
#include <cstring>

namespace {
const char kMagic[4] = {'R', 'D', 'P', 'K'};
constexpr quint32 kMaxFields = 4096;
constexpr quint32 kMaxNameBytes = 256;
constexpr quint64 kAllocOverhead = 16;
constexpr quint64 kRowMemoryFactor = 8;
constexpr quint64 kRowMemoryAllowance = 4u * 1024u * 1024u;

class Writer {
public:
    explicit Writer(QByteArray &out) : m_s(&out, QIODevice::WriteOnly) { m_s.setVersion(QDataStream::Qt_6_0); }
    void raw(const char *p, int n) { m_s.writeRawData(p, n); }
    void u8(quint8 v) { m_s << v; }
    void u16(quint16 v) { m_s << v; }
    void u32(quint32 v) { m_s << v; }
    void i64(qint64 v) { m_s << v; }
    void f64(double v) { m_s << v; }
    void str(const QString &s)
    {
        const QByteArray b = s.toUtf8();
        u32(static_cast<quint32>(b.size()));
        raw(b.constData(), static_cast<int>(b.size()));
    }

private:
    QDataStream m_s;
};

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
        return QString::fromUtf8(p, static_cast<qsizetype>(n));
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

QByteArray TDataPacket::Encode() const
{
    QByteArray out;
    Writer w(out);
    w.raw(kMagic, 4);
    w.u16(kVersion);
    w.u32(static_cast<quint32>(Fields.size()));
    for (const auto &f : Fields) {
        w.str(f.Name);
        w.u8(static_cast<quint8>(f.Type));
        w.u32(static_cast<quint32>(f.Size));
        w.u8(f.Required ? 1 : 0);
    }
    w.u32(static_cast<quint32>(Rows.size()));
    for (size_t r = 0; r < Rows.size(); ++r) {
        w.u8(static_cast<quint8>(r < Kinds.size() ? Kinds[r] : TRowKind::Unmodified));
        const TRecord &row = Rows[r];
        for (size_t c = 0; c < Fields.size(); ++c) {
            const QVariant v = c < row.size() ? row[c] : QVariant();
            if (!v.isValid() || v.isNull()) {
                w.u8(0);
                continue;
            }
            w.u8(1);
            switch (Fields[c].Type) {
            case TFieldType::String:
            case TFieldType::FixedChar: w.str(v.toString()); break;
            case TFieldType::Float:
            case TFieldType::DateTime: w.f64(v.toDouble()); break;
            case TFieldType::Integer: w.i64(v.toLongLong()); break;
            case TFieldType::Boolean: w.u8(v.toBool() ? 1 : 0); break;
            }
        }
    }
    return out;
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
    if (version != kVersion)
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
    const quint64 rowCost = sizeof(TRecord) + quint64(nFields) * sizeof(QVariant) + kAllocOverhead;
    if (quint64(nRows) * rowCost > kRowMemoryFactor * quint64(bytes.size()) + kRowMemoryAllowance)
        throw EPacketError(QStringLiteral("Pacote de dados recusado: %1 registros de %2 campos ocupariam memória demais para %3 bytes.")
                               .arg(nRows)
                               .arg(nFields)
                               .arg(bytes.size()));
    p.Rows.reserve(nRows);
    p.Kinds.reserve(nRows);
    for (quint32 i = 0; i < nRows; ++i) {
        const quint8 k = r.u8();
        if (!validKind(k))
            throw EPacketError(QStringLiteral("Pacote de dados corrompido: tipo de alteração %1.").arg(k));
        TRecord row(nFields);
        for (quint32 c = 0; c < nFields; ++c) {
            const quint8 present = r.u8();
            if (present == 0)
                continue;
            if (present != 1)
                throw EPacketError(QStringLiteral("Pacote de dados corrompido no registro %1.").arg(i + 1));
            switch (p.Fields[c].Type) {
            case TFieldType::String:
            case TFieldType::FixedChar: row[c] = r.str(); break;
            case TFieldType::Float:
            case TFieldType::DateTime: row[c] = r.f64(); break;
            case TFieldType::Integer: row[c] = r.i64(); break;
            case TFieldType::Boolean: row[c] = r.u8() != 0; break;
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
