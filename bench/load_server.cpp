// Load on the application server: many clients at once making the screen's
// calls (opening, a report, the ABC curve) against a real rec-appserver on
// loopback, for a bounded time. Prints the calls made, the failed ones, the
// latency percentiles per method and the server's resident memory.
#include "BenchSupport.h"
#include "data/Database.h"
#include "data/DataPacket.h"
#include "data/Exceptions.h"
#include "data/RemoteResult.h"
#include "db/DemoData.h"
#include "net/NetConnection.h"
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

const QString kAll = QStringLiteral("T");

// Resident memory of a process in KiB, from /proc.
qint64 residentKiB(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}


struct Call {
    QString Method;
    QVariantList Args;
    bool ByRef = false;
};

// One client's round: the screen's opening calls, a report's lookups and the curve.
std::vector<Call> screenRound(const QString &clients)
{
    const QString screen = QStringLiteral("REC11001"), op = QStringLiteral("MARIA");
    TDataPacket delta;
    for (const char *name : {"CDTELAPROG", "CDOPERADOR", "IDUTOPEMIFIN"})
        delta.Fields.push_back({QString::fromLatin1(name), TFieldType::String, 12, false});
    delta.AddRow({screen, op, QStringLiteral("S")}, TRowKind::Original);
    delta.AddRow({screen, op, QStringLiteral("S")}, TRowKind::Modified);
    const TAbcRequest due = Bench::EveryReceivableDue(QStringLiteral("01/01/2026"), QStringLiteral("31/12/2027"));
    return {
        {QStringLiteral("GetDtVenc"), {}},
        {QStringLiteral("GetCriterios"), {screen, op}},
        {QStringLiteral("GetOpEmissao"), {screen, op}},
        {QStringLiteral("getTimeServ"), {}},
        {QStringLiteral("GetAtivClie"), {QVariant(qint64(2))}},
        {QStringLiteral("GetFiliLanca"), {QString(), kAll}, true},
        {QStringLiteral("GetConsultaServ"), {QStringLiteral("Cliente"), clients}, true},
        {QStringLiteral("GetConsultaServ"), {QStringLiteral("TipoConta"), QStringLiteral("_01__02_")}, true},
        {QStringLiteral("SetOpEmissao"), {PacketToVariant(delta)}},
        {QStringLiteral("GetPercentual"), {}},
        {QStringLiteral("GetStatus"), {kAll, QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("D"), QStringLiteral("P"), QStringLiteral("A_B_D_P")}, true},
        {QStringLiteral("GetCurvaABC"), due.CurveArgs(), true},
        {QStringLiteral("GetTotal"), due.TotalArgs(), true},
    };
}

struct Outcome {
    std::map<QString, std::vector<double>> Ms;
    std::map<QString, qint64> Failed;
    QStringList FirstFailures;
};

