#include "data/ClientDataSet.h"
#include "data/DataPacket.h"
#include "data/Database.h"
#include "data/Exceptions.h"
#include "data/RemoteResult.h"
#include "net/NetConnection.h"
#include "net/PasswordHash.h"
#include "net/ReplyReader.h"
#include "net/Wire.h"
#include "server/ServerCalls.h"
#include "services/Consiste.h"
#include "services/MessagePresenter.h"
#include "TestSupport.h"
#include <QDateTime>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QFile>
#include <QNetworkInterface>
#include <QProcess>
#include <QTcpSocket>
#include <csignal>
#include <sys/socket.h>
#include <gtest/gtest.h>
#include <QDataStream>
#include <QThread>
#include <thread>

namespace {

// Client data sets in the module's shapes.
void fields(TClientDataSet &cds, std::initializer_list<std::tuple<const char *, TFieldType, int>> defs)
{
    for (const auto &[name, type, size] : defs)
        cds.AddField(QString::fromLatin1(name), type, size);
}
constexpr auto S = TFieldType::String;
constexpr auto FX = TFieldType::FixedChar;
constexpr auto FL = TFieldType::Float;

QStringList column(TDataSet &ds, const char *name)
{
    QStringList out;
    for (ds.First(); !ds.Eof(); ds.Next())
        out << ds.FieldByName(QString::fromLatin1(name)).AsString();
    return out;
}

class AppServer : public ::testing::TestWithParam<TBackend> {
protected:
    void SetUp() override
    {
        if (GetParam() == TBackend::PostgreSQL && !PostgresAvailable())
            GTEST_SKIP() << "no PostgreSQL server (REC_TEST_PG_URL) for this run";
        m_db = std::make_unique<TTestDatabase>(GetParam(), 200);
        m_server = std::make_unique<TServerProcess>(m_db->Target());
        m_net = std::make_unique<TNetConnection>(QStringLiteral("netRelLancContReceber"));
        m_net->ServerName = QLatin1String(kServerObject);
        m_net->BeforeConnect = [this](TNetConnection &c) {
            ++m_connects;
            c.Host = QStringLiteral("127.0.0.1");
            c.Port = m_server->Port();
            c.Operator = QStringLiteral("MARIA");
            c.Password = DemoPassword(c.Operator);
        };
        m_net->Open();
    }
    // A connection of its own, logged in as a demo operator.
    std::unique_ptr<TNetConnection> connectAs(const QString &op)
    {
        auto net = unopenedAs(op);
        net->Open();
        return net;
    }
    // The same, set up but not yet connected.
    std::unique_ptr<TNetConnection> unopenedAs(const QString &op)
    {
        auto net = std::make_unique<TNetConnection>(QStringLiteral("net") + op);
        net->ServerName = QLatin1String(kServerObject);
        net->Host = QStringLiteral("127.0.0.1");
        net->Port = m_server->Port();
        net->Operator = op;
        net->Password = DemoPassword(op);
        return net;
    }
    int emissionRows() { return QueryInt(m_db->Target(), QStringLiteral("SELECT count(*) FROM OPCAOEMISSAO")); }
    // The server still answers a well-formed call.
    void expectServing()
    {
        TClientDataSet cds(QStringLiteral("cdsOpEmissao"));
        ServerCalls::GetOpEmissao(*m_net, QStringLiteral("REC11001"), QStringLiteral("MARIA"), cds);
        EXPECT_EQ(cds.RecordCount(), 1);
    }
    std::unique_ptr<TTestDatabase> m_db;
    std::unique_ptr<TServerProcess> m_server;
    std::unique_ptr<TNetConnection> m_net;
    int m_connects = 0;
};

// A raw client of the wire, for what a well-behaved connection never sends.
QByteArray requestFrame(const QString &method, QVariantList args)
{
    Wire::Request r{QStringLiteral("Rec11001.rdmRelLancContReceber"), method, std::move(args), {}};
    r.ByRef.fill(false, r.Args.size());
    return Wire::Frame(Wire::EncodeRequest(r));
}

// Every reply that arrives until the server closes the connection or waitMs passes without data.
QList<Wire::Reply> readReplies(QTcpSocket &s, int waitMs = 5000)
{
    Wire::FrameReader reader;
    QList<Wire::Reply> out;
    for (;;) {
        QByteArray body;
        if (reader.Next(body) == Wire::FrameReader::Status::Ready) {
            Wire::Reply r;
            QString error;
            if (!Wire::DecodeReply(body, r, error))
                ADD_FAILURE() << error.toStdString();
            out << r;
            continue;
        }
        if (s.bytesAvailable() == 0 && !s.waitForReadyRead(waitMs))
            break;
        reader.Append(s.readAll());
    }
    return out;
}

// A raw connection, logged in as MARIA unless told otherwise.
std::unique_ptr<QTcpSocket> rawConnect(int port, bool login = true)
{
    auto s = std::make_unique<QTcpSocket>();
    s->connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
    EXPECT_TRUE(s->waitForConnected(5000));
    if (login) {
        s->write(requestFrame(QStringLiteral("Login"), {QStringLiteral("MARIA"), DemoPassword(QStringLiteral("MARIA"))}));
        Wire::FrameReader reader;
        QByteArray body;
        while (reader.Next(body) != Wire::FrameReader::Status::Ready && (s->bytesAvailable() > 0 || s->waitForReadyRead(10000)))
            reader.Append(s->readAll());
        Wire::Reply r;
        QString error;
        EXPECT_TRUE(Wire::DecodeReply(body, r, error) && r.Ok) << error.toStdString() << r.Error.toStdString();
    }
    return s;
}

// The state letter of a process ("S", "R", "T" when stopped...).
// The peak resident memory of a process, in bytes.
qint64 peakMemory(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

} // namespace

TEST(Wire, FramesComeOutWholeHoweverTheBytesArrive)
{
    Wire::Reply big;
    big.Result = QVariantList{QVariant(QByteArray(300000, 'x')), QStringLiteral("Açaí"), 7, 2.5, QVariant()};
    big.RefValues = {QStringLiteral("ref")};
    Wire::Reply small;
    small.Ok = false;
    small.Error = QStringLiteral("GetTotal: falhou");
    const QByteArray one = Wire::FrameReply(big), two = Wire::FrameReply(small);
    EXPECT_EQ(one, Wire::Frame(Wire::EncodeReply(big)));
    EXPECT_EQ(two, Wire::Frame(Wire::EncodeReply(small)));
    // Two frames in one piece, then the same bytes in uneven pieces.
    for (const int piece : {0, 1, 3, 4096, 65537}) {
        const QByteArray all = one + two;
        Wire::FrameReader reader(Wire::kMaxReply);
        QList<Wire::Reply> got;
        qsizetype at = 0;
        while (got.size() < 2) {
            QByteArray body;
            if (reader.Next(body) == Wire::FrameReader::Status::Ready) {
                Wire::Reply r;
                QString error;
                ASSERT_TRUE(Wire::DecodeReply(body, r, error)) << error.toStdString();
                got << r;
                continue;
            }
            ASSERT_LT(at, all.size()) << "piece " << piece;
            const qsizetype n = piece == 0 ? all.size() : piece;
            reader.Append(all.mid(at, n));
            at += n;
        }
        EXPECT_EQ(reader.Buffered(), 0);
        EXPECT_EQ(got[0].Result, big.Result) << "piece " << piece;
        EXPECT_EQ(got[0].RefValues, big.RefValues);
        EXPECT_FALSE(got[1].Ok);
        EXPECT_EQ(got[1].Error, small.Error);
    }
}

TEST(Wire, APacketResultIsTheReceivedBodyItselfAndWhatFollowsItStillDecodes)
{
    Wire::Reply packet;
    packet.Result = QVariant(QByteArray(100000, 'p') + "fim");
    packet.RefValues = {qlonglong(7), QStringLiteral("depois")};
    QByteArray body = Wire::EncodeReply(packet);
    const char *start = body.constData();
    Wire::Reply r;
    QString error;
    ASSERT_TRUE(Wire::DecodeReply(std::move(body), r, error)) << error.toStdString();
    const QByteArray got = r.Result.toByteArray();
    EXPECT_EQ(got, packet.Result.toByteArray());
    EXPECT_EQ(r.RefValues, packet.RefValues);
    EXPECT_TRUE(got.constData() > start && got.constData() < start + 64) << "the packet's bytes were copied out of the body";

    // Null and empty bytes stay what they were; bytes cut short are refused.
    for (const QByteArray &bytes : {QByteArray(), QByteArray("")}) {
        Wire::Reply one;
        one.Result = QVariant(bytes);
        Wire::Reply back;
        ASSERT_TRUE(Wire::DecodeReply(Wire::EncodeReply(one), back, error)) << error.toStdString();
        EXPECT_EQ(back.Result.typeId(), QMetaType::QByteArray);
        EXPECT_EQ(back.Result.toByteArray().isNull(), bytes.isNull());
        EXPECT_TRUE(back.Result.toByteArray().isEmpty());
    }
    Wire::Reply cut;
    EXPECT_FALSE(Wire::DecodeReply(Wire::EncodeReply(packet).left(5000), cut, error));
    EXPECT_EQ(error, QStringLiteral("mensagem truncada"));
}

namespace {
// Rows with repeated, re-met and null texts, accents, numbers and flags: every kind of cell.
TDataPacket mixedPacket(int rows)
{
    TDataPacket p;
    p.Fields = {{QStringLiteral("NOME"), TFieldType::String, 30, false},
                {QStringLiteral("UF"), TFieldType::FixedChar, 2, false},
                {QStringLiteral("VALOR"), TFieldType::Float, 0, false},
                {QStringLiteral("NR"), TFieldType::Integer, 0, false},
                {QStringLiteral("OK"), TFieldType::Boolean, 0, false}};
    for (int r = 0; r < rows; ++r)
        p.AddRow({r % 7 == 0 ? QVariant() : QVariant(QStringLiteral("Cliente nº %1 São João").arg(r % 50)),
                  QStringLiteral("SP").left(1 + r % 2), r % 5 == 0 ? QVariant() : QVariant(r * 1.25), qlonglong(r / 3), r % 3 == 0});
    return p;
}

// The bytes of a reply whose packet left in the given pieces.
QByteArray piecesReply(const QList<QByteArray> &pieces, const Wire::Reply &end)
{
    QByteArray out = Wire::PieceLength(Wire::kPiecesMark);
    for (const QByteArray &piece : pieces)
        out += Wire::PieceLength(static_cast<quint32>(piece.size())) + piece;
    return out + Wire::PieceLength(0) + Wire::FrameReply(end);
}

// Reads a reply from bytes arriving `step` at a time (all at once for 0).
TReplyReader::Status readReply(TReplyReader &reader, const QByteArray &bytes, qsizetype step)
{
    TReplyReader::Status status = TReplyReader::Status::NeedMore;
    for (qsizetype at = 0; at < bytes.size() && status == TReplyReader::Status::NeedMore; at += step == 0 ? bytes.size() : step)
        status = reader.Append(bytes.mid(at, step == 0 ? bytes.size() : step));
    return status;
}
} // namespace

TEST(Wire, APacketSentWhileWrittenReadsAsTheWholePacketHoweverItsBytesArrive)
{
    const TDataPacket packet = mixedPacket(3000);
    const QByteArray whole = packet.Encode();
    for (const qsizetype pieceBytes : {64, 1000, 50000, 10000000}) {
        QList<QByteArray> pieces;
        TPacketWriter w(packet.Fields);
        w.SendInPieces([&](QByteArrayView piece) { pieces << piece.toByteArray(); }, pieceBytes);
        for (const TRecord &row : packet.Rows)
            w.AddRow(row);
        const QByteArray rest = w.Finish();
        if (pieceBytes > whole.size()) {
            // A packet smaller than a piece is written as ever.
            EXPECT_FALSE(w.SentPieces());
            EXPECT_TRUE(pieces.isEmpty());
            EXPECT_EQ(rest, whole);
            continue;
        }
        ASSERT_TRUE(w.SentPieces()) << pieceBytes;
        EXPECT_TRUE(rest.isEmpty());
        QByteArray joined = pieces.join();
        EXPECT_EQ(TDataPacket::AnnouncedRows(joined), qint64(TDataPacket::kRowsAtEnd));
        TDataPacket::AnnounceRows(joined, 3000);
        EXPECT_EQ(joined, whole) << "pieces of " << pieceBytes << " bytes";

        Wire::Reply end;
        end.Result = qlonglong(3000);
        end.RefValues = {QStringLiteral("depois")};
        const QByteArray stream = piecesReply(pieces, end);
        for (const qsizetype step : {0, 1, 3, 4097}) {
            TReplyReader rows(true);
            ASSERT_EQ(readReply(rows, stream, step), TReplyReader::Status::Done) << rows.Error().toStdString();
            const Wire::Reply got = rows.TakeReply();
            ASSERT_TRUE(got.Ok);
            ASSERT_EQ(got.Result.metaType(), QMetaType::fromType<TReceivedPacket>());
            const TReceivedPacket received = got.Result.value<TReceivedPacket>();
            EXPECT_EQ(received.Bytes, whole.size());
            EXPECT_EQ(received.Packet->Encode(), whole) << "pieces of " << pieceBytes << ", bytes " << step << " at a time";
            EXPECT_EQ(got.RefValues, end.RefValues);
            // Without rows wanted, the packet comes as the bytes a one-frame reply has.
            TReplyReader bytes(false);
            ASSERT_EQ(readReply(bytes, stream, step), TReplyReader::Status::Done) << bytes.Error().toStdString();
            EXPECT_EQ(bytes.TakeReply().Result.toByteArray(), whole);
        }

        // A call that fails after its first rows left: the failure, and no rows.
        Wire::Reply failed;
        failed.Ok = false;
        failed.Error = QStringLiteral("GetCurvaABC: o banco de dados não respondeu");
        TReplyReader afterFailure(true);
        ASSERT_EQ(readReply(afterFailure, piecesReply(pieces.mid(0, 1), failed), 5), TReplyReader::Status::Done);
        const Wire::Reply f = afterFailure.TakeReply();
        EXPECT_FALSE(f.Ok);
        EXPECT_EQ(f.Error, failed.Error);
        EXPECT_FALSE(f.Result.isValid());
    }

    // Replies that are not what they claim are refused with the reason.
    QList<QByteArray> pieces;
    {
        TPacketWriter w(packet.Fields);
        w.SendInPieces([&](QByteArrayView piece) { pieces << piece.toByteArray(); }, 4096);
        for (const TRecord &row : packet.Rows)
            w.AddRow(row);
        w.Finish();
    }
    const auto refused = [&](const QByteArray &stream, const QString &reason) {
        for (const bool rows : {true, false}) {
            TReplyReader reader(rows);
            const TReplyReader::Status status = readReply(reader, stream, 777);
            EXPECT_EQ(status, TReplyReader::Status::Malformed) << reason.toStdString() << (rows ? " (rows)" : " (bytes)");
            EXPECT_TRUE(reader.Error().contains(reason)) << reader.Error().toStdString();
        }
    };
    Wire::Reply count;
    count.Result = qlonglong(2999);
    TReplyReader tooFew(true);
    ASSERT_EQ(readReply(tooFew, piecesReply(pieces, count), 0), TReplyReader::Status::Malformed);
    EXPECT_TRUE(tooFew.Error().contains(QStringLiteral("3000 registros recebidos de 2999"))) << tooFew.Error().toStdString();
    Wire::Reply noCount;
    noCount.Result = QStringLiteral("3000");
    refused(piecesReply(pieces, noCount), QStringLiteral("sem a contagem de registros"));
    count.Result = qlonglong(3000);
    QList<QByteArray> cut = pieces;
    cut.last().chop(1);
    TReplyReader truncated(true);
    ASSERT_EQ(readReply(truncated, piecesReply(cut, count), 0), TReplyReader::Status::Malformed);
    EXPECT_TRUE(truncated.Error().contains(QStringLiteral("truncado"))) << truncated.Error().toStdString();
    // A packet that counts its rows ahead does not come in pieces.
    TReplyReader announced(true);
    ASSERT_EQ(readReply(announced, piecesReply({whole}, count), 0), TReplyReader::Status::Malformed);
    EXPECT_TRUE(announced.Error().contains(QStringLiteral("anunciados no início"))) << announced.Error().toStdString();
    QByteArray huge = Wire::PieceLength(Wire::kPiecesMark) + Wire::PieceLength(Wire::kMaxPiece + 1);
    refused(huge, QStringLiteral("parte de %1 bytes").arg(Wire::kMaxPiece + 1));
    // A row past the rows the reader may hold is refused as it comes.
    TPacketDecoder few(TPacketDecoder::kUnknownSize, 10);
    EXPECT_THROW(few.Feed(pieces.join()), EPacketError);
}

TEST_P(AppServer, EveryMethodAnswersWithItsPayloadShape)
{
    TClientDataSet venc(QStringLiteral("cdsDtVenc")), orca(QStringLiteral("cdsParamGeralOrca"));
    fields(venc, {{"QTDIAANTLANR", FL, 0}, {"CDGERALREC", S, 1}, {"QTDIAAPOLANR", FL, 0}});
    fields(orca, {{"IDEXIBDADORC", FX, 1}});
    ServerCalls::GetDtVenc(*m_net, venc, orca);
    ASSERT_EQ(venc.RecordCount(), 1);
    EXPECT_DOUBLE_EQ(venc.FieldByName(QStringLiteral("QTDIAANTLANR")).AsFloat(), 30.0);
    EXPECT_DOUBLE_EQ(venc.FieldByName(QStringLiteral("QTDIAAPOLANR")).AsFloat(), 0.0);
    EXPECT_EQ(orca.FieldByName(QStringLiteral("IDEXIBDADORC")).AsString(), QStringLiteral("S"));

    TClientDataSet op(QStringLiteral("cdsOpEmissao"));
    fields(op, {{"CDTELAPROG", S, 10}, {"CDOPERADOR", S, 12}, {"IDUTOPEMIFIN", S, 1}});
    ServerCalls::GetOpEmissao(*m_net, QStringLiteral("REC11001"), QStringLiteral("MARIA"), op);
    EXPECT_EQ(column(op, "IDUTOPEMIFIN"), QStringList{QStringLiteral("S")});
    const auto admin = connectAs(QStringLiteral("ADMIN"));
    ServerCalls::GetOpEmissao(*admin, QStringLiteral("REC11001"), QStringLiteral("ADMIN"), op);
    EXPECT_TRUE(op.IsEmpty());

    // Save a new record, then change it, reading back each time.
    op.Append();
    op.FieldByName(QStringLiteral("CDTELAPROG")).SetAsString(QStringLiteral("REC11001"));
    op.FieldByName(QStringLiteral("CDOPERADOR")).SetAsString(QStringLiteral("ADMIN"));
    op.FieldByName(QStringLiteral("IDUTOPEMIFIN")).SetAsString(QStringLiteral("N"));
    op.Post();
    ServerCalls::SetOpEmissao(*admin, op);
    ServerCalls::GetOpEmissao(*admin, QStringLiteral("REC11001"), QStringLiteral("ADMIN"), op);
    EXPECT_EQ(column(op, "IDUTOPEMIFIN"), QStringList{QStringLiteral("N")});
    op.First();
    op.Edit();
    op.FieldByName(QStringLiteral("IDUTOPEMIFIN")).SetAsString(QStringLiteral("S"));
    op.Post();
    ServerCalls::SetOpEmissao(*admin, op);
    ServerCalls::GetOpEmissao(*admin, QStringLiteral("REC11001"), QStringLiteral("ADMIN"), op);
    EXPECT_EQ(column(op, "IDUTOPEMIFIN"), QStringList{QStringLiteral("S")});

    TClientDataSet fili(QStringLiteral("cdsFiliLanca"));
    fields(fili, {{"IDMARCADO", FX, 1}, {"CDFILIAL", S, 4}, {"NMFILIAL", S, 30}, {"NOME", S, 35}});
    QString empty;
    ServerCalls::GetFiliLanca(*m_net, empty, QStringLiteral("T"), fili);
    // MARIA's companies 01 and 03 only: their six branches of the eleven.
    EXPECT_EQ(column(fili, "CDFILIAL"), (QStringList{QStringLiteral("0101"), QStringLiteral("0102"), QStringLiteral("0103"), QStringLiteral("0301"),
                                                     QStringLiteral("0302"), QStringLiteral("0303")}));
    QString others = QStringLiteral("_0201__0502_");
    ServerCalls::GetFiliLanca(*m_net, others, QString(), fili);
    EXPECT_EQ(fili.RecordCount(), 0);
    QString list = QStringLiteral("_0101__0302_");
    ServerCalls::GetFiliLanca(*m_net, list, QString(), fili);
    EXPECT_EQ(column(fili, "CDFILIAL"), (QStringList{QStringLiteral("0101"), QStringLiteral("0302")}));
    EXPECT_EQ(column(fili, "IDMARCADO"), (QStringList{QStringLiteral("S"), QStringLiteral("S")}));
    fili.First();
    EXPECT_EQ(fili.FieldByName(QStringLiteral("NOME")).AsString(), QStringLiteral("0101 ") + fili.FieldByName(QStringLiteral("NMFILIAL")).AsString());
    EXPECT_EQ(list, QStringLiteral("_0101__0302_"));

    TClientDataSet cli(QStringLiteral("qryCliente"));
    fields(cli, {{"CDCLIENTE", S, 21}, {"NMFANTCLIE", S, 50}, {"NMRAZSOCCLIE", S, 100}, {"NRINSJURCLIE", S, 20}, {"IDTPIJURCLIE", S, 1}});
    QString clients = QStringLiteral("_000001__000002_");
    ServerCalls::GetConsultaServ(*m_net, QStringLiteral("Cliente"), clients, cli);
    QStringList codes = column(cli, "CDCLIENTE");
    codes.sort();
    EXPECT_EQ(codes, (QStringList{QStringLiteral("000001"), QStringLiteral("000002")}));
    TClientDataSet tipo(QStringLiteral("qryTipoConta"));
    fields(tipo, {{"CDTPCTRECEB", S, 6}, {"DSTPCTRECEB", S, 40}, {"NOME", S, 47}});
    QString tipos = QStringLiteral("_000007_");
    ServerCalls::GetConsultaServ(*m_net, QStringLiteral("TipoConta"), tipos, tipo);
    EXPECT_EQ(column(tipo, "NOME"), QStringList{QStringLiteral("000007 Adiantamento de Cliente")});
    TClientDataSet cls(QStringLiteral("qryClassFinanc"));
    fields(cls, {{"CDCLASSFINA", S, 6}, {"DSCLASSFINA", S, 30}, {"NOME", S, 37}});
    QString classes = QStringLiteral("_101001__106001_");
    ServerCalls::GetConsultaServ(*m_net, QStringLiteral("ClassFinanceira"), classes, cls);
    EXPECT_EQ(column(cls, "CDCLASSFINA"), (QStringList{QStringLiteral("101001"), QStringLiteral("106001")}));

    TClientDataSet ativ(QStringLiteral("qryAtivClie"));
    fields(ativ, {{"IDMARCADO", FX, 1}, {"CDARVATIVCLI", S, 20}, {"DSATIVCLI", S, 50}, {"CDATIVCLI", S, 5}});
    ServerCalls::GetAtivClie(*m_net, 1, ativ);
    EXPECT_EQ(column(ativ, "CDARVATIVCLI"), (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
    ServerCalls::GetAtivClie(*m_net, 2, ativ);
    EXPECT_EQ(ativ.RecordCount(), 12);
    ServerCalls::GetAtivClie(*m_net, 3, ativ);
    EXPECT_EQ(ativ.RecordCount(), 30);

    TClientDataSet hora(QStringLiteral("cdsHoraServidor"));
    fields(hora, {{"DTATUA", TFieldType::DateTime, 0}});
    const TDateTime serverNow = ServerCalls::GetTimeServ(*m_net, hora);
    EXPECT_NEAR(serverNow, QDateTimeToDateTime(QDateTime::currentDateTime()), 1.0 / 24 / 60);
    EXPECT_EQ(m_connects, 1);
}

TEST_P(AppServer, BadRequestsFailByNameAndWriteNothing)
{
    TRecordingPresenter rec;
    TPresenterScope scope(rec);
    const int before = emissionRows();
    auto failure = [&](const QString &method, std::vector<TCallArg> args) {
        const QVariant r = m_net->Call(method, std::move(args));
        EXPECT_TRUE(IsRemoteFailure(r)) << method.toStdString();
        return ToRemoteFailure(r).Message;
    };
    EXPECT_TRUE(failure(QStringLiteral("GetNada"), {}).contains(QStringLiteral("GetNada")));
    EXPECT_TRUE(failure(QStringLiteral("GetOpEmissao"), {TCallArg(QStringLiteral("REC11001"))}).contains(QStringLiteral("GetOpEmissao")));
    EXPECT_TRUE(failure(QStringLiteral("GetAtivClie"), {TCallArg(QStringLiteral("3"))}).contains(QStringLiteral("GetAtivClie")));
    EXPECT_TRUE(failure(QStringLiteral("GetAtivClie"), {TCallArg(QVariant(0))}).contains(QStringLiteral("GetAtivClie")));
    EXPECT_TRUE(failure(QStringLiteral("GetConsultaServ"), {TCallArg(QStringLiteral("Vendedor")), TCallArg(QString())}).contains(QStringLiteral("Vendedor")));

    // Quotes and SQL in a code list are text and nothing else.
    TClientDataSet cli(QStringLiteral("qryCliente"));
    QString hostile = QStringLiteral("_000001_'); DELETE FROM OPCAOEMISSAO; DROP TABLE CLIENTE; --");
    ServerCalls::GetConsultaServ(*m_net, QStringLiteral("Cliente"), hostile, cli);
    EXPECT_EQ(column(cli, "CDCLIENTE"), QStringList{QStringLiteral("000001")});
    EXPECT_GT(QueryInt(m_db->Target(), QStringLiteral("SELECT count(*) FROM CLIENTE")), 0);

    // Deltas of any shape but one emission-option record are refused.
    TDataPacket other;
    other.Fields = {{QStringLiteral("CDEMPRESA"), TFieldType::String, 2, false}, {QStringLiteral("NMEMPRESA"), TFieldType::String, 40, false}};
    other.AddRow({QStringLiteral("09"), QStringLiteral("Intrusa")}, TRowKind::Inserted);
    TDataPacket two;
    two.Fields = {{QStringLiteral("CDTELAPROG"), TFieldType::String, 10, false},
                  {QStringLiteral("CDOPERADOR"), TFieldType::String, 12, false},
                  {QStringLiteral("IDUTOPEMIFIN"), TFieldType::String, 1, false}};
    two.AddRow({QStringLiteral("REC11001"), QStringLiteral("ADMIN"), QStringLiteral("S")}, TRowKind::Inserted);
    two.AddRow({QStringLiteral("REC11001"), QStringLiteral("CAIXA"), QStringLiteral("S")}, TRowKind::Inserted);
    TDataPacket screen = two;
    screen.Rows.pop_back();
    screen.Kinds.pop_back();
    screen.Rows[0][0] = QStringLiteral("FAT20001");
    TDataPacket keyChange = two;
    keyChange.Rows = {{QStringLiteral("REC11001"), QStringLiteral("MARIA"), QStringLiteral("S")},
                      {QStringLiteral("REC11001"), QStringLiteral("ADMIN"), QStringLiteral("N")}};
    keyChange.Kinds = {TRowKind::Original, TRowKind::Modified};
    TDataPacket badFlag = screen;
    badFlag.Rows[0] = {QStringLiteral("REC11001"), QStringLiteral("ADMIN"), QStringLiteral("s")};
    for (const QVariant &delta : {PacketToVariant(other), PacketToVariant(two), PacketToVariant(screen), PacketToVariant(keyChange),
                                  PacketToVariant(badFlag), QVariant(QByteArray("RDPK\x00\x01garbage")), QVariant(QStringLiteral("texto"))})
        EXPECT_TRUE(failure(QStringLiteral("SetOpEmissao"), {TCallArg(delta)}).contains(QStringLiteral("SetOpEmissao")));
    EXPECT_EQ(emissionRows(), before);
    TClientDataSet op(QStringLiteral("cdsOpEmissao"));
    ServerCalls::GetOpEmissao(*m_net, QStringLiteral("REC11001"), QStringLiteral("MARIA"), op);
    EXPECT_EQ(column(op, "IDUTOPEMIFIN"), QStringList{QStringLiteral("S")});

    // Through CheckResultServ a failure shows its message and ends the action.
    EXPECT_FALSE(RunAction([&] { CheckResultServ(m_net->Call(QStringLiteral("GetNada"))); }));
    ASSERT_EQ(rec.Messages.size(), 1);
    EXPECT_TRUE(rec.Messages[0].contains(QStringLiteral("GetNada")));
    // With ThrowException set a failure raises instead.
    m_net->ThrowException = true;
    EXPECT_THROW(m_net->Call(QStringLiteral("GetNada")), EHostError);
    m_net->ThrowException = false;
    expectServing();
    EXPECT_EQ(m_connects, 1);
}

TEST_P(AppServer, MalformedAndOversizedFramesCloseOnlyTheirConnection)
{
    auto rawExchange = [&](const QByteArray &bytes) {
        QTcpSocket s;
        s.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(m_server->Port()));
        EXPECT_TRUE(s.waitForConnected(5000));
        s.write(bytes);
        s.waitForBytesWritten(5000);
        QByteArray got;
        while (s.waitForReadyRead(5000))
            got += s.readAll();
        got += s.readAll();
        EXPECT_EQ(s.state(), QAbstractSocket::UnconnectedState) << "the server keeps a connection that sent a bad frame";
        Wire::FrameReader reader;
        reader.Append(got);
        QByteArray body;
        Wire::Reply reply;
        QString error;
        if (reader.Next(body) == Wire::FrameReader::Status::Ready && Wire::DecodeReply(body, reply, error))
            return reply;
        ADD_FAILURE() << "no failure reply";
        return reply;
    };
    Wire::Reply r = rawExchange(Wire::Frame(QByteArray("this is not a request")));
    EXPECT_FALSE(r.Ok);
    EXPECT_TRUE(r.Error.contains(QStringLiteral("malformada")));
    // A valid header whose arguments run past the end.
    QByteArray truncated = Wire::EncodeRequest({QStringLiteral("Rec11001.rdmRelLancContReceber"), QStringLiteral("GetOpEmissao"),
                                                {QStringLiteral("REC11001"), QStringLiteral("MARIA")}, {false, false}});
    truncated.chop(3);
    EXPECT_FALSE(rawExchange(Wire::Frame(truncated)).Ok);
    // A frame announcing more than the cap is refused before it is read.
    QByteArray huge;
    huge.append(char(0x7f)).append(char(0)).append(char(0)).append(char(0)).append(QByteArray(64, 'x'));
    r = rawExchange(huge);
    EXPECT_FALSE(r.Ok);
    EXPECT_TRUE(r.Error.contains(QStringLiteral("limite")));
    // The established connection was never touched.
    expectServing();
    EXPECT_EQ(m_connects, 1);
    m_server->Stop();
    const QString log = m_server->Log();
    EXPECT_TRUE(log.contains(QStringLiteral("GetOpEmissao"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("rows=1"))) << log.toStdString();
}

// Every connection starts with the operator's login; nothing else is served before it,
// five refusals in a row close the connection, and every refusal is logged with its reason.
TEST_P(AppServer, LoginGuardsEveryCall)
{
    auto reply = [](QTcpSocket &s, const QByteArray &frame) {
        s.write(frame);
        Wire::FrameReader reader;
        QByteArray body;
        while (reader.Next(body) != Wire::FrameReader::Status::Ready && (s.bytesAvailable() > 0 || s.waitForReadyRead(10000)))
            reader.Append(s.readAll());
        Wire::Reply r;
        QString error;
        EXPECT_TRUE(Wire::DecodeReply(body, r, error)) << error.toStdString();
        return r;
    };
    const QString maria = QStringLiteral("MARIA"), wrong = QStringLiteral("senha-errada-1");

    // Before the login: every call is refused, the connection stays open for the login.
    auto raw = rawConnect(m_server->Port(), false);
    for (const char *method : {"GetDtVenc", "GetNada", "getTimeServ"}) {
        const Wire::Reply r = reply(*raw, requestFrame(QLatin1String(method), {}));
        EXPECT_FALSE(r.Ok) << method;
        EXPECT_TRUE(r.Error.contains(QStringLiteral("depois do login"))) << r.Error.toStdString();
    }
    // Four wrong passwords, then the right one: the count is of refusals in a row.
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(reply(*raw, requestFrame(QStringLiteral("Login"), {maria, wrong})).Error, QStringLiteral("Login: operador ou senha inválidos."));
    EXPECT_TRUE(reply(*raw, requestFrame(QStringLiteral("Login"), {maria, DemoPassword(maria)})).Ok);
    EXPECT_TRUE(reply(*raw, requestFrame(QStringLiteral("GetDtVenc"), {})).Ok);
    // One login per connection.
    EXPECT_TRUE(reply(*raw, requestFrame(QStringLiteral("Login"), {QStringLiteral("ADMIN"), DemoPassword(QStringLiteral("ADMIN"))}))
                    .Error.contains(QStringLiteral("já entrou como MARIA")));

    // Five refusals in a row, an unknown operator among them with the same answer: the connection closes.
    auto guessing = rawConnect(m_server->Port(), false);
    for (int i = 0; i < 4; ++i) {
        const QString op = i == 2 ? QStringLiteral("NINGUEM") : maria;
        EXPECT_EQ(reply(*guessing, requestFrame(QStringLiteral("Login"), {op, wrong})).Error, QStringLiteral("Login: operador ou senha inválidos."));
    }
    const Wire::Reply fifth = reply(*guessing, requestFrame(QStringLiteral("Login"), {maria, DemoPassword(maria) + QStringLiteral("x")}));
    EXPECT_FALSE(fifth.Ok);
    EXPECT_TRUE(fifth.Error.contains(QStringLiteral("encerrou a conexão"))) << fifth.Error.toStdString();
    EXPECT_TRUE(guessing->state() == QAbstractSocket::UnconnectedState || guessing->waitForDisconnected(5000));

    // The client names the refusal so that a person can act on it.
    for (const QString &op : {maria, QStringLiteral("NINGUEM")}) {
        TNetConnection net(QStringLiteral("net"));
        net.ServerName = QLatin1String(kServerObject);
        net.Host = QStringLiteral("127.0.0.1");
        net.Port = m_server->Port();
        net.Operator = op;
        net.Password = wrong;
        try {
            net.Open();
            ADD_FAILURE() << "login accepted for " << op.toStdString();
        } catch (const EHostError &e) {
            EXPECT_TRUE(e.Message().contains(QStringLiteral("recusou o login do operador %1: operador ou senha inválidos. Confira").arg(op)))
                << e.Message().toStdString();
        }
        EXPECT_FALSE(net.Connected());
        const QVariant r = net.Call(QStringLiteral("GetDtVenc"));
        ASSERT_TRUE(IsRemoteFailure(r));
        EXPECT_TRUE(ToRemoteFailure(r).Message.contains(QStringLiteral("recusou o login"))) << ToRemoteFailure(r).Message.toStdString();
    }

    // Each operator's emission option is that operator's alone.
    TClientDataSet op(QStringLiteral("cdsOpEmissao"));
    const QVariant other = m_net->Call(QStringLiteral("GetOpEmissao"), {TCallArg(QStringLiteral("REC11001")), TCallArg(QStringLiteral("ADMIN"))});
    ASSERT_TRUE(IsRemoteFailure(other));
    EXPECT_TRUE(ToRemoteFailure(other).Message.contains(QStringLiteral("acesso recusado (opção de emissão do operador 'ADMIN')")))
        << ToRemoteFailure(other).Message.toStdString();
    const int before = emissionRows();
    TDataPacket delta;
    delta.Fields = {{QStringLiteral("CDTELAPROG"), TFieldType::String, 10, false},
                    {QStringLiteral("CDOPERADOR"), TFieldType::String, 12, false},
                    {QStringLiteral("IDUTOPEMIFIN"), TFieldType::String, 1, false}};
    delta.AddRow({QStringLiteral("REC11001"), QStringLiteral("ADMIN"), QStringLiteral("S")}, TRowKind::Inserted);
    const QVariant set = m_net->Call(QStringLiteral("SetOpEmissao"), {TCallArg(PacketToVariant(delta))});
    ASSERT_TRUE(IsRemoteFailure(set));
    EXPECT_TRUE(ToRemoteFailure(set).Message.contains(QStringLiteral("acesso recusado"))) << ToRemoteFailure(set).Message.toStdString();
    EXPECT_EQ(emissionRows(), before);
    expectServing();

    m_server->Stop();
    const QString log = m_server->Log();
    EXPECT_FALSE(log.contains(wrong)) << "a password reached the log";
    EXPECT_FALSE(log.contains(DemoPassword(maria)));
    EXPECT_TRUE(log.contains(QStringLiteral("[recusada: chamada antes do login]"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("[recusada: senha incorreta do operador MARIA (tentativa 4 de 5)]"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("[recusada: operador 'NINGUEM' não cadastrado"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("5 logins recusados seguidos, conexão encerrada"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("[recusada: opção de emissão do operador 'ADMIN' pedida pelo operador MARIA]"))) << log.toStdString();
}

TEST_P(AppServer, ASessionTicketLetsOnlyItsOperatorInUntilThePasswordChanges)
{
    const QString maria = QStringLiteral("MARIA");
    const QString ticket = m_net->SessionTicket;
    ASSERT_EQ(ticket.size(), 43) << "a password login answers with the session's ticket";
    auto open = [&](const QString &op, const QString &password, const QString &withTicket) {
        auto net = std::make_unique<TNetConnection>(QStringLiteral("net"));
        net->ServerName = QLatin1String(kServerObject);
        net->Host = QStringLiteral("127.0.0.1");
        net->Port = m_server->Port();
        net->Operator = op;
        net->Password = password;
        net->SessionTicket = withTicket;
        QString refused;
        try {
            net->Open();
        } catch (const EHostError &e) {
            refused = e.Message();
        }
        return std::make_pair(std::move(net), refused);
    };

    // The ticket opens another connection of the operator without the password, and it serves.
    auto [resumed, refused] = open(maria, QString(), ticket);
    ASSERT_TRUE(refused.isEmpty()) << refused.toStdString();
    TClientDataSet op(QStringLiteral("cdsOpEmissao"));
    EXPECT_TRUE(RunAction([&] { ServerCalls::GetOpEmissao(*resumed, QStringLiteral("REC11001"), maria, op); }));
    EXPECT_EQ(resumed->SessionTicket, ticket);

    // Not for another operator, nor a forged ticket: without a password the message says to log in again.
    for (const auto &[who, forged] : {std::pair{QStringLiteral("ADMIN"), ticket}, std::pair{maria, QString(43, QLatin1Char('A'))}}) {
        const auto [net, why] = open(who, QString(), forged);
        EXPECT_FALSE(net->Connected());
        EXPECT_TRUE(why.contains(QStringLiteral("Entre de novo com a senha"))) << why.toStdString();
    }
    // A refused ticket with the password at hand: the password logs in and brings a new ticket.
    {
        const auto [net, why] = open(QStringLiteral("ADMIN"), DemoPassword(QStringLiteral("ADMIN")), ticket);
        EXPECT_TRUE(why.isEmpty()) << why.toStdString();
        EXPECT_EQ(net->SessionTicket.size(), 43);
        EXPECT_NE(net->SessionTicket, ticket);
    }

    // A changed password ends the operator's sessions.
    {
        TdtmDBGeral db;
        db.Open(m_db->Target());
        QSqlQuery q(db.Database());
        q.prepare(QStringLiteral("UPDATE OPERADOR SET SENHAHASH = :H WHERE CDOPERADOR = :OP"));
        q.bindValue(QStringLiteral(":H"), PasswordHash::Make(QStringLiteral("nova-senha-2027"), 1000));
        q.bindValue(QStringLiteral(":OP"), maria);
        ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
    }
    EXPECT_FALSE(open(maria, QString(), ticket).second.isEmpty());
    EXPECT_TRUE(open(maria, QStringLiteral("nova-senha-2027"), QString()).second.isEmpty());

    m_server->Stop();
    const QString log = m_server->Log();
    EXPECT_EQ(log.count(QRegularExpression(QStringLiteral(" Resume [0-9.]+ ms rows=0 ok"))), 1) << log.toStdString();
    EXPECT_FALSE(log.contains(ticket)) << "the log never shows a ticket";
}

TEST_P(AppServer, StoppedServerGivesAFailureThenTheNextCallReconnects)
{
    TRecordingPresenter rec;
    TPresenterScope scope(rec);
    expectServing();
    m_server->Stop();
    TClientDataSet op(QStringLiteral("cdsOpEmissao"));
    EXPECT_FALSE(RunAction([&] { ServerCalls::GetOpEmissao(*m_net, QStringLiteral("REC11001"), QStringLiteral("MARIA"), op); }));
    ASSERT_EQ(rec.Messages.size(), 1);
    EXPECT_TRUE(rec.Messages[0].contains(QStringLiteral("GetOpEmissao")) || rec.Messages[0].contains(QStringLiteral("conectar")))
        << rec.Messages[0].toStdString();
    EXPECT_FALSE(m_net->Connected());
    m_server->Restart();
    expectServing();
    EXPECT_TRUE(m_net->Connected());
    EXPECT_GE(m_connects, 2);
    // The new connection logged in again.
    m_server->Stop();
    EXPECT_EQ(m_server->Log().count(QRegularExpression(QStringLiteral(" Login [0-9.]+ ms rows=0 ok"))), 2) << m_server->Log().toStdString();
}

TEST_P(AppServer, TwoClientsCallingAtOnce)
{
    auto client = [&](const QString &op, int calls, int &ok) {
        TNetConnection net(QStringLiteral("net"));
        net.ServerName = QLatin1String(kServerObject);
        net.Host = QStringLiteral("127.0.0.1");
        net.Port = m_server->Port();
        net.Operator = op;
        net.Password = DemoPassword(op);
        for (int i = 0; i < calls; ++i) {
            const QVariant r = net.Call(QStringLiteral("GetOpEmissao"), {TCallArg(QStringLiteral("REC11001")), TCallArg(op)});
            if (!IsRemoteFailure(r) && TDataPacket::Decode(r.toByteArray()).Rows.size() == (op == QStringLiteral("MARIA") ? 1u : 0u))
                ++ok;
        }
    };
    int okA = 0, okB = 0;
    std::thread a(client, QStringLiteral("MARIA"), 40, std::ref(okA));
    std::thread b(client, QStringLiteral("ADMIN"), 40, std::ref(okB));
    a.join();
    b.join();
    EXPECT_EQ(okA, 40);
    EXPECT_EQ(okB, 40);
    expectServing();
}

TEST_P(AppServer, DatabaseFaultsHalfCloseAndStalledCalls)
{
    // A record of an operator removed after its login: one plain message naming the method once.
    const auto caixa = connectAs(QStringLiteral("CAIXA"));
    {
        TdtmDBGeral direct;
        direct.Open(m_db->Target());
        QSqlQuery del(direct.Database());
        ASSERT_TRUE(del.exec(QStringLiteral("DELETE FROM OPERADOR WHERE CDOPERADOR = 'CAIXA'")));
    }
    TDataPacket delta;
    delta.Fields = {{QStringLiteral("CDTELAPROG"), TFieldType::String, 10, false},
                    {QStringLiteral("CDOPERADOR"), TFieldType::String, 12, false},
                    {QStringLiteral("IDUTOPEMIFIN"), TFieldType::String, 1, false}};
    delta.AddRow({QStringLiteral("REC11001"), QStringLiteral("CAIXA"), QStringLiteral("S")}, TRowKind::Inserted);
    const QVariant r = caixa->Call(QStringLiteral("SetOpEmissao"), {TCallArg(PacketToVariant(delta))});
    ASSERT_TRUE(IsRemoteFailure(r));
    const QString message = ToRemoteFailure(r).Message;
    EXPECT_EQ(message.count(QStringLiteral("SetOpEmissao")), 1) << message.toStdString();
    EXPECT_TRUE(message.contains(QStringLiteral("operador 'CAIXA' não existe"))) << message.toStdString();
    for (const char *raw : {"constraint", "FOREIGN", "foreign", "violates", "fetch row"})
        EXPECT_FALSE(message.contains(QLatin1String(raw))) << message.toStdString();

    // A client that closes its sending side still gets every reply, more of them than the socket buffers hold.
    auto s = rawConnect(m_server->Port());
    const QByteArray frame = requestFrame(QStringLiteral("GetFiliLanca"), {QString(), QStringLiteral("T")});
    // Sent past Qt so that nothing is read before the close.
    const QByteArray all = frame.repeated(1500);
    ASSERT_EQ(::send(static_cast<int>(s->socketDescriptor()), all.constData(), static_cast<size_t>(all.size()), MSG_NOSIGNAL), all.size());
    ASSERT_EQ(::shutdown(static_cast<int>(s->socketDescriptor()), SHUT_WR), 0);
    const QList<Wire::Reply> replies = readReplies(*s);
    ASSERT_EQ(replies.size(), 1500) << m_server->Log().right(3000).toStdString();
    for (const Wire::Reply &reply : replies)
        EXPECT_TRUE(reply.Ok) << reply.Error.toStdString();

    // A stalled server fails the call by name after the call time limit.
    EXPECT_EQ(TNetConnection(QStringLiteral("x")).CallTimeoutMs, 60000);
    m_net->CallTimeoutMs = 500;
    ::kill(static_cast<pid_t>(m_server->Pid()), SIGSTOP);
    // The stop takes effect a moment after the signal.
    ASSERT_TRUE(SeenStopped(m_server->Pid()));
    const QVariant stalled = m_net->Call(QStringLiteral("GetOpEmissao"), {TCallArg(QStringLiteral("REC11001")), TCallArg(QStringLiteral("MARIA"))});
    ::kill(static_cast<pid_t>(m_server->Pid()), SIGCONT);
    ASSERT_TRUE(IsRemoteFailure(stalled));
    EXPECT_TRUE(ToRemoteFailure(stalled).Message.contains(QStringLiteral("GetOpEmissao"))) << ToRemoteFailure(stalled).Message.toStdString();
    EXPECT_TRUE(ToRemoteFailure(stalled).Message.contains(QStringLiteral("não respondeu"))) << ToRemoteFailure(stalled).Message.toStdString();
    m_net->CallTimeoutMs = 10000;
    expectServing();
}

// Saved criteria: per operator and screen, replaced by name, one default, clear refusals.
TEST_P(AppServer, SavedCriteriaArePerOperatorAndScreenWithOneDefault)
{
    const auto admin = connectAs(QStringLiteral("ADMIN"));
    auto callOn = [&](TNetConnection &net, const QString &method, QVariantList args) {
        std::vector<TCallArg> a;
        for (const QVariant &v : args)
            a.emplace_back(v);
        return net.AppServer().Call(method, std::move(a));
    };
    auto call = [&](const QString &method, QVariantList args) { return callOn(*m_net, method, std::move(args)); };
    auto failure = [&](const QVariant &r) { return IsRemoteFailure(r) ? ToRemoteFailure(r).Message : QString(); };
    const QString screen = QStringLiteral("REC11001"), maria = QStringLiteral("MARIA");
    const QString hostile = QStringLiteral("x'); DELETE FROM CRITERIOSALVO; --");
    EXPECT_EQ(call(QStringLiteral("SetCriterio"), {screen, maria, QStringLiteral("Semana"), QStringLiteral("{\"a\":1}"), false}), QVariant(true));
    EXPECT_EQ(call(QStringLiteral("SetCriterio"), {screen, maria, hostile, QStringLiteral("{\"b\":2}"), true}), QVariant(true));
    EXPECT_EQ(call(QStringLiteral("SetCriterio"), {screen, maria, QStringLiteral(" Semana "), QStringLiteral("{\"a\":3}"), false}), QVariant(true));
    EXPECT_EQ(call(QStringLiteral("GetCriterio"), {screen, maria, QStringLiteral("Semana")}).toString(), QStringLiteral("{\"a\":3}"));
    EXPECT_EQ(call(QStringLiteral("GetCriterio"), {screen, maria, hostile}).toString(), QStringLiteral("{\"b\":2}"));
    EXPECT_EQ(QueryInt(m_db->Target(), QStringLiteral("SELECT count(*) FROM CRITERIOSALVO")), 2);

    TClientDataSet sets(QStringLiteral("cdsCriterios"));
    sets.SetData(call(QStringLiteral("GetCriterios"), {screen, maria}));
    ASSERT_EQ(sets.RecordCount(), 2);
    sets.First();
    EXPECT_EQ(sets.FieldByName(QStringLiteral("NMCRITERIO")).AsString(), QStringLiteral("Semana"));
    EXPECT_EQ(sets.FieldByName(QStringLiteral("IDPADRAO")).AsString(), QStringLiteral("N"));
    EXPECT_EQ(sets.FieldByName(QStringLiteral("DTGRAVACAO")).AsString().size(), 19);
    EXPECT_EQ(call(QStringLiteral("SetCriterioPadrao"), {screen, maria, QStringLiteral("Semana")}), QVariant(true));
    EXPECT_EQ(QueryInt(m_db->Target(), QStringLiteral("SELECT count(*) FROM CRITERIOSALVO WHERE IDPADRAO = 'S' AND NMCRITERIO = 'Semana'")), 1);
    EXPECT_EQ(QueryInt(m_db->Target(), QStringLiteral("SELECT count(*) FROM CRITERIOSALVO WHERE IDPADRAO = 'S'")), 1);

    // Another operator and another screen see nothing of them.
    sets.SetData(callOn(*admin, QStringLiteral("GetCriterios"), {screen, QStringLiteral("ADMIN")}));
    EXPECT_EQ(sets.RecordCount(), 0);
    sets.SetData(call(QStringLiteral("GetCriterios"), {QStringLiteral("REC99999"), maria}));
    EXPECT_EQ(sets.RecordCount(), 0);
    EXPECT_TRUE(failure(callOn(*admin, QStringLiteral("GetCriterio"), {screen, QStringLiteral("ADMIN"), QStringLiteral("Semana")}))
                    .contains(QStringLiteral("não há critérios salvos com o nome 'Semana' do operador 'ADMIN'")));
    EXPECT_FALSE(failure(callOn(*admin, QStringLiteral("DelCriterio"), {screen, QStringLiteral("ADMIN"), QStringLiteral("Semana")})).isEmpty());
    // Nor can another operator's connection reach them by naming MARIA.
    for (const QString &method : {QStringLiteral("GetCriterios"), QStringLiteral("GetCriterio"), QStringLiteral("DelCriterio"), QStringLiteral("SetCriterioPadrao")}) {
        QVariantList args = {screen, maria};
        if (method != QStringLiteral("GetCriterios"))
            args << QStringLiteral("Semana");
        EXPECT_TRUE(failure(callOn(*admin, method, args)).contains(QStringLiteral("acesso recusado"))) << method.toStdString();
    }
    EXPECT_TRUE(failure(callOn(*admin, QStringLiteral("SetCriterio"), {screen, maria, QStringLiteral("Intrusa"), QStringLiteral("{}"), true}))
                    .contains(QStringLiteral("acesso recusado")));

    // Refusals, each leaving the table as it was.
    EXPECT_TRUE(failure(call(QStringLiteral("SetCriterio"), {screen, maria, QStringLiteral("  "), QStringLiteral("{}"), false}))
                    .contains(QStringLiteral("informe o nome dos critérios")));
    EXPECT_TRUE(failure(call(QStringLiteral("SetCriterio"), {screen, maria, QStringLiteral("X"), QStringLiteral("[1"), false}))
                    .contains(QStringLiteral("não são um objeto JSON válido")));
    EXPECT_TRUE(failure(call(QStringLiteral("SetCriterio"), {screen, QStringLiteral("NINGUEM"), QStringLiteral("X"), QStringLiteral("{}"), false}))
                    .contains(QStringLiteral("acesso recusado")));
    EXPECT_TRUE(failure(call(QStringLiteral("SetCriterio"), {screen, maria, QString(61, QLatin1Char('n')), QStringLiteral("{}"), false}))
                    .contains(QStringLiteral("60 caracteres")));
    EXPECT_TRUE(failure(call(QStringLiteral("SetCriterioPadrao"), {screen, maria, QStringLiteral("Nenhum")})).contains(QStringLiteral("'Nenhum'")));
    EXPECT_EQ(QueryInt(m_db->Target(), QStringLiteral("SELECT count(*) FROM CRITERIOSALVO WHERE IDPADRAO = 'S' AND NMCRITERIO = 'Semana'")), 1);

    EXPECT_EQ(call(QStringLiteral("SetCriterioPadrao"), {screen, maria, QString()}), QVariant(true));
    EXPECT_EQ(QueryInt(m_db->Target(), QStringLiteral("SELECT count(*) FROM CRITERIOSALVO WHERE IDPADRAO = 'S'")), 0);
    EXPECT_EQ(call(QStringLiteral("DelCriterio"), {screen, maria, hostile}), QVariant(true));
    EXPECT_EQ(QueryInt(m_db->Target(), QStringLiteral("SELECT count(*) FROM CRITERIOSALVO")), 1);
    expectServing();
}

INSTANTIATE_TEST_SUITE_P(Backends, AppServer, ::testing::Values(TBackend::SQLite, TBackend::PostgreSQL),
                         [](const auto &info) { return BackendName(info.param).toStdString(); });

TEST(AppServerProgram, NeedsNoGuiLibrary)
{
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {BinDir() + QStringLiteral("/rec-appserver")});
    ASSERT_TRUE(ldd.waitForFinished(10000));
    const QString libs = QString::fromUtf8(ldd.readAllStandardOutput());
    ASSERT_TRUE(libs.contains(QStringLiteral("libQt6Core"))) << libs.toStdString();
    for (const char *gui : {"libQt6Widgets", "libQt6Gui", "libQt6Test"})
        EXPECT_FALSE(libs.contains(QLatin1String(gui))) << gui << "\n" << libs.toStdString();
}

TEST(AppServerProgram, RefusesABrokenDatabaseWithAClearMessage)
{
    QProcess p;
    p.start(BinDir() + QStringLiteral("/rec-appserver"), {QStringLiteral("--database"), QStringLiteral("/nao/existe.db")});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(p.readAllStandardError()).contains(QStringLiteral("não existe")));
    p.start(BinDir() + QStringLiteral("/rec-appserver"), {QStringLiteral("--database"), QStringLiteral("x.db"), QStringLiteral("--listen"), QStringLiteral("semporta")});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 2);
}

// Statistics the planner reads: a file without them, or whose receivables changed
// more than twofold since, gets them when the server starts; current ones are left alone.
TEST(AppServerProgram, AFileWithoutCurrentPlannerStatisticsGetsThemAtStart)
{
    TTestDatabase data(TBackend::SQLite, 300);
    auto stat = [&data](const char *change = nullptr) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("stat"));
        db.setDatabaseName(data.Target());
        EXPECT_TRUE(db.open());
        QString out;
        {
            QSqlQuery q(db);
            if (change) {
                EXPECT_TRUE(q.exec(QLatin1String(change))) << q.lastError().text().toStdString();
            }
            if (q.exec(QStringLiteral("SELECT stat FROM sqlite_stat1 WHERE tbl = 'CONTARECEBER' AND idx = 'IX_CONTARECEBER_CLIENTE'")) && q.next())
                out = q.value(0).toString();
        }
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("stat"));
        return out;
    };
    const QString made = stat();
    EXPECT_TRUE(made.startsWith(QStringLiteral("300 "))) << "the generator leaves them: " << made.toStdString();
    const char *refreshed = "estatísticas do planejador atualizadas";
    struct TCase {
        const char *Change;
        bool Refresh;
    };
    for (const TCase &c : {TCase{nullptr, false}, TCase{"DROP TABLE sqlite_stat1", true},
                           TCase{"UPDATE sqlite_stat1 SET stat = '5000 250' WHERE tbl = 'CONTARECEBER'", true},
                           TCase{"UPDATE sqlite_stat1 SET stat = '900 45' WHERE tbl = 'CONTARECEBER'", false}}) {
        const QString before = stat(c.Change);
        TServerProcess server(data.Target());
        const QString log = server.Log();
        server.Stop();
        EXPECT_EQ(log.contains(QString::fromUtf8(refreshed)), c.Refresh) << (c.Change ? c.Change : "as made") << "\n" << log.toStdString();
        EXPECT_EQ(stat(), c.Refresh ? made : before) << (c.Change ? c.Change : "as made");
    }
}

namespace {
class AppServerLimits : public ::testing::Test {
protected:
    void SetUp() override { m_db = std::make_unique<TTestDatabase>(TBackend::SQLite, 50); }
    // The server answers a plain call on a connection of its own.
    static void expectAnswers(int port)
    {
        TNetConnection net(QStringLiteral("net"));
        net.ServerName = QLatin1String(kServerObject);
        net.Host = QStringLiteral("127.0.0.1");
        net.Port = port;
        net.Operator = QStringLiteral("MARIA");
        net.Password = DemoPassword(net.Operator);
        const QVariant r = net.Call(QStringLiteral("GetOpEmissao"), {TCallArg(QStringLiteral("REC11001")), TCallArg(QStringLiteral("MARIA"))});
        EXPECT_FALSE(IsRemoteFailure(r)) << (IsRemoteFailure(r) ? ToRemoteFailure(r).Message.toStdString() : std::string());
    }
    std::unique_ptr<TTestDatabase> m_db;
};

QByteArray be32(quint32 v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<char>((v >> (24 - 8 * i)) & 0xff);
    return b;
}
} // namespace

TEST_F(AppServerLimits, ListensOnLoopbackUnlessTold)
{
    QProcess p;
    p.start(BinDir() + QStringLiteral("/rec-appserver"), {QStringLiteral("--database"), m_db->Target()});
    ASSERT_TRUE(p.waitForStarted(10000));
    QByteArray out;
    while (!out.contains('\n') && p.waitForReadyRead(15000))
        out += p.readAllStandardOutput();
    const QString first = QString::fromUtf8(out).section(QLatin1Char('\n'), 0, 0);
    ASSERT_TRUE(first.startsWith(QStringLiteral("listening on 127.0.0.1:"))) << first.toStdString();
    const int port = first.section(QLatin1Char(':'), -1).toInt();
    expectAnswers(port);
    // No other address of this machine reaches it.
    for (const QHostAddress &a : QNetworkInterface::allAddresses()) {
        if (a.isLoopback() || a.protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        QTcpSocket s;
        s.connectToHost(a, static_cast<quint16>(port));
        EXPECT_FALSE(s.waitForConnected(2000)) << a.toString().toStdString();
    }
    p.terminate();
    EXPECT_TRUE(p.waitForFinished(10000));
}

TEST_F(AppServerLimits, StartsAgainWithHugePagesUnderItsOwnName)
{
    for (const bool small : {false, true}) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("GLIBC_TUNABLES"));
        if (small)
            env.insert(QStringLiteral("REC_SMALL_PAGES"), QStringLiteral("1"));
        p.setProcessEnvironment(env);
        p.start(BinDir() + QStringLiteral("/rec-appserver"), {QStringLiteral("--database"), m_db->Target()});
        ASSERT_TRUE(p.waitForStarted(10000));
        QByteArray out;
        while (!out.contains('\n') && p.waitForReadyRead(15000))
            out += p.readAllStandardOutput();
        ASSERT_TRUE(out.startsWith("listening on ")) << out.constData();
        // The process the caller started is the one serving, with its name kept.
        QFile comm(QStringLiteral("/proc/%1/comm").arg(p.processId())), environ(QStringLiteral("/proc/%1/environ").arg(p.processId()));
        ASSERT_TRUE(comm.open(QIODevice::ReadOnly) && environ.open(QIODevice::ReadOnly));
        EXPECT_EQ(comm.readAll().trimmed(), QByteArray("rec-appserver"));
        // (The C library splits the tunables in place as it reads them.)
        EXPECT_EQ(environ.readAll().contains("GLIBC_TUNABLES=glibc.malloc.hugetlb=1"), !small);
        expectAnswers(out.trimmed().split(':').last().toInt());
        p.terminate();
        EXPECT_TRUE(p.waitForFinished(10000));
    }
}

