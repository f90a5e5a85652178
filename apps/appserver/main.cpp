#include "appserver/AppServer.h"
#include "appserver/RemoteDataModule.h"
#include "data/Database.h"
#include "data/Exceptions.h"
#include "services/HugePages.h"
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QSocketNotifier>
#include <csignal>
#include <limits>
#include <type_traits>
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
    RestartWithHugePages(argv);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("rec-appserver"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Servidor de aplicação %1.").arg(QLatin1String(kServerObject)));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("database"), QStringLiteral("Arquivo SQLite ou URL postgresql:// do banco de negócio."), QStringLiteral("PATH-or-URL")});
    parser.addOption({QStringLiteral("listen"), QStringLiteral("Endereço e porta (porta 0: qualquer porta livre)."), QStringLiteral("HOST:PORT"),
                      QStringLiteral("127.0.0.1:0")});
    parser.addOption({QStringLiteral("max-frame"), QStringLiteral("Tamanho máximo de uma requisição em bytes."), QStringLiteral("BYTES")});
    parser.addOption({QStringLiteral("max-clients"), QStringLiteral("Conexões simultâneas; acima disso a mais ociosa é encerrada (padrão 64)."), QStringLiteral("N")});
    parser.addOption({QStringLiteral("max-input"), QStringLiteral("Bytes de requisições retidos por todas as conexões juntas (padrão 256 MiB)."), QStringLiteral("BYTES")});
    parser.addOption({QStringLiteral("max-pending"), QStringLiteral("Bytes de respostas não lidas por conexão antes de parar de ler dela (padrão 16 MiB)."),
                      QStringLiteral("BYTES")});
    parser.addOption({QStringLiteral("max-curves"), QStringLiteral("Curvas ABC calculadas ao mesmo tempo; as demais aguardam (padrão: núcleos, ao menos 2)."),
                      QStringLiteral("N")});
    parser.addOption({QStringLiteral("frame-timeout"), QStringLiteral("Milissegundos para uma requisição chegar completa (padrão 30000)."), QStringLiteral("MS")});
    parser.addOption({QStringLiteral("piece-bytes"),
                      QStringLiteral("Bytes de cada parte de um pacote grande, enviado enquanto é lido do banco (padrão 1 MiB)."), QStringLiteral("BYTES")});
    parser.addOption({QStringLiteral("send-timeout"),
                      QStringLiteral("Milissegundos de espera pelo cliente enquanto ele não recebe uma resposta em partes (padrão 30000)."),
                      QStringLiteral("MS")});
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
        const QString problem = TrdmRelLancContReceber::AccessSchemaProblem(probe.Database());
        if (!problem.isEmpty())
            return fail(1, problem);
        if (const QString statistics = TrdmRelLancContReceber::RefreshStatistics(probe.Database()); !statistics.isEmpty())
            LogLine(statistics);
    } catch (const EHostError &e) {
        return fail(1, e.Message());
    }

    TAppServer server(database);
    auto number = [&](const char *option, qint64 minimum, qint64 maximum, auto &target) {
        const QString name = QString::fromLatin1(option);
        if (!parser.isSet(name))
            return true;
        bool ok = false;
        const qint64 v = parser.value(name).toLongLong(&ok);
        if (!ok || v < minimum || v > maximum) {
            fail(2, QStringLiteral("--%1 deve ser um número inteiro de %2 a %3").arg(name).arg(minimum).arg(maximum));
            return false;
        }
        target = static_cast<std::remove_reference_t<decltype(target)>>(v);
        return true;
    };
    if (!number("max-frame", 64, 0xffffffffll, server.Limits.MaxFrame) || !number("max-clients", 1, 100000, server.Limits.MaxClients) ||
        !number("max-input", 64, std::numeric_limits<qint64>::max(), server.Limits.MaxBufferedInput) ||
        !number("max-pending", 64, std::numeric_limits<qint64>::max(), server.Limits.MaxPendingReplies) ||
        !number("frame-timeout", 1, 24ll * 3600 * 1000, server.Limits.FrameTimeoutMs) || !number("max-curves", 1, 1024, server.Limits.MaxCurvesAtOnce) ||
        !number("piece-bytes", 64, Wire::kMaxPiece, server.Limits.PieceBytes) || !number("send-timeout", 1, 24ll * 3600 * 1000, server.Limits.SendTimeoutMs))
        return 2;
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
