// Frames and message bodies from the application-server socket: the reader must split any byte
// stream into frames or refuse it, and the decoders must accept or refuse each body without fault.
#include "FuzzSupport.h"
#include "net/ReplyReader.h"
#include "net/Wire.h"
#include <algorithm>

namespace {
void CheckRequest(const QByteArray &body)
{
    Wire::Request request;
    QString error;
    if (!Wire::DecodeRequest(body, request, error)) {
        if (error.isEmpty())
            Fuzz::Fail("request refused without a reason");
        return;
    }
    if (request.Args.size() != request.ByRef.size())
        Fuzz::Fail("request arguments and by-reference flags differ in count");
    for (const QVariant &a : request.Args)
        if (!Wire::IsWireValue(a))
            Fuzz::Fail("decoded request argument is not a wire value");
    // What was decoded encodes to a body that decodes to the same message.
    const QByteArray again = Wire::EncodeRequest(request);
    Wire::Request second;
    if (!Wire::DecodeRequest(again, second, error))
        Fuzz::Fail("re-encoded request does not decode");
    if (Wire::EncodeRequest(second) != again)
        Fuzz::Fail("request changes on a second round trip");
}

void CheckReply(const QByteArray &body)
{
    Wire::Reply reply;
    QString error;
    if (!Wire::DecodeReply(body, reply, error)) {
        if (error.isEmpty())
            Fuzz::Fail("reply refused without a reason");
        return;
    }
    if (!Wire::IsWireValue(reply.Result))
        Fuzz::Fail("decoded reply result is not a wire value");
    const QByteArray again = Wire::EncodeReply(reply);
    Wire::Reply second;
    if (!Wire::DecodeReply(again, second, error))
        Fuzz::Fail("re-encoded reply does not decode");
    if (Wire::EncodeReply(second) != again)
        Fuzz::Fail("reply changes on a second round trip");
}

// Splits the stream as the connection does, the bytes arriving in pieces of the given size.
QList<QByteArray> Frames(const QByteArray &stream, qsizetype piece)
{
    Wire::FrameReader reader(1024 * 1024);
    QList<QByteArray> bodies;
    for (qsizetype at = 0; at < stream.size(); at += piece) {
        reader.Append(stream.mid(at, piece));
        for (;;) {
            QByteArray body;
            const auto status = reader.Next(body);
            if (status == Wire::FrameReader::Status::TooLarge)
                return bodies;
            if (status == Wire::FrameReader::Status::NeedMore) {
                if (reader.Needed() < reader.Buffered())
                    Fuzz::Fail("frame reader needs fewer bytes than it holds");
                break;
            }
            bodies << body;
        }
    }
    return bodies;
}
// Reads the stream as a client reads a reply, with and without rows wanted, whole and in
// pieces of 3 bytes: each reading ends the same way, and a refusal says why.
void CheckReplyStream(const QByteArray &stream)
{
    for (const bool rows : {true, false}) {
        TReplyReader whole(rows), split(rows);
        const TReplyReader::Status once = whole.Append(stream);
        TReplyReader::Status status = TReplyReader::Status::NeedMore;
        for (qsizetype at = 0; at < stream.size() && status == TReplyReader::Status::NeedMore; at += 3)
            status = split.Append(stream.mid(at, 3));
        if (status != once)
            Fuzz::Fail("a reply reads differently when its bytes arrive in pieces");
        if ((once == TReplyReader::Status::Malformed || once == TReplyReader::Status::TooLarge) && whole.Error().isEmpty())
            Fuzz::Fail("reply refused without a reason");
        if (once != TReplyReader::Status::Done)
            continue;
        const Wire::Reply a = whole.TakeReply(), b = split.TakeReply();
        if (a.Ok != b.Ok || a.Error != b.Error || a.RefValues != b.RefValues)
            Fuzz::Fail("a reply decodes differently when its bytes arrive in pieces");
        if (rows && a.Result.metaType() == QMetaType::fromType<TReceivedPacket>()) {
            const TReceivedPacket pa = a.Result.value<TReceivedPacket>(), pb = b.Result.value<TReceivedPacket>();
            if (!pa.Packet || !pb.Packet || pa.Packet->Encode() != pb.Packet->Encode())
                Fuzz::Fail("a packet decodes differently when its bytes arrive in pieces");
        } else if (!rows && a.Result != b.Result) {
            Fuzz::Fail("a reply's result differs when its bytes arrive in pieces");
        }
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray stream = Fuzz::Bytes(data, size);
    const QList<QByteArray> bodies = Frames(stream, stream.size() > 0 ? stream.size() : 1);
    if (Frames(stream, 3) != bodies)
        Fuzz::Fail("frames differ when the bytes arrive in pieces");
    for (const QByteArray &body : bodies) {
        CheckRequest(body);
        CheckReply(body);
    }
    CheckReplyStream(stream);
    return 0;
}
