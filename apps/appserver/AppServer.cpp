#include "appserver/AppServer.h"
#include "appserver/CurveStatement.h"
#include "appserver/RemoteDataModule.h"
#include "appserver/Sessions.h"
#include "data/Database.h"
#include "data/Exceptions.h"
#include "data/Quote.h"
#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QMutex>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr qint64 kReadChunk = 256 * 1024;

qint64 nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

QString peerOf(int fd)
{
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (::getpeername(fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
        return QStringLiteral("?");
    const QHostAddress host(reinterpret_cast<const sockaddr *>(&addr));
    quint16 port = 0;
    if (addr.ss_family == AF_INET)
        port = ntohs(reinterpret_cast<const sockaddr_in *>(&addr)->sin_port);
    else if (addr.ss_family == AF_INET6)
        port = ntohs(reinterpret_cast<const sockaddr_in6 *>(&addr)->sin6_port);
    return QStringLiteral("%1:%2").arg(host.toString()).arg(port);
}

// Closes a connection so that what was sent still reaches the peer: unread
// input would make the close a reset that can discard it.
void closeSocket(int fd)
{
    ::shutdown(fd, SHUT_WR);
    char sink[4096];
    for (int i = 0; i < 64 && ::recv(fd, sink, sizeof sink, MSG_DONTWAIT) > 0; ++i) {
    }
    ::close(fd);
}
} // namespace

void LogLine(const QString &line)
{
    static QMutex mutex;
    QMutexLocker lock(&mutex);
    const QString stamped = QDateTime::currentDateTime().toString(Qt::ISODateWithMs) + QLatin1Char(' ') + EscapeControls(line) + QLatin1Char('\n');
    std::fputs(stamped.toUtf8().constData(), stderr);
    std::fflush(stderr);
}

TSqliteFileWatch::Id TSqliteFileWatch::Identify(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    return {static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino)};
}

quint64 TSqliteFileWatch::Join(std::function<void()> checkSoon)
{
    std::lock_guard lock(m_mutex);
    const quint64 token = m_next++;
    m_workers[token] = std::move(checkSoon);
    return token;
}

void TSqliteFileWatch::Leave(quint64 token)
{
    std::lock_guard lock(m_mutex);
    m_workers.erase(token);
}

void TSqliteFileWatch::Opened(Id id)
{
    std::lock_guard lock(m_mutex);
    ++m_open[id];
}

void TSqliteFileWatch::Closed(Id id)
{
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_open.find(id);
        if (it != m_open.end() && --it->second <= 0)
            m_open.erase(it);
    }
    m_changed.notify_all();
}

void TSqliteFileWatch::WakeAll()
{
    std::lock_guard lock(m_mutex);
    for (const auto &[token, checkSoon] : m_workers)
        checkSoon();
}

bool TSqliteFileWatch::SettleOn(Id current, int timeoutMs)
{
    WakeAll();
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return std::all_of(m_open.begin(), m_open.end(), [&](const auto &entry) { return entry.first == current; });
    });
}

bool TInputBudget::Take(qint64 bytes)
{
    qint64 used = m_used.load();
    do {
        if (used + bytes > m_cap)
            return false;
    } while (!m_used.compare_exchange_weak(used, used + bytes));
    return true;
}

TClientWorker::TClientWorker(qintptr descriptor, QString database, const TServerLimits &limits, std::shared_ptr<TInputBudget> budget,
                             std::shared_ptr<TSqliteFileWatch> watch, std::shared_ptr<QSemaphore> curves, std::shared_ptr<TSessionStore> sessions)
    : m_descriptor(descriptor), m_database(std::move(database)), m_limits(limits), m_budget(std::move(budget)), m_reader(limits.MaxFrame),
      m_watch(watch ? std::move(watch) : std::make_shared<TSqliteFileWatch>()),
      m_curves(curves ? std::move(curves) : std::make_shared<QSemaphore>(limits.MaxCurvesAtOnce)),
      m_sessions(sessions ? std::move(sessions) : std::make_shared<TSessionStore>())
{
    m_lastActivity = nowMs();
}

TClientWorker::~TClientWorker()
{
    if (m_reserved > 0)
        m_budget->Give(m_reserved);
}

