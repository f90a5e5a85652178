#include "BenchSupport.h"
#include <algorithm>
#include "data/Database.h"
#include <QCoreApplication>
#include <QFile>
#include <QUrl>
#include <cstdio>
#include <signal.h>
#include <stdexcept>
#include <cerrno>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace Bench {

bool IsPostgres(const QString &target) { return target.startsWith(QStringLiteral("postgresql://")) || target.startsWith(QStringLiteral("postgres://")); }

namespace {
QString shellProgram(const QString &target) { return IsPostgres(target) ? QStringLiteral("psql") : QStringLiteral("sqlite3"); }

QStringList shellArgs(const QString &target, const QString &sql)
{
    if (IsPostgres(target))
        return {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-A"), QStringLiteral("-t"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                QStringLiteral("-d"), target, QStringLiteral("-c"), sql};
    return {QStringLiteral("-bail"), target, sql};
}

QString runShell(const QString &target, const QString &sql, bool keepOutput)
{
    QProcess p;
    if (!keepOutput)
        p.setStandardOutputFile(QProcess::nullDevice());
    p.start(shellProgram(target), shellArgs(target, sql));
    if (!p.waitForStarted(10000))
        throw std::runtime_error(shellProgram(target).toStdString() + " did not start; install it or put it on PATH");
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        throw std::runtime_error(shellProgram(target).toStdString() + " failed: " + p.readAllStandardError().toStdString() + "\nstatement: " +
                                 sql.left(300).toStdString());
    return keepOutput ? QString::fromUtf8(p.readAllStandardOutput()).trimmed() : QString();
}
} // namespace

QString Shell(const QString &target, const QString &sql, bool keepOutput) { return runShell(target, sql, keepOutput); }

double TimeShell(const QString &target, const QString &sql)
{
    QElapsedTimer t;
    t.start();
    runShell(target, sql, false);
    return Seconds(t);
}

qint64 TableBytes(const QString &target, const QString &table)
{
    const QString sql = IsPostgres(target) ? QStringLiteral("SELECT pg_relation_size('%1')").arg(table.toLower())
                                           : QStringLiteral("SELECT SUM(pgsize) FROM dbstat WHERE name = '%1'").arg(table);
    return Shell(target, sql).toLongLong();
}

Server::Server(const QString &database) : m_process(std::make_unique<QProcess>())
{
    m_process->setStandardErrorFile(qEnvironmentVariableIsSet("REC_BENCH_SERVER_LOG") ? qEnvironmentVariable("REC_BENCH_SERVER_LOG") : QProcess::nullDevice());
    m_process->start(QCoreApplication::applicationDirPath() + QStringLiteral("/rec-appserver"),
                     {QStringLiteral("--database"), database, QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")});
    if (!m_process->waitForStarted(10000))
        throw std::runtime_error("rec-appserver did not start (build it next to the benchmark)");
    QByteArray line;
    while (!line.contains('\n')) {
        if (!m_process->waitForReadyRead(30000))
            throw std::runtime_error("rec-appserver did not report its port");
        line += m_process->readAllStandardOutput();
    }
    const QString first = QString::fromUtf8(line).section(QLatin1Char('\n'), 0, 0).trimmed();
    if (!first.startsWith(QStringLiteral("listening on ")))
        throw std::runtime_error("rec-appserver: unexpected first line: " + first.toStdString());
    m_port = first.section(QLatin1Char(':'), -1).toInt();
}

Server::~Server()
{
    if (m_process->state() == QProcess::NotRunning)
        return;
    ::kill(static_cast<pid_t>(m_process->processId()), SIGTERM);
    if (!m_process->waitForFinished(10000)) {
        m_process->kill();
        m_process->waitForFinished(5000);
    }
}

double Server::PeakRssMiB() const
{
    QFile f(QStringLiteral("/proc/%1/status").arg(m_process->processId()));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

double SelfPeakRssMiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0;
}

double Seconds(const QElapsedTimer &t) { return static_cast<double>(t.nsecsElapsed()) / 1e9; }

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

Run RunMeasured(const QString &program, const QStringList &args)
{
    std::vector<std::string> texts{program.toStdString()};
    for (const QString &a : args)
        texts.push_back(a.toStdString());
    std::vector<char *> argv;
    for (std::string &t : texts)
        argv.push_back(t.data());
    argv.push_back(nullptr);
    Run run;
    QElapsedTimer t;
    t.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        throw std::runtime_error("cannot start " + texts[0]);
    // The child's high-water mark as the kernel keeps it for its own memory: the rusage of a
    // child counts its parent's resident size at the start, so it is read while it runs.
    const QString status = QStringLiteral("/proc/%1/status").arg(pid);
    int exit = 0; // the child's wait status
    for (;;) {
        const pid_t done = waitpid(pid, &exit, WNOHANG);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            throw std::runtime_error("lost " + texts[0]);
        QFile f(status);
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray &line : f.readAll().split('\n'))
                if (line.startsWith("VmHWM:"))
                    run.PeakRssMiB = std::max(run.PeakRssMiB, line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0);
        usleep(5000);
    }
    run.Seconds = Seconds(t);
    if (WIFEXITED(exit))
        run.ExitCode = WEXITSTATUS(exit);
    return run;
}

void Figures::Add(const QString &name, double measured, const QString &unit, double target, bool lowerIsBetter, const QString &detail)
{
    const bool met = lowerIsBetter ? measured <= target : measured >= target;
    m_missed = m_missed || !met;
    std::printf("%-58s measured %10.3f %-6s target %s %10.3f  %s%s%s\n", qPrintable(name), measured, qPrintable(unit), lowerIsBetter ? "<=" : ">=",
                target, met ? "met" : "MISSED", detail.isEmpty() ? "" : "  ", qPrintable(detail));
    std::fflush(stdout);
}

TAbcRequest EveryReceivableDue(const QString &from, const QString &to)
{
    const QString all = QStringLiteral("T");
    TAbcRequest r;
    for (TAbcChoice *c : {&r.Cliente, &r.ClassFinanc, &r.Empresa, &r.Filial, &r.TipoConta, &r.FiliLanca, &r.FormaPaga, &r.ContaCorrente, &r.Tipo,
                          &r.AtivClie, &r.SegMerc, &r.GrupClie, &r.Regiao, &r.Vendedor})
        c->Flag = all;
    r.Status = QStringLiteral("B_D_A_P");
    r.StatusTodos = r.TipoClienteTodos = r.BaixaTodas = r.Adiantamento = r.OrcaTodos = all;
    r.OpEmissao = QStringLiteral("N");
    r.Vencimento = r.VencimentoCopia = {from, to};
    return r;
}

namespace {
// A parameter's bound value as an SQL literal; on PostgreSQL typed as RunStatement types it.
QString literal(const TParam &p, bool postgres)
{
    const QVariant v = BindValue(p);
    QString text;
    if (v.isNull())
        text = QStringLiteral("NULL");
    else
        switch (v.typeId()) {
        case QMetaType::QDate: text = QStringLiteral("'%1'").arg(v.toDate().toString(Qt::ISODate)); break;
        case QMetaType::QDateTime: text = QStringLiteral("'%1'").arg(v.toDateTime().toString(Qt::ISODateWithMs)); break;
        case QMetaType::Double: text = QString::number(v.toDouble(), 'g', 17); break;
        case QMetaType::LongLong: text = QString::number(v.toLongLong()); break;
        case QMetaType::Bool: text = v.toBool() ? QStringLiteral("1") : QStringLiteral("0"); break;
        default: {
            QString s = v.toString();
            text = QLatin1Char('\'') + s.replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
        }
        }
    if (!postgres)
        return text;
    if (v.typeId() == QMetaType::Bool)
        text = v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    switch (p.DataType) {
    case TParamType::String: return QStringLiteral("CAST(%1 AS text)").arg(text);
    case TParamType::Float: return QStringLiteral("CAST(%1 AS double precision)").arg(text);
    case TParamType::Integer: return QStringLiteral("CAST(%1 AS bigint)").arg(text);
    case TParamType::Boolean: return QStringLiteral("CAST(%1 AS boolean)").arg(text);
    case TParamType::Date: return QStringLiteral("CAST(%1 AS date)").arg(text);
    case TParamType::DateTime:
        return QStringLiteral("CAST(%1 AS %2)").arg(text, v.typeId() == QMetaType::QDate ? QStringLiteral("date") : QStringLiteral("timestamp"));
    case TParamType::Unknown: break;
    }
    return text;
}

} // namespace

QString WithLiterals(const QString &sql, const TParams &params, bool postgres)
{
    return TranslateNamedParams(sql, [&](const QString &name) {
               const TParam *p = params.FindParam(name);
               if (!p)
                   throw std::runtime_error("no parameter " + name.toStdString() + " is bound");
               return literal(*p, postgres);
           })
        .Sql;
}

} // namespace Bench
