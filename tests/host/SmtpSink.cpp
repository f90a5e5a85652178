#include "SmtpSink.h"
#include <QRegularExpression>
#include <QTcpSocket>
#include <memory>

struct TSmtpSink::TConversation {
    enum TState { Command, Data, PlainAnswer, LoginUser, LoginPassword };
    TState State = Command;
    QByteArray Buffer;
    QString LoginName;
    bool LoggedIn = false;
    TMail Mail;
};

namespace {
QString between(const QByteArray &line)
{
    const qsizetype open = line.indexOf('<'), close = line.indexOf('>', open);
    return open >= 0 && close > open ? QString::fromLatin1(line.mid(open + 1, close - open - 1)) : QString();
}

QString decoded(const QByteArray &base64) { return QString::fromUtf8(QByteArray::fromBase64(base64.trimmed())); }

QMap<QString, QString> headersOf(const QByteArray &head)
{
    QMap<QString, QString> headers;
    QString last;
    for (const QByteArray &line : head.split('\n')) {
        const QByteArray l = line.endsWith('\r') ? line.chopped(1) : line;
        if (l.isEmpty())
            continue;
        if ((l.startsWith(' ') || l.startsWith('\t')) && !last.isEmpty()) {
            headers[last] += QString::fromUtf8(l); // unfolding drops only the line break
            continue;
        }
        const qsizetype colon = l.indexOf(':');
        last = QString::fromLatin1(l.left(colon)).trimmed().toLower();
        headers[last] = QString::fromUtf8(l.mid(colon + 1)).trimmed();
    }
    return headers;
}

QByteArray quotedPrintable(const QByteArray &in)
{
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] != '=') {
            out += in[i];
            continue;
        }
        if (in.mid(i + 1, 2) == "\r\n") {
            i += 2; // a soft line break
            continue;
        }
        out += static_cast<char>(in.mid(i + 1, 2).toInt(nullptr, 16));
        i += 2;
    }
    return out;
}
} // namespace

TSmtpSink::TSmtpSink()
{
    m_server.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { Accept(); });
}

void TSmtpSink::Accept()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        ++Connections;
        auto conversation = std::make_shared<TConversation>();
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, conversation] {
            const QByteArray data = socket->readAll();
            if (Silent)
                return;
            conversation->Buffer += data;
            qsizetype end;
            while ((end = conversation->Buffer.indexOf("\r\n")) >= 0) {
                const QByteArray line = conversation->Buffer.left(end);
                conversation->Buffer.remove(0, end + 2);
                Handle(socket, *conversation, line);
            }
        });
        if (!Silent)
            socket->write("220 sink.test ESMTP\r\n");
    }
}

void TSmtpSink::Login(QTcpSocket *socket, TConversation &c, const QString &mechanism, const QString &user, const QString &password)
{
    c.State = TConversation::Command;
    if (user == User && password == Password) {
        c.LoggedIn = true;
        Logins << mechanism + QLatin1Char(' ') + user;
        socket->write("235 2.7.0 Authentication successful\r\n");
    } else {
        socket->write("535 5.7.8 Error: authentication failed: bad username or password\r\n");
    }
}

