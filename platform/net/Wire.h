#pragma once
#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVector>

// The application-server wire: each frame is a 4-byte big-endian length and a
// body. Bodies use a pinned QDataStream version; values are tagged so only
// plain kinds (null, boolean, integer, float, text, bytes, lists) travel.
namespace Wire {
constexpr quint32 kRequestMagic = 0x52454351; // "RECQ"
constexpr quint32 kReplyMagic = 0x52454352;   // "RECR"
constexpr quint16 kVersion = 1;
constexpr quint32 kMaxFrame = 64u * 1024u * 1024u;
// A client takes larger replies from its own server: a curve of many receivables is one packet.
constexpr quint32 kMaxReply = 1024u * 1024u * 1024u;

// A reply whose data packet leaves while it is written: kPiecesMark in place of a frame's
// length, the packet's bytes in pieces (each a 4-byte length, 1 to kMaxPiece, and its bytes),
// a length of 0, then the reply as a frame, whose result is the packet's row count. A failure
// reply there means the pieces are void. Sent only on a connection whose client asked for it
// (kPiecesMethod); the packet counts its rows at the end (TDataPacket::kRowsAtEnd).
constexpr quint32 kPiecesMark = 0xffffffffu;
constexpr quint32 kMaxPiece = 16u * 1024u * 1024u;
constexpr const char *kPiecesMethod = "AcceptRowPieces";
// The 4-byte length that starts a piece (0 ends the pieces).
QByteArray PieceLength(quint32 size);

struct Request {
    QString Object;
    QString Method;
    QVariantList Args;
    QVector<bool> ByRef;
};

struct Reply {
    bool Ok = true;
    QString Error;
    QVariant Result;
    QVariantList RefValues;
};

QByteArray EncodeRequest(const Request &request);
QByteArray EncodeReply(const Reply &reply);
// Return false with a reason when the body is not a well-formed message.
bool DecodeRequest(const QByteArray &body, Request &out, QString &error);
bool DecodeReply(QByteArray body, Reply &out, QString &error);
// The start of a reply frame whose result is a data packet: the frame's length
// field and the reply up to the packet's first byte, the body's size and the packet's.
struct PacketReplyHead {
    qsizetype Length = 0;
    quint32 BodySize = 0;
    quint32 PacketSize = 0;
};
// 1 when the frame's first bytes are such a head (read into head), 0 when more
// bytes are needed to tell, -1 for any other reply: a failure, another result,
// or bytes that are no packet.
int ReadPacketReplyHead(QByteArrayView frame, PacketReplyHead &head);
// Whether a value may travel on the wire.
bool IsWireValue(const QVariant &value, int depth = 0);

QByteArray Frame(const QByteArray &body);
// Frame(EncodeReply(reply)), written once.
QByteArray FrameReply(const Reply &reply);

// Collects bytes as they arrive and hands out whole frame bodies.
class FrameReader {
public:
    enum class Status { NeedMore, Ready, TooLarge };
    explicit FrameReader(quint32 maxFrame = kMaxFrame) : m_max(maxFrame) {}
    void Append(const QByteArray &bytes) { m_buffer.append(bytes); }
    Status Next(QByteArray &body);
    quint32 AnnouncedSize() const { return m_announced; }
    // Bytes held now.
    qint64 Buffered() const { return m_buffer.size(); }
    // Bytes the frame being read will hold once whole (what is held while its length is unknown).
    qint64 Needed() const;

private:
    QByteArray m_buffer;
    quint32 m_max;
    quint32 m_announced = 0;
};
} // namespace Wire