TEST_F(AppServerLimits, ADatabaseWithoutPasswordsIsRefusedSayingWhatToDo)
{
    {
        TdtmDBGeral db;
        db.Open(m_db->Target());
        QSqlQuery q(db.Database());
        ASSERT_TRUE(q.exec(QStringLiteral("ALTER TABLE OPERADOR DROP COLUMN SENHAHASH")));
    }
    QProcess p;
    p.start(BinDir() + QStringLiteral("/rec-appserver"), {QStringLiteral("--database"), m_db->Target()});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 1);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("SENHAHASH")) && err.contains(QStringLiteral("rec-demo-db --replace"))) << err.toStdString();
}

TEST_F(AppServerLimits, StopClosesEveryConnectionAndExitsCleanly)
{
    for (int round = 0; round < 3; ++round) {
        TServerProcess server(m_db->Target());
        std::vector<std::unique_ptr<QTcpSocket>> clients;
        for (int i = 0; i < 5; ++i)
            clients.push_back(rawConnect(server.Port()));
        // Calls in flight and half a frame.
        auto busy = rawConnect(server.Port());
        const QByteArray call = requestFrame(QStringLiteral("GetFiliLanca"), {QString(), QStringLiteral("T")});
        busy->write(call.repeated(200));
        busy->waitForBytesWritten(5000);
        auto partial = rawConnect(server.Port());
        partial->write(call.left(10));
        partial->waitForBytesWritten(5000);
        expectAnswers(server.Port());
        server.Stop();
        EXPECT_EQ(server.LastExitCode(), 0) << "round " << round << ": " << server.Log().toStdString();
        clients.push_back(std::move(busy));
        clients.push_back(std::move(partial));
        for (auto &c : clients) {
            readReplies(*c, 3000);
            EXPECT_EQ(c->state(), QAbstractSocket::UnconnectedState);
        }
    }
}

