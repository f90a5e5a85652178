#include "net/ReplyReader.h"
#include "data/Exceptions.h"
#include <algorithm>

namespace {
quint32 bigEndian(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return (quint32(u[0]) << 24) | (quint32(u[1]) << 16) | (quint32(u[2]) << 8) | quint32(u[3]);
}
} // namespace

TReplyReader::TReplyReader(bool rows) : m_rows(rows) {}

TReplyReader::~TReplyReader() = default;

TReplyReader::Status TReplyReader::Append(const QByteArray &bytes)
{
    // Bytes after a whole reply, or after a refusal, are not read.
    if (m_status != Status::NeedMore)
        return m_status;
    try {
        m_status = Step(bytes);
    } catch (const EPacketError &e) {
        m_status = Fail(Status::Malformed, e.Message());
    }
    return m_status;
}

TReplyReader::Status TReplyReader::Fail(Status status, const QString &error)
{
    m_error = error;
    DropRows();
    return status;
}

void TReplyReader::DropRows()
{
    m_decoder.reset();
    m_pieceBytes = QByteArray();
}

TReplyReader::Status TReplyReader::Step(const QByteArray &bytes)
{
    switch (m_form) {
    case Form::Plain:
    case Form::AfterPieces: m_frames.Append(bytes); return Frame();
    case Form::Packet: return FeedPacket(bytes);
    case Form::Pieces: return ReadPieces(bytes);
    case Form::Unknown: break;
    }
    m_head.append(bytes);
    if (m_head.size() < 4)
        return Status::NeedMore;
    if (bigEndian(m_head.constData()) == Wire::kPiecesMark) {
        m_form = Form::Pieces;
        if (m_rows)
            m_decoder = std::make_unique<TPacketDecoder>(TPacketDecoder::kUnknownSize);
        const QByteArray rest = m_head.mid(4);
        m_head = QByteArray();
        return ReadPieces(rest);
    }
    if (m_rows) {
        const int read = Wire::ReadPacketReplyHead(m_head, m_packetHead);
        if (read == 0)
            return Status::NeedMore;
        if (read > 0 && m_packetHead.BodySize <= Wire::kMaxReply) {
            m_form = Form::Packet;
            m_decoder = std::make_unique<TPacketDecoder>(m_packetHead.PacketSize);
            m_packetLeft = m_packetHead.PacketSize;
            m_tailSize = qint64(m_packetHead.BodySize) + 4 - m_packetHead.Length - m_packetHead.PacketSize;
            const QByteArray rest = m_head.mid(m_packetHead.Length);
            m_head.truncate(m_packetHead.Length);
            return FeedPacket(rest);
        }
    }
    m_form = Form::Plain;
    m_frames.Append(m_head);
    m_head = QByteArray();
    return Frame();
}

TReplyReader::Status TReplyReader::FeedPacket(QByteArrayView bytes)
{
    const qsizetype n = static_cast<qsizetype>(std::min<qint64>(m_packetLeft, bytes.size()));
    m_decoder->Feed(bytes.first(n));
    m_packetLeft -= n;
    m_tail.append(bytes.data() + n, static_cast<qsizetype>(std::min<qint64>(bytes.size() - n, m_tailSize - m_tail.size())));
    if (m_packetLeft > 0 || m_tail.size() < m_tailSize)
        return Status::NeedMore;
    // The reply as sent, its packet left out, then the packet decoded.
    QByteArray body = m_head.mid(4);
    body.replace(body.size() - 4, 4, QByteArray(4, '\0'));
    body.append(m_tail);
    QString error;
    if (!Wire::DecodeReply(std::move(body), m_reply, error))
        return Fail(Status::Malformed, error);
    m_reply.Result = QVariant::fromValue(TReceivedPacket{std::make_shared<TDataPacket>(m_decoder->Finish()), m_packetHead.PacketSize});
    m_decoder.reset();
    return Status::Done;
}

TReplyReader::Status TReplyReader::ReadPieces(QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        if (m_pieceLeft > 0) {
            const qsizetype n = static_cast<qsizetype>(std::min<qint64>(m_pieceLeft, bytes.size()));
            if (m_decoder)
                m_decoder->Feed(bytes.first(n));
            else
                m_pieceBytes.append(bytes.data(), n);
            m_pieceLeft -= n;
            bytes = bytes.sliced(n);
            continue;
        }
        const qsizetype take = std::min<qsizetype>(4 - m_lengthPart.size(), bytes.size());
        m_lengthPart.append(bytes.data(), take);
        bytes = bytes.sliced(take);
        if (m_lengthPart.size() < 4)
            return Status::NeedMore;
        const quint32 size = bigEndian(m_lengthPart.constData());
        m_lengthPart.clear();
        if (size == 0) {
            m_form = Form::AfterPieces;
            m_frames.Append(bytes.toByteArray());
            return Frame();
        }
        if (size > Wire::kMaxPiece)
            return Fail(Status::Malformed, QStringLiteral("parte de %1 bytes na resposta (máximo %2)").arg(size).arg(Wire::kMaxPiece));
        m_piecesTotal += size;
        if (m_piecesTotal > Wire::kMaxReply)
            return Fail(Status::TooLarge, QStringLiteral("resposta em partes de mais de %1 bytes excede o limite").arg(Wire::kMaxReply));
        m_pieceLeft = size;
    }
    return Status::NeedMore;
}

TReplyReader::Status TReplyReader::Frame()
{
    QByteArray body;
    const auto status = m_frames.Next(body);
    if (status == Wire::FrameReader::Status::TooLarge)
        return Fail(Status::TooLarge, QStringLiteral("resposta de %1 bytes excede o limite").arg(m_frames.AnnouncedSize()));
    if (status == Wire::FrameReader::Status::NeedMore)
        return Status::NeedMore;
    QString error;
    if (!Wire::DecodeReply(std::move(body), m_reply, error))
        return Fail(Status::Malformed, error);
    if (m_form != Form::AfterPieces)
        return Status::Done;
    if (!m_reply.Ok) {
        // The call failed after its first rows left: they are void.
        DropRows();
        return Status::Done;
    }
    const int type = m_reply.Result.typeId();
    const qint64 rows = type == QMetaType::LongLong || type == QMetaType::Int ? m_reply.Result.toLongLong() : -1;
    if (rows < 0 || rows >= qint64(TDataPacket::kRowsAtEnd))
        return Fail(Status::Malformed, QStringLiteral("resposta em partes sem a contagem de registros do pacote"));
    if (m_decoder) {
        m_reply.Result = QVariant::fromValue(TReceivedPacket{std::make_shared<TDataPacket>(m_decoder->Finish(static_cast<quint32>(rows))), m_piecesTotal});
        m_decoder.reset();
    } else {
        TDataPacket::AnnounceRows(m_pieceBytes, static_cast<quint32>(rows));
        m_reply.Result = QVariant(std::move(m_pieceBytes));
    }
    return Status::Done;
}
