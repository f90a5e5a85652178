// The business database lost under a running application server: calls fail
// and say why, nothing is reported as saved that was not, and the server goes
// on with the database once it is back or replaced.
#include "data/Database.h"
#include "data/DataPacket.h"
#include "data/RemoteResult.h"
#include "net/NetConnection.h"
#include "TestSupport.h"
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {
// A client connection to a test server; the one place a test connection is made.
std::unique_ptr<TNetConnection> Connect(int port)
{
    auto net = std::make_unique<TNetConnection>(QStringLiteral("netRelLancContReceber"));
    net->ServerName = QLatin1String(kServerObject);
    net->Host = QStringLiteral("127.0.0.1");
    net->Port = port;
    net->Operator = QStringLiteral("MARIA");
    net->Password = DemoPassword(net->Operator);
    return net;
}

// MARIA's emission option as a client reads it, or the failure's text.
QString readOption(TNetConnection &net)
{
    const QVariant r = net.Call(QStringLiteral("GetOpEmissao"), {TCallArg(QStringLiteral("REC11001")), TCallArg(QStringLiteral("MARIA"))});
    if (IsRemoteFailure(r))
        return QStringLiteral("falha: ") + ToRemoteFailure(r).Message;
    const TDataPacket p = TDataPacket::Decode(r.toByteArray());
    return p.Rows.size() == 1 ? p.Rows[0][static_cast<size_t>(p.FieldIndex(QStringLiteral("IDUTOPEMIFIN")))].toString() : QStringLiteral("sem registro");
}

// Saves MARIA's emission option as the screen does; the failure's text, or empty.
QString saveOption(TNetConnection &net, const QString &from, const QString &to)
{
    TDataPacket delta;
    for (const char *name : {"CDTELAPROG", "CDOPERADOR", "IDUTOPEMIFIN"})
        delta.Fields.push_back({QString::fromLatin1(name), TFieldType::String, 12, false});
    delta.AddRow({QStringLiteral("REC11001"), QStringLiteral("MARIA"), from}, TRowKind::Original);
    delta.AddRow({QStringLiteral("REC11001"), QStringLiteral("MARIA"), to}, TRowKind::Modified);
    const QVariant r = net.Call(QStringLiteral("SetOpEmissao"), {TCallArg(PacketToVariant(delta))});
    if (IsRemoteFailure(r))
        return ToRemoteFailure(r).Message;
    return r == QVariant(true) ? QString() : QStringLiteral("resposta inesperada");
}

QString storedOption(const QString &target) { return StoredEmissionOption(target, QStringLiteral("MARIA")); }

void exec(const QString &target, const QString &sql)
{
    TdtmDBGeral db;
    db.Open(target);
    QSqlQuery q(db.Database());
    ASSERT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
}

QByteArray path8(const QString &path) { return QFile::encodeName(path); }
} // namespace

TEST(DatabaseLost, SQLiteFileMovedAwayAndBack)
{
    TTestDatabase db(TBackend::SQLite, 100);
    TServerProcess server(db.Target());
    auto net = Connect(server.Port());
    ASSERT_EQ(readOption(*net), QStringLiteral("S"));

    const QString away = db.Target() + QStringLiteral(".fora");
    ASSERT_EQ(::rename(path8(db.Target()).constData(), path8(away).constData()), 0);
    const QString read = readOption(*net);
    EXPECT_TRUE(read.startsWith(QStringLiteral("falha: GetOpEmissao"))) << read.toStdString();
    EXPECT_TRUE(read.contains(QStringLiteral("removido ou movido"))) << read.toStdString();
    const QString saved = saveOption(*net, QStringLiteral("S"), QStringLiteral("N"));
    EXPECT_TRUE(saved.contains(QStringLiteral("removido ou movido"))) << saved.toStdString();
    EXPECT_EQ(storedOption(away), QStringLiteral("S")) << "nothing written while the file was away";

    ASSERT_EQ(::rename(path8(away).constData(), path8(db.Target()).constData()), 0);
    EXPECT_EQ(readOption(*net), QStringLiteral("S"));
    EXPECT_EQ(saveOption(*net, QStringLiteral("S"), QStringLiteral("N")), QString());
    EXPECT_EQ(storedOption(db.Target()), QStringLiteral("N"));
    EXPECT_TRUE(net->Connected()) << "the client's connection lived through it";
}