TEST_F(AppServerLimits, HostileFramesCostMemoryInProportionToTheirBytes)
{
    constexpr int kFrame = 8 * 1024 * 1024;
    TServerProcess server(m_db->Target(), 0, {QStringLiteral("--max-frame"), QString::number(kFrame)});
    expectAnswers(server.Port());
    const qint64 before = peakMemory(server.Pid());
    ASSERT_GT(before, 0);

    // A list of nulls: one byte each on the wire.
    QByteArray head;
    {
        QDataStream d(&head, QIODevice::WriteOnly);
        d.setVersion(QDataStream::Qt_6_0);
        d << Wire::kRequestMagic << Wire::kVersion << QStringLiteral("Rec11001.rdmRelLancContReceber") << QStringLiteral("GetDtVenc") << quint32(1) << false
          << quint8(6);
    }
    const quint32 items = kFrame - 64 - static_cast<quint32>(head.size());
    QByteArray nulls = head + be32(items) + QByteArray(items, '\0');
    auto s = rawConnect(server.Port());
    s->write(Wire::Frame(nulls));
    QList<Wire::Reply> replies = readReplies(*s);
    ASSERT_EQ(replies.size(), 1);
    EXPECT_FALSE(replies[0].Ok);
    EXPECT_TRUE(replies[0].Error.contains(QStringLiteral("malformada"))) << replies[0].Error.toStdString();
    nulls.clear();

    // A delta of empty rows: two bytes each on the wire.
    QByteArray packet = QByteArray("RDPK") + QByteArray("\x00\x01", 2) + be32(1) + be32(1) + QByteArray("A") + QByteArray("\x00", 1) + be32(1) +
                        QByteArray("\x00", 1);
    const quint32 rows = (kFrame - 256 - packet.size()) / 2;
    packet += be32(rows) + QByteArray(2 * qsizetype(rows), '\0');
    s = rawConnect(server.Port());
    s->write(requestFrame(QStringLiteral("SetOpEmissao"), {packet}));
    replies = readReplies(*s);
    ASSERT_EQ(replies.size(), 1);
    EXPECT_FALSE(replies[0].Ok);
    EXPECT_EQ(replies[0].Error.count(QStringLiteral("SetOpEmissao")), 1) << replies[0].Error.toStdString();
    packet.clear();

    expectAnswers(server.Port());
    const qint64 grown = peakMemory(server.Pid()) - before;
    EXPECT_LT(grown, 12 * kFrame) << "peak memory grew by " << grown << " bytes for frames of " << kFrame;
}

