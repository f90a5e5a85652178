#include "net/Wire.h"
#include <QDataStream>
#include <QIODevice>
#include <algorithm>
#include <cstring>

namespace Wire {
namespace {
enum Tag : quint8 { TNull = 0, TBool = 1, TInt = 2, TDouble = 3, TString = 4, TBytes = 5, TList = 6 };
constexpr int kMaxDepth = 4;
// Values of one message; each costs a variant, so a count is capped rather
// than trusted from the sender.
constexpr int kMaxValues = 65536;

QDataStream &prepare(QDataStream &s)
{
    s.setVersion(QDataStream::Qt_6_0);
    return s;
}

void writeValue(QDataStream &s, const QVariant &v)
{
    if (!v.isValid() || v.isNull()) {
        s << quint8(TNull);
        return;
    }
    switch (v.typeId()) {
    case QMetaType::Bool: s << quint8(TBool) << v.toBool(); break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: s << quint8(TInt) << v.toLongLong(); break;
    case QMetaType::Double:
    case QMetaType::Float: s << quint8(TDouble) << v.toDouble(); break;
    case QMetaType::QByteArray: s << quint8(TBytes) << v.toByteArray(); break;
    case QMetaType::QVariantList: {
        const QVariantList list = v.toList();
        s << quint8(TList) << quint32(list.size());
        for (const QVariant &item : list)
            writeValue(s, item);
        break;
    }
    default: s << quint8(TString) << v.toString(); break;
    }
}

bool readValue(QDataStream &s, QVariant &out, int depth, int &budget, QString &error)
{
    if (--budget < 0) {
        error = QStringLiteral("valores demais na mensagem (máximo %1)").arg(kMaxValues);
        return false;
    }
    quint8 tag = 0;
    s >> tag;
    if (s.status() != QDataStream::Ok) {
        error = QStringLiteral("mensagem truncada");
        return false;
    }
    switch (tag) {
    case TNull: out = QVariant(); return true;
    case TBool: {
        bool b = false;
        s >> b;
        out = b;
        break;
    }
    case TInt: {
        qint64 i = 0;
        s >> i;
        out = i;
        break;
    }
    case TDouble: {
        double d = 0;
        s >> d;
        out = d;
        break;
    }
    case TString: {
        QString str;
        s >> str;
        out = str.isNull() ? QString(QLatin1String("")) : str;
        break;
    }
    case TBytes: {
        QByteArray b;
        s >> b;
        out = b;
        break;
    }
    case TList: {
        if (depth >= kMaxDepth) {
            error = QStringLiteral("listas aninhadas demais");
            return false;
        }
        quint32 n = 0;
        s >> n;
        if (s.status() != QDataStream::Ok || n > static_cast<quint32>(s.device()->bytesAvailable())) {
            error = QStringLiteral("lista truncada");
            return false;
        }
        QVariantList list;
        for (quint32 i = 0; i < n; ++i) {
            QVariant item;
            if (!readValue(s, item, depth + 1, budget, error))
                return false;
            list << item;
        }
        out = list;
        break;
    }
    default: error = QStringLiteral("tipo de valor %1 desconhecido").arg(tag); return false;
    }
    if (s.status() != QDataStream::Ok) {
        error = QStringLiteral("mensagem truncada");
        return false;
    }
    return true;
}

bool checkEnd(QDataStream &s, QString &error)
{
    if (s.status() != QDataStream::Ok) {
        error = QStringLiteral("mensagem truncada");
        return false;
    }
    if (!s.atEnd()) {
        error = QStringLiteral("bytes a mais no fim da mensagem");
        return false;
    }
    return true;
}
} // namespace

bool IsWireValue(const QVariant &v, int depth)
{
    if (!v.isValid() || v.isNull())
        return true;
    switch (v.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::QString:
    case QMetaType::QByteArray: return true;
    case QMetaType::QVariantList:
        if (depth >= kMaxDepth)
            return false;
        for (const QVariant &item : v.toList())
            if (!IsWireValue(item, depth + 1))
                return false;
        return true;
    default: return false;
    }
}

QByteArray EncodeRequest(const Request &r)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    prepare(s) << kRequestMagic << kVersion << r.Object << r.Method << quint32(r.Args.size());
    for (qsizetype i = 0; i < r.Args.size(); ++i) {
        s << (i < r.ByRef.size() && r.ByRef[i]);
        writeValue(s, r.Args[i]);
    }
    return out;
}

