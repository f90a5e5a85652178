#pragma once
#include "net/Wire.h"
#include <QDate>
#include <QObject>
#include <QStringList>
#include <QTcpSocket>
#include <functional>
#include <memory>
#include <vector>

// One argument of a late-bound call; a by-reference argument receives the
// value the server hands back.
struct TCallArg {
    TCallArg(QVariant v) : Value(std::move(v)) {}
    TCallArg(const QString &s) : Value(s) {}
    TCallArg(const char *) = delete;
    static TCallArg ByRef(QVariant &target)
    {
        TCallArg a(target);
        a.Ref = &target;
        return a;
    }
    static TCallArg ByRef(QString &target)
    {
        TCallArg a{QVariant(target)};
        a.RefString = &target;
        return a;
    }
    QVariant Value;
    QVariant *Ref = nullptr;
    QString *RefString = nullptr;
};

class TNetConnection;

// The application-server object of a connection: methods are called by name.
class TAppServerProxy {
public:
    explicit TAppServerProxy(TNetConnection &connection) : m_connection(connection) {}
    QVariant Call(const QString &method, std::vector<TCallArg> args = {});
    QVariant CallForRows(const QString &method, std::vector<TCallArg> args = {});

private:
    TNetConnection &m_connection;
};

// Socket connection to the application server.
class TNetConnection : public QObject {
    Q_OBJECT
public:
    explicit TNetConnection(const QString &name, QObject *parent = nullptr);
    ~TNetConnection() override;

    QString Host;
    int Port = 0;
    QString ServerName; // the application server object the calls go to
    // When true a failed call raises an error; when false it returns a failure result.
    bool ThrowException = false;
    int ConnectTimeoutMs = 10000;
    // The longest a call may wait for its whole reply.
    int CallTimeoutMs = 60000;
    // Method names of the calls made, in order.
    QStringList CallLog;
    // The arguments of each call in CallLog, as sent.
    QList<QVariantList> CallArgs;
    // The login made right after every connection; set them in BeforeConnect or before Open.
    QString Operator;
    QString Password;
    // The ticket of the operator's session on the server. With it a connection logs in
    // without the password's slow check; a refused ticket falls back to the password.
    // A password login puts the session's ticket here.
    QString SessionTicket;
    // The host's short-date format and its date, told to the server after each login and
    // again when the date has moved on, so that the server reads the date texts of the calls
    // and counts days as the host does. Without Today the server keeps its own clock.
    QString DateFormat = QStringLiteral("dd/MM/yyyy");
    std::function<QDate()> Today;
    // Whether the server may send a large packet while it writes it, in pieces, so that
    // its rows are decoded here while the rest are still read from the database.
    // Asked at each login.
    bool AcceptPieces = true;
    // Runs before every connection attempt.
    std::function<void(TNetConnection &)> BeforeConnect;
    // Runs as each call starts, before its request is sent.
    std::function<void(const QString &method)> BeforeCall;

    bool Connected() const;
    // Connects and logs in, raising EHostError with the reason when the server cannot
    // be reached or refuses the login.
    void Open();
    void Close();
    TAppServerProxy AppServer() { return TAppServerProxy(*this); }
    QVariant Call(const QString &method, std::vector<TCallArg> args = {});
    // The same call for a data set's rows: a data packet in the reply is decoded as its
    // bytes arrive and comes back as a TReceivedPacket, never held whole beside its rows.
    QVariant CallForRows(const QString &method, std::vector<TCallArg> args = {});

private:
    QVariant Invoke(const QString &method, std::vector<TCallArg> args, bool rows);
    QVariant Fail(const QString &method, const QString &message);
    void LogIn();
    // One login request (Login with the password, Resume with the ticket) and the server's
    // answer; a lost connection or a malformed reply closes it and raises EHostError.
    // SetContext, which follows every login, goes the same way.
    Wire::Reply LoginCall(const QString &method, const QVariantList &args, const QString &where);
    // Tells the server the host's date format and date (SetContext); a refusal raises EHostError.
    void SendContext(const QString &where);
    void AskForPieces(const QString &where);
    // One request and its reply within CallTimeoutMs; the fault says what went wrong.
    struct TExchange {
        enum Kind { None, Lost, TimedOut, Malformed };
        Kind Fault = None;
        QString Reason;
        Wire::Reply Reply;
    };
    TExchange Exchange(const Wire::Request &request, bool rows = false);
    bool PeerClosed() const;
    void OpenFor(const QString &method);
    std::unique_ptr<QTcpSocket> m_socket;
    QDate m_contextDay; // the date last told to the server on this connection
};