TEST_F(AppServerLimits, InputMemoryIsSharedAndCapped)
{
    TServerProcess server(m_db->Target(), 0, {QStringLiteral("--max-input"), QStringLiteral("1000000")});
    const QByteArray big = requestFrame(QStringLiteral("GetConsultaServ"), {QStringLiteral("Cliente"), QString(300000, QLatin1Char('x'))});
    ASSERT_GT(big.size(), 600000);
    auto a = rawConnect(server.Port());
    auto b = rawConnect(server.Port());
    a->write(big.left(1000));
    b->write(big.left(1000));
    a->waitForBytesWritten(5000);
    b->waitForBytesWritten(5000);
    // Only one of the two frames fits; the other connection is refused, and only it.
    QTcpSocket *refused = nullptr;
    for (int i = 0; i < 50 && !refused; ++i) {
        if (a->waitForReadyRead(100))
            refused = a.get();
        else if (b->bytesAvailable() > 0 || b->waitForReadyRead(100))
            refused = b.get();
    }
    ASSERT_NE(refused, nullptr);
    const QList<Wire::Reply> no = readReplies(*refused);
    ASSERT_EQ(no.size(), 1);
    EXPECT_TRUE(no[0].Error.contains(QStringLiteral("memória"))) << no[0].Error.toStdString();
    QTcpSocket *kept = refused == a.get() ? b.get() : a.get();
    kept->write(big.mid(1000));
    ASSERT_TRUE(kept->waitForBytesWritten(5000));
    ASSERT_TRUE(kept->waitForReadyRead(5000));
    Wire::FrameReader reader;
    QByteArray body;
    while (reader.Next(body) != Wire::FrameReader::Status::Ready && (kept->bytesAvailable() > 0 || kept->waitForReadyRead(5000)))
        reader.Append(kept->readAll());
    Wire::Reply yes;
    QString error;
    ASSERT_TRUE(Wire::DecodeReply(body, yes, error)) << error.toStdString();
    EXPECT_TRUE(yes.Ok) << yes.Error.toStdString();
    expectAnswers(server.Port());
}