void TClientWorker::Start()
{
    const int fd = static_cast<int>(m_descriptor);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        LogLine(QStringLiteral("conexão recusada: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        Stop();
        return;
    }
    m_peer = peerOf(fd);
    m_readNotifier = std::make_unique<QSocketNotifier>(m_descriptor, QSocketNotifier::Read);
    m_writeNotifier = std::make_unique<QSocketNotifier>(m_descriptor, QSocketNotifier::Write);
    m_writeNotifier->setEnabled(false);
    connect(m_readNotifier.get(), &QSocketNotifier::activated, this, &TClientWorker::Pump);
    connect(m_writeNotifier.get(), &QSocketNotifier::activated, this, &TClientWorker::Flush);
    m_frameTimer = std::make_unique<QTimer>();
    m_frameTimer->setSingleShot(true);
    connect(m_frameTimer.get(), &QTimer::timeout, this, &TClientWorker::OnFrameTimeout);

    m_watchToken = m_watch->Join([this] { QMetaObject::invokeMethod(this, &TClientWorker::CheckFile, Qt::QueuedConnection); });
    m_db = std::make_unique<TdtmDBGeral>();
    m_module = std::make_unique<TrdmRelLancContReceber>(nullptr);
    m_module->SetSessions(m_sessions);
    m_module->SetPieceSink([this](QByteArrayView piece) { SendPiece(piece); }, m_limits.PieceBytes);
    PrepareDatabase();
    LogLine(QStringLiteral("cliente %1 conectado").arg(m_peer));
    Pump();
}

void TClientWorker::Stop()
{
    if (m_finished)
        return;
    m_finished = true;
    m_readNotifier.reset();
    m_writeNotifier.reset();
    m_frameTimer.reset();
    if (m_descriptor >= 0) {
        closeSocket(static_cast<int>(m_descriptor));
        m_descriptor = -1;
    }
    m_watch->Leave(m_watchToken);
    m_module.reset();
    if (m_db)
        CloseDatabase();
    m_db.reset();
    m_busy = false;
    if (m_reserved > 0) {
        m_budget->Give(m_reserved);
        m_reserved = 0;
    }
    QThread::currentThread()->quit();
}

void TClientWorker::Touch() { m_lastActivity = nowMs(); }

namespace {
bool isPostgres(const QString &target)
{
    return target.startsWith(QStringLiteral("postgres://")) || target.startsWith(QStringLiteral("postgresql://"));
}
// Calls wait this long for other connections to leave a replaced file.
constexpr int kSettleMs = 10000;
} // namespace

void TClientWorker::OpenDatabase()
{
    try {
        m_db->Open(m_database);
    } catch (const EHostError &e) {
        m_dbError = e.Message();
        LogLine(QStringLiteral("cliente %1: banco de dados indisponível: %2").arg(m_peer, m_dbError));
        return;
    }
    m_dbError.clear();
    if (isPostgres(m_database)) {
        // Small statements stay serial: their tables are under the parallel scan size.
        for (const QString &setting : ConnectionSettings(TDBKind::PostgreSQL)) {
            QSqlQuery q(m_db->Database());
            if (!q.exec(setting))
                LogLine(QStringLiteral("cliente %1: '%2' não pôde ser ajustado: %3").arg(m_peer, setting, q.lastError().text()));
        }
    } else {
        m_fileId = TSqliteFileWatch::Identify(m_database);
        if (m_fileId.Exists())
            m_watch->Opened(m_fileId);
    }
}

void TClientWorker::CloseDatabase()
{
    if (m_fileId.Exists() && m_db->Connected() && !(TSqliteFileWatch::Identify(m_database) == m_fileId)) {
        // SQLite does not fold the journal back into a moved or removed file when it
        // closes, and a file later put at the path would read that journal as its own.
        QSqlQuery q(m_db->Database());
        if (!q.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")))
            LogLine(QStringLiteral("cliente %1: o diário do arquivo anterior não pôde ser esvaziado: %2").arg(m_peer, q.lastError().text()));
    }
    m_db->Close();
    if (m_fileId.Exists())
        m_watch->Closed(m_fileId);
    m_fileId = {};
}

void TClientWorker::CheckFile()
{
    if (!m_fileId.Exists() || TSqliteFileWatch::Identify(m_database) == m_fileId)
        return;
    CloseDatabase();
    LogLine(QStringLiteral("cliente %1: o arquivo do banco de dados mudou; a conexão com o arquivo anterior foi fechada").arg(m_peer));
}

void TClientWorker::PrepareDatabase()
{
    if (!isPostgres(m_database)) {
        const TSqliteFileWatch::Id now = TSqliteFileWatch::Identify(m_database);
        if (m_db->Connected() && !(now == m_fileId)) {
            // Writes to a file no longer at the path would be lost: stop using it.
            CloseDatabase();
            m_watch->WakeAll();
            LogLine(QStringLiteral("cliente %1: o arquivo do banco de dados '%2' foi %3").arg(m_peer, m_database,
                        now.Exists() ? QStringLiteral("substituído; o novo será aberto") : QStringLiteral("removido ou movido")));
        }
        if (!m_db->Connected()) {
            if (!now.Exists()) {
                m_dbError = QStringLiteral("o arquivo do banco de dados '%1' foi removido ou movido; nada foi lido nem gravado. "
                                           "Reponha o arquivo para continuar.")
                                .arg(m_database);
            } else if (!m_watch->SettleOn(now, kSettleMs)) {
                m_dbError = QStringLiteral("o arquivo do banco de dados '%1' foi substituído e ainda há chamadas em andamento no arquivo "
                                           "anterior; tente de novo em instantes.")
                                .arg(m_database);
            } else {
                OpenDatabase();
            }
        }
    } else if (!m_db->Connected()) {
        OpenDatabase();
    }
    m_module->SetDatabase(m_db->Connected() ? m_db.get() : nullptr, m_dbError);
}

bool TClientWorker::DatabaseAnswers()
{
    if (!m_db->Connected())
        return false;
    QSqlQuery q(m_db->Database());
    return q.exec(QStringLiteral("SELECT 1")) && q.next();
}

bool TClientWorker::Reserve(qint64 needed)
{
    if (needed <= m_reserved) {
        m_budget->Give(m_reserved - needed);
        m_reserved = needed;
        return true;
    }
    if (!m_budget->Take(needed - m_reserved))
        return false;
    m_reserved = needed;
    return true;
}

void TClientWorker::Reply(const Wire::Reply &reply)
{
    m_out.append(Wire::FrameReply(reply));
    Flush();
}

void TClientWorker::SendPiece(QByteArrayView piece)
{
    if (m_piecesLost)
        throw EHostError(QStringLiteral("o cliente deixou de receber a resposta"));
    if (!m_piecesStarted) {
        // Replies still waiting go first.
        m_piecesStarted = true;
        SendNow(QByteArrayView(m_out).sliced(m_outSent));
        m_out.clear();
        m_outSent = 0;
        SendNow(Wire::PieceLength(Wire::kPiecesMark));
    }
    SendNow(Wire::PieceLength(static_cast<quint32>(piece.size())));
    SendNow(piece);
}

void TClientWorker::SendNow(QByteArrayView bytes)
{
    const int fd = static_cast<int>(m_descriptor);
    while (!bytes.isEmpty()) {
        const ssize_t n = ::send(fd, bytes.data(), static_cast<size_t>(bytes.size()), MSG_NOSIGNAL);
        if (n > 0) {
            bytes = bytes.sliced(n);
            Touch();
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        QString reason;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // Waits in short turns, so that a server shutting down need not wait for this client.
            const QDeadlineTimer deadline(m_limits.SendTimeoutMs);
            int ready = 0;
            while (ready == 0 && !deadline.hasExpired() && !m_stopRequested) {
                pollfd p{fd, POLLOUT, 0};
                ready = ::poll(&p, 1, static_cast<int>(std::min<qint64>(100, deadline.remainingTime())));
                if (ready < 0 && errno == EINTR)
                    ready = 0;
            }
            if (ready > 0)
                continue;
            reason = m_stopRequested ? QStringLiteral("o servidor está encerrando")
                     : ready == 0    ? QStringLiteral("o cliente não recebeu a resposta em %1 s").arg(m_limits.SendTimeoutMs / 1000.0)
                                     : QString::fromLocal8Bit(std::strerror(errno));
        } else {
            reason = QString::fromLocal8Bit(std::strerror(errno));
        }
        m_piecesLost = true;
        LogLine(QStringLiteral("cliente %1: conexão perdida ao enviar a resposta: %2").arg(m_peer, reason));
        throw EHostError(QStringLiteral("o cliente deixou de receber a resposta"));
    }
}

void TClientWorker::Flush()
{
    if (m_finished)
        return;
    while (m_outSent < m_out.size()) {
        const ssize_t n = ::send(static_cast<int>(m_descriptor), m_out.constData() + m_outSent, static_cast<size_t>(m_out.size() - m_outSent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            m_writeNotifier->setEnabled(true);
            return;
        }
        if (n < 0) {
            LogLine(QStringLiteral("cliente %1: conexão perdida ao enviar a resposta: %2").arg(m_peer, QString::fromLocal8Bit(std::strerror(errno))));
            Stop();
            return;
        }
        m_outSent += n;
        Touch();
    }
    m_out.clear();
    m_outSent = 0;
    m_writeNotifier->setEnabled(false);
    if (m_closeWhenSent) {
        Stop();
        return;
    }
    // Requests held back while the client was not reading may go on now.
    if (m_readPaused) {
        m_readPaused = false;
        if (m_readNotifier && !m_inputClosed)
            m_readNotifier->setEnabled(true);
        QMetaObject::invokeMethod(this, &TClientWorker::Pump, Qt::QueuedConnection);
    }
}

void TClientWorker::Refuse(const QString &logText, const QString &replyText)
{
    LogLine(QStringLiteral("cliente %1: %2; conexão encerrada").arg(m_peer, logText));
    Wire::Reply r;
    r.Ok = false;
    r.Error = replyText;
    m_out.append(Wire::FrameReply(r));
    // One attempt to send; a client that does not read loses the text, not the server its time.
    m_closeWhenSent = true;
    Flush();
    if (!m_finished)
        Stop();
}

void TClientWorker::OnFrameTimeout()
{
    Refuse(QStringLiteral("requisição incompleta após %1 ms (%2 de %3 bytes)").arg(m_limits.FrameTimeoutMs).arg(m_reader.Buffered()).arg(m_reader.Needed()),
           QStringLiteral("A requisição não chegou completa em %1 s; o servidor de aplicação encerrou a conexão.").arg(m_limits.FrameTimeoutMs / 1000.0));
}

void TClientWorker::Pump()
{
    while (!m_finished) {
        if (m_out.size() - m_outSent > m_limits.MaxPendingReplies) {
            // The client does not read its replies: read nothing more until it does.
            m_readPaused = true;
            if (m_readNotifier)
                m_readNotifier->setEnabled(false);
            return;
        }
        QByteArray body;
        const auto status = m_reader.Next(body);
        if (status == Wire::FrameReader::Status::TooLarge) {
            Refuse(QStringLiteral("quadro de %1 bytes excede o limite de %2").arg(m_reader.AnnouncedSize()).arg(m_limits.MaxFrame),
                   QStringLiteral("A requisição de %1 bytes excede o limite do servidor de aplicação (%2 bytes).").arg(m_reader.AnnouncedSize()).arg(m_limits.MaxFrame));
            return;
        }
        if (status == Wire::FrameReader::Status::Ready) {
            m_frameTimer->stop();
            HandleFrame(body);
            body.clear();
            if (!m_finished)
                Reserve(m_reader.Needed());
            continue;
        }
        if (!Reserve(m_reader.Needed())) {
            Refuse(QStringLiteral("quadro de %1 bytes passaria o limite de memória de entrada (%2 bytes)").arg(m_reader.Needed()).arg(m_budget->Cap()),
                   QStringLiteral("O servidor de aplicação não tem memória livre para uma requisição de %1 bytes agora; tente de novo.").arg(m_reader.Needed()));
            return;
        }
        if (m_inputClosed)
            break;
        char chunk[16384];
        const ssize_t n = ::recv(static_cast<int>(m_descriptor), chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (n < 0) {
            LogLine(QStringLiteral("cliente %1: conexão perdida: %2").arg(m_peer, QString::fromLocal8Bit(std::strerror(errno))));
            Stop();
            return;
        }
        if (n == 0) {
            // The client closed its side; it still gets the replies to what it sent.
            m_inputClosed = true;
            m_readNotifier->setEnabled(false);
            continue;
        }
        Touch();
        if (!Reserve(std::max<qint64>(m_reader.Needed(), m_reader.Buffered() + n))) {
            Refuse(QStringLiteral("entrada passaria o limite de memória de entrada (%1 bytes)").arg(m_budget->Cap()),
                   QStringLiteral("O servidor de aplicação não tem memória livre para esta requisição agora; tente de novo."));
            return;
        }
        m_reader.Append(QByteArray(chunk, static_cast<qsizetype>(n)));
    }
    if (m_finished)
        return;
    if (m_inputClosed) {
        if (m_reader.Buffered() > 0)
            LogLine(QStringLiteral("cliente %1: requisição incompleta descartada no fim da conexão").arg(m_peer));
        m_frameTimer->stop();
        m_closeWhenSent = true;
        Flush();
        return;
    }
    if (m_reader.Buffered() == 0)
        m_frameTimer->stop();
    else if (!m_frameTimer->isActive())
        m_frameTimer->start(m_limits.FrameTimeoutMs);
}

void TClientWorker::HandleFrame(const QByteArray &body)
{
    Wire::Request request;
    QString error;
    bool decoded = false;
    try {
        decoded = Wire::DecodeRequest(body, request, error);
    } catch (const std::bad_alloc &) {
        error = QStringLiteral("memória insuficiente para decodificá-la");
    }
    if (!decoded) {
        Refuse(QStringLiteral("requisição malformada (%1)").arg(error), QStringLiteral("Requisição malformada: %1.").arg(error));
        return;
    }
    m_busy = true;
    QElapsedTimer timer;
    timer.start();
    Wire::Reply reply;
    const bool curve = request.Method.compare(QLatin1String("GetCurvaABC"), Qt::CaseInsensitive) == 0;
    // Released on every path, exceptions included.
    std::unique_ptr<QSemaphoreReleaser> turn;
    if (curve) {
        m_curves->acquire();
        turn = std::make_unique<QSemaphoreReleaser>(m_curves.get());
    }
    try {
        PrepareDatabase();
        reply = m_module->Dispatch(request);
        // Rows already sent are not sent again.
        if (!reply.Ok && !m_piecesStarted && m_module->LastFault() && !DatabaseAnswers()) {
            // The database went away and may be back: a new connection serves the call once more.
            LogLine(QStringLiteral("cliente %1: conexão com o banco de dados perdida em %2; reconectando").arg(m_peer, QuoteInput(request.Method)));
            CloseDatabase();
            PrepareDatabase();
            if (m_db->Connected())
                reply = m_module->Dispatch(request);
        }
    } catch (const std::bad_alloc &) {
        reply = Wire::Reply();
        reply.Ok = false;
        reply.Error = QStringLiteral("%1: o servidor de aplicação não tem memória para atender a chamada.").arg(QuoteInput(request.Method));
    }
    turn.reset();
    m_busy = false;
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    QString outcome = reply.Ok ? QStringLiteral("ok") : QStringLiteral("falha: ") + reply.Error;
    if (!m_module->LastDetail().isEmpty())
        outcome += QStringLiteral(" (banco: %1)").arg(QuoteInput(m_module->LastDetail(), 300));
    if (!m_module->LastRefusal().isEmpty())
        outcome += QStringLiteral(" [recusada: %1]").arg(m_module->LastRefusal());
    if (!m_module->LastNote().isEmpty())
        outcome += QStringLiteral(" (%1)").arg(m_module->LastNote());
    static const QRegularExpression plainName(QStringLiteral("^[A-Za-z0-9_.]{1,64}$"));
    const QString method = plainName.match(request.Method).hasMatch() ? request.Method : QuoteInput(request.Method);
    LogLine(QStringLiteral("%1 %2 ms rows=%3 %4").arg(method).arg(ms, 0, 'f', 2).arg(m_module->LastRows()).arg(outcome));
    Touch();
    if (m_piecesStarted) {
        m_piecesStarted = false;
        if (m_piecesLost) {
            Stop();
            return;
        }
        // The pieces end; the reply follows.
        m_out.append(Wire::PieceLength(0));
    }
    if (m_module->CloseRequested()) {
        // Too many failed logins: the reply goes out, then the connection closes.
        LogLine(QStringLiteral("cliente %1: conexão encerrada após %2 logins recusados seguidos").arg(m_peer).arg(TrdmRelLancContReceber::kMaxFailedLogins));
        m_closeWhenSent = true;
        Reply(reply);
        if (!m_finished)
            Stop();
        return;
    }
    Reply(reply);
}

TAppServer::TAppServer(QString database, QObject *parent) : QTcpServer(parent), m_database(std::move(database)) {}

TAppServer::~TAppServer() { Shutdown(); }

bool TAppServer::EvictIdlest()
{
    Client *idlest = nullptr;
    for (const auto &c : m_clients) {
        if (c->Stopping || c->Worker->Busy())
            continue;
        if (!idlest || c->Worker->LastActivityMs() < idlest->Worker->LastActivityMs())
            idlest = c.get();
    }
    if (!idlest)
        return false;
    idlest->Stopping = true;
    LogLine(QStringLiteral("conexão ociosa há %1 ms encerrada para admitir outra (limite de %2 conexões)")
                .arg(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count() -
                     idlest->Worker->LastActivityMs())
                .arg(Limits.MaxClients));
    QMetaObject::invokeMethod(idlest->Worker.get(), &TClientWorker::Stop, Qt::QueuedConnection);
    return true;
}

void TAppServer::incomingConnection(qintptr descriptor)
{
    if (m_shutDown) {
        ::close(static_cast<int>(descriptor));
        return;
    }
    if (!m_budget)
        m_budget = std::make_shared<TInputBudget>(Limits.MaxBufferedInput);
    if (!m_curves)
        m_curves = std::make_shared<QSemaphore>(Limits.MaxCurvesAtOnce);
    if (!m_sessions)
        m_sessions = std::make_shared<TSessionStore>();
    const auto active = std::count_if(m_clients.begin(), m_clients.end(), [](const auto &c) { return !c->Stopping; });
    if (active >= Limits.MaxClients && !EvictIdlest()) {
        Wire::Reply r;
        r.Ok = false;
        r.Error = QStringLiteral("O servidor de aplicação atingiu o limite de %1 conexões.").arg(Limits.MaxClients);
        const QByteArray frame = Wire::FrameReply(r);
        [[maybe_unused]] const auto n = ::send(static_cast<int>(descriptor), frame.constData(), static_cast<size_t>(frame.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        closeSocket(static_cast<int>(descriptor));
        LogLine(QStringLiteral("conexão recusada: limite de %1 clientes, todos em chamada").arg(Limits.MaxClients));
        return;
    }
    auto client = std::make_unique<Client>();
    client->Id = m_nextId++;
    client->Thread = std::make_unique<QThread>();
    client->Worker = std::make_unique<TClientWorker>(descriptor, m_database, Limits, m_budget, m_watch, m_curves, m_sessions);
    client->Worker->moveToThread(client->Thread.get());
    connect(client->Thread.get(), &QThread::started, client->Worker.get(), &TClientWorker::Start);
    const quint64 id = client->Id;
    connect(client->Thread.get(), &QThread::finished, this, [this, id] { Reap(id); }, Qt::QueuedConnection);
    QThread *thread = client->Thread.get();
    m_clients.push_back(std::move(client));
    thread->start();
}

void TAppServer::Reap(quint64 id)
{
    const auto it = std::find_if(m_clients.begin(), m_clients.end(), [id](const auto &c) { return c->Id == id; });
    if (it == m_clients.end())
        return;
    (*it)->Thread->wait();
    m_clients.erase(it);
}

void TAppServer::Shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    close();
    for (const auto &c : m_clients) {
        c->Stopping = true;
        c->Worker->RequestStop();
        QMetaObject::invokeMethod(c->Worker.get(), &TClientWorker::Stop, Qt::QueuedConnection);
    }
    // A worker in a call stops when the call ends.
    for (const auto &c : m_clients)
        c->Thread->wait();
    m_clients.clear();
}