void TSmtpSink::Handle(QTcpSocket *socket, TConversation &c, const QByteArray &line)
{
    switch (c.State) {
    case TConversation::Data:
        if (line == ".") {
            Mails << c.Mail;
            c.Mail = {};
            c.State = TConversation::Command;
            socket->write("250 2.0.0 Ok: queued as 1\r\n");
        } else {
            c.Mail.Data += (line.startsWith("..") ? line.mid(1) : line) + "\r\n";
        }
        return;
    case TConversation::PlainAnswer: {
        const QList<QByteArray> parts = QByteArray::fromBase64(line).split('\0');
        Login(socket, c, QStringLiteral("PLAIN"), QString::fromUtf8(parts.value(1)), QString::fromUtf8(parts.value(2)));
        return;
    }
    case TConversation::LoginUser:
        c.LoginName = decoded(line);
        c.State = TConversation::LoginPassword;
        socket->write("334 UGFzc3dvcmQ6\r\n");
        return;
    case TConversation::LoginPassword:
        Login(socket, c, QStringLiteral("LOGIN"), c.LoginName, decoded(line));
        return;
    case TConversation::Command:
        break;
    }
    const QList<QByteArray> words = line.split(' ');
    const QByteArray verb = words.value(0).toUpper();
    if (verb == "EHLO" || verb == "HELO") {
        QByteArray reply = "250-sink.test\r\n";
        if (!Mechanisms.isEmpty())
            reply += "250-AUTH " + Mechanisms.toLatin1() + "\r\n";
        socket->write(reply + "250 8BITMIME\r\n");
    } else if (verb == "AUTH") {
        const QByteArray mechanism = words.value(1).toUpper();
        if (!Mechanisms.split(QLatin1Char(' ')).contains(QString::fromLatin1(mechanism))) {
            socket->write("504 5.5.4 Unrecognized authentication type\r\n");
        } else if (mechanism == "PLAIN") {
            if (words.size() > 2) {
                const QList<QByteArray> parts = QByteArray::fromBase64(words[2]).split('\0');
                Login(socket, c, QStringLiteral("PLAIN"), QString::fromUtf8(parts.value(1)), QString::fromUtf8(parts.value(2)));
            } else {
                c.State = TConversation::PlainAnswer;
                socket->write("334 \r\n");
            }
        } else if (words.size() > 2) {
            c.LoginName = decoded(words[2]);
            c.State = TConversation::LoginPassword;
            socket->write("334 UGFzc3dvcmQ6\r\n");
        } else {
            c.State = TConversation::LoginUser;
            socket->write("334 VXNlcm5hbWU6\r\n");
        }
    } else if (verb == "MAIL") {
        if (!Mechanisms.isEmpty() && !c.LoggedIn) {
            socket->write("530 5.7.0 Authentication required\r\n");
            return;
        }
        c.Mail = {};
        c.Mail.From = between(line);
        socket->write("250 2.1.0 Ok\r\n");
    } else if (verb == "RCPT") {
        const QString to = between(line);
        if (RefusedRecipients.contains(to)) {
            socket->write("550 5.1.1 <" + to.toLatin1() + ">: Recipient address rejected: User unknown in local recipient table\r\n");
            return;
        }
        c.Mail.Recipients << to;
        socket->write("250 2.1.5 Ok\r\n");
    } else if (verb == "DATA") {
        if (c.Mail.Recipients.isEmpty()) {
            socket->write("554 5.5.1 Error: no valid recipients\r\n");
            return;
        }
        c.State = TConversation::Data;
        socket->write("354 End data with <CR><LF>.<CR><LF>\r\n");
    } else if (verb == "RSET" || verb == "NOOP") {
        c.Mail = {};
        socket->write("250 2.0.0 Ok\r\n");
    } else if (verb == "QUIT") {
        socket->write("221 2.0.0 Bye\r\n");
        socket->disconnectFromHost();
    } else {
        socket->write("502 5.5.2 Error: command not recognized\r\n");
    }
}

TReceivedMessage TReceivedMessage::Parse(const QByteArray &data)
{
    TReceivedMessage m;
    const qsizetype split = data.indexOf("\r\n\r\n");
    m.Headers = headersOf(data.left(split));
    const QByteArray body = data.mid(split + 4);
    const QRegularExpressionMatch boundary = QRegularExpression(QStringLiteral("boundary=\"?([^\";]+)\"?")).match(m.Headers.value(QStringLiteral("content-type")));
    if (!boundary.hasMatch()) {
        m.Parts << TPart{{}, body};
        return m;
    }
    const QByteArray marker = "--" + boundary.captured(1).toLatin1();
    QList<QByteArray> pieces;
    qsizetype at = body.indexOf(marker);
    while (at >= 0) {
        const qsizetype start = at + marker.size();
        if (body.mid(start, 2) == "--")
            break;
        const qsizetype next = body.indexOf("\r\n" + marker, start);
        pieces << body.mid(start + 2, (next < 0 ? body.size() : next) - start - 2);
        at = next < 0 ? -1 : next + 2;
    }
    for (const QByteArray &piece : pieces) {
        const qsizetype headEnd = piece.indexOf("\r\n\r\n");
        TPart part{headersOf(piece.left(headEnd)), piece.mid(headEnd + 4)};
        const QString encoding = part.Headers.value(QStringLiteral("content-transfer-encoding")).toLower();
        if (encoding == QStringLiteral("base64"))
            part.Body = QByteArray::fromBase64(part.Body);
        else if (encoding == QStringLiteral("quoted-printable"))
            part.Body = quotedPrintable(part.Body);
        m.Parts << part;
    }
    return m;
}

QString TReceivedMessage::Subject() const
{
    const QString raw = Headers.value(QStringLiteral("subject"));
    static const QRegularExpression word(QStringLiteral("=\\?UTF-8\\?B\\?([^?]*)\\?=\\s*"), QRegularExpression::CaseInsensitiveOption);
    if (!raw.contains(word))
        return raw;
    QByteArray bytes;
    for (auto it = word.globalMatch(raw); it.hasNext();)
        bytes += QByteArray::fromBase64(it.next().captured(1).toLatin1());
    return QString::fromUtf8(bytes);
}
