// On PostgreSQL every operator reads the database as a role of its own, and row-level
// security keeps it to its companies whatever the statement: checked through direct
// connections, psql, the layouts, the host itself and the administration command.
#include "data/Database.h"
#include "data/Exceptions.h"
#include "net/NetConnection.h"
#include "report/ReportBands.h"
#include "report/ReportLayout.h"
#include "report/ReportRows.h"
#include "TestSupport.h"
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

namespace {
// The test database as an operator's role reaches it: no administrator in the URL.
QString roleUrl(const QString &target, const QString &role, const QString &password)
{
    QUrl url(target);
    url.setUserName(role);
    url.setPassword(password);
    return url.toString();
}

QStringList column(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    EXPECT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString();
    QStringList out;
    while (q.next())
        out << q.value(0).toString();
    return out;
}

// Runs every layout's statement with its criteria at "all" (the company flag too) and checks
// that each row's company is one of `allowed`; returns the rows read.
int layoutRows(const QSqlDatabase &sql, const QSet<QString> &allowed)
{
    int rowsSeen = 0;
    for (const TReportLayout &l : LoadReportLayouts(BinDir() + QStringLiteral("/../reports"), QStringLiteral("REC110"))) {
        if (!l.DataSet.isEmpty())
            continue;
        TParams params;
        for (const auto &p : l.Params) {
            TParam &param = params.CreateParam(p.Type, p.Name);
            const bool flag = (p.Name.startsWith(QLatin1Char('T')) || p.Name.startsWith(QStringLiteral("P_T"))) && p.Name != QStringLiteral("TIPO") &&
                              p.Name != QStringLiteral("TIPOCONTA");
            if (flag || p.Name == QStringLiteral("P_ORCA"))
                param.SetAsString(QStringLiteral("T"));
            else if (p.Name == QStringLiteral("IDTPCTRECEBER"))
                param.SetAsString(QStringLiteral("1_2"));
            else if (p.Name == QStringLiteral("TIPO"))
                param.SetAsString(QStringLiteral("A_E_P"));
            else
                param.SetAsString(QStringLiteral(" "));
        }
        params.CreateParam(TParamType::Date, QStringLiteral("REL_DTEMISSAO")).SetAsDate(DateToDateTime(QDate(2026, 12, 7)));
        // The questions at their defaults, as a run without a person answers them.
        const TReportLayout run = LayoutAsRun(l, {}, QDate(2026, 12, 7), params);
        auto rows = OpenStatementRows(sql, run, params);
        const qsizetype company = ReportFields(run).indexOf(QStringLiteral("CDEMPRESA"));
        EXPECT_GE(company, 0) << l.Title.toStdString();
        while (company >= 0 && rows->Next()) {
            ++rowsSeen;
            EXPECT_TRUE(allowed.contains(rows->Value(static_cast<int>(company)).toString())) << l.Title.toStdString();
        }
    }
    return rowsSeen;
}

class OperatorRoles : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (PostgresAvailable() && SuiteBackend() == TBackend::SQLite)
            s_db = std::make_unique<TTestDatabase>(TBackend::PostgreSQL, 300, 3);
    }
    static void TearDownTestSuite() { s_db.reset(); }
    void SetUp() override
    {
        if (!s_db)
            GTEST_SKIP() << "needs the test PostgreSQL server";
    }
    static std::unique_ptr<TTestDatabase> s_db;
};
std::unique_ptr<TTestDatabase> OperatorRoles::s_db;
} // namespace

