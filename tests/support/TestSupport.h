#pragma once
#include "db/DemoData.h"
#include "server/ServerObject.h"
#include <QApplication>
#include <QProcess>
#include <QRectF>
#include <QVector>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <ostream>

// Readable texts in assertion messages.
// An environment variable set for the scope's lifetime; what it was comes back after.
class TEnvScope {
public:
    TEnvScope(const char *name, const QByteArray &value) : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~TEnvScope()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }
    TEnvScope(const TEnvScope &) = delete;
    TEnvScope &operator=(const TEnvScope &) = delete;

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

// Where the built programs are.
QString BinDir();

// The standard output of a program run to its end.
QString RunTool(const QString &program, const QStringList &args);
// Pages of a PDF file: its page objects.
int PdfPages(const QString &path);
// A word of a PDF page as pdftotext reads it: its page (from 1) and its box in points from the top left.
struct TPdfWord {
    int Page = 0;
    QRectF Box;
    QString Text;
};
// Every word of a PDF file, page by page in reading order, and the size of its first page in points.
QVector<TPdfWord> PdfWords(const QString &path, QSizeF *pageSize = nullptr);

enum class TBackend { SQLite, PostgreSQL };
QString BackendName(TBackend backend);
// PostgreSQL runs when the test script started a server and exported its URL.
bool PostgresAvailable();
// The database the behaviour suites run on: PostgreSQL when REC_TEST_BACKEND
// is "postgresql" (the second run of each suite), SQLite otherwise.
TBackend SuiteBackend();


// A wait for a dialog, kept while its owner holds it: a wait whose dialog never showed ends with it.
using TDialogWait = std::shared_ptr<const bool>;

// Runs `step` on the next modal dialog of type T (of that object name, when one is given) once
// it shows, from inside its event loop, for as long as the returned wait is held.
template <class T>
[[nodiscard]] TDialogWait WhenShown(std::function<void(T &)> step, bool &done, const QString &name = {})
{
    auto held = std::make_shared<const bool>(true);
    // The pending timer holds the poll; the poll refers to itself weakly, so the chain frees it when it ends.
    auto poll = std::make_shared<std::function<void(int)>>();
    std::weak_ptr<std::function<void(int)>> self = poll;
    std::weak_ptr<const bool> holder = held;
    *poll = [step, &done, self, name, holder](int tries) {
        if (holder.expired())
            return;
        auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget());
        if (dialog && dialog->isVisible() && (name.isEmpty() || dialog->objectName() == name)) {
            QApplication::processEvents();
            step(*dialog);
            done = true;
            return;
        }
        if (auto next = self.lock(); next && tries > 0)
            QTimer::singleShot(50, [next, tries] { (*next)(tries - 1); });
    };
    QTimer::singleShot(0, [poll] { (*poll)(200); });
    return held;
}

// The rows of a statement on a test database, each as its values joined by ';'.
QStringList sqlRows(const QString &target, const QString &sql);
// The first column of the first row of a statement on a test database, as a number.
int QueryInt(const QString &target, const QString &sql);

// The emission option an operator has stored for REC11001 ("S" or "N"); empty when none is stored.
QString StoredEmissionOption(const QString &target, const QString &op);

// Puts an operator's stored emission option back as it was when the guard was made.
class TStoredEmissionOptionGuard {
public:
    TStoredEmissionOptionGuard(QString target, QString op);
    ~TStoredEmissionOptionGuard();
    TStoredEmissionOptionGuard(const TStoredEmissionOptionGuard &) = delete;
    TStoredEmissionOptionGuard &operator=(const TStoredEmissionOptionGuard &) = delete;

private:
    QString m_target, m_operator, m_stored;
};

// A demo database made for one test: a SQLite file in a temporary folder, or
// a new database on the test PostgreSQL server, removed afterwards.
class TTestDatabase {
public:
    explicit TTestDatabase(TBackend backend, qint64 receivables = 300, quint64 seed = 7);
    ~TTestDatabase();
    TTestDatabase(const TTestDatabase &) = delete;
    TTestDatabase &operator=(const TTestDatabase &) = delete;
    const QString &Target() const { return m_target; }
    TBackend Backend() const { return m_backend; }

private:
    TBackend m_backend;
    QString m_target;
    QString m_dir;
    QString m_pgName;
};

// The database as the host is given it: on PostgreSQL only the server and the database, so
// that the host reads it as the logged-in operator's own role.
QString HostDatabase(const TTestDatabase &db);

// Whether the process shows as stopped (after SIGSTOP) within two seconds.
bool SeenStopped(qint64 pid);

// A real rec-appserver process on a loopback port.
class TServerProcess {
public:
    explicit TServerProcess(QString database, int port = 0, QStringList extraArgs = {});
    ~TServerProcess();
    int Port() const { return m_port; }
    qint64 Pid() const;
    // Sends SIGTERM and waits for the exit.
    void Stop();
    // How the last Stop ended: the exit code, or -1 for a crash or a kill.
    int LastExitCode() const { return m_lastExit; }
    // Starts again on the same port.
    void Restart();
    QString Log();

private:
    void Start(int port);
    QString m_database;
    QStringList m_extra;
    int m_port = 0;
    std::unique_ptr<QProcess> m_process;
    QString m_logFile;
    int m_lastExit = 0;
};
