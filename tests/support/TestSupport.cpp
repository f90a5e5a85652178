#include "TestSupport.h"
#include "data/Database.h"
#include "data/Exceptions.h"
#include "db/DemoData.h"
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QUrl>
#include <QUuid>
#include <gtest/gtest.h>
#include <csignal>
#include <stdexcept>

QString BinDir() { return QStringLiteral(REC_BIN_DIR); }

QString RunTool(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

int PdfPages(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page[^s]"));
    return static_cast<int>(QString::fromLatin1(f.readAll()).count(page));
}

QVector<TPdfWord> PdfWords(const QString &path, QSizeF *pageSize)
{
    const QString html = RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), path, QStringLiteral("-")});
    static const QRegularExpression tag(QStringLiteral(
        "<page width=\"([0-9.]+)\" height=\"([0-9.]+)\">|<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"([0-9.]+)\" yMax=\"([0-9.]+)\">([^<]*)</word>"));
    QVector<TPdfWord> words;
    int page = 0;
    for (const auto &m : tag.globalMatch(html)) {
        if (!m.captured(1).isEmpty()) {
            if (++page == 1 && pageSize)
                *pageSize = QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble());
            continue;
        }
        const QRectF box(QPointF(m.captured(3).toDouble(), m.captured(4).toDouble()), QPointF(m.captured(5).toDouble(), m.captured(6).toDouble()));
        QString text = m.captured(7);
        text.replace(QStringLiteral("&amp;"), QStringLiteral("&")).replace(QStringLiteral("&lt;"), QStringLiteral("<")).replace(QStringLiteral("&gt;"), QStringLiteral(">"));
        words.push_back({page, box, text});
    }
    return words;
}

QString BackendName(TBackend backend) { return backend == TBackend::SQLite ? QStringLiteral("SQLite") : QStringLiteral("PostgreSQL"); }

bool PostgresAvailable() { return !qEnvironmentVariableIsEmpty("REC_TEST_PG_URL"); }

TBackend SuiteBackend()
{
    return qEnvironmentVariable("REC_TEST_BACKEND").compare(QStringLiteral("postgresql"), Qt::CaseInsensitive) == 0 ? TBackend::PostgreSQL
                                                                                                                    : TBackend::SQLite;
}

QStringList sqlRows(const QString &target, const QString &sql)
{
    TdtmDBGeral db;
    db.Open(target);
    QSqlQuery q(db.Database());
    EXPECT_TRUE(q.exec(sql)) << sql.toStdString();
    QStringList rows;
    while (q.next()) {
        QStringList f;
        for (int i = 0; i < q.record().count(); ++i)
            f << q.value(i).toString();
        rows << f.join(QLatin1Char(';'));
    }
    return rows;
}

int QueryInt(const QString &target, const QString &sql)
{
    TdtmDBGeral db;
    db.Open(target);
    QSqlQuery q(db.Database());
    if (!q.exec(sql) || !q.next())
        throw std::runtime_error("statement failed: " + sql.toStdString());
    return q.value(0).toInt();
}

QString StoredEmissionOption(const QString &target, const QString &op)
{
    TdtmDBGeral db;
    db.Open(target);
    QSqlQuery q(db.Database());
    q.prepare(QStringLiteral("SELECT IDUTOPEMIFIN FROM OPCAOEMISSAO WHERE CDOPERADOR = :OP AND CDTELAPROG = 'REC11001'"));
    q.bindValue(QStringLiteral(":OP"), op);
    if (!q.exec())
        throw std::runtime_error("reading the emission option failed: " + q.lastError().text().toStdString());
    return q.next() ? q.value(0).toString() : QString();
}

QString HostDatabase(const TTestDatabase &db)
{
    if (db.Backend() != TBackend::PostgreSQL)
        return db.Target();
    QUrl url(db.Target());
    url.setUserName(QString());
    url.setPassword(QString());
    return url.toString();
}

TStoredEmissionOptionGuard::TStoredEmissionOptionGuard(QString target, QString op)
    : m_target(std::move(target)), m_operator(std::move(op)), m_stored(StoredEmissionOption(m_target, m_operator))
{
}

TStoredEmissionOptionGuard::~TStoredEmissionOptionGuard()
{
    TdtmDBGeral db;
    db.Open(m_target);
    QSqlQuery q(db.Database());
    q.prepare(QStringLiteral("DELETE FROM OPCAOEMISSAO WHERE CDOPERADOR = :OP AND CDTELAPROG = 'REC11001'"));
    q.bindValue(QStringLiteral(":OP"), m_operator);
    q.exec();
    if (m_stored.isEmpty())
        return;
    q.prepare(QStringLiteral("INSERT INTO OPCAOEMISSAO (CDOPERADOR, CDTELAPROG, IDUTOPEMIFIN) VALUES (:OP, 'REC11001', :FLAG)"));
    q.bindValue(QStringLiteral(":OP"), m_operator);
    q.bindValue(QStringLiteral(":FLAG"), m_stored);
    q.exec();
}

