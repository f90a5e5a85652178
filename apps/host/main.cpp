#include "data/Exceptions.h"
#include "host/Batch.h"
#include "host/HostWindow.h"
#include "host/LoginDialog.h"
#include "host/ScheduledRun.h"
#include "report/ReportDialog.h"
#include "services/HugePages.h"
#include "services/InstallPaths.h"
#include "services/MailAddress.h"
#include "ui/Dialogs.h"
#include <QApplication>
#include <QCommandLineParser>
#include <QDate>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <cstdio>

namespace {
bool hasArgument(int argc, char **argv, const char *name)
{
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], name) == 0)
            return true;
    return false;
}

// rec-host --batch SCRIPT --log LOG: plays the script against the screen without a display.
int runBatch(const QCommandLineParser &parser)
{
    auto fail = [](int code, const QString &msg) {
        std::fprintf(stderr, "rec-host: %s\n", msg.toUtf8().constData());
        return code;
    };
    if (!parser.isSet(QStringLiteral("log")))
        return fail(TBatchRun::BadScript, QStringLiteral("informe o arquivo de registro com --log LOG.json"));
    TBatchRun batch;
    QString error;
    if (!batch.Load(parser.value(QStringLiteral("batch")), error))
        return fail(TBatchRun::BadScript, error);
    const int code = batch.Run(parser.value(QStringLiteral("log")), error);
    if (code != TBatchRun::Ok)
        return fail(code, error);
    return code;
}
} // namespace

