#include "mail/SmtpMail.h"
#include "data/Exceptions.h"
#include "services/MailAddress.h"
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSysInfo>
#include <QUrl>
#include <curl/curl.h>
#include <memory>

namespace {
// libcurl's process-wide set-up, made once before the first transfer and undone at exit.
struct TCurlLibrary {
    TCurlLibrary() : Code(curl_global_init(CURL_GLOBAL_DEFAULT)) {}
    ~TCurlLibrary()
    {
        if (Code == CURLE_OK)
            curl_global_cleanup();
    }
    TCurlLibrary(const TCurlLibrary &) = delete;
    TCurlLibrary &operator=(const TCurlLibrary &) = delete;
    const CURLcode Code;
};

void requireCurl()
{
    // A function's static is made once, safely also against a second thread.
    static const TCurlLibrary library;
    if (library.Code != CURLE_OK)
        throw EHostError(QStringLiteral("A biblioteca libcurl não pôde ser iniciada: %1").arg(QString::fromUtf8(curl_easy_strerror(library.Code))));
}

struct TEasyFree {
    void operator()(CURL *c) const { curl_easy_cleanup(c); }
};
struct TMimeFree {
    void operator()(curl_mime *m) const { curl_mime_free(m); }
};
struct TListFree {
    void operator()(curl_slist *l) const { curl_slist_free_all(l); }
};
using TEasy = std::unique_ptr<CURL, TEasyFree>;
using TMime = std::unique_ptr<curl_mime, TMimeFree>;
using TList = std::unique_ptr<curl_slist, TListFree>;

void append(TList &list, const QByteArray &line)
{
    curl_slist *head = curl_slist_append(list.get(), line.constData());
    if (!head)
        throw EHostError(QStringLiteral("Não há memória para montar a mensagem de e-mail."));
    (void)list.release(); // the same list, now one longer
    list.reset(head);
}

void check(CURLcode code, const char *what)
{
    if (code != CURLE_OK)
        throw EHostError(QStringLiteral("A mensagem de e-mail não pôde ser montada (%1): %2").arg(QLatin1String(what), QString::fromUtf8(curl_easy_strerror(code))));
}

// The commands sent and the replies heard, for the message of a failure; what a login sends
// is never kept.
struct TTranscript {
    QByteArray LastCommand;
    QByteArray Reply;   // the last whole reply, its lines joined
    QByteArray Pending; // a reply's lines so far
    QByteArray Partial; // a line not yet ended
    // The last reply that refused (4xx, 5xx) and the command it answered; QUIT comes after it.
    QByteArray Refusal, RefusedCommand;

    void Heard(const QByteArray &data)
    {
        Partial += data;
        qsizetype end;
        while ((end = Partial.indexOf('\n')) >= 0) {
            const QByteArray line = Partial.left(end).trimmed();
            Partial.remove(0, end + 1);
            Pending += (Pending.isEmpty() ? QByteArray() : QByteArray(" ")) + (Pending.isEmpty() ? line : line.mid(4));
            // "250-..." goes on, "250 ..." ends the reply.
            if (line.size() <= 3 || line.at(3) != '-') {
                Reply = Pending;
                Pending.clear();
                if (Reply.startsWith('4') || Reply.startsWith('5')) {
                    Refusal = Reply;
                    RefusedCommand = LastCommand;
                }
            }
        }
    }
    void Said(const QByteArray &data)
    {
        // After a 334 the client answers a login's challenge: the user or the password.
        if (Reply.startsWith("334"))
            return;
        QByteArray line = data.trimmed();
        if (line.toUpper().startsWith("AUTH"))
            line = line.split(' ').mid(0, 2).join(' ');
        LastCommand = line;
    }
    bool Refused() const { return !Refusal.isEmpty(); }
};

int onDebug(CURL *, curl_infotype type, char *data, size_t size, void *user)
{
    auto *transcript = static_cast<TTranscript *>(user);
    if (type == CURLINFO_HEADER_IN)
        transcript->Heard(QByteArray(data, static_cast<qsizetype>(size)));
    else if (type == CURLINFO_HEADER_OUT)
        transcript->Said(QByteArray(data, static_cast<qsizetype>(size)));
    return 0;
}

QByteArray mimeTypeOf(const QString &file)
{
    const QString suffix = QFileInfo(file).suffix().toLower();
    if (suffix == QStringLiteral("pdf"))
        return "application/pdf";
    if (suffix == QStringLiteral("csv"))
        return "text/csv; charset=utf-8";
    if (suffix == QStringLiteral("html"))
        return "text/html; charset=utf-8";
    if (suffix == QStringLiteral("xlsx"))
        return "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";
    return "application/octet-stream";
}

// The attachment's file name: as it is when plain, else in RFC 2231's form.
QByteArray dispositionOf(const QString &file)
{
    const QString name = QFileInfo(file).fileName();
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9._ ()+-]+$"));
    if (plain.match(name).hasMatch())
        return "Content-Disposition: attachment; filename=\"" + name.toLatin1() + '"';
    return "Content-Disposition: attachment; filename*=UTF-8''" + QUrl::toPercentEncoding(name);
}