namespace {
// About the bytes a value takes on the wire, so a large reply is written into
// a buffer of its final size.
qsizetype sizeHint(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::QByteArray: return 5 + static_cast<const QByteArray *>(v.constData())->size();
    case QMetaType::QString: return 5 + 2 * static_cast<const QString *>(v.constData())->size();
    case QMetaType::QVariantList: {
        qsizetype n = 5;
        for (const QVariant &item : *static_cast<const QVariantList *>(v.constData()))
            n += sizeHint(item);
        return n;
    }
    default: return 9;
    }
}

void writeReply(QDataStream &s, const Reply &r)
{
    prepare(s) << kReplyMagic << kVersion << r.Ok << r.Error;
    writeValue(s, r.Result);
    s << quint32(r.RefValues.size());
    for (const QVariant &v : r.RefValues)
        writeValue(s, v);
}
} // namespace

QByteArray EncodeReply(const Reply &r)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    writeReply(s, r);
    return out;
}

QByteArray FrameReply(const Reply &r)
{
    QByteArray out;
    qsizetype hint = 64 + 2 * r.Error.size() + sizeHint(r.Result);
    for (const QVariant &v : r.RefValues)
        hint += sizeHint(v);
    out.reserve(hint);
    QDataStream s(&out, QIODevice::WriteOnly);
    s << quint32(0);
    writeReply(s, r);
    const quint32 n = static_cast<quint32>(out.size() - 4);
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<char>((n >> (24 - 8 * i)) & 0xff);
    return out;
}

bool DecodeRequest(const QByteArray &body, Request &out, QString &error)
{
    QDataStream s(body);
    prepare(s);
    quint32 magic = 0;
    quint16 version = 0;
    s >> magic >> version;
    if (s.status() != QDataStream::Ok || magic != kRequestMagic) {
        error = QStringLiteral("não é uma requisição do servidor de aplicação");
        return false;
    }
    if (version != kVersion) {
        error = QStringLiteral("versão de protocolo %1 não suportada (esperada %2)").arg(version).arg(kVersion);
        return false;
    }
    quint32 n = 0;
    int budget = kMaxValues;
    s >> out.Object >> out.Method >> n;
    if (s.status() != QDataStream::Ok || n > static_cast<quint32>(body.size())) {
        error = QStringLiteral("cabeçalho da requisição corrompido");
        return false;
    }
    for (quint32 i = 0; i < n; ++i) {
        bool byRef = false;
        s >> byRef;
        QVariant v;
        if (!readValue(s, v, 0, budget, error))
            return false;
        out.ByRef << byRef;
        out.Args << v;
    }
    return checkEnd(s, error);
}

bool DecodeReply(QByteArray body, Reply &out, QString &error)
{
    // A result of bytes (a data packet) becomes the body itself, trimmed to them, not a copy.
    qint64 bytesAt = -1;
    quint32 bytesSize = 0;
    {
        QDataStream s(body);
        prepare(s);
        quint32 magic = 0;
        quint16 version = 0;
        s >> magic >> version;
        if (s.status() != QDataStream::Ok || magic != kReplyMagic || version != kVersion) {
            error = QStringLiteral("resposta do servidor de aplicação em formato desconhecido");
            return false;
        }
        s >> out.Ok >> out.Error;
        int budget = kMaxValues;
        const qint64 resultAt = s.device()->pos();
        quint8 tag = 0;
        s >> tag >> bytesSize;
        if (s.status() == QDataStream::Ok && tag == TBytes && bytesSize != 0xffffffffu) {
            bytesAt = s.device()->pos();
            if (s.skipRawData(static_cast<int>(bytesSize)) != static_cast<int>(bytesSize)) {
                error = QStringLiteral("mensagem truncada");
                return false;
            }
            --budget;
        } else {
            s.resetStatus();
            s.device()->seek(resultAt);
            if (!readValue(s, out.Result, 0, budget, error))
                return false;
        }
        quint32 n = 0;
        s >> n;
        if (s.status() != QDataStream::Ok || n > static_cast<quint32>(body.size())) {
            error = QStringLiteral("resposta truncada");
            return false;
        }
        for (quint32 i = 0; i < n; ++i) {
            QVariant v;
            if (!readValue(s, v, 0, budget, error))
                return false;
            out.RefValues << v;
        }
        if (!checkEnd(s, error))
            return false;
    }
    if (bytesAt >= 0) {
        body.remove(0, bytesAt);
        body.truncate(bytesSize);
        out.Result = QVariant(std::move(body));
    }
    return true;
}

