#include "net/NetConnection.h"
#include "net/ReplyReader.h"
#include "data/Exceptions.h"
#include "data/RemoteResult.h"
#include <QDeadlineTimer>
#include <cerrno>
#include <memory>
#include <sys/socket.h>

TNetConnection::TNetConnection(const QString &name, QObject *parent) : QObject(parent) { setObjectName(name); }

TNetConnection::~TNetConnection() { Close(); }

bool TNetConnection::Connected() const { return m_socket && m_socket->state() == QAbstractSocket::ConnectedState; }

bool TNetConnection::PeerClosed() const
{
    // Between calls nothing may arrive: readable means the server closed or reset the connection.
    if (!m_socket || m_socket->bytesAvailable() > 0)
        return m_socket != nullptr;
    const auto fd = static_cast<int>(m_socket->socketDescriptor());
    if (fd < 0)
        return true;
    char c;
    const ssize_t n = ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

void TNetConnection::Open() { OpenFor(QString()); }

void TNetConnection::OpenFor(const QString &method)
{
    if (Connected())
        return;
    if (BeforeConnect)
        BeforeConnect(*this);
    m_socket = std::make_unique<QTcpSocket>();
    m_socket->connectToHost(Host, static_cast<quint16>(Port));
    if (!m_socket->waitForConnected(ConnectTimeoutMs)) {
        const QString reason = m_socket->errorString();
        m_socket.reset();
        const QString call = method.isEmpty() ? QString() : QStringLiteral(" para a chamada de %1").arg(method);
        throw EHostError(QStringLiteral("Não foi possível conectar ao servidor de aplicação em %1:%2%3: %4").arg(Host).arg(Port).arg(call, reason));
    }
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    LogIn();
}

void TNetConnection::LogIn()
{
    const QString where = QStringLiteral("%1:%2").arg(Host).arg(Port);
    auto refuse = [&](const QString &message) {
        Close();
        throw EHostError(message);
    };
    if (Operator.isEmpty())
        refuse(QStringLiteral("O servidor de aplicação em %1 exige o login: informe o operador.").arg(where));
    if (!SessionTicket.isEmpty()) {
        if (LoginCall(QStringLiteral("Resume"), {Operator, SessionTicket}, where).Ok) {
            SendContext(where);
            AskForPieces(where);
            return;
        }
        SessionTicket.clear();
        if (Password.isEmpty())
            refuse(QStringLiteral("A sessão do operador %1 no servidor de aplicação em %2 terminou (servidor reiniciado, senha trocada ou tempo "
                                  "sem uso). Entre de novo com a senha.")
                       .arg(Operator, where));
    }
    const Wire::Reply reply = LoginCall(QStringLiteral("Login"), {Operator, Password}, where);
    if (!reply.Ok) {
        QString reason = reply.Error;
        if (reason.startsWith(QStringLiteral("Login: ")))
            reason = reason.mid(7);
        refuse(QStringLiteral("O servidor de aplicação em %1 recusou o login do operador %2: %3 Confira o operador e a senha e entre de novo.")
                   .arg(where, Operator, reason));
    }
    if (reply.Result.typeId() == QMetaType::QString)
        SessionTicket = reply.Result.toString();
    SendContext(where);
    AskForPieces(where);
}

void TNetConnection::AskForPieces(const QString &where)
{
    // A server that does not know the call sends every reply in one frame.
    if (AcceptPieces)
        LoginCall(QLatin1String(Wire::kPiecesMethod), {}, where);
}

void TNetConnection::SendContext(const QString &where)
{
    m_contextDay = Today ? Today() : QDate();
    const Wire::Reply reply =
        LoginCall(QStringLiteral("SetContext"), {DateFormat, m_contextDay.isValid() ? m_contextDay.toString(Qt::ISODate) : QString()}, where);
    if (!reply.Ok) {
        Close();
        throw EHostError(QStringLiteral("O servidor de aplicação em %1 recusou o formato de data '%2' do host: %3").arg(where, DateFormat, reply.Error));
    }
}

Wire::Reply TNetConnection::LoginCall(const QString &method, const QVariantList &args, const QString &where)
{
    Wire::Request request;
    request.Object = ServerName;
    request.Method = method;
    request.Args = args;
    request.ByRef = QList<bool>(args.size(), false);
    const TExchange x = Exchange(request);
    if (x.Fault == TExchange::None)
        return x.Reply;
    Close();
    if (x.Fault == TExchange::Malformed)
        throw EHostError(QStringLiteral("O servidor de aplicação em %1 respondeu ao login com uma resposta malformada: %2").arg(where, x.Reason));
    throw EHostError(QStringLiteral("A conexão com o servidor de aplicação em %1 foi perdida no login do operador %2: %3").arg(where, Operator, x.Reason));
}

TNetConnection::TExchange TNetConnection::Exchange(const Wire::Request &request, bool rows)
{
    TExchange x;
    auto fault = [&](TExchange::Kind kind, const QString &reason) {
        x.Fault = kind;
        x.Reason = reason;
        return x;
    };
    const QDeadlineTimer deadline(CallTimeoutMs);
    const QString noAnswer = QStringLiteral("sem resposta em %1 s").arg(CallTimeoutMs / 1000.0);
    auto stalled = [&] {
        return m_socket->state() == QAbstractSocket::ConnectedState && deadline.hasExpired() ? fault(TExchange::TimedOut, noAnswer)
                                                                                             : fault(TExchange::Lost, m_socket->errorString());
    };
    const QByteArray frame = Wire::Frame(Wire::EncodeRequest(request));
    if (m_socket->write(frame) != frame.size())
        return fault(TExchange::Lost, m_socket->errorString());
    while (m_socket->bytesToWrite() > 0)
        if (!m_socket->waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
            return stalled();
    TReplyReader reader(rows);
    for (;;) {
        if (m_socket->bytesAvailable() == 0 && !m_socket->waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            if (m_socket->state() == QAbstractSocket::ConnectedState)
                return fault(TExchange::TimedOut, noAnswer);
            return fault(TExchange::Lost, m_socket->errorString());
        }
        switch (reader.Append(m_socket->readAll())) {
        case TReplyReader::Status::NeedMore: continue;
        case TReplyReader::Status::TooLarge: return fault(TExchange::Lost, reader.Error());
        case TReplyReader::Status::Malformed: return fault(TExchange::Malformed, reader.Error());
        case TReplyReader::Status::Done: x.Reply = reader.TakeReply(); return x;
        }
    }
}

void TNetConnection::Close()
{
    if (!m_socket)
        return;
    m_socket->abort();
    m_socket.reset();
}

QVariant TNetConnection::Fail(const QString &method, const QString &message)
{
    if (ThrowException)
        throw EHostError(message);
    return RemoteFailure(method, message);
}

QVariant TNetConnection::Call(const QString &method, std::vector<TCallArg> args) { return Invoke(method, std::move(args), false); }

QVariant TNetConnection::CallForRows(const QString &method, std::vector<TCallArg> args) { return Invoke(method, std::move(args), true); }

QVariant TNetConnection::Invoke(const QString &method, std::vector<TCallArg> args, bool rows)
{
    CallLog << method;
    QVariantList sent;
    for (const TCallArg &a : args)
        sent << a.Value;
    CallArgs << sent;
    // A server restarted since the last call closed this connection; a new one serves the call.
    if (Connected() && PeerClosed())
        Close();
    if (!Connected()) {
        try {
            OpenFor(method);
        } catch (const EHostError &e) {
            return Fail(method, e.Message());
        }
    }
    // The host's date moved on since the server was told (a session across midnight).
    if (Today && Today() != m_contextDay) {
        try {
            SendContext(QStringLiteral("%1:%2").arg(Host).arg(Port));
        } catch (const EHostError &e) {
            return Fail(method, e.Message());
        }
    }
    Wire::Request request;
    request.Object = ServerName;
    request.Method = method;
    for (const TCallArg &a : args) {
        request.Args << a.Value;
        request.ByRef << (a.Ref != nullptr || a.RefString != nullptr);
    }
    if (BeforeCall)
        BeforeCall(method);
    const TExchange x = Exchange(request, rows);
    if (x.Fault == TExchange::TimedOut) {
        // The reply may still come; the connection is no longer in step with the calls.
        Close();
        return Fail(method, QStringLiteral("O servidor de aplicação não respondeu à chamada de %1 em %2 s; a chamada foi cancelada.")
                                .arg(method)
                                .arg(CallTimeoutMs / 1000.0));
    }
    if (x.Fault != TExchange::None) {
        Close();
        return Fail(method, QStringLiteral("A conexão com o servidor de aplicação foi perdida na chamada de %1: %2").arg(method, x.Reason));
    }
    const Wire::Reply &reply = x.Reply;
    if (!reply.Ok)
        return Fail(method, reply.Error);
    // Hand back the by-reference values in the order of the by-reference arguments.
    qsizetype k = 0;
    for (const TCallArg &a : args) {
        if (!a.Ref && !a.RefString)
            continue;
        if (k < reply.RefValues.size()) {
            if (a.Ref)
                *a.Ref = reply.RefValues[k];
            else
                *a.RefString = reply.RefValues[k].toString();
        }
        ++k;
    }
    return reply.Result;
}

QVariant TAppServerProxy::Call(const QString &method, std::vector<TCallArg> args) { return m_connection.Call(method, std::move(args)); }

QVariant TAppServerProxy::CallForRows(const QString &method, std::vector<TCallArg> args)
{
    return m_connection.CallForRows(method, std::move(args));
}