TEST_F(OperatorRoles, EachRoleReadsOnlyItsCompaniesAndWritesNothing)
{
    const QSet<QString> maria{QStringLiteral("01"), QStringLiteral("03")};
    TdtmDBGeral db;
    db.Open(roleUrl(s_db->Target(), QStringLiteral("maria"), DemoPassword(QStringLiteral("MARIA"))));
    const QSqlDatabase sql = db.Database();
    // A statement without any company condition, as a layout saved from the editor may be.
    const QStringList companies = column(sql, QStringLiteral("SELECT DISTINCT CDEMPRESA FROM CONTARECEBER ORDER BY 1"));
    EXPECT_EQ(companies, (QStringList{QStringLiteral("01"), QStringLiteral("03")}));
    EXPECT_EQ(column(sql, QStringLiteral("SELECT CDEMPRESA FROM EMPRESA ORDER BY 1")), companies);
    EXPECT_EQ(column(sql, QStringLiteral("SELECT DISTINCT CDEMPRESA FROM FILIAL ORDER BY 1")), companies);
    EXPECT_EQ(column(sql, QStringLiteral("SELECT DISTINCT R.CDEMPRESA FROM BAIXAREC B JOIN CONTARECEBER R ON R.NRLANCTOREC = B.NRLANCTOREC ORDER BY 1")),
              companies);
    EXPECT_EQ(column(sql, QStringLiteral("SELECT count(*) FROM BAIXAREC")),
              column(sql, QStringLiteral("SELECT count(*) FROM BAIXAREC B WHERE EXISTS (SELECT 1 FROM CONTARECEBER R WHERE R.NRLANCTOREC = B.NRLANCTOREC)")));
    EXPECT_EQ(column(sql, QStringLiteral("SELECT DISTINCT CDOPERADOR FROM OPCAOEMISSAO")), QStringList{QStringLiteral("MARIA")});
    // The administrator sees every company, as the application server does.
    EXPECT_EQ(QueryInt(s_db->Target(), QStringLiteral("SELECT count(DISTINCT CDEMPRESA) FROM CONTARECEBER")), 5);

    // Reading only: no change to the receivables, no password hashes.
    for (const char *change : {"DELETE FROM CONTARECEBER", "UPDATE CONTARECEBER SET VRATUAREC = 0",
                               "INSERT INTO CONTARECEBER (NRLANCTOREC) VALUES (999999)", "SELECT SENHAHASH FROM OPERADOR",
                               "UPDATE OPEREMPRESA SET CDEMPRESA = '02'"}) {
        QSqlQuery q(sql);
        EXPECT_FALSE(q.exec(QLatin1String(change))) << change;
        EXPECT_TRUE(q.lastError().text().contains(QLatin1String("permission denied"))) << change << ": " << q.lastError().text().toStdString();
    }

    // Every layout, criteria left at "all" (company flag included): only MARIA's companies.
    EXPECT_GT(layoutRows(sql, maria), 0);

    // CAIXA has no company: no receivable at all.
    TdtmDBGeral caixa;
    caixa.Open(roleUrl(s_db->Target(), QStringLiteral("caixa"), DemoPassword(QStringLiteral("CAIXA"))));
    EXPECT_EQ(column(caixa.Database(), QStringLiteral("SELECT count(*) FROM CONTARECEBER")), QStringList{QStringLiteral("0")});
    EXPECT_EQ(column(caixa.Database(), QStringLiteral("SELECT count(*) FROM EMPRESA")), QStringList{QStringLiteral("0")});
    EXPECT_EQ(layoutRows(caixa.Database(), {}), 0);

    // psql as MARIA's role finds the same, and a wrong password does not get in (the server checks them).
    QProcess psql;
    psql.start(QStringLiteral("psql"), {QStringLiteral("-X"), QStringLiteral("-At"), QStringLiteral("-d"),
                                        roleUrl(s_db->Target(), QStringLiteral("maria"), DemoPassword(QStringLiteral("MARIA"))),
                                        QStringLiteral("-c"), QStringLiteral("SELECT string_agg(DISTINCT CDEMPRESA, ',') FROM CONTARECEBER")});
    ASSERT_TRUE(psql.waitForFinished(30000));
    EXPECT_EQ(QString::fromUtf8(psql.readAllStandardOutput()).trimmed(), QStringLiteral("01,03")) << psql.readAllStandardError().toStdString();
    TdtmDBGeral wrong;
    EXPECT_THROW(wrong.Open(roleUrl(s_db->Target(), QStringLiteral("maria"), QStringLiteral("nao-e-a-senha"))), EDatabaseError);
}