TEST_F(AppServerLimits, IdleAndSlowConnectionsDoNotLockOthersOut)
{
    TServerProcess server(m_db->Target(), 0,
                          {QStringLiteral("--max-clients"), QStringLiteral("3"), QStringLiteral("--frame-timeout"), QStringLiteral("300"),
                           QStringLiteral("--max-pending"), QStringLiteral("4096")});
    // Half a frame is refused once its time is up.
    const QByteArray call = requestFrame(QStringLiteral("GetFiliLanca"), {QString(), QStringLiteral("T")});
    auto slow = rawConnect(server.Port());
    slow->write(call.left(10));
    const QList<Wire::Reply> late = readReplies(*slow);
    ASSERT_EQ(late.size(), 1);
    EXPECT_TRUE(late[0].Error.contains(QStringLiteral("completa"))) << late[0].Error.toStdString();
    EXPECT_EQ(slow->state(), QAbstractSocket::UnconnectedState);

    // Connections that send nothing make room for a new one, the oldest first.
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 3; ++i) {
        idle.push_back(rawConnect(server.Port()));
        QThread::msleep(20);
    }
    expectAnswers(server.Port());
    EXPECT_TRUE(idle[0]->state() == QAbstractSocket::UnconnectedState || idle[0]->waitForDisconnected(5000));
    EXPECT_EQ(idle[2]->state(), QAbstractSocket::ConnectedState);

    // A client that reads its replies only after sending all its requests gets every one.
    auto pipelined = rawConnect(server.Port());
    pipelined->write(call.repeated(300));
    const QList<Wire::Reply> all = readReplies(*pipelined, 3000);
    EXPECT_EQ(all.size(), 300);
    for (const Wire::Reply &r : all)
        ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    // Once its replies are read, the same connection is heard again.
    pipelined->write(call);
    const QList<Wire::Reply> next = readReplies(*pipelined, 3000);
    ASSERT_EQ(next.size(), 1);
    EXPECT_TRUE(next[0].Ok) << next[0].Error.toStdString();
}

