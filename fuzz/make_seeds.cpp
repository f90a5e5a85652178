// Writes seed inputs for fuzz_wire and fuzz_packet with the project's own encoders: the frames of
// the screen's calls and their replies, and the data packets those replies carry.
// Usage: rec-fuzz-seeds CORPUS_DIR   (writes CORPUS_DIR/fuzz_wire and CORPUS_DIR/fuzz_packet)
#include "data/DataPacket.h"
#include "net/Wire.h"
#include <QDir>
#include <QFile>
#include <cstdio>

namespace {
bool Write(const QString &dir, const QString &name, const QByteArray &bytes)
{
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "rec-fuzz-seeds: cannot create %s\n", qPrintable(dir));
        return false;
    }
    QFile f(QDir(dir).filePath(name));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "rec-fuzz-seeds: cannot write %s: %s\n", qPrintable(f.fileName()), qPrintable(f.errorString()));
        return false;
    }
    return true;
}

TPacketField Field(const char *name, TFieldType type, int size = 0, bool required = false)
{
    return {QString::fromLatin1(name), type, size, required};
}

// The emission options of an operator, as GetOpEmissao returns them.
TDataPacket OpEmissao()
{
    TDataPacket p;
    p.Fields = {Field("CDTELA", TFieldType::String, 8, true), Field("CDOPERADOR", TFieldType::FixedChar, 10, true),
                Field("NRVIAS", TFieldType::Integer), Field("FLPAISAGEM", TFieldType::Boolean)};
    p.AddRow({QStringLiteral("REC11001"), QStringLiteral("ADMIN"), QVariant(qint64(2)), QVariant(true)});
    return p;
}

// A delta as SetOpEmissao sends it: the original row, the changed row, an insert and a delete.
TDataPacket OpEmissaoDelta()
{
    TDataPacket p = OpEmissao();
    p.Kinds[0] = TRowKind::Original;
    p.AddRow({QVariant(), QVariant(), QVariant(qint64(3)), QVariant(false)}, TRowKind::Modified);
    p.AddRow({QStringLiteral("REC11001"), QStringLiteral("MARIA"), QVariant(qint64(1)), QVariant()}, TRowKind::Inserted);
    p.AddRow({QStringLiteral("REC11001"), QStringLiteral("JOSE"), QVariant(qint64(1)), QVariant(false)}, TRowKind::Deleted);
    return p;
}

// Receivables rows with amounts, dates and text with accents, as the curve and the reports get them.
TDataPacket Receivables()
{
    TDataPacket p;
    p.Fields = {Field("CDEMPRESA", TFieldType::Integer, 0, true), Field("NMCLIENTE", TFieldType::String, 60),
                Field("DTVENCIMENTO", TFieldType::DateTime), Field("VLSALDO", TFieldType::Float), Field("CLASSE", TFieldType::FixedChar, 1)};
    p.AddRow({QVariant(qint64(1)), QStringLiteral("Padaria São João Ltda"), QVariant(46022.0), QVariant(1520.35), QStringLiteral("A")});
    p.AddRow({QVariant(qint64(2)), QStringLiteral("Comércio Ação & Cia"), QVariant(46053.5), QVariant(-12.5), QStringLiteral("B")});
    p.AddRow({QVariant(qint64(2)), QVariant(), QVariant(), QVariant(0.0), QStringLiteral("C")});
    return p;
}

TDataPacket ServerTime()
{
    TDataPacket p;
    p.Fields = {Field("DTATUA", TFieldType::DateTime, 0, true)};
    p.AddRow({QVariant(46000.625)});
    return p;
}

QByteArray Call(const QString &method, QVariantList args, QVector<bool> byRef = {})
{
    Wire::Request r;
    r.Object = QStringLiteral("Rec11001.rdmRelLancContReceber");
    r.Method = method;
    r.Args = std::move(args);
    r.ByRef = byRef.isEmpty() ? QVector<bool>(r.Args.size(), false) : std::move(byRef);
    return Wire::Frame(Wire::EncodeRequest(r));
}

QByteArray Answer(QVariant result, QVariantList refs = {})
{
    Wire::Reply r;
    r.Result = std::move(result);
    r.RefValues = std::move(refs);
    return Wire::Frame(Wire::EncodeReply(r));
}