TEST_F(OperatorRoles, TheHostReadsTheDatabaseAsTheLoggedInOperator)
{
    // A layout of a user's own without any company condition, beside the screen's layouts.
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("REC110"));
    QDir().mkpath(folder);
    for (const QString &f : QDir(BinDir() + QStringLiteral("/../reports/REC110")).entryList({QStringLiteral("*.json")}))
        QFile::copy(BinDir() + QStringLiteral("/../reports/REC110/") + f, folder + QLatin1Char('/') + f);
    QFile own(folder + QStringLiteral("/20_todas_as_contas.json"));
    ASSERT_TRUE(own.open(QIODevice::WriteOnly));
    own.write(QJsonDocument(QJsonObject{{QStringLiteral("title"), QStringLiteral("Todas as contas")},
                                        {QStringLiteral("statement"), QStringLiteral("SELECT R.CDEMPRESA, R.NRLANBOLREC FROM CONTARECEBER R")},
                                        {QStringLiteral("orderBy"), QJsonArray{QStringLiteral("CDEMPRESA"), QStringLiteral("NRLANBOLREC")}},
                                        {QStringLiteral("columns"), QJsonArray{QJsonObject{{QStringLiteral("field"), QStringLiteral("CDEMPRESA")}},
                                                                                QJsonObject{{QStringLiteral("field"), QStringLiteral("NRLANBOLREC")}}}}})
                  .toJson());
    own.close();
    const TServerProcess server(s_db->Target());
    const QJsonObject context{{QStringLiteral("operator"), QStringLiteral("MARIA")},
                              {QStringLiteral("password"), DemoPassword(QStringLiteral("MARIA"))},
                              {QStringLiteral("branch"), QStringLiteral("0101")},
                              {QStringLiteral("perBranch"), false},
                              {QStringLiteral("server"), QStringLiteral("127.0.0.1:%1").arg(server.Port())},
                              {QStringLiteral("database"), HostDatabase(*s_db)},
                              {QStringLiteral("today"), QStringLiteral("2026-12-07")},
                              {QStringLiteral("dateFormat"), QStringLiteral("dd/MM/yyyy")}};
    const QJsonArray steps{QJsonObject{{QStringLiteral("open"), QStringLiteral("REC11001")}}, QJsonObject{{QStringLiteral("layout"), 20}},
                           QJsonObject{{QStringLiteral("action"), QStringLiteral("save")}, {QStringLiteral("output"), QStringLiteral("todas.csv")}}};
    const QString script = dir.filePath(QStringLiteral("script.json"));
    QFile f(script);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QJsonDocument(QJsonObject{{QStringLiteral("context"), context}, {QStringLiteral("steps"), steps}}).toJson());
    f.close();
    QProcess host;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("REC_REPORT_DIR"), dir.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    host.setProcessEnvironment(env);
    host.start(BinDir() + QStringLiteral("/rec-host"), {QStringLiteral("--batch"), script, QStringLiteral("--log"), dir.filePath(QStringLiteral("log.json"))});
    ASSERT_TRUE(host.waitForFinished(60000));
    ASSERT_EQ(host.exitCode(), 0) << host.readAllStandardError().toStdString();
    QFile csv(dir.filePath(QStringLiteral("todas.csv")));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    QSet<QString> companies;
    int rows = 0;
    for (const QString &line : QString::fromUtf8(csv.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts).mid(1)) {
        companies << line.section(QLatin1Char(';'), 0, 0);
        ++rows;
    }
    EXPECT_EQ(companies, (QSet<QString>{QStringLiteral("01"), QStringLiteral("03")}));
    EXPECT_EQ(rows, QueryInt(s_db->Target(), QStringLiteral("SELECT count(*) FROM CONTARECEBER WHERE CDEMPRESA IN ('01', '03')")));
}

TEST_F(OperatorRoles, TheAdministrationCommandChangesBothSecrets)
{
    const QString op = QStringLiteral("TST%1").arg(QRandomGenerator::global()->bounded(100000, 999999));
    auto admin = [&](const QString &password, const QStringList &extra) {
        QProcess p;
        p.start(BinDir() + QStringLiteral("/rec-demo-db"), QStringList{QStringLiteral("--out"), s_db->Target(), QStringLiteral("--operator"), op} + extra);
        p.write((password + QLatin1Char('\n')).toUtf8());
        p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(30000));
        return p.exitCode();
    };
    const TServerProcess server(s_db->Target());
    auto serverLogin = [&](const QString &password) {
        TNetConnection net(QStringLiteral("netAdmin"));
        net.ServerName = QLatin1String(kServerObject);
        net.Host = QStringLiteral("127.0.0.1");
        net.Port = server.Port();
        net.Operator = op;
        net.Password = password;
        try {
            net.Open();
            return true;
        } catch (const EHostError &) {
            return false;
        }
    };
    auto databaseLogin = [&](const QString &password) -> int {
        TdtmDBGeral db;
        try {
            db.Open(roleUrl(s_db->Target(), op.toLower(), password));
        } catch (const EDatabaseError &) {
            return -1;
        }
        return column(db.Database(), QStringLiteral("SELECT count(DISTINCT CDEMPRESA) FROM CONTARECEBER")).value(0).toInt();
    };
    ASSERT_EQ(admin(QStringLiteral("primeira-senha-1"), {QStringLiteral("--name"), QStringLiteral("Operador de Teste"), QStringLiteral("--companies"),
                                                        QStringLiteral("02")}),
              0);
    EXPECT_TRUE(serverLogin(QStringLiteral("primeira-senha-1")));
    EXPECT_EQ(databaseLogin(QStringLiteral("primeira-senha-1")), 1); // company 02 only
    // A new password: the old one fails at both, the new one opens both; the companies stay.
    ASSERT_EQ(admin(QStringLiteral("segunda-senha-2"), {}), 0);
    EXPECT_FALSE(serverLogin(QStringLiteral("primeira-senha-1")));
    EXPECT_EQ(databaseLogin(QStringLiteral("primeira-senha-1")), -1);
    EXPECT_TRUE(serverLogin(QStringLiteral("segunda-senha-2")));
    EXPECT_EQ(databaseLogin(QStringLiteral("segunda-senha-2")), 1);
    // Companies 01 and 02 now; a short password is refused and changes nothing.
    ASSERT_EQ(admin(QStringLiteral("segunda-senha-2"), {QStringLiteral("--companies"), QStringLiteral("01,02")}), 0);
    EXPECT_EQ(databaseLogin(QStringLiteral("segunda-senha-2")), 2);
    EXPECT_EQ(admin(QStringLiteral("curta"), {}), 1);
    EXPECT_TRUE(serverLogin(QStringLiteral("segunda-senha-2")));
}
