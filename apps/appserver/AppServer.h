#pragma once
#include "net/Wire.h"
#include <QTcpServer>
#include <QSemaphore>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <compare>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

class TrdmRelLancContReceber;
class TSessionStore;
class TdtmDBGeral;
class QSocketNotifier;
class QTimer;

// Limits that keep one client from exhausting the server.
struct TServerLimits {
    quint32 MaxFrame = Wire::kMaxFrame;
    int MaxClients = 64;
    // Input held by all connections together, complete frames waiting included.
    qint64 MaxBufferedInput = 256ll * 1024 * 1024;
    // A frame must arrive whole within this time after its first byte.
    int FrameTimeoutMs = 30000;
    // Replies waiting for the client to read them; no further request of the
    // connection is read while more than this waits.
    qint64 MaxPendingReplies = 16ll * 1024 * 1024;
    // Curves computed at once; more wait their turn, so that many
    // clients asking at once cannot hold a curve each in memory.
    int MaxCurvesAtOnce = std::max(2, QThread::idealThreadCount());
    // A large packet leaves in pieces of this size while it is written, to a client that asks.
    qint64 PieceBytes = 1024 * 1024;
    // A reply sent while it is written waits this long at most for the client to take more.
    int SendTimeoutMs = 30000;
};

// The input bytes held by all connections, shared by the workers.
class TInputBudget {
public:
    explicit TInputBudget(qint64 cap) : m_cap(cap) {}
    bool Take(qint64 bytes);
    void Give(qint64 bytes) { m_used.fetch_sub(bytes); }
    qint64 Cap() const { return m_cap; }

private:
    const qint64 m_cap;
    std::atomic<qint64> m_used{0};
};

// The SQLite file the workers' connections have open. A file removed or
// replaced under the running server is noticed before each call; a new file
// is opened only once no connection is left on the old one, so that the old
// file's journal never meets the new file.
class TSqliteFileWatch {
public:
    struct Id {
        quint64 Dev = 0;
        quint64 Ino = 0;
        bool Exists() const { return Ino != 0; }
        bool operator==(const Id &) const = default;
        auto operator<=>(const Id &) const = default;
    };
    // The file now at path; not Exists() when there is none.
    static Id Identify(const QString &path);

    // A worker joins with a request that makes it check its file soon, on its own thread.
    quint64 Join(std::function<void()> checkSoon);
    void Leave(quint64 token);
    void Opened(Id id);
    void Closed(Id id);
    // Asks every worker to check its file and waits until no connection is
    // open on another file than current; false when timeoutMs passed first.
    bool SettleOn(Id current, int timeoutMs);
    // Asks every worker to check its file.
    void WakeAll();

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<quint64, std::function<void()>> m_workers;
    std::map<Id, int> m_open;
    quint64 m_next = 1;
};

// One client connection, served on its own thread with its own database connection.
class TClientWorker : public QObject {
    Q_OBJECT
public:
    TClientWorker(qintptr descriptor, QString database, const TServerLimits &limits, std::shared_ptr<TInputBudget> budget,
                  std::shared_ptr<TSqliteFileWatch> watch = {}, std::shared_ptr<QSemaphore> curves = {},
                  std::shared_ptr<TSessionStore> sessions = {});
    ~TClientWorker() override;

    // Read from any thread: when the connection last received or sent, and whether a call runs.
    qint64 LastActivityMs() const { return m_lastActivity.load(); }
    bool Busy() const { return m_busy.load(); }

    // From any thread: a reply leaving in pieces stops at its next wait, so that the
    // queued Stop runs without waiting for a client that does not read.
    void RequestStop() { m_stopRequested = true; }

public slots:
    void Start();
    // Closes the connection and releases everything the thread made; ends the thread.
    void Stop();

private:
    void Pump();
    void HandleFrame(const QByteArray &body);
    void Flush();
    void OnFrameTimeout();
    void Refuse(const QString &logText, const QString &replyText);
    void Reply(const Wire::Reply &reply);
    // A piece of a packet leaving while it is written; raises EHostError when the client
    // does not take it.
    void SendPiece(QByteArrayView piece);
    void SendNow(QByteArrayView bytes);
    bool Reserve(qint64 needed);
    void Touch();
    // Opens the database when it is closed, follows a replaced SQLite file and
    // hands the module the connection or the reason there is none.
    void PrepareDatabase();
    void OpenDatabase();
    void CloseDatabase();
    // Closes the connection when its SQLite file is no longer the one at the path.
    void CheckFile();
    // Whether the connection still reaches the database after a failed call.
    bool DatabaseAnswers();

    // The connection is a plain socket so that a client closing its sending
    // side still gets its replies.
    qintptr m_descriptor;
    QString m_database;
    TServerLimits m_limits;
    std::shared_ptr<TInputBudget> m_budget;
    qint64 m_reserved = 0;
    Wire::FrameReader m_reader;
    QByteArray m_out;
    qint64 m_outSent = 0;
    QString m_peer;
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
    std::unique_ptr<QTimer> m_frameTimer;
    std::unique_ptr<TdtmDBGeral> m_db;
    std::unique_ptr<TrdmRelLancContReceber> m_module;
    // Why the database is not open, for the calls that fail because of it.
    QString m_dbError;
    std::shared_ptr<TSqliteFileWatch> m_watch;
    std::shared_ptr<QSemaphore> m_curves;
    std::shared_ptr<TSessionStore> m_sessions;
    quint64 m_watchToken = 0;
    TSqliteFileWatch::Id m_fileId;
    bool m_finished = false;
    bool m_inputClosed = false;
    bool m_readPaused = false;
    bool m_closeWhenSent = false;
    bool m_piecesStarted = false; // the reply of the call running began with pieces
    bool m_piecesLost = false;
    std::atomic<qint64> m_lastActivity{0};
    std::atomic<bool> m_busy{false};
    std::atomic<bool> m_stopRequested{false};
};

// The application server: accepts connections and hands each to a worker.
class TAppServer : public QTcpServer {
    Q_OBJECT
public:
    TAppServer(QString database, QObject *parent = nullptr);
    ~TAppServer() override;
    TServerLimits Limits;
    // Closes the listening socket and every client connection and waits for
    // every worker; safe to call more than once.
    void Shutdown();
    int ClientCount() const { return static_cast<int>(m_clients.size()); }

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Client {
        quint64 Id = 0;
        std::unique_ptr<QThread> Thread;
        std::unique_ptr<TClientWorker> Worker;
        bool Stopping = false;
    };
    bool EvictIdlest();
    void Reap(quint64 id);
    QString m_database;
    std::shared_ptr<TInputBudget> m_budget;
    std::shared_ptr<TSqliteFileWatch> m_watch = std::make_shared<TSqliteFileWatch>();
    std::shared_ptr<QSemaphore> m_curves;
    // One store for every connection: a ticket from one connection opens another.
    std::shared_ptr<TSessionStore> m_sessions;
    std::vector<std::unique_ptr<Client>> m_clients;
    quint64 m_nextId = 1;
    bool m_shutDown = false;
};

// Writes one line of the call log to standard error; control characters are escaped.
void LogLine(const QString &line);
