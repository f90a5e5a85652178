#pragma once
#include "Wire.h"
#include <QTcpServer>
#include <QThread>
#include <atomic>
#include <memory>
#include <vector>

class TrdmRelLancContReceber;
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

// One client connection, served on its own thread with its own database connection.
class TClientWorker : public QObject {
    Q_OBJECT
public:
    TClientWorker(qintptr descriptor, QString database, const TServerLimits &limits, std::shared_ptr<TInputBudget> budget);
    ~TClientWorker() override;

    // Read from any thread: when the connection last received or sent, and whether a call runs.
    qint64 LastActivityMs() const { return m_lastActivity.load(); }
    bool Busy() const { return m_busy.load(); }

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
    bool Reserve(qint64 needed);
    void Touch();

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
    bool m_finished = false;
    bool m_inputClosed = false;
    bool m_readPaused = false;
    bool m_closeWhenSent = false;
    std::atomic<qint64> m_lastActivity{0};
    std::atomic<bool> m_busy{false};
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
    std::vector<std::unique_ptr<Client>> m_clients;
    quint64 m_nextId = 1;
    bool m_shutDown = false;
};

// Writes one line of the call log to standard error; control characters are escaped.
void LogLine(const QString &line);