int main(int argc, char **argv)
{
    RestartWithHugePages(argv);
    // A batch run and a scheduled run need no display.
    if (hasArgument(argc, argv, "--batch") || hasArgument(argc, argv, "--run"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("rec-host"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Cliente de gestão: abre a tela Contas a Receber/Recebidas."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("settings"), QStringLiteral("Arquivo INI com o contexto de acesso."), QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("operator"), QStringLiteral("Operador."), QStringLiteral("CODE")});
    parser.addOption({QStringLiteral("branch"), QStringLiteral("Filial em processo."), QStringLiteral("CODE")});
    parser.addOption({QStringLiteral("per-branch"), QStringLiteral("O módulo roda por filial.")});
    parser.addOption({QStringLiteral("server"), QStringLiteral("Servidor de aplicação."), QStringLiteral("HOST:PORT")});
    parser.addOption({QStringLiteral("database"), QStringLiteral("Banco de negócio (arquivo SQLite ou URL postgresql://)."), QStringLiteral("PATH-or-URL")});
    parser.addOption({QStringLiteral("date-format"), QStringLiteral("Formato de data curta."), QStringLiteral("FORMAT")});
    parser.addOption({QStringLiteral("open"), QStringLiteral("Abre a tela ao iniciar.")});
    parser.addOption({QStringLiteral("batch"), QStringLiteral("Executa um roteiro de passos sem tela."), QStringLiteral("SCRIPT.json")});
    parser.addOption({QStringLiteral("log"), QStringLiteral("Registro do que a tela fez no roteiro."), QStringLiteral("LOG.json")});
    parser.addOption({QStringLiteral("run"), QStringLiteral("Grava um relatório sem tela, com critérios salvos."), QStringLiteral("SCREEN")});
    parser.addOption({QStringLiteral("criteria"), QStringLiteral("Nome dos critérios salvos do operador na tela."), QStringLiteral("NAME")});
    parser.addOption({QStringLiteral("layout"), QStringLiteral("Relatório da lista, a partir de 0 (sem ele, o dos critérios)."), QStringLiteral("N")});
    parser.addOption({QStringLiteral("output"), QStringLiteral("Arquivo do relatório; a extensão escolhe PDF, CSV, HTML ou XLSX."), QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("param"), QStringLiteral("Resposta a um parâmetro que o relatório pergunta (datas AAAA-MM-DD); repetível."),
                      QStringLiteral("NAME=VALUE")});
    parser.addOption({QStringLiteral("today"), QStringLiteral("Data de hoje para a execução."), QStringLiteral("YYYY-MM-DD")});
    parser.addOption({QStringLiteral("mail-to"), QStringLiteral("Envia o relatório gravado por e-mail a estes endereços (servidor nas chaves mail/ das configurações)."),
                      QStringLiteral("ADDR[,ADDR...]")});
    parser.addOption({QStringLiteral("mail-subject"), QStringLiteral("Assunto do e-mail (sem ele, o título do relatório e o dia)."), QStringLiteral("TEXT")});
    parser.addOption({QStringLiteral("skip-empty"), QStringLiteral("Não envia o e-mail quando o relatório não tem linhas.")});
    parser.process(app);
    if (parser.isSet(QStringLiteral("batch")))
        return runBatch(parser);

    // The command line first, then the settings file named, the person's own file and the
    // machine's (etc/rec11001/rec-host.ini beside the installed tree, /etc when installed in /usr).
    QSettings file(parser.value(QStringLiteral("settings")), QSettings::IniFormat);
    const QString ownFile = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/rec11001/rec-host.ini");
    const QByteArray systemEnv = qgetenv("REC_SYSTEM_SETTINGS");
    const QString systemFile = !systemEnv.isEmpty() ? QString::fromLocal8Bit(systemEnv)
                                                    : ProgramPath(QStringLiteral("../../etc/rec11001/rec-host.ini"), QStringLiteral("/etc/rec11001/rec-host.ini"));
    const QSettings own(ownFile, QSettings::IniFormat), machine(systemFile, QSettings::IniFormat);
    auto setting = [&](const QString &key, const QString &fallback = {}) {
        for (const QSettings *s : {static_cast<const QSettings *>(&file), &own, &machine})
            if (s->contains(key))
                return s->value(key).toString();
        return fallback;
    };
    auto value = [&](const QString &option, const QString &key, const QString &fallback = {}) {
        return parser.isSet(option) ? parser.value(option) : setting(key, fallback);
    };
    THostContext ctx;
    ctx.Operator = value(QStringLiteral("operator"), QStringLiteral("login/operator"));
    // Only from the settings file: a password on the command line is visible to everyone.
    ctx.Password = file.value(QStringLiteral("login/password")).toString();
    ctx.Branch = value(QStringLiteral("branch"), QStringLiteral("login/branch"));
    ctx.PerBranch = parser.isSet(QStringLiteral("per-branch")) || file.value(QStringLiteral("login/perBranch"), false).toBool();
    const QString server = value(QStringLiteral("server"), QStringLiteral("server/address"), QStringLiteral("127.0.0.1:7001"));
    ctx.ServerHost = server.section(QLatin1Char(':'), 0, -2);
    ctx.ServerPort = server.section(QLatin1Char(':'), -1).toInt();
    ctx.Database = value(QStringLiteral("database"), QStringLiteral("database/target"));
    ctx.DateFormat = value(QStringLiteral("date-format"), QStringLiteral("login/dateFormat"), QStringLiteral("dd/MM/yyyy"));
    if (!IsShortDatePattern(ctx.DateFormat)) {
        std::fprintf(stderr, "rec-host: o formato de data '%s' (login/dateFormat) não serve: use dia, mês e ano uma vez cada "
                             "(d ou dd, M ou MM, yy ou yyyy) com um separador / . - ou espaço, como dd/MM/yyyy\n",
                     ctx.DateFormat.toUtf8().constData());
        return TScheduledRun::BadArguments;
    }

    if (parser.isSet(QStringLiteral("today"))) {
        const QDate today = QDate::fromString(parser.value(QStringLiteral("today")), Qt::ISODate);
        if (!today.isValid()) {
            std::fprintf(stderr, "rec-host: --today deve ser uma data AAAA-MM-DD\n");
            return TScheduledRun::BadArguments;
        }
        ctx.FixedToday = today;
    }
    if (parser.isSet(QStringLiteral("run"))) {
        TScheduledRun run;
        run.Context = ctx;
        run.Screen = parser.value(QStringLiteral("run"));
        run.Criteria = parser.value(QStringLiteral("criteria"));
        run.Output = parser.value(QStringLiteral("output"));
        if (parser.isSet(QStringLiteral("layout"))) {
            bool ok = false;
            run.Layout = parser.value(QStringLiteral("layout")).toInt(&ok);
            if (!ok)
                run.Layout = -1; // refused by the check with its message
        }
        QString error;
        auto refuse = [&error] {
            std::fprintf(stderr, "rec-host: %s\n", error.toUtf8().constData());
            return TScheduledRun::BadArguments;
        };
        for (const QString &assignment : parser.values(QStringLiteral("param")))
            if (!run.AddParam(assignment, error))
                return refuse();
        run.MailSubject = parser.value(QStringLiteral("mail-subject"));
        run.SkipEmpty = parser.isSet(QStringLiteral("skip-empty"));
        if (parser.isSet(QStringLiteral("mail-to"))) {
            if (!ParseMailAddresses(parser.values(QStringLiteral("mail-to")), run.MailTo, error))
                return refuse();
            // The mail server's password, as the operator's, only from the settings file named.
            const auto mailSetting = [&](const QString &key) {
                return key == QStringLiteral("mail/password") ? file.value(key).toString() : setting(key);
            };
            if (!TMailSettings::Read(mailSetting, run.Mail, error))
                return refuse();
        }
        const int code = run.Run(error);
        if (code != TScheduledRun::Ok)
            std::fprintf(stderr, "rec-host: %s\n", error.toUtf8().constData());
        else if (!run.Notice.isEmpty())
            std::fprintf(stdout, "rec-host: %s\n", run.Notice.toUtf8().constData());
        return code;
    }

    TDialogPresenter dialogs;
    TPresenterScope scope(dialogs);
    if (ctx.Database.isEmpty() || ctx.ServerPort <= 0) {
        dialogs.ShowError(QStringLiteral("Informe o banco (--database) e o servidor de aplicação (--server HOST:PORTA)."));
        return 1;
    }
    // The modules first: they name the screens, their menu entries and the server object of the login.
    THostModules modules;
    for (const QString &failure : modules.Load())
        dialogs.ShowError(failure);
    ctx.ServerObject = modules.LoginServerObject();
    // One login for the whole host: the settings' password when it is accepted, else the dialog's.
    if (!ctx.Operator.isEmpty() && !ctx.Password.isEmpty()) {
        try {
            OpenHostSession(ctx);
        } catch (const EHostError &e) {
            dialogs.ShowError(e.Message());
            ctx.Password.clear();
        }
    }
    if (ctx.Operator.isEmpty() || ctx.Password.isEmpty()) {
        TLoginDialog login(ctx.Operator, [&ctx](const QString &op, const QString &password) {
            return TLoginDialog::ServerLogin(ctx, op, password, &ctx.SessionTicket);
        });
        if (login.exec() != QDialog::Accepted)
            return 1; // no login, no screen
        ctx.Operator = login.Operator();
        ctx.Password = login.Password();
    }
    std::unique_ptr<THostWindow> window;
    try {
        THostSession::TOptions person;
        person.PreferencesFile = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/rec11001/preferencias.ini");
        // Scheduled e-mails read the passwords from the settings file the host was given, else the person's own.
        if (parser.isSet(QStringLiteral("settings")))
            person.Schedules.SettingsFile = QFileInfo(parser.value(QStringLiteral("settings"))).absoluteFilePath();
        window = std::make_unique<THostWindow>(ctx, modules, person);
    } catch (const EHostError &e) {
        dialogs.ShowError(e.Message());
        return 1;
    }
    window->show();
    // --open: the first screen the modules registered.
    if (parser.isSet(QStringLiteral("open")) && !modules.Screens().isEmpty())
        window->OpenScreen(modules.Screens().first().ScreenCode);
    return app.exec();
}
