#pragma once
#include "Wire.h"
#include <QList>
#include <QTcpServer>
#include <QThread>
#include <memory>

class TrdmRelLancContReceber;
class TdtmDBGeral;
class QTcpSocket;

// One client connection, served on its own thread with its own database connection.
class TClientWorker : public QObject {
    Q_OBJECT
public:
    TClientWorker(qintptr descriptor, QString database, quint32 maxFrame);
    ~TClientWorker() override;

public slots:
    void Start();
    void Stop();

signals:
    void Finished();

private:
    void OnReadyRead();
    void Reply(const Wire::Reply &reply);
    qintptr m_descriptor;
    QString m_database;
    Wire::FrameReader m_reader;
    std::unique_ptr<QTcpSocket> m_socket;
    std::unique_ptr<TdtmDBGeral> m_db;
    std::unique_ptr<TrdmRelLancContReceber> m_module;
    bool m_finished = false;
};

// The application server: accepts connections and hands each to a worker.
class TAppServer : public QTcpServer {
    Q_OBJECT
public:
    TAppServer(QString database, QObject *parent = nullptr);
    ~TAppServer() override;
    quint32 MaxFrame = Wire::kMaxFrame;
    int MaxClients = 64;
    // Closes the listening socket and every client connection, waiting for the workers.
    void Shutdown();

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Client {
        QThread *Thread;
        TClientWorker *Worker;
    };
    QString m_database;
    QList<Client> m_clients;
};

// Writes one line of the call log to standard error.
void LogLine(const QString &line);