TEST_F(AppServerLimits, CallerInputIsQuotedShortInRepliesAndLog)
{
    TServerProcess server(m_db->Target());
    TNetConnection net(QStringLiteral("net"));
    net.ServerName = QLatin1String(kServerObject);
    net.Host = QStringLiteral("127.0.0.1");
    net.Port = server.Port();
    net.Operator = QStringLiteral("MARIA");
    net.Password = DemoPassword(net.Operator);
    const QString forged = QStringLiteral("GetNada\n2001-01-01T00:00:00.000 GetOpEmissao 0.10 ms rows=1 ok");
    for (const QString &method : {forged, QString(1000000, QLatin1Char('m'))}) {
        const QVariant r = net.Call(method);
        ASSERT_TRUE(IsRemoteFailure(r));
        const QString message = ToRemoteFailure(r).Message;
        EXPECT_FALSE(message.contains(QLatin1Char('\n'))) << message.toStdString();
        EXPECT_LT(message.size(), 300) << message.left(300).toStdString();
    }
    const QVariant r = net.Call(QStringLiteral("GetConsultaServ"), {TCallArg(QString(100000, QLatin1Char('c')) + QStringLiteral("\r\nx")), TCallArg(QString())});
    ASSERT_TRUE(IsRemoteFailure(r));
    EXPECT_LT(ToRemoteFailure(r).Message.size(), 300);
    server.Stop();
    const QStringList lines = server.Log().split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        EXPECT_FALSE(line.startsWith(QStringLiteral("2001-01-01"))) << line.toStdString();
        EXPECT_LT(line.size(), 1000) << line.left(200).toStdString();
    }
    EXPECT_TRUE(server.Log().contains(QStringLiteral("'GetNada\\n2001"))) << server.Log().toStdString();
}

