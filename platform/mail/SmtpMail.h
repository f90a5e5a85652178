#pragma once
#include <QString>
#include <QStringList>
#include <functional>

// The SMTP server the host sends reports through, from the settings' mail/ keys.
struct TMailSettings {
    enum class TSecurity { None, StartTls, Tls };
    QString Server;
    int Port = 0; // 0: 25 without encryption, 587 with STARTTLS, 465 with TLS
    // Without a user no login is attempted.
    QString User, Password;
    QString From;
    TSecurity Security = TSecurity::StartTls;
    // Seconds the server may take to accept the connection and to answer each command.
    int TimeoutSeconds = 60;

    // Reads mail/server, mail/port, mail/user, mail/password, mail/from, mail/security and
    // mail/timeout through `value` (empty: not set); false with a message naming the key that
    // does not serve.
    static bool Read(const std::function<QString(const QString &key)> &value, TMailSettings &settings, QString &error);
    int EffectivePort() const;
    // "smtp.empresa.com.br:587", for messages.
    QString Shown() const;
};

struct TMailMessage {
    QStringList To;
    QString Subject;
    QString Body;
    // The file sent as the attachment, under its own name; empty: none.
    QString Attachment;
};

// Sends the message through the server with libcurl. A failure raises EHostError naming the
// server and its answer (a recipient refused, a login refused, no answer in time, ...).
void SendMail(const TMailSettings &settings, const TMailMessage &message);

// The Subject header's value: the text as it is when it is plain ASCII, else as RFC 2047
// encoded words folded onto lines of their own. The text holds no line break.
QByteArray EncodedSubject(const QString &subject);
