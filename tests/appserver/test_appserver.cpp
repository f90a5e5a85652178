#include "ClientDataSet.h"
#include "Consiste.h"
#include "Database.h"
#include "Exceptions.h"
#include "MessagePresenter.h"
#include "NetConnection.h"
#include "RemoteResult.h"
#include "ServerCalls.h"
#include "TestSupport.h"
#include "Wire.h"
#include <QDateTime>
#include <QSqlQuery>
#include <QTcpSocket>
#include <gtest/gtest.h>
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
        m_net->BeforeConnect = [this](TNetConnection &c) {
            ++m_connects;
            c.Host = QStringLiteral("127.0.0.1");
            c.Port = m_server->Port();
        };
        m_net->Open();
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

} // namespace

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
    ServerCalls::GetOpEmissao(*m_net, QStringLiteral("REC11001"), QStringLiteral("ADMIN"), op);
    EXPECT_TRUE(op.IsEmpty());

    // Save a new record, then change it, reading back each time.
    op.Append();
    op.FieldByName(QStringLiteral("CDTELAPROG")).SetAsString(QStringLiteral("REC11001"));
    op.FieldByName(QStringLiteral("CDOPERADOR")).SetAsString(QStringLiteral("ADMIN"));
    op.FieldByName(QStringLiteral("IDUTOPEMIFIN")).SetAsString(QStringLiteral("N"));
    op.Post();
    ServerCalls::SetOpEmissao(*m_net, op);
    ServerCalls::GetOpEmissao(*m_net, QStringLiteral("REC11001"), QStringLiteral("ADMIN"), op);
    EXPECT_EQ(column(op, "IDUTOPEMIFIN"), QStringList{QStringLiteral("N")});
    op.First();
    op.Edit();
    op.FieldByName(QStringLiteral("IDUTOPEMIFIN")).SetAsString(QStringLiteral("S"));
    op.Post();
    ServerCalls::SetOpEmissao(*m_net, op);
    ServerCalls::GetOpEmissao(*m_net, QStringLiteral("REC11001"), QStringLiteral("ADMIN"), op);
    EXPECT_EQ(column(op, "IDUTOPEMIFIN"), QStringList{QStringLiteral("S")});

    TClientDataSet fili(QStringLiteral("cdsFiliLanca"));
    fields(fili, {{"IDMARCADO", FX, 1}, {"CDFILIAL", S, 4}, {"NMFILIAL", S, 30}, {"NOME", S, 35}});
    QString empty;
    ServerCalls::GetFiliLanca(*m_net, empty, QStringLiteral("T"), fili);
    EXPECT_EQ(fili.RecordCount(), 11);
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
    EXPECT_FALSE(RunAction([&] { CheckResultServ(m_net->Call(QStringLiteral("GetNada")), true, 0); }));
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
}

TEST_P(AppServer, TwoClientsCallingAtOnce)
{
    auto client = [&](const QString &op, int calls, int &ok) {
        TNetConnection net(QStringLiteral("net"));
        net.Host = QStringLiteral("127.0.0.1");
        net.Port = m_server->Port();
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

INSTANTIATE_TEST_SUITE_P(Backends, AppServer, ::testing::Values(TBackend::SQLite, TBackend::PostgreSQL),
                         [](const auto &info) { return BackendName(info.param).toStdString(); });

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