TEST(DatabaseLost, SQLiteFileReplacedOrRemovedUnderTwoClients)
{
    TTestDatabase db(TBackend::SQLite, 100);
    TTestDatabase other(TBackend::SQLite, 50, 11);
    exec(other.Target(), QStringLiteral("UPDATE OPCAOEMISSAO SET IDUTOPEMIFIN = 'N' WHERE CDOPERADOR = 'MARIA'"));
    TServerProcess server(db.Target());
    auto a = Connect(server.Port());
    auto b = Connect(server.Port());
    ASSERT_EQ(readOption(*a), QStringLiteral("S"));
    ASSERT_EQ(readOption(*b), QStringLiteral("S"));

    // Replaced: the old file stays reachable through a second name to show it is no longer written.
    const QString old = db.Target() + QStringLiteral(".antigo");
    ASSERT_EQ(::link(path8(db.Target()).constData(), path8(old).constData()), 0);
    ASSERT_EQ(::rename(path8(other.Target()).constData(), path8(db.Target()).constData()), 0);
    EXPECT_EQ(readOption(*a), QStringLiteral("N")) << "the new file's data";
    EXPECT_EQ(saveOption(*a, QStringLiteral("N"), QStringLiteral("S")), QString());
    EXPECT_EQ(readOption(*b), QStringLiteral("S")) << "the other client sees the same new file";
    EXPECT_EQ(storedOption(db.Target()), QStringLiteral("S"));
    EXPECT_EQ(saveOption(*b, QStringLiteral("S"), QStringLiteral("N")), QString());
    EXPECT_EQ(storedOption(db.Target()), QStringLiteral("N"));
    EXPECT_EQ(storedOption(old), QStringLiteral("S")) << "no write went to the replaced file";

    // Removed: every call fails, none reports a save.
    ASSERT_TRUE(QFile::remove(db.Target()));
    for (TNetConnection *net : {a.get(), b.get()}) {
        const QString saved = saveOption(*net, QStringLiteral("N"), QStringLiteral("S"));
        EXPECT_TRUE(saved.startsWith(QStringLiteral("SetOpEmissao"))) << saved.toStdString();
        EXPECT_TRUE(saved.contains(QStringLiteral("removido ou movido"))) << saved.toStdString();
        EXPECT_TRUE(readOption(*net).contains(QStringLiteral("removido ou movido")));
    }
    EXPECT_FALSE(QFile::exists(db.Target())) << "no empty database made in its place";

    // A file put there again is used.
    ASSERT_TRUE(QFile::copy(old, db.Target()));
    EXPECT_EQ(readOption(*a), QStringLiteral("S")) << server.Log().right(3000).toStdString();
    EXPECT_EQ(readOption(*b), QStringLiteral("S"));
    EXPECT_TRUE(server.Log().contains(QStringLiteral("removido ou movido")));
}

TEST(DatabaseLost, PostgreSQLRefusingConnectionsThenBack)
{
    if (!PostgresAvailable())
        GTEST_SKIP() << "no PostgreSQL server (REC_TEST_PG_URL) for this run";
    // A database of its own on the test server: only its connections are cut.
    TTestDatabase db(TBackend::PostgreSQL, 100);
    const QString name = QUrl(db.Target()).path().mid(1);
    const QString admin = qEnvironmentVariable("REC_TEST_PG_URL");
    TServerProcess server(db.Target());
    auto net = Connect(server.Port());
    ASSERT_EQ(readOption(*net), QStringLiteral("S"));

    exec(admin, QStringLiteral("ALTER DATABASE %1 ALLOW_CONNECTIONS false").arg(name));
    exec(admin, QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '%1'").arg(name));
    for (int i = 0; i < 3; ++i) {
        const QString read = readOption(*net);
        EXPECT_TRUE(read.startsWith(QStringLiteral("falha: GetOpEmissao"))) << read.toStdString();
        const QString saved = saveOption(*net, QStringLiteral("S"), QStringLiteral("N"));
        EXPECT_TRUE(saved.startsWith(QStringLiteral("SetOpEmissao"))) << saved.toStdString();
    }
    EXPECT_TRUE(net->Connected()) << "the server lives on";

    exec(admin, QStringLiteral("ALTER DATABASE %1 ALLOW_CONNECTIONS true").arg(name));
    EXPECT_EQ(readOption(*net), QStringLiteral("S"));
    EXPECT_EQ(saveOption(*net, QStringLiteral("S"), QStringLiteral("N")), QString());
    EXPECT_EQ(storedOption(db.Target()), QStringLiteral("N"));
    EXPECT_TRUE(server.Log().contains(QStringLiteral("reconectando")));
}

TEST(ServerRestart, TheNextCallUsesANewConnectionWithoutAFailure)
{
    TTestDatabase db(TBackend::SQLite, 50);
    TServerProcess server(db.Target());
    auto net = Connect(server.Port());
    ASSERT_EQ(readOption(*net), QStringLiteral("S"));
    // No event loop runs between the calls, as in a busy screen: the closed connection is found as the call starts.
    for (int i = 0; i < 3; ++i) {
        server.Restart();
        EXPECT_EQ(readOption(*net), QStringLiteral("S")) << "after restart " << i + 1;
        EXPECT_EQ(saveOption(*net, QStringLiteral("S"), QStringLiteral("S")), QString());
    }
    EXPECT_TRUE(net->Connected());
}
