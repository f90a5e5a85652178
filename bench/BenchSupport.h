// Shared pieces of the benchmark programs: the database's own shell as the
// baseline, a rec-appserver child process, timing and the one-line figures.
#pragma once
#include <vector>
#include "server/AbcRequest.h"
#include "server/ServerObject.h"
#include "data/Params.h"
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>

namespace Bench {

// The curve's request as the screen sends it with every code, status and kind chosen,
// over a due-date range (dd/MM/yyyy texts), without the emission option.
TAbcRequest EveryReceivableDue(const QString &from, const QString &to);

bool IsPostgres(const QString &target);

// A statement with its bound parameters written in as literals (typed on PostgreSQL as
// RunStatement types them), for the database's own shell.
QString WithLiterals(const QString &sql, const TParams &params, bool postgres);

// Runs one statement in the database's own shell (sqlite3 or psql) on the
// target. With keepOutput false the rows go to /dev/null and only the time
// counts; otherwise the output is returned, trimmed.
QString Shell(const QString &target, const QString &sql, bool keepOutput = true);
// Seconds the shell takes to run the statement and write every row.
double TimeShell(const QString &target, const QString &sql);

// Bytes the table takes in the database file (pages of the table itself).
qint64 TableBytes(const QString &target, const QString &table);

// A rec-appserver on a loopback port, started from the benchmark's own folder.
class Server {
public:
    explicit Server(const QString &database);
    ~Server();
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;
    int Port() const { return m_port; }
    qint64 Pid() const { return m_process->processId(); }
    // Peak resident memory so far, in MiB (VmHWM).
    double PeakRssMiB() const;

private:
    std::unique_ptr<QProcess> m_process;
    int m_port = 0;
};

// Peak resident memory of this process, in MiB.
double SelfPeakRssMiB();

// A program run to its end, with its own time and peak resident memory.
struct Run {
    int ExitCode = -1; // -1 when it did not end by itself
    double Seconds = 0;
    double PeakRssMiB = 0;
};
Run RunMeasured(const QString &program, const QStringList &args);

double Seconds(const QElapsedTimer &t);
// The middle value (of an even count, the upper of the two middle ones).
double Median(std::vector<double> values);

// The figures of one run: each printed as one line with its target.
class Figures {
public:
    // lowerIsBetter: measured must be <= target, otherwise >= target.
    void Add(const QString &name, double measured, const QString &unit, double target, bool lowerIsBetter, const QString &detail = {});
    // 0 when every figure met its target, 3 otherwise.
    int ExitCode() const { return m_missed ? 3 : 0; }

private:
    bool m_missed = false;
};

} // namespace Bench
