// Data packets as they arrive inside a reply: decoded whole or refused with EPacketError.
#include "data/DataPacket.h"
#include "data/Exceptions.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = Fuzz::Bytes(data, size);
    TDataPacket packet;
    try {
        packet = PacketFromVariant(QVariant(bytes));
    } catch (const EPacketError &e) {
        if (QString::fromUtf8(e.what()).isEmpty())
            Fuzz::Fail("packet refused without a reason");
        return 0;
    }
    if (packet.Rows.size() != packet.Kinds.size())
        Fuzz::Fail("rows and row kinds differ in count");
    for (const TRecord &row : packet.Rows)
        if (row.size() != packet.Fields.size())
            Fuzz::Fail("a row does not have one value per field");
    // A decoded packet encodes to one that decodes to the same packet.
    const QByteArray again = packet.Encode();
    try {
        if (TDataPacket::Decode(again).Encode() != again)
            Fuzz::Fail("packet changes on a second round trip");
    } catch (const EPacketError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        Fuzz::Fail("re-encoded packet does not decode");
    }
    return 0;
}
