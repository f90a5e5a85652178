#include "AppServer.h"
#include "Database.h"
#include "Exceptions.h"
#include "RemoteDataModule.h"
#include <QDateTime>
#include <QElapsedTimer>
#include <QMutex>
#include <QTcpSocket>
#include <cstdio>

void LogLine(const QString &line)
{
    static QMutex mutex;
    QMutexLocker lock(&mutex);
    const QString stamped = QDateTime::currentDateTime().toString(Qt::ISODateWithMs) + QLatin1Char(' ') + line + QLatin1Char('\n');
    std::fputs(stamped.toUtf8().constData(), stderr);
    std::fflush(stderr);
}

TClientWorker::TClientWorker(qintptr descriptor, QString database, quint32 maxFrame)
    : m_descriptor(descriptor), m_database(std::move(database)), m_reader(maxFrame)
{
}

TClientWorker::~TClientWorker() = default;

void TClientWorker::Start()
{
    m_socket = std::make_unique<QTcpSocket>();
    if (!m_socket->setSocketDescriptor(m_descriptor)) {
        LogLine(QStringLiteral("conexão recusada: %1").arg(m_socket->errorString()));
        Stop();
        return;
    }
    const QString peer = QStringLiteral("%1:%2").arg(m_socket->peerAddress().toString()).arg(m_socket->peerPort());
    QString openError;
    try {
        m_db = std::make_unique<TdtmDBGeral>();
        m_db->Open(m_database);
    } catch (const EHostError &e) {
        openError = e.Message();
        m_db.reset();
        LogLine(QStringLiteral("cliente %1: banco de dados indisponível: %2").arg(peer, openError));
    }
    m_module = std::make_unique<TrdmRelLancContReceber>(m_db.get(), openError);
    connect(m_socket.get(), &QTcpSocket::readyRead, this, &TClientWorker::OnReadyRead);
    connect(m_socket.get(), &QTcpSocket::disconnected, this, &TClientWorker::Stop);
    LogLine(QStringLiteral("cliente %1 conectado").arg(peer));
    OnReadyRead();
}

void TClientWorker::Stop()
{
    if (m_finished)
        return;
    m_finished = true;
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
    m_module.reset();
    m_db.reset();
    emit Finished();
}

void TClientWorker::Reply(const Wire::Reply &reply)
{
    m_socket->write(Wire::Frame(Wire::EncodeReply(reply)));
    m_socket->flush();
}

void TClientWorker::OnReadyRead()
{
    if (m_finished || !m_socket)
        return;
    m_reader.Append(m_socket->readAll());
    for (;;) {
        QByteArray body;
        const auto status = m_reader.Next(body);
        if (status == Wire::FrameReader::Status::NeedMore)
            return;
        if (status == Wire::FrameReader::Status::TooLarge) {
            LogLine(QStringLiteral("quadro de %1 bytes excede o limite; conexão encerrada").arg(m_reader.AnnouncedSize()));
            Wire::Reply r;
            r.Ok = false;
            r.Error = QStringLiteral("A requisição de %1 bytes excede o limite do servidor de aplicação.").arg(m_reader.AnnouncedSize());
            Reply(r);
            Stop();
            return;
        }
        Wire::Request request;
        QString error;
        if (!Wire::DecodeRequest(body, request, error)) {
            LogLine(QStringLiteral("requisição malformada (%1); conexão encerrada").arg(error));
            Wire::Reply r;
            r.Ok = false;
            r.Error = QStringLiteral("Requisição malformada: %1.").arg(error);
            Reply(r);
            Stop();
            return;
        }
        QElapsedTimer timer;
        timer.start();
        const Wire::Reply reply = m_module->Dispatch(request);
        const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        LogLine(QStringLiteral("%1 %2 ms rows=%3 %4")
                    .arg(request.Method)
                    .arg(ms, 0, 'f', 2)
                    .arg(m_module->LastRows())
                    .arg(reply.Ok ? QStringLiteral("ok") : QStringLiteral("falha: ") + reply.Error));
        Reply(reply);
    }
}

TAppServer::TAppServer(QString database, QObject *parent) : QTcpServer(parent), m_database(std::move(database)) {}

TAppServer::~TAppServer() { Shutdown(); }

void TAppServer::incomingConnection(qintptr descriptor)
{
    if (m_clients.size() >= MaxClients) {
        QTcpSocket refused;
        refused.setSocketDescriptor(descriptor);
        Wire::Reply r;
        r.Ok = false;
        r.Error = QStringLiteral("O servidor de aplicação atingiu o limite de %1 conexões.").arg(MaxClients);
        refused.write(Wire::Frame(Wire::EncodeReply(r)));
        refused.waitForBytesWritten(1000);
        refused.close();
        LogLine(QStringLiteral("conexão recusada: limite de %1 clientes").arg(MaxClients));
        return;
    }
    auto *thread = new QThread(this);
    auto *worker = new TClientWorker(descriptor, m_database, MaxFrame);
    worker->moveToThread(thread);
    connect(thread, &QThread::started, worker, &TClientWorker::Start);
    connect(worker, &TClientWorker::Finished, thread, &QThread::quit);
    connect(thread, &QThread::finished, worker, &QObject::deleteLater);
    connect(thread, &QThread::finished, this, [this, thread] {
        for (qsizetype i = 0; i < m_clients.size(); ++i) {
            if (m_clients[i].Thread == thread) {
                m_clients.removeAt(i);
                break;
            }
        }
        thread->deleteLater();
    });
    m_clients.push_back({thread, worker});
    thread->start();
}

void TAppServer::Shutdown()
{
    close();
    const QList<Client> clients = m_clients;
    for (const Client &c : clients)
        QMetaObject::invokeMethod(c.Worker, &TClientWorker::Stop, Qt::QueuedConnection);
    for (const Client &c : clients) {
        c.Thread->quit();
        c.Thread->wait(5000);
    }
}