QByteArray dateHeader()
{
    const QDateTime now = QDateTime::currentDateTime();
    const int offset = now.offsetFromUtc() / 60;
    const QString zone = QStringLiteral("%1%2%3")
                             .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                             .arg(std::abs(offset) / 60, 2, 10, QLatin1Char('0'))
                             .arg(std::abs(offset) % 60, 2, 10, QLatin1Char('0'));
    return "Date: " + QLocale::c().toString(now, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss ")).toLatin1() + zone.toLatin1();
}

QByteArray messageId(const QString &from)
{
    QByteArray random(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(random.data()), random.size() / 4);
    return "Message-ID: <" + random.toHex() + '@' + from.section(QLatin1Char('@'), 1).toLatin1() + '>';
}

QString ehloName()
{
    static const QRegularExpression domain(QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?$"));
    const QString host = QSysInfo::machineHostName();
    return domain.match(host).hasMatch() ? host : QStringLiteral("localhost");
}

// A key's whole number from 1 to max; unset, the number stays as it is.
bool readNumber(const std::function<QString(const QString &key)> &value, const QString &key, int max, int &number, QString &error)
{
    const QString text = value(key).trimmed();
    if (text.isEmpty())
        return true;
    bool ok = false;
    const int read = text.toInt(&ok);
    if (!ok || read < 1 || read > max) {
        error = QStringLiteral("%1 deve ser um número de 1 a %2, não '%3'").arg(key, QString::number(max), VisibleText(text));
        return false;
    }
    number = read;
    return true;
}

QString securityKey(TMailSettings::TSecurity s)
{
    switch (s) {
    case TMailSettings::TSecurity::None: return QStringLiteral("none");
    case TMailSettings::TSecurity::Tls: return QStringLiteral("tls");
    default: return QStringLiteral("starttls");
    }
}
} // namespace

bool TMailSettings::Read(const std::function<QString(const QString &key)> &value, TMailSettings &s, QString &error)
{
    static const QRegularExpression hostName(QStringLiteral("^([A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?|[0-9A-Fa-f:.]*:[0-9A-Fa-f:.]*)$"));
    s = TMailSettings();
    s.Server = value(QStringLiteral("mail/server")).trimmed();
    if (s.Server.isEmpty()) {
        error = QStringLiteral("informe o servidor de e-mail (SMTP) na chave mail/server do arquivo de configurações");
        return false;
    }
    if (!hostName.match(s.Server).hasMatch()) {
        error = QStringLiteral("mail/server deve ser o nome ou o endereço do servidor de e-mail, sem porta nem esquema, não '%1'").arg(VisibleText(s.Server));
        return false;
    }
    if (!readNumber(value, QStringLiteral("mail/port"), 65535, s.Port, error))
        return false;
    const QString security = value(QStringLiteral("mail/security")).trimmed().toLower();
    if (security.isEmpty())
        s.Security = s.Port == 465 ? TSecurity::Tls : TSecurity::StartTls;
    else if (security == QStringLiteral("none"))
        s.Security = TSecurity::None;
    else if (security == QStringLiteral("starttls"))
        s.Security = TSecurity::StartTls;
    else if (security == QStringLiteral("tls"))
        s.Security = TSecurity::Tls;
    else {
        error = QStringLiteral("mail/security deve ser none, starttls ou tls, não '%1'").arg(VisibleText(security));
        return false;
    }
    s.User = value(QStringLiteral("mail/user"));
    s.Password = value(QStringLiteral("mail/password"));
    if (HasControlCharacter(s.User) || HasControlCharacter(s.Password)) {
        error = QStringLiteral("mail/user e mail/password não podem ter quebras de linha nem outros caracteres de controle");
        return false;
    }
    s.From = value(QStringLiteral("mail/from")).trimmed();
    if (!IsMailAddress(s.From)) {
        error = s.From.isEmpty() ? QStringLiteral("informe o remetente dos e-mails (nome@dominio) na chave mail/from do arquivo de configurações")
                                 : QStringLiteral("mail/from deve ser um endereço nome@dominio, não '%1'").arg(VisibleText(s.From));
        return false;
    }
    return readNumber(value, QStringLiteral("mail/timeout"), 3600, s.TimeoutSeconds, error);
}

int TMailSettings::EffectivePort() const
{
    if (Port)
        return Port;
    return Security == TSecurity::Tls ? 465 : Security == TSecurity::StartTls ? 587 : 25;
}

QString TMailSettings::Shown() const
{
    const QString host = Server.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(Server) : Server;
    return QStringLiteral("%1:%2").arg(host).arg(EffectivePort());
}

QByteArray EncodedSubject(const QString &subject)
{
    bool plain = subject.size() <= 900;
    for (const QChar c : subject)
        plain = plain && c.unicode() >= 0x20 && c.unicode() < 0x7f;
    if (plain)
        return subject.toLatin1();
    // Encoded words of at most 75 characters: 45 bytes of UTF-8 each, never a character cut.
    QList<QByteArray> words;
    QByteArray chunk;
    for (qsizetype i = 0; i < subject.size(); ++i) {
        const qsizetype n = subject.at(i).isHighSurrogate() && i + 1 < subject.size() ? 2 : 1;
        const QByteArray bytes = subject.mid(i, n).toUtf8();
        i += n - 1;
        if (chunk.size() + bytes.size() > 45) {
            words << "=?UTF-8?B?" + chunk.toBase64() + "?=";
            chunk.clear();
        }
        chunk += bytes;
    }
    if (!chunk.isEmpty())
        words << "=?UTF-8?B?" + chunk.toBase64() + "?=";
    return words.join("\r\n ");
}

void SendMail(const TMailSettings &settings, const TMailMessage &message)
{
    const QString server = settings.Shown();
    if (message.To.isEmpty())
        throw EHostError(QStringLiteral("A mensagem de e-mail não tem destinatários."));
    for (const QString &to : message.To)
        if (!IsMailAddress(to))
            throw EHostError(QStringLiteral("O endereço de e-mail '%1' não serve.").arg(VisibleText(to)));
    if (HasControlCharacter(message.Subject))
        throw EHostError(QStringLiteral("O assunto do e-mail não pode ter quebras de linha nem outros caracteres de controle."));
    requireCurl();
    TEasy easy(curl_easy_init());
    if (!easy)
        throw EHostError(QStringLiteral("A biblioteca libcurl não criou a conexão de e-mail."));
    CURL *e = easy.get();

    const QString host = settings.Server.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(settings.Server) : settings.Server;
    const QByteArray url = QStringLiteral("%1://%2:%3/%4")
                               .arg(settings.Security == TMailSettings::TSecurity::Tls ? QStringLiteral("smtps") : QStringLiteral("smtp"), host)
                               .arg(settings.EffectivePort())
                               .arg(ehloName())
                               .toUtf8();
    check(curl_easy_setopt(e, CURLOPT_URL, url.constData()), "URL");
    check(curl_easy_setopt(e, CURLOPT_USE_SSL, static_cast<long>(settings.Security == TMailSettings::TSecurity::None ? CURLUSESSL_NONE : CURLUSESSL_ALL)),
          "TLS");
    const QByteArray user = settings.User.toUtf8(), password = settings.Password.toUtf8();
    if (!settings.User.isEmpty()) {
        check(curl_easy_setopt(e, CURLOPT_USERNAME, user.constData()), "usuário");
        check(curl_easy_setopt(e, CURLOPT_PASSWORD, password.constData()), "senha");
    }
    const long timeout = settings.TimeoutSeconds;
    check(curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L), "sinais");
    check(curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, timeout), "tempo de conexão");
    check(curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeout), "tempo de resposta");
    // A transfer that stalls for as long counts as a server that stopped answering.
    check(curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L), "velocidade mínima");
    check(curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, timeout), "velocidade mínima");
    char errors[CURL_ERROR_SIZE] = {};
    check(curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errors), "erros");
    TTranscript transcript;
    check(curl_easy_setopt(e, CURLOPT_DEBUGFUNCTION, onDebug), "registro");
    check(curl_easy_setopt(e, CURLOPT_DEBUGDATA, &transcript), "registro");
    check(curl_easy_setopt(e, CURLOPT_VERBOSE, 1L), "registro");

    const QByteArray from = '<' + settings.From.toLatin1() + '>';
    check(curl_easy_setopt(e, CURLOPT_MAIL_FROM, from.constData()), "remetente");
    TList recipients;
    for (const QString &to : message.To)
        append(recipients, '<' + to.toLatin1() + '>');
    check(curl_easy_setopt(e, CURLOPT_MAIL_RCPT, recipients.get()), "destinatários");

    TList headers;
    append(headers, dateHeader());
    append(headers, "From: " + settings.From.toLatin1());
    append(headers, "To: " + message.To.join(QStringLiteral(", ")).toLatin1());
    append(headers, "Subject: " + EncodedSubject(message.Subject));
    append(headers, messageId(settings.From));
    check(curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get()), "cabeçalhos");

    TMime mime(curl_mime_init(e));
    if (!mime)
        throw EHostError(QStringLiteral("Não há memória para montar a mensagem de e-mail."));
    curl_mimepart *text = curl_mime_addpart(mime.get());
    QString body = message.Body;
    const QByteArray bodyBytes = body.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\n'), QStringLiteral("\r\n")).toUtf8();
    check(curl_mime_data(text, bodyBytes.constData(), static_cast<size_t>(bodyBytes.size())), "texto");
    check(curl_mime_type(text, "text/plain; charset=utf-8"), "texto");
    check(curl_mime_encoder(text, "quoted-printable"), "texto");
    if (!message.Attachment.isEmpty()) {
        if (!QFileInfo(message.Attachment).isFile())
            throw EHostError(QStringLiteral("O arquivo '%1' não existe para seguir anexo ao e-mail.").arg(message.Attachment));
        curl_mimepart *file = curl_mime_addpart(mime.get());
        check(curl_mime_filedata(file, QFile::encodeName(message.Attachment).constData()), "anexo");
        check(curl_mime_filename(file, nullptr), "anexo"); // the disposition below names it
        check(curl_mime_type(file, mimeTypeOf(message.Attachment).constData()), "anexo");
        check(curl_mime_encoder(file, "base64"), "anexo");
        TList partHeaders;
        append(partHeaders, dispositionOf(message.Attachment));
        check(curl_mime_headers(file, partHeaders.get(), 1), "anexo");
        (void)partHeaders.release(); // the part owns them now
    }
    check(curl_easy_setopt(e, CURLOPT_MIMEPOST, mime.get()), "mensagem");

    const CURLcode code = curl_easy_perform(e);
    if (code == CURLE_OK)
        return;
    const QString said = VisibleText(QString::fromUtf8(transcript.LastCommand)).left(200);
    const QString detail = QString::fromUtf8(errors[0] ? errors : curl_easy_strerror(code)).trimmed();
    // What the server refused, else the last thing it said.
    const QString reply = VisibleText(QString::fromUtf8(transcript.Refused() ? transcript.Refusal : transcript.Reply)).left(400);
    const QString refusedCommand = VisibleText(QString::fromUtf8(transcript.RefusedCommand)).left(200);
    const QString command = refusedCommand.left(4).toUpper();
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
        throw EHostError(QStringLiteral("o servidor de e-mail %1 não respondeu em %2 s (mail/timeout)%3")
                             .arg(server)
                             .arg(settings.TimeoutSeconds)
                             .arg(said.isEmpty() ? QStringLiteral(" depois de aceitar a conexão") : QStringLiteral(" ao comando %1").arg(said)));
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
        throw EHostError(QStringLiteral("não foi possível conectar ao servidor de e-mail %1 (mail/server, mail/port): %2").arg(server, detail));
    case CURLE_LOGIN_DENIED:
        if (transcript.Refused())
            throw EHostError(QStringLiteral("o servidor de e-mail %1 recusou o login de '%2' (mail/user, mail/password): %3").arg(server, settings.User, reply));
        throw EHostError(QStringLiteral("o servidor de e-mail %1 não oferece um login que o host saiba fazer para '%2'; confira mail/user e mail/security (%3)")
                             .arg(server, settings.User, securityKey(settings.Security)));
    case CURLE_USE_SSL_FAILED:
        throw EHostError(QStringLiteral("o servidor de e-mail %1 não oferece STARTTLS; use mail/security=tls, ou none para um servidor sem criptografia: %2")
                             .arg(server, reply.isEmpty() ? detail : reply));
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CACERT_BADFILE:
        throw EHostError(QStringLiteral("a conexão segura com o servidor de e-mail %1 falhou (mail/security=%2): %3").arg(server, securityKey(settings.Security), detail));
    case CURLE_READ_ERROR:
        throw EHostError(QStringLiteral("o arquivo '%1' não pôde ser lido para seguir anexo ao e-mail: %2").arg(message.Attachment, detail));
    default:
        break;
    }
    if (transcript.Refused()) {
        if (command == QStringLiteral("RCPT"))
            throw EHostError(QStringLiteral("o servidor de e-mail %1 recusou o destinatário %2: %3").arg(server, refusedCommand.section(QLatin1Char(':'), 1), reply));
        if (command == QStringLiteral("MAIL"))
            throw EHostError(QStringLiteral("o servidor de e-mail %1 recusou o remetente %2 (mail/from): %3").arg(server, settings.From, reply));
        if (command == QStringLiteral("DATA"))
            throw EHostError(QStringLiteral("o servidor de e-mail %1 recusou a mensagem: %2").arg(server, reply));
        throw EHostError(QStringLiteral("o servidor de e-mail %1 recusou o comando %2: %3").arg(server, refusedCommand, reply));
    }
    throw EHostError(QStringLiteral("o envio pelo servidor de e-mail %1 falhou: %2%3")
                         .arg(server, detail, reply.isEmpty() ? QString() : QStringLiteral(" (última resposta: %1)").arg(reply)));
}