// After each login the host tells its date format and date; a later call on another day tells
// them again, and a format the server cannot read refuses the connection with its reason.
TEST_P(AppServer, TheHostsDateFormatAndDateGoWithTheSession)
{
    QDate day(2026, 12, 7);
    auto net = unopenedAs(QStringLiteral("MARIA"));
    net->DateFormat = QStringLiteral("d.M.yy");
    net->Today = [&day] { return day; };
    const auto contexts = [&] { return m_server->Log().count(QRegularExpression(QStringLiteral(" SetContext [0-9.]+ ms rows=0 ok"))); };
    const int before = contexts();
    TClientDataSet cds(QStringLiteral("cdsOpEmissao"));
    ServerCalls::GetOpEmissao(*net, QStringLiteral("REC11001"), QStringLiteral("MARIA"), cds);
    ServerCalls::GetOpEmissao(*net, QStringLiteral("REC11001"), QStringLiteral("MARIA"), cds);
    EXPECT_EQ(contexts() - before, 1) << m_server->Log().right(1500).toStdString();
    day = day.addDays(1); // past midnight
    ServerCalls::GetOpEmissao(*net, QStringLiteral("REC11001"), QStringLiteral("MARIA"), cds);
    EXPECT_EQ(contexts() - before, 2);
    EXPECT_EQ(net->CallLog, (QStringList{QStringLiteral("GetOpEmissao"), QStringLiteral("GetOpEmissao"), QStringLiteral("GetOpEmissao")}));

    auto bad = unopenedAs(QStringLiteral("MARIA"));
    bad->DateFormat = QStringLiteral("dd/dd/yyyy");
    try {
        bad->Open();
        ADD_FAILURE() << "a date format the server cannot read was accepted";
    } catch (const EHostError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("recusou o formato de data 'dd/dd/yyyy'"))) << e.Message().toStdString();
    }
    EXPECT_FALSE(bad->Connected());
}
