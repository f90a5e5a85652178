#include "AppServer.h"
#include "Database.h"
#include "Exceptions.h"
#include "RemoteDataModule.h"
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_signalPipe[2] = {-1, -1};
void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(g_signalPipe[1], &c, 1);
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("rec-appserver"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Servidor de aplicação Rec11001.rdmRelLancContReceber."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("database"), QStringLiteral("Arquivo SQLite ou URL postgresql:// do banco de negócio."), QStringLiteral("PATH-or-URL")});
    parser.addOption({QStringLiteral("listen"), QStringLiteral("Endereço e porta (porta 0: qualquer porta livre)."), QStringLiteral("HOST:PORT"),
                      QStringLiteral("127.0.0.1:0")});
    parser.addOption({QStringLiteral("max-frame"), QStringLiteral("Tamanho máximo de uma requisição em bytes."), QStringLiteral("BYTES")});
    parser.process(app);

    auto fail = [](int code, const QString &msg) {
        std::fprintf(stderr, "rec-appserver: %s\n", msg.toUtf8().constData());
        return code;
    };
    if (!parser.isSet(QStringLiteral("database")))
        return fail(2, QStringLiteral("informe o banco de dados com --database ARQUIVO ou --database postgresql://..."));
    const QString database = parser.value(QStringLiteral("database"));
    const QString listen = parser.value(QStringLiteral("listen"));
    const qsizetype colon = listen.lastIndexOf(QLatin1Char(':'));
    bool portOk = false;
    const int port = colon > 0 ? listen.mid(colon + 1).toInt(&portOk) : -1;
    const QHostAddress address(colon > 0 ? listen.left(colon) : QString());
    if (!portOk || port < 0 || port > 65535 || address.isNull())
        return fail(2, QStringLiteral("--listen deve ter a forma ENDEREÇO:PORTA, por exemplo 127.0.0.1:7001; recebido '%1'").arg(listen));

    try {
        TdtmDBGeral probe;
        probe.Open(database);
    } catch (const EHostError &e) {
        return fail(1, e.Message());
    }

    TAppServer server(database);
    if (parser.isSet(QStringLiteral("max-frame"))) {
        bool ok = false;
        const uint maxFrame = parser.value(QStringLiteral("max-frame")).toUInt(&ok);
        if (!ok || maxFrame < 64)
            return fail(2, QStringLiteral("--max-frame deve ser um número de bytes (mínimo 64)"));
        server.MaxFrame = maxFrame;
    }
    if (!server.listen(address, static_cast<quint16>(port)))
        return fail(1, QStringLiteral("não foi possível escutar em %1: %2").arg(listen, server.errorString()));

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return fail(1, QStringLiteral("não foi possível preparar o tratamento de sinais"));
    QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
        char c;
        [[maybe_unused]] const auto n = ::read(g_signalPipe[0], &c, 1);
        LogLine(QStringLiteral("encerrando"));
        server.Shutdown();
        app.quit();
    });
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);

    std::printf("listening on %s:%u\n", server.serverAddress().toString().toUtf8().constData(), server.serverPort());
    std::fflush(stdout);
    LogLine(QStringLiteral("%1 registrado; banco %2").arg(QLatin1String(TrdmRelLancContReceber::kRegisteredName), database));
    return app.exec();
}
