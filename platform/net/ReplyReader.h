#pragma once
#include "data/DataPacket.h"
#include "net/Wire.h"
#include <QByteArray>
#include <QString>
#include <memory>

// Reads one reply from a connection's bytes as they arrive. With rows wanted, a data
// packet in the reply is decoded as it comes, whole in one frame or in pieces ahead of
// the reply, and comes back as a TReceivedPacket; only the reply's other bytes are kept.
// Without rows, a packet sent in pieces comes back as its bytes, as a one-frame reply has it.
class TReplyReader {
public:
    enum class Status { NeedMore, Done, TooLarge, Malformed };
    explicit TReplyReader(bool rows);
    ~TReplyReader();
    TReplyReader(const TReplyReader &) = delete;
    TReplyReader &operator=(const TReplyReader &) = delete;
    // Takes the next bytes; once Done the reply is whole, and bytes after it are not read.
    Status Append(const QByteArray &bytes);
    Wire::Reply TakeReply() { return std::move(m_reply); }
    // Why the bytes were refused, for TooLarge and Malformed.
    const QString &Error() const { return m_error; }

private:
    enum class Form { Unknown, Plain, Packet, Pieces, AfterPieces };
    Status Step(const QByteArray &bytes);
    Status ReadPieces(QByteArrayView bytes);
    Status FeedPacket(QByteArrayView bytes);
    Status Frame();
    Status Fail(Status status, const QString &error);
    void DropRows();
    bool m_rows;
    Form m_form = Form::Unknown;
    Status m_status = Status::NeedMore;
    QString m_error;
    Wire::Reply m_reply;
    Wire::FrameReader m_frames{Wire::kMaxReply};
    QByteArray m_head;  // the reply's first bytes while its form is unknown, then its head
    QByteArray m_tail;  // what follows a packet in a one-frame reply
    Wire::PacketReplyHead m_packetHead;
    qint64 m_packetLeft = 0, m_tailSize = 0;
    std::unique_ptr<TPacketDecoder> m_decoder;
    QByteArray m_pieceBytes; // a packet in pieces without rows wanted
    QByteArray m_lengthPart; // a piece's length not yet whole
    qint64 m_pieceLeft = 0;
    qint64 m_piecesTotal = 0;
};
