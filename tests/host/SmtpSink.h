#pragma once
#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTcpServer>

// An SMTP server of the test's own on loopback: enough of the protocol for a client (EHLO, AUTH
// PLAIN and LOGIN, MAIL, RCPT, DATA, RSET, QUIT). It keeps every message it accepts, and can
// refuse a recipient or a login, or take the connection and never answer.
class TSmtpSink {
public:
    struct TMail {
        QString From;
        QStringList Recipients;
        QByteArray Data; // as sent after DATA, dots unstuffed, lines ending in CRLF
    };
    TSmtpSink();
    quint16 Port() const { return m_server.serverPort(); }

    // What EHLO offers ("PLAIN LOGIN"); without any, no login is possible or asked for.
    QString Mechanisms = QStringLiteral("PLAIN LOGIN");
    QString User = QStringLiteral("relatorios"), Password = QStringLiteral("smtp-2026");
    QStringList RefusedRecipients;
    bool Silent = false;

    QList<TMail> Mails;
    QStringList Logins; // each accepted login, "PLAIN relatorios"
    int Connections = 0;

private:
    struct TConversation;
    void Accept();
    void Handle(class QTcpSocket *socket, TConversation &c, const QByteArray &line);
    void Login(QTcpSocket *socket, TConversation &c, const QString &mechanism, const QString &user, const QString &password);
    QTcpServer m_server;
};

// A message as a reader sees it: its headers (names in lower case, folded lines joined) and its
// MIME parts, each part's body decoded from base64 or quoted-printable.
struct TReceivedMessage {
    struct TPart {
        QMap<QString, QString> Headers;
        QByteArray Body;
    };
    QMap<QString, QString> Headers;
    QList<TPart> Parts;
    static TReceivedMessage Parse(const QByteArray &data);
    // The Subject header with its RFC 2047 words decoded.
    QString Subject() const;
};