// A reply whose packet left in pieces of 40 bytes while it was written, then its row count.
QByteArray InPieces(const TDataPacket &packet)
{
    QByteArray out = Wire::PieceLength(Wire::kPiecesMark);
    TPacketWriter w(packet.Fields);
    w.SendInPieces([&](QByteArrayView piece) { out += Wire::PieceLength(static_cast<quint32>(piece.size())) + piece.toByteArray(); }, 40);
    for (const TRecord &row : packet.Rows)
        w.AddRow(row);
    w.Finish();
    Wire::Reply r;
    r.Result = qint64(w.RowCount());
    return out + Wire::PieceLength(0) + Wire::Frame(Wire::EncodeReply(r));
}

QByteArray Refusal(const QString &message)
{
    Wire::Reply r;
    r.Ok = false;
    r.Error = message;
    return Wire::Frame(Wire::EncodeReply(r));
}
} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: rec-fuzz-seeds CORPUS_DIR\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QString wire = QDir(root).filePath(QStringLiteral("fuzz_wire"));
    const QString packets = QDir(root).filePath(QStringLiteral("fuzz_packet"));

    // The curve's arguments: numbered texts, dates as texts and amounts.
    QVariantList curve;
    for (int i = 1; i <= 58; ++i)
        curve << (i % 7 == 0 ? QVariant(0.0) : i % 5 == 0 ? QVariant(QStringLiteral("01/01/2026")) : QVariant(QString()));
    curve[0] = QStringLiteral("T");
    curve[1] = QStringLiteral("1,2,3");

    const QList<QPair<QString, QByteArray>> frames = {
        {QStringLiteral("call-getTimeServ"), Call(QStringLiteral("getTimeServ"), {})},
        {QStringLiteral("call-GetOpEmissao"), Call(QStringLiteral("GetOpEmissao"), {QStringLiteral("REC11001"), QStringLiteral("ADMIN")})},
        {QStringLiteral("call-SetOpEmissao"), Call(QStringLiteral("SetOpEmissao"), {PacketToVariant(OpEmissaoDelta())})},
        {QStringLiteral("call-GetFiliLanca"), Call(QStringLiteral("GetFiliLanca"), {QStringLiteral("1,2"), QStringLiteral("S")}, {true, false})},
        {QStringLiteral("call-GetAtivClie"), Call(QStringLiteral("GetAtivClie"), {QVariant(3)})},
        {QStringLiteral("call-GetCurvaABC"), Call(QStringLiteral("GetCurvaABC"), curve)},
        {QStringLiteral("call-nested"), Call(QStringLiteral("GetTotal"), {QVariantList{QVariant(true), QVariantList{QVariant(qint64(-1)), QByteArray("\x00\xff", 2)}}})},
        {QStringLiteral("reply-time"), Answer(PacketToVariant(ServerTime()))},
        {QStringLiteral("reply-opemissao"), Answer(PacketToVariant(OpEmissao()))},
        {QStringLiteral("reply-fililanca"), Answer(PacketToVariant(Receivables()), {QStringLiteral("1,2")})},
        {QStringLiteral("reply-dtvenc"), Answer(QVariantList{PacketToVariant(ServerTime()), PacketToVariant(OpEmissao())})},
        {QStringLiteral("reply-empty"), Answer(QVariant())},
        {QStringLiteral("reply-refused"), Refusal(QStringLiteral("Operador sem acesso à empresa 3."))},
        {QStringLiteral("reply-in-pieces"), InPieces(Receivables())},
        // Two frames back to back, as a reply can arrive right behind another.
        {QStringLiteral("stream-two-frames"), Answer(QVariant(qint64(7))) + Call(QStringLiteral("getTimeServ"), {})},
    };
    for (const auto &[name, bytes] : frames)
        if (!Write(wire, name, bytes))
            return 1;

    const QList<QPair<QString, TDataPacket>> packetSeeds = {
        {QStringLiteral("opemissao"), OpEmissao()},
        {QStringLiteral("opemissao-delta"), OpEmissaoDelta()},
        {QStringLiteral("receivables"), Receivables()},
        {QStringLiteral("server-time"), ServerTime()},
        {QStringLiteral("no-rows"), [] {
             TDataPacket p = Receivables();
             p.Rows.clear();
             p.Kinds.clear();
             return p;
         }()},
    };
    for (const auto &[name, packet] : packetSeeds)
        if (!Write(packets, name, packet.Encode()))
            return 1;
    return 0;
}