TTestDatabase::TTestDatabase(TBackend backend, qint64 receivables, quint64 seed) : m_backend(backend)
{
    TDemoOptions o;
    o.Receivables = receivables;
    o.Seed = seed;
    if (backend == TBackend::SQLite) {
        m_dir = QDir::tempPath() + QStringLiteral("/rec-test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
        QDir().mkpath(m_dir);
        m_target = m_dir + QStringLiteral("/demo.db");
    } else {
        const QString admin = qEnvironmentVariable("REC_TEST_PG_URL");
        m_pgName = QStringLiteral("rec_t_") + QUuid::createUuid().toString(QUuid::Id128).left(16);
        TdtmDBGeral db;
        db.Open(admin);
        QSqlQuery q(db.Database());
        if (!q.exec(QStringLiteral("CREATE DATABASE %1").arg(m_pgName)))
            throw std::runtime_error(q.lastError().text().toStdString());
        QUrl url(admin);
        url.setPath(QLatin1Char('/') + m_pgName);
        m_target = url.toString();
    }
    o.Target = m_target;
    GenerateDemoDatabase(o);
}

TTestDatabase::~TTestDatabase()
{
    if (m_backend == TBackend::SQLite) {
        QDir(m_dir).removeRecursively();
        return;
    }
    try {
        TdtmDBGeral db;
        db.Open(qEnvironmentVariable("REC_TEST_PG_URL"));
        QSqlQuery q(db.Database());
        q.exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_pgName));
    } catch (const EHostError &) {
    }
}

TServerProcess::TServerProcess(QString database, int port, QStringList extraArgs)
    : m_database(std::move(database)), m_extra(std::move(extraArgs)),
      m_logFile(QDir::tempPath() + QStringLiteral("/rec-server-") + QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral(".log"))
{
    Start(port);
}

TServerProcess::~TServerProcess()
{
    Stop();
    QFile::remove(m_logFile);
}

void TServerProcess::Start(int port)
{
    m_process = std::make_unique<QProcess>();
    // The call log goes to a file: a pipe nobody reads would stall the server once full.
    m_process->setStandardErrorFile(m_logFile, QIODevice::Append);
    QStringList args = {QStringLiteral("--database"), m_database, QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port)};
    args += m_extra;
    m_process->start(BinDir() + QStringLiteral("/rec-appserver"), args);
    if (!m_process->waitForStarted(10000))
        throw std::runtime_error("rec-appserver did not start");
    QByteArray line;
    while (!line.contains('\n')) {
        if (!m_process->waitForReadyRead(15000))
            throw std::runtime_error("rec-appserver did not report its port: " + Log().toStdString());
        line += m_process->readAllStandardOutput();
    }
    const QString first = QString::fromUtf8(line).section(QLatin1Char('\n'), 0, 0).trimmed();
    if (!first.startsWith(QStringLiteral("listening on ")))
        throw std::runtime_error("unexpected first line: " + first.toStdString());
    m_port = first.section(QLatin1Char(':'), -1).toInt();
}

void TServerProcess::Stop()
{
    if (!m_process)
        return;
    m_lastExit = -1;
    if (m_process->state() != QProcess::NotRunning) {
        ::kill(static_cast<pid_t>(m_process->processId()), SIGTERM);
        if (!m_process->waitForFinished(10000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        } else if (m_process->exitStatus() == QProcess::NormalExit) {
            m_lastExit = m_process->exitCode();
        }
    } else if (m_process->exitStatus() == QProcess::NormalExit) {
        m_lastExit = m_process->exitCode();
    }
    m_process.reset();
}

bool SeenStopped(qint64 pid)
{
    for (int i = 0; i < 200; ++i) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (stat.open(QIODevice::ReadOnly)) {
            const QByteArray line = stat.readAll();
            if (line.mid(line.lastIndexOf(')') + 2, 1) == "T")
                return true;
        }
        QThread::msleep(10);
    }
    return false;
}

qint64 TServerProcess::Pid() const { return m_process ? m_process->processId() : 0; }

void TServerProcess::Restart()
{
    Stop();
    Start(m_port);
}

QString TServerProcess::Log()
{
    QFile f(m_logFile);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}
