#include "data/Database.h"
#include "data/Exceptions.h"
#include "db/DemoData.h"
#include "TestSupport.h"
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
QByteArray tableDigest(const QString &target, const QString &sql)
{
    TdtmDBGeral db;
    db.Open(target);
    QSqlQuery q(db.Database());
    EXPECT_TRUE(q.exec(sql));
    QCryptographicHash h(QCryptographicHash::Sha256);
    while (q.next())
        for (int i = 0; i < q.record().count(); ++i)
            h.addData(q.value(i).toString().toUtf8() + '|');
    return h.result();
}

QStringList values(const QString &target, const QString &sql)
{
    TdtmDBGeral db;
    db.Open(target);
    QSqlQuery q(db.Database());
    EXPECT_TRUE(q.exec(sql));
    QStringList out;
    while (q.next())
        out << q.value(0).toString();
    return out;
}
} // namespace

TEST(DemoDatabase, SameSeedSameRowsAndRealisticCoverage)
{
    QTemporaryDir dir;
    TDemoOptions o;
    o.Receivables = 3000;
    o.Target = dir.filePath(QStringLiteral("a.db"));
    GenerateDemoDatabase(o);
    o.Target = dir.filePath(QStringLiteral("b.db"));
    GenerateDemoDatabase(o);
    o.Seed = 2;
    o.Target = dir.filePath(QStringLiteral("c.db"));
    GenerateDemoDatabase(o);
    const QString a = dir.filePath(QStringLiteral("a.db")), b = dir.filePath(QStringLiteral("b.db")), c = dir.filePath(QStringLiteral("c.db"));
    const QString all = QStringLiteral("SELECT * FROM CONTARECEBER ORDER BY NRLANCTOREC");
    EXPECT_EQ(tableDigest(a, all), tableDigest(b, all));
    EXPECT_EQ(tableDigest(a, QStringLiteral("SELECT * FROM CLIENTE ORDER BY CDCLIENTE")), tableDigest(b, QStringLiteral("SELECT * FROM CLIENTE ORDER BY CDCLIENTE")));
    EXPECT_NE(tableDigest(a, all), tableDigest(c, all));

    EXPECT_EQ(values(a, QStringLiteral("SELECT count(*) FROM CONTARECEBER")), QStringList{QStringLiteral("3000")});
    EXPECT_EQ(values(a, QStringLiteral("SELECT DISTINCT IDSTATREC FROM CONTARECEBER ORDER BY 1")),
              (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("D"), QStringLiteral("P")}));
    EXPECT_EQ(values(a, QStringLiteral("SELECT DISTINCT IDTPLANCREC FROM CONTARECEBER ORDER BY 1")),
              (QStringList{QStringLiteral("A"), QStringLiteral("E"), QStringLiteral("V")}));
    EXPECT_EQ(values(a, QStringLiteral("SELECT DISTINCT IDTPIJURCLIE || IDPUBPRIVCLIE FROM CLIENTE ORDER BY 1")),
              (QStringList{QStringLiteral("FV"), QStringLiteral("JB"), QStringLiteral("JV")}));
    // Codes in their real widths.
    EXPECT_EQ(values(a, QStringLiteral("SELECT DISTINCT length(CDEMPRESA) || '/' || length(CDFILIAL) || '/' || length(CDCLIENTE) || '/' || "
                                       "length(CDTPCTRECEB) FROM CONTARECEBER")),
              QStringList{QStringLiteral("2/4/6/6")});
    EXPECT_EQ(values(a, QStringLiteral("SELECT DISTINCT length(NRINSJURCLIE) FROM CLIENTE WHERE IDTPIJURCLIE = 'F'")), QStringList{QStringLiteral("11")});
    EXPECT_EQ(values(a, QStringLiteral("SELECT DISTINCT length(NRINSJURCLIE) FROM CLIENTE WHERE IDTPIJURCLIE = 'J'")), QStringList{QStringLiteral("14")});
    // A settled receivable's settlements, one to three, add up to its value; an open one may have a part
    // received, less than its value; discounted and planned ones have none.
    const QString settled = QStringLiteral("SELECT R.IDSTATREC AS ST, R.VRATUAREC AS VR, count(B.NRBAIXAREC) AS N, COALESCE(sum(B.VRBAIXAREC), 0) AS PAGO "
                                           "FROM CONTARECEBER R LEFT JOIN BAIXAREC B ON B.NRLANCTOREC = R.NRLANCTOREC GROUP BY R.NRLANCTOREC, R.IDSTATREC, R.VRATUAREC");
    EXPECT_EQ(values(a, QStringLiteral("SELECT count(*) FROM (%1) X WHERE (ST = 'B' AND (N < 1 OR N > 3 OR abs(PAGO - VR) > 0.005)) "
                                       "OR (ST = 'A' AND (N > 1 OR PAGO >= VR)) OR (ST IN ('D', 'P') AND N > 0)").arg(settled)),
              QStringList{QStringLiteral("0")});
    EXPECT_EQ(values(a, QStringLiteral("SELECT min(N) || '..' || max(N) FROM (%1) X WHERE ST = 'B'").arg(settled)), QStringList{QStringLiteral("1..3")});
    EXPECT_GT(values(a, QStringLiteral("SELECT count(*) FROM (%1) X WHERE ST = 'A' AND N = 1").arg(settled)).value(0).toInt(), 5);
    // Settled after the end of the previous month: the position at that date differs from today's.
    EXPECT_GT(values(a, QStringLiteral("SELECT count(*) FROM BAIXAREC WHERE DTBAIXAREC > '%1'").arg(QDate(2026, 11, 30).toString(Qt::ISODate))).value(0).toInt(), 3);
    // The documented logins.
    EXPECT_EQ(values(a, QStringLiteral("SELECT CDOPERADOR || ':' || count(*) FROM OPEREMPRESA GROUP BY CDOPERADOR ORDER BY 1")),
              (QStringList{QStringLiteral("ADMIN:5"), QStringLiteral("MARIA:2")}));
}