double percentile(std::vector<double> &v, double p)
{
    if (v.empty())
        return 0;
    const size_t k = std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5));
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
    return v[k];
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Carga no servidor de aplicação: clientes simultâneos com as chamadas da tela."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("database"), QStringLiteral("Arquivo SQLite ou URL postgresql://; sem ele, um banco de demonstração novo."),
                      QStringLiteral("PATH-or-URL")});
    parser.addOption({QStringLiteral("receivables"), QStringLiteral("Títulos do banco de demonstração gerado (padrão 20000)."), QStringLiteral("N"),
                      QStringLiteral("20000")});
    parser.addOption({QStringLiteral("password"), QStringLiteral("Senha de MARIA no banco (padrão: a do banco de demonstração)."), QStringLiteral("SENHA"),
                      DemoPassword(QStringLiteral("MARIA"))});
    parser.addOption({QStringLiteral("clients"), QStringLiteral("Clientes simultâneos (padrão 50)."), QStringLiteral("N"), QStringLiteral("50")});
    parser.addOption({QStringLiteral("seconds"), QStringLiteral("Duração da carga (padrão 60)."), QStringLiteral("S"), QStringLiteral("60")});
    parser.addOption({QStringLiteral("warmup"), QStringLiteral("Segundos até a medida de memória inicial (padrão 10)."), QStringLiteral("S"),
                      QStringLiteral("10")});
    parser.process(app);
    const int clients = std::clamp(parser.value(QStringLiteral("clients")).toInt(), 1, 500);
    const int seconds = std::clamp(parser.value(QStringLiteral("seconds")).toInt(), 1, 3600);
    const int warmup = std::clamp(parser.value(QStringLiteral("warmup")).toInt(), 0, seconds - 1 > 0 ? seconds - 1 : 0);

    QTemporaryDir dir;
    const QString password = parser.value(QStringLiteral("password"));
    QString database = parser.value(QStringLiteral("database"));
    try {
        if (database.isEmpty()) {
            TDemoOptions o;
            o.Target = dir.filePath(QStringLiteral("carga.db"));
            o.Receivables = parser.value(QStringLiteral("receivables")).toLongLong();
            GenerateDemoDatabase(o);
            database = o.Target;
        }
    } catch (const EHostError &e) {
        std::fprintf(stderr, "rec-bench-load: %s\n", qPrintable(e.Message()));
        return 1;
    }
    QString clientList;
    try {
        TdtmDBGeral db;
        db.Open(database);
        QSqlQuery q(db.Database());
        q.exec(QStringLiteral("SELECT CDCLIENTE FROM CLIENTE ORDER BY CDCLIENTE"));
        for (int i = 0; i < 5 && q.next(); ++i)
            clientList += QLatin1Char('_') + q.value(0).toString() + QLatin1Char('_');
    } catch (const EHostError &e) {
        std::fprintf(stderr, "rec-bench-load: %s\n", qPrintable(e.Message()));
        return 1;
    }

    QProcess server;
    server.setStandardErrorFile(QProcess::nullDevice());
    server.start(QCoreApplication::applicationDirPath() + QStringLiteral("/rec-appserver"),
                 {QStringLiteral("--database"), database, QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--max-clients"),
                  QString::number(clients + 16)});
    QByteArray line;
    while (!line.contains('\n') && server.waitForReadyRead(30000))
        line += server.readAllStandardOutput();
    if (!line.startsWith("listening on ")) {
        std::fprintf(stderr, "rec-bench-load: the server did not start: %s\n", line.constData());
        return 1;
    }
    const int port = QString::fromUtf8(line).section(QLatin1Char('\n'), 0, 0).section(QLatin1Char(':'), -1).toInt();
    const qint64 pid = server.processId();

    const std::vector<Call> round = screenRound(clientList);
    const auto start = Clock::now();
    const auto end = start + std::chrono::seconds(seconds);
    std::mutex merge;
    Outcome all;
    std::atomic<qint64> calls{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            Outcome mine;
            auto net = std::make_unique<TNetConnection>(QStringLiteral("netRelLancContReceber"));
            net->ServerName = QLatin1String(kServerObject);
            net->Host = QStringLiteral("127.0.0.1");
            net->Port = port;
            net->Operator = QStringLiteral("MARIA");
            net->Password = password;
            // Each client starts at another point of the round, so the calls mix.
            size_t i = static_cast<size_t>(c) % round.size();
            qint64 rounds = 0;
            while (Clock::now() < end) {
                const Call &call = round[i];
                QVariantList values = call.Args;
                std::vector<TCallArg> args;
                for (QVariant &v : values)
                    args.push_back(call.ByRef ? TCallArg::ByRef(v) : TCallArg(v));
                const auto t0 = Clock::now();
                const QVariant r = net->Call(call.Method, std::move(args));
                const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
                mine.Ms[call.Method].push_back(ms);
                if (IsRemoteFailure(r)) {
                    ++mine.Failed[call.Method];
                    if (mine.FirstFailures.size() < 3)
                        mine.FirstFailures << ToRemoteFailure(r).Message;
                }
                ++calls;
                if (++i == round.size()) {
                    i = 0;
                    // Every few rounds the screen is closed and opened again: a new connection.
                    if (++rounds % 5 == 0)
                        net->Close();
                }
            }
            std::lock_guard lock(merge);
            for (auto &[m, v] : mine.Ms)
                all.Ms[m].insert(all.Ms[m].end(), v.begin(), v.end());
            for (const auto &[m, n] : mine.Failed)
                all.Failed[m] += n;
            if (all.FirstFailures.size() < 5)
                all.FirstFailures += mine.FirstFailures;
        });
    }
    qint64 rssWarm = -1, rssPeak = 0;
    while (Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        const qint64 rss = residentKiB(pid);
        rssPeak = std::max(rssPeak, rss);
        if (rssWarm < 0 && Clock::now() >= start + std::chrono::seconds(warmup))
            rssWarm = rss;
    }
    for (auto &t : threads)
        t.join();
    const qint64 rssEnd = residentKiB(pid);
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    server.terminate();
    server.waitForFinished(10000);

    qint64 failed = 0;
    for (const auto &[m, n] : all.Failed)
        failed += n;
    std::printf("database: %s\nclients: %d, %.1f s\ncalls: %lld (%.0f/s)\nfailed well-formed calls: %lld\n",
                qPrintable(database.startsWith(QStringLiteral("postgres")) ? QStringLiteral("PostgreSQL") : QStringLiteral("SQLite ") + database), clients,
                elapsed, static_cast<long long>(calls.load()), static_cast<double>(calls.load()) / elapsed, static_cast<long long>(failed));
    std::printf("%-16s %8s %9s %9s %9s %9s %7s\n", "method", "calls", "p50 ms", "p90 ms", "p99 ms", "max ms", "failed");
    for (auto &[m, v] : all.Ms) {
        const double mx = v.empty() ? 0 : *std::max_element(v.begin(), v.end());
        std::printf("%-16s %8zu %9.2f %9.2f %9.2f %9.2f %7lld\n", qPrintable(m), v.size(), percentile(v, 0.5), percentile(v, 0.9), percentile(v, 0.99), mx,
                    static_cast<long long>(all.Failed[m]));
    }
    std::printf("server resident memory: %.1f MiB after %d s warm-up, %.1f MiB at the end, %.1f MiB peak\n", static_cast<double>(rssWarm) / 1024, warmup,
                static_cast<double>(rssEnd) / 1024, static_cast<double>(rssPeak) / 1024);
    for (const QString &f : all.FirstFailures)
        std::printf("failure: %s\n", qPrintable(f));
    return failed == 0 && calls.load() > 0 ? 0 : 3;
}