int ReadPacketReplyHead(QByteArrayView frame, PacketReplyHead &head)
{
    if (frame.size() < 4)
        return 0;
    const auto *p = reinterpret_cast<const unsigned char *>(frame.data());
    const quint32 bodySize = (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
    const qsizetype have = std::min<qsizetype>(frame.size() - 4, bodySize);
    const bool whole = have == qsizetype(bodySize);
    const QByteArray body = QByteArray::fromRawData(frame.data() + 4, have);
    QDataStream s(body);
    prepare(s);
    quint32 magic = 0, size = 0;
    quint16 version = 0;
    bool ok = false;
    QString error;
    quint8 tag = 0;
    s >> magic >> version >> ok >> error >> tag >> size;
    if (s.status() != QDataStream::Ok)
        return whole ? -1 : 0;
    if (magic != kReplyMagic || version != kVersion || !ok || tag != TBytes || size == 0xffffffffu)
        return -1;
    const qint64 at = s.device()->pos();
    if (qint64(size) > qint64(bodySize) - at || size < 4)
        return -1;
    if (have - at < 4)
        return whole ? -1 : 0;
    if (std::memcmp(body.constData() + at, "RDPK", 4) != 0)
        return -1;
    head.Length = 4 + at;
    head.BodySize = bodySize;
    head.PacketSize = size;
    return 1;
}

QByteArray PieceLength(quint32 n)
{
    const char bytes[4] = {static_cast<char>((n >> 24) & 0xff), static_cast<char>((n >> 16) & 0xff), static_cast<char>((n >> 8) & 0xff),
                           static_cast<char>(n & 0xff)};
    return QByteArray(bytes, 4);
}

QByteArray Frame(const QByteArray &body)
{
    QByteArray out;
    const quint32 n = static_cast<quint32>(body.size());
    out.reserve(body.size() + 4);
    out.append(static_cast<char>((n >> 24) & 0xff));
    out.append(static_cast<char>((n >> 16) & 0xff));
    out.append(static_cast<char>((n >> 8) & 0xff));
    out.append(static_cast<char>(n & 0xff));
    out.append(body);
    return out;
}

qint64 FrameReader::Needed() const
{
    if (m_buffer.size() < 4)
        return m_buffer.size();
    const auto *p = reinterpret_cast<const unsigned char *>(m_buffer.constData());
    const quint32 announced = (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
    return std::max<qint64>(m_buffer.size(), 4 + qint64(announced));
}

FrameReader::Status FrameReader::Next(QByteArray &body)
{
    if (m_buffer.size() < 4)
        return Status::NeedMore;
    const auto *p = reinterpret_cast<const unsigned char *>(m_buffer.constData());
    m_announced = (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
    if (m_announced > m_max)
        return Status::TooLarge;
    if (static_cast<quint64>(m_buffer.size()) < 4ull + m_announced) {
        // The frame's bytes go into one block as they come, not one grown and copied again.
        if (m_buffer.capacity() < 4 + qsizetype(m_announced))
            m_buffer.reserve(4 + qsizetype(m_announced));
        return Status::NeedMore;
    }
    if (static_cast<quint64>(m_buffer.size()) == 4ull + m_announced) {
        // The usual case: the buffer holds this frame alone, and becomes its body.
        body = std::move(m_buffer);
        m_buffer = QByteArray();
        body.remove(0, 4);
    } else {
        body = m_buffer.mid(4, m_announced);
        m_buffer.remove(0, 4 + m_announced);
    }
    return Status::Ready;
}
} // namespace Wire