TEST(DemoDatabase, PostgreSQLGetsTheSameRowsAsSQLite)
{
    if (!PostgresAvailable())
        GTEST_SKIP() << "no PostgreSQL server (REC_TEST_PG_URL) for this run";
    // Enough receivables for several write batches, settlements among them.
    TTestDatabase pg(TBackend::PostgreSQL, 3000, 5);
    TTestDatabase lite(TBackend::SQLite, 3000, 5);
    const QString all = QStringLiteral("SELECT NRLANCTOREC, CDEMPRESA, CDCLIENTE, IDSTATREC, VRATUAREC FROM CONTARECEBER ORDER BY NRLANCTOREC");
    EXPECT_EQ(tableDigest(pg.Target(), all), tableDigest(lite.Target(), all));
    EXPECT_EQ(QueryInt(pg.Target(), QStringLiteral("SELECT count(*) FROM BAIXAREC")), QueryInt(lite.Target(), QStringLiteral("SELECT count(*) FROM BAIXAREC")));
    EXPECT_GT(QueryInt(pg.Target(), QStringLiteral("SELECT count(*) FROM BAIXAREC")), 500);
}

TEST(DemoDatabase, ProgramRefusesToOverwriteAndReportsBadArguments)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("demo.db"));
    QProcess p;
    const QString prog = BinDir() + QStringLiteral("/rec-demo-db");
    p.start(prog, {QStringLiteral("--out"), target, QStringLiteral("--receivables"), QStringLiteral("50")});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QByteArray before = tableDigest(target, QStringLiteral("SELECT * FROM CONTARECEBER"));
    p.start(prog, {QStringLiteral("--out"), target, QStringLiteral("--receivables"), QStringLiteral("10")});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(p.readAllStandardError()).contains(QStringLiteral("--replace")));
    EXPECT_EQ(tableDigest(target, QStringLiteral("SELECT * FROM CONTARECEBER")), before);
    p.start(prog, {QStringLiteral("--out"), target, QStringLiteral("--receivables"), QStringLiteral("muitas")});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 2);
    p.start(prog, {QStringLiteral("--out"), dir.filePath(QStringLiteral("sem/pasta/demo.db"))});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_FALSE(QString::fromUtf8(p.readAllStandardError()).isEmpty());
}
