#include "ScreenFixture.h"
#include "SmtpSink.h"
#include "forms/MailScheduleDialog.h"
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QTimer>
#include <QTreeWidget>

namespace {
QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The words of an ExecStart= line, as systemd reads them: double quotes, their backslash escapes,
// and "%%" and "$$" for a literal percent and dollar sign.
QStringList execStartWords(const QString &unit)
{
    QString line;
    for (const QString &l : unit.split(QLatin1Char('\n')))
        if (l.startsWith(QStringLiteral("ExecStart=")))
            line = l.mid(10);
    QStringList words;
    QString word;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted && c == QLatin1Char('\\') && i + 1 < line.size())
            word += line[++i];
        else if (c == QLatin1Char('"')) {
            quoted = !quoted;
            if (!quoted) {
                words << word.replace(QStringLiteral("%%"), QStringLiteral("%")).replace(QStringLiteral("$$"), QStringLiteral("$"));
                word.clear();
            }
        } else if (quoted)
            word += c;
    }
    return words;
}
} // namespace

// rec-host --run with --mail-to against an SMTP sink of the test's own, and the schedules that run it.
class MailDelivery : public ScreenTest {
protected:
    struct TRun {
        int Code = -1;
        QString Out, Err;
    };
    void SetUp() override
    {
        ScreenTest::SetUp();
        ASSERT_TRUE(m_dir.isValid());
        QDir(m_dir.path()).mkpath(QStringLiteral("config/rec11001"));
        m_settings = m_dir.filePath(QStringLiteral("config/rec11001/rec-host.ini"));
    }
    // The operator's settings with the mail server of the sink; `change` alters them.
    void WriteSettings(const TSmtpSink &sink, const std::function<void(QSettings &)> &change = {})
    {
        QFile::remove(m_settings);
        QSettings ini(m_settings, QSettings::IniFormat);
        ini.setValue(QStringLiteral("login/password"), DemoPassword(QStringLiteral("MARIA")));
        ini.setValue(QStringLiteral("mail/server"), QStringLiteral("127.0.0.1"));
        ini.setValue(QStringLiteral("mail/port"), sink.Port());
        ini.setValue(QStringLiteral("mail/security"), QStringLiteral("none"));
        ini.setValue(QStringLiteral("mail/user"), sink.User);
        ini.setValue(QStringLiteral("mail/password"), sink.Password);
        ini.setValue(QStringLiteral("mail/from"), QStringLiteral("contas@empresa.example"));
        ini.setValue(QStringLiteral("mail/timeout"), 2);
        if (change)
            change(ini);
    }
    QProcessEnvironment Environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("REC_REPORT_DIR"), BinDir() + QStringLiteral("/../reports"));
        // Neither the person's nor the machine's settings of this computer.
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("REC_SYSTEM_SETTINGS"), m_dir.filePath(QStringLiteral("nenhum.ini")));
        return env;
    }
    // Runs a program while the sink answers in this thread's event loop.
    TRun Start(const QString &program, const QStringList &args)
    {
        QProcess p;
        p.setProcessEnvironment(Environment());
        p.setWorkingDirectory(m_dir.path());
        QEventLoop loop;
        QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(120000, &loop, &QEventLoop::quit); // only a net under a hung program
        p.start(program, args);
        if (p.waitForStarted(10000) && p.state() != QProcess::NotRunning)
            loop.exec();
        if (p.state() != QProcess::NotRunning) {
            ADD_FAILURE() << program.toStdString() << " did not end";
            p.kill();
            p.waitForFinished();
        }
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError())};
    }
    TRun Run(const QString &criteria, const QString &output, const QStringList &extra)
    {
        return Start(BinDir() + QStringLiteral("/rec-host"),
                     QStringList{QStringLiteral("--run"), QStringLiteral("REC11001"), QStringLiteral("--criteria"), criteria, QStringLiteral("--layout"),
                                 QStringLiteral("0"), QStringLiteral("--output"), output, QStringLiteral("--operator"), QStringLiteral("MARIA"),
                                 QStringLiteral("--branch"), QStringLiteral("0101"), QStringLiteral("--server"),
                                 QStringLiteral("127.0.0.1:%1").arg(s_server->Port()), QStringLiteral("--database"), HostDatabase(*s_db),
                                 QStringLiteral("--today"), QStringLiteral("2026-12-07"), QStringLiteral("--settings"), m_settings} +
                         extra);
    }
    void Save(const QString &name)
    {
        Form()->CriteriaAnswers = {{name}};
        Form()->actSalvarCriterios->trigger();
    }
    // The screen with a net-value range, saved as "Agendado"; the rows and criteria words of its report.
    void SaveScheduled(qint64 &rows, QStringList &words)
    {
        ASSERT_TRUE(Open());
        Type("nedValor1", QStringLiteral("100"));
        Type("nedValor2", QStringLiteral("900000"));
        Leave("nedValor2");
        Save(QStringLiteral("Agendado"));
        Form()->ReportOutput = m_dir.filePath(QStringLiteral("tela.csv"));
        Click("sbtSalvarComo");
        ASSERT_EQ(TakeMessages(), QStringList());
        rows = Form()->rpddPadrao->LastResult().Rows;
        words = Form()->EmissionOptionLines();
        ASSERT_GT(rows, 0);
    }
    static QString Text(const TReceivedMessage &m) { return m.Parts.isEmpty() ? QString() : QString::fromUtf8(m.Parts[0].Body); }

    QTemporaryDir m_dir;
    QString m_settings;
};

TEST_F(MailDelivery, TheWrittenReportGoesOutAsItsAttachmentWithItsCriteriaAndRows)
{
    qint64 rows = 0;
    QStringList words;
    SaveScheduled(rows, words);
    ASSERT_TRUE(words.contains(QStringLiteral("Valor líquido: de 100,00 a 900.000,00"))) << words.join(QLatin1Char('|')).toStdString();
    TSmtpSink sink;
    WriteSettings(sink);
    const QString accented = QStringLiteral("Relatório diário — contas a receber de São Paulo, Ribeirão Preto e Florianópolis, com vencimento na semana");
    const struct {
        const char *Format, *Mechanism, *Type;
        QString Subject;
    } cases[] = {{"pdf", "PLAIN", "application/pdf", {}},
                 {"csv", "PLAIN", "text/csv; charset=utf-8", accented},
                 {"xlsx", "LOGIN", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet", {}}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Format);
        sink.Mechanisms = QString::fromLatin1(c.Mechanism);
        const QString output = m_dir.filePath(QStringLiteral("agendado.%1").arg(QLatin1String(c.Format)));
        QStringList extra{QStringLiteral("--mail-to"), QStringLiteral("ana@empresa.example,bruno@empresa.example")};
        if (!c.Subject.isEmpty())
            extra << QStringLiteral("--mail-subject") << c.Subject;
        const qsizetype before = sink.Mails.size();
        const TRun r = Run(QStringLiteral("Agendado"), output, extra);
        ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
        EXPECT_TRUE(r.Out.contains(QStringLiteral("relatório enviado para ana@empresa.example, bruno@empresa.example"))) << r.Out.toStdString();
        ASSERT_EQ(sink.Mails.size(), before + 1);
        EXPECT_EQ(sink.Logins.last(), QStringLiteral("%1 relatorios").arg(QLatin1String(c.Mechanism)));
        const TSmtpSink::TMail &mail = sink.Mails.last();
        EXPECT_EQ(mail.From, QStringLiteral("contas@empresa.example"));
        EXPECT_EQ(mail.Recipients, (QStringList{QStringLiteral("ana@empresa.example"), QStringLiteral("bruno@empresa.example")}));
        const TReceivedMessage m = TReceivedMessage::Parse(mail.Data);
        EXPECT_EQ(m.Headers.value(QStringLiteral("to")), QStringLiteral("ana@empresa.example, bruno@empresa.example"));
        EXPECT_EQ(m.Headers.value(QStringLiteral("from")), QStringLiteral("contas@empresa.example"));
        EXPECT_EQ(m.Subject(), c.Subject.isEmpty() ? QStringLiteral("Contas a Receber por Vencimento - 07/12/2026") : c.Subject);
        EXPECT_FALSE(m.Headers.value(QStringLiteral("date")).isEmpty());
        EXPECT_TRUE(m.Headers.value(QStringLiteral("message-id")).endsWith(QStringLiteral("@empresa.example>")));
        ASSERT_EQ(m.Parts.size(), 2) << mail.Data.left(3000).toStdString();
        EXPECT_EQ(m.Parts[0].Headers.value(QStringLiteral("content-type")), QStringLiteral("text/plain; charset=utf-8"));
        const QString body = Text(m);
        EXPECT_TRUE(body.contains(QStringLiteral("Relatório: Contas a Receber por Vencimento\r\n"))) << body.toStdString();
        EXPECT_TRUE(body.contains(QStringLiteral("Critérios salvos: Agendado (operador MARIA, filial 0101)")));
        EXPECT_TRUE(body.contains(QStringLiteral("Linhas: %1\r\n").arg(rows))) << body.toStdString();
        EXPECT_TRUE(body.contains(QStringLiteral("Opções de Emissão:\r\n")));
        for (const QString &w : words)
            EXPECT_TRUE(body.contains(QStringLiteral("  %1\r\n").arg(w))) << w.toStdString();
        EXPECT_FALSE(body.contains(QStringLiteral("não tem linhas")));
        EXPECT_EQ(m.Parts[1].Headers.value(QStringLiteral("content-type")), QLatin1String(c.Type));
        EXPECT_EQ(m.Parts[1].Headers.value(QStringLiteral("content-disposition")), QStringLiteral("attachment; filename=\"agendado.%1\"").arg(QLatin1String(c.Format)));
        const QByteArray written = readAll(output);
        ASSERT_GT(written.size(), 100);
        EXPECT_TRUE(m.Parts[1].Body == written) << "the attachment differs from the file --output wrote";
    }

    // A report without rows goes out saying so, unless --skip-empty.
    Type("depVenIni", QStringLiteral("01012001"));
    Type("depVenFin", QStringLiteral("02012001"));
    Leave("depVenFin");
    Save(QStringLiteral("Vazio"));
    ASSERT_EQ(TakeMessages(), QStringList());
    const QString empty = m_dir.filePath(QStringLiteral("vazio.pdf"));
    TRun r = Run(QStringLiteral("Vazio"), empty, {QStringLiteral("--mail-to"), QStringLiteral("ana@empresa.example")});
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    ASSERT_EQ(sink.Mails.size(), 4);
    const TReceivedMessage none = TReceivedMessage::Parse(sink.Mails.last().Data);
    EXPECT_TRUE(Text(none).contains(QStringLiteral("Linhas: 0\r\n"))) << Text(none).toStdString();
    EXPECT_TRUE(Text(none).contains(QStringLiteral("O relatório não tem linhas para estes critérios; o arquivo segue anexo assim mesmo.")));
    ASSERT_EQ(none.Parts.size(), 2);
    EXPECT_TRUE(none.Parts[1].Body == readAll(empty));
    const int connections = sink.Connections;
    QFile::remove(empty);
    r = Run(QStringLiteral("Vazio"), empty, {QStringLiteral("--mail-to"), QStringLiteral("ana@empresa.example"), QStringLiteral("--skip-empty")});
    EXPECT_EQ(r.Code, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Out.contains(QStringLiteral("nada foi enviado (--skip-empty)"))) << r.Out.toStdString();
    EXPECT_TRUE(QFileInfo::exists(empty));
    EXPECT_EQ(sink.Connections, connections);
    EXPECT_EQ(sink.Mails.size(), 4);
}

TEST_F(MailDelivery, AFailedDeliveryHasItsOwnExitCodeNamesTheAnswerAndKeepsTheFile)
{
    qint64 rows = 0;
    QStringList words;
    SaveScheduled(rows, words);
    TSmtpSink sink;
    WriteSettings(sink);
    const QString output = m_dir.filePath(QStringLiteral("falha.csv"));
    const QStringList both{QStringLiteral("--mail-to"), QStringLiteral("ana@empresa.example,ninguem@empresa.example")};
    auto failed = [&](const TRun &r, const QString &expected) {
        EXPECT_EQ(r.Code, 4) << r.Err.toStdString();
        EXPECT_TRUE(r.Err.contains(expected)) << r.Err.toStdString();
        EXPECT_TRUE(r.Err.contains(QStringLiteral("O relatório ficou gravado em '%1'").arg(output))) << r.Err.toStdString();
        EXPECT_TRUE(readAll(output).count('\n') > 1);
        QFile::remove(output);
    };

    sink.RefusedRecipients = {QStringLiteral("ninguem@empresa.example")};
    TRun r = Run(QStringLiteral("Agendado"), output, both);
    failed(r, QStringLiteral("o servidor de e-mail 127.0.0.1:%1 recusou o destinatário <ninguem@empresa.example>: 550 5.1.1").arg(sink.Port()));
    EXPECT_TRUE(r.Err.contains(QStringLiteral("User unknown in local recipient table"))) << r.Err.toStdString();
    EXPECT_TRUE(sink.Mails.isEmpty());

    WriteSettings(sink, [](QSettings &ini) { ini.setValue(QStringLiteral("mail/password"), QStringLiteral("senha-errada")); });
    const qsizetype logins = sink.Logins.size();
    r = Run(QStringLiteral("Agendado"), output, both);
    failed(r, QStringLiteral("recusou o login de 'relatorios' (mail/user, mail/password): 535 5.7.8 Error: authentication failed"));
    EXPECT_FALSE(r.Err.contains(QStringLiteral("senha-errada"))) << r.Err.toStdString();
    EXPECT_EQ(sink.Logins.size(), logins);

    // Without mail/user no login is tried, and this server asks for one.
    WriteSettings(sink, [](QSettings &ini) { ini.remove(QStringLiteral("mail/user")); });
    r = Run(QStringLiteral("Agendado"), output, both);
    failed(r, QStringLiteral("recusou o remetente contas@empresa.example (mail/from): 530 5.7.0 Authentication required"));

    // By default the login waits for STARTTLS, which this server does not offer: nothing goes out in clear.
    WriteSettings(sink, [](QSettings &ini) { ini.remove(QStringLiteral("mail/security")); });
    r = Run(QStringLiteral("Agendado"), output, both);
    failed(r, QStringLiteral("o servidor de e-mail 127.0.0.1:%1 não oferece STARTTLS").arg(sink.Port()));
    EXPECT_EQ(sink.Logins.size(), logins);

    TSmtpSink silent;
    silent.Silent = true;
    WriteSettings(silent);
    r = Run(QStringLiteral("Agendado"), output, both);
    failed(r, QStringLiteral("o servidor de e-mail 127.0.0.1:%1 não respondeu em 2 s (mail/timeout)").arg(silent.Port()));
    EXPECT_EQ(silent.Connections, 1);

    quint16 closed = 0;
    {
        TSmtpSink gone;
        closed = gone.Port();
    }
    WriteSettings(sink, [closed](QSettings &ini) { ini.setValue(QStringLiteral("mail/port"), closed); });
    r = Run(QStringLiteral("Agendado"), output, both);
    failed(r, QStringLiteral("não foi possível conectar ao servidor de e-mail 127.0.0.1:%1").arg(closed));

    // What would put a header of its own into the message, and settings that do not serve, run nothing.
    WriteSettings(sink);
    const int connections = sink.Connections;
    const std::vector<std::pair<QStringList, QString>> refused = {
        {{QStringLiteral("--mail-to"), QStringLiteral("ana@empresa.example"), QStringLiteral("--mail-subject"), QStringLiteral("Vencidos\r\nBcc: fora@outro.example")},
         QStringLiteral("'Vencidos\\r\\nBcc: fora@outro.example'")},
        {{QStringLiteral("--mail-to"), QStringLiteral("ana@empresa.example\r\nBcc: fora@outro.example")}, QStringLiteral("não serve")},
        {{QStringLiteral("--mail-to"), QStringLiteral("Ana <ana@empresa.example>")}, QStringLiteral("não serve")},
        {{QStringLiteral("--skip-empty")}, QStringLiteral("só com --mail-to")},
    };
    for (const auto &[extra, expected] : refused) {
        r = Run(QStringLiteral("Agendado"), output, extra);
        EXPECT_EQ(r.Code, 2) << r.Err.toStdString();
        EXPECT_TRUE(r.Err.contains(expected)) << r.Err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(output));
    }
    for (const char *key : {"mail/server", "mail/from"}) {
        WriteSettings(sink, [key](QSettings &ini) { ini.remove(QLatin1String(key)); });
        r = Run(QStringLiteral("Agendado"), output, {QStringLiteral("--mail-to"), QStringLiteral("ana@empresa.example")});
        EXPECT_EQ(r.Code, 2) << r.Err.toStdString();
        EXPECT_TRUE(r.Err.contains(QLatin1String(key))) << r.Err.toStdString();
        EXPECT_FALSE(QFileInfo::exists(output));
    }
    EXPECT_EQ(sink.Connections, connections);
}

// "Agendar envio..." writes a systemd user timer and service into the person's unit folder (here the
// test's), whose command sends the report as --run does; it lists them, removes them, and shows the
// crontab line where systemd is not there. systemctl is the test's recorder.
TEST_F(MailDelivery, TheScheduleDialogInstallsUnitsThatSendTheReportListsAndRemovesThem)
{
    const TEnvScope config("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("config"))));
    const TEnvScope data("XDG_DATA_HOME", QFile::encodeName(m_dir.filePath(QStringLiteral("data"))));
    ASSERT_TRUE(Open());
    const QString name = QStringLiteral("Vencidos \"100%\" da Região $HOME");
    Save(QStringLiteral("Agendado"));
    Type("nedValor1", QStringLiteral("100"));
    Type("nedValor2", QStringLiteral("900000"));
    Leave("nedValor2");
    Save(name);
    ASSERT_EQ(TakeMessages(), QStringList());
    TSmtpSink sink;
    WriteSettings(sink);
    QStringList commands;
    bool refuseEnable = false;
    TScheduleSetup &setup = m_session->State().Schedules;
    setup.Systemd = true;
    setup.Runner = [&](const QString &program, const QStringList &args) {
        commands << (QStringList{program} + args).join(QLatin1Char(' '));
        if (refuseEnable && args.contains(QStringLiteral("enable")))
            return TCommandResult{1, QStringLiteral("Failed to connect to bus: No medium found")};
        return TCommandResult{0, {}};
    };
    const QDir units(m_dir.filePath(QStringLiteral("config/systemd/user")));
    const QString unit = QStringLiteral("rec11001-envio-vencidos-100-da-regiao-home");
    auto ours = [&] { return units.entryList({QStringLiteral("rec11001-envio-*")}, QDir::Files); };
    auto openDialog = [&](const std::function<void(TMailScheduleDialog &)> &script) {
        bool ran = false;
        Form()->MailScheduleScript = [&](TMailScheduleDialog &d) {
            ran = true;
            script(d);
        };
        Form()->actAgendarEnvio->trigger();
        Form()->MailScheduleScript = {};
        EXPECT_TRUE(ran);
    };
    auto choose = [&](QComboBox *box, const QString &text) {
        box->setFocus(Qt::TabFocusReason);
        QTest::keyClick(box, Qt::Key_Home);
        for (int i = 0; i < box->count() && box->currentText() != text; ++i)
            QTest::keyClick(box, Qt::Key_Down);
        EXPECT_EQ(box->currentText(), text);
    };

    openDialog([&](TMailScheduleDialog &d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("Agendar envio"));
        const QString note = d.lblSenhas->text();
        EXPECT_TRUE(note.contains(m_settings) && note.contains(QStringLiteral("login/password")) && note.contains(QStringLiteral("mail/password")))
            << note.toStdString();
        EXPECT_FALSE(note.contains(QStringLiteral("ainda não tem"))) << note.toStdString();
        EXPECT_EQ(d.tvwAgendamentos->topLevelItemCount(), 0);
        choose(d.cbbCriterios, name);
        choose(d.cbbFrequencia, QStringLiteral("Dias úteis (segunda a sexta)"));
        EXPECT_FALSE(d.cbbDiaSemana->isEnabled());
        EXPECT_FALSE(d.spnDiaMes->isEnabled());
        d.tedHorario->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(d.tedHorario, QStringLiteral("07:30"));
        EXPECT_EQ(d.tedHorario->time(), QTime(7, 30));
        choose(d.cbbFormato, QStringLiteral("XLSX"));
        // A list that is not one of addresses installs nothing.
        Type("edtDestinatarios", QStringLiteral("ana@empresa.example; bruno@empresa.example"));
        Click(d.btnAgendar);
        const QStringList shown = TakeMessages();
        ASSERT_EQ(shown.size(), 1);
        EXPECT_TRUE(shown[0].contains(QStringLiteral("'ana@empresa.example; bruno@empresa.example' não serve"))) << shown[0].toStdString();
        EXPECT_EQ(ours(), QStringList());
        EXPECT_EQ(commands, QStringList());

        Type("edtDestinatarios", QStringLiteral("ana@empresa.example, bruno@empresa.example"));
        Click(d.btnAgendar);
        EXPECT_EQ(TakeMessages(), QStringList());
        EXPECT_EQ(commands, (QStringList{QStringLiteral("systemctl --user daemon-reload"), QStringLiteral("systemctl --user enable --now %1.timer").arg(unit)}));
        EXPECT_TRUE(d.lblSituacao->text().contains(QStringLiteral("agendado: dias úteis (segunda a sexta) às 07:30"))) << d.lblSituacao->text().toStdString();
        ASSERT_EQ(d.tvwAgendamentos->topLevelItemCount(), 1);
        const QTreeWidgetItem *item = d.tvwAgendamentos->topLevelItem(0);
        EXPECT_EQ(item->text(0), name);
        EXPECT_EQ(item->text(1), QStringLiteral("dias úteis (segunda a sexta) às 07:30"));
        EXPECT_EQ(item->text(2), QStringLiteral("XLSX"));
        EXPECT_EQ(item->text(3), QStringLiteral("ana@empresa.example, bruno@empresa.example"));
        QDir().mkpath(BinDir() + QStringLiteral("/../screenshots"));
        d.grab().save(BinDir() + QStringLiteral("/../screenshots/agendar-envio.png"));
    });
    ASSERT_EQ(ours(), (QStringList{unit + QStringLiteral(".service"), unit + QStringLiteral(".timer")}));
    const QString service = QString::fromUtf8(readAll(units.filePath(unit + QStringLiteral(".service"))));
    const QString timer = QString::fromUtf8(readAll(units.filePath(unit + QStringLiteral(".timer"))));
    EXPECT_TRUE(timer.contains(QStringLiteral("\nOnCalendar=Mon..Fri *-*-* 07:30:00\nPersistent=true\n"))) << timer.toStdString();
    EXPECT_TRUE(timer.contains(QStringLiteral("\nWantedBy=timers.target\n"))) << timer.toStdString();
    for (const QString &secret : {DemoPassword(QStringLiteral("MARIA")), sink.Password}) {
        EXPECT_FALSE(service.contains(secret));
        EXPECT_FALSE(timer.contains(secret));
    }

    // What systemd would run: the report of the chosen set, by e-mail, with the passwords of the settings file.
    const QStringList words = execStartWords(service);
    ASSERT_GT(words.size(), 2) << service.toStdString();
    EXPECT_EQ(words[0], QDir::cleanPath(BinDir() + QStringLiteral("/rec-host")));
    EXPECT_EQ(words.mid(1, 4), (QStringList{QStringLiteral("--run"), QStringLiteral("REC11001"), QStringLiteral("--criteria"), name}));
    const QString output = words.value(words.indexOf(QStringLiteral("--output")) + 1);
    EXPECT_EQ(output, m_dir.filePath(QStringLiteral("data/rec11001/envios/vencidos-100-da-regiao-home.xlsx")));
    EXPECT_EQ(words.value(words.indexOf(QStringLiteral("--database")) + 1), HostDatabase(*s_db));
    EXPECT_EQ(words.value(words.indexOf(QStringLiteral("--settings")) + 1), m_settings);
    EXPECT_EQ(words.value(words.indexOf(QStringLiteral("--mail-to")) + 1), QStringLiteral("ana@empresa.example,bruno@empresa.example"));
    TRun r = Start(words[0], words.mid(1));
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    ASSERT_EQ(sink.Mails.size(), 1);
    EXPECT_EQ(sink.Mails[0].Recipients, (QStringList{QStringLiteral("ana@empresa.example"), QStringLiteral("bruno@empresa.example")}));
    const TReceivedMessage sent = TReceivedMessage::Parse(sink.Mails[0].Data);
    EXPECT_TRUE(Text(sent).contains(QStringLiteral("Critérios salvos: %1 ").arg(name))) << Text(sent).toStdString();
    ASSERT_EQ(sent.Parts.size(), 2);
    EXPECT_TRUE(sent.Parts[1].Body == readAll(output));

    bool analyzed = false;
    const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
    if (!analyze.isEmpty()) {
        // The person's manager as systemd-analyze makes one, in the test's own folders.
        const QString runtime = m_dir.filePath(QStringLiteral("runtime"));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcess p;
        QProcessEnvironment env = Environment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(analyze, {QStringLiteral("--user"), QStringLiteral("verify"), units.filePath(unit + QStringLiteral(".timer")),
                          units.filePath(unit + QStringLiteral(".service"))});
        ASSERT_TRUE(p.waitForFinished(60000));
        const QString said = QString::fromUtf8(p.readAll()).trimmed();
        EXPECT_EQ(p.exitCode(), 0) << said.toStdString();
        EXPECT_EQ(said, QString()); // not a warning either
        analyzed = true;
    }

    // Opened again, the dialog lists the schedule from its units, and removes it.
    commands.clear();
    openDialog([&](TMailScheduleDialog &d) {
        ASSERT_EQ(d.tvwAgendamentos->topLevelItemCount(), 1);
        EXPECT_FALSE(d.btnRemover->isEnabled());
        QTreeWidgetItem *item = d.tvwAgendamentos->topLevelItem(0);
        QTest::mouseClick(d.tvwAgendamentos->viewport(), Qt::LeftButton, Qt::NoModifier, d.tvwAgendamentos->visualItemRect(item).center());
        ASSERT_TRUE(d.btnRemover->isEnabled());
        Click(d.btnRemover);
        EXPECT_EQ(TakeMessages(), QStringList());
        EXPECT_EQ(d.tvwAgendamentos->topLevelItemCount(), 0);
        EXPECT_TRUE(d.lblSituacao->text().contains(QStringLiteral("removido"))) << d.lblSituacao->text().toStdString();
    });
    EXPECT_EQ(commands, (QStringList{QStringLiteral("systemctl --user disable --now %1.timer").arg(unit), QStringLiteral("systemctl --user daemon-reload")}));
    EXPECT_EQ(ours(), QStringList());

    // A timer systemd does not start leaves no units behind, and says why.
    refuseEnable = true;
    commands.clear();
    openDialog([&](TMailScheduleDialog &d) {
        choose(d.cbbCriterios, QStringLiteral("Agendado"));
        Type("edtDestinatarios", QStringLiteral("ana@empresa.example"));
        Click(d.btnAgendar);
        const QStringList shown = TakeMessages();
        ASSERT_EQ(shown.size(), 1);
        EXPECT_EQ(shown[0], QStringLiteral("O envio não foi agendado: 'systemctl --user enable --now rec11001-envio-agendado.timer' falhou (código 1): "
                                           "Failed to connect to bus: No medium found"));
        EXPECT_EQ(d.tvwAgendamentos->topLevelItemCount(), 0);
    });
    EXPECT_EQ(ours(), QStringList());
    EXPECT_EQ(commands.last(), QStringLiteral("systemctl --user daemon-reload"));

    // Without systemd: the crontab line, which runs the same command; nothing installed.
    setup.Systemd = false;
    commands.clear();
    QString line;
    openDialog([&](TMailScheduleDialog &d) {
        EXPECT_FALSE(d.tvwAgendamentos->isEnabled());
        choose(d.cbbCriterios, name);
        choose(d.cbbFrequencia, QStringLiteral("Todo mês, no dia"));
        ASSERT_TRUE(d.spnDiaMes->isEnabled());
        d.spnDiaMes->setFocus(Qt::TabFocusReason);
        d.spnDiaMes->selectAll();
        QTest::keyClicks(d.spnDiaMes, QStringLiteral("5"));
        EXPECT_EQ(d.spnDiaMes->value(), 5);
        Type("edtDestinatarios", QStringLiteral("carla@empresa.example"));
        d.chkSemLinhas->setFocus(Qt::TabFocusReason);
        QTest::keyClick(d.chkSemLinhas, Qt::Key_Space);
        EXPECT_TRUE(d.chkSemLinhas->isChecked());
        Click(d.btnAgendar);
        EXPECT_EQ(TakeMessages(), QStringList());
        EXPECT_FALSE(d.txtCrontab->isHidden());
        EXPECT_TRUE(d.lblSituacao->text().contains(QStringLiteral("crontab -e"))) << d.lblSituacao->text().toStdString();
        line = d.txtCrontab->toPlainText();
    });
    EXPECT_EQ(commands, QStringList());
    EXPECT_EQ(ours(), QStringList());
    ASSERT_TRUE(line.startsWith(QStringLiteral("0 7 5 * * '"))) << line.toStdString();
    EXPECT_TRUE(line.contains(QStringLiteral(" '--output' '%1' ").arg(m_dir.filePath(QStringLiteral("data/rec11001/envios/vencidos-100-da-regiao-home.pdf")))))
        << line.toStdString();
    EXPECT_TRUE(line.endsWith(QStringLiteral(" '--mail-to' 'carla@empresa.example' '--skip-empty'"))) << line.toStdString();
    EXPECT_FALSE(line.contains(DemoPassword(QStringLiteral("MARIA"))));
    // cron gives the shell the command with its \% as %.
    r = Start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), line.section(QLatin1Char(' '), 5).replace(QStringLiteral("\\%"), QStringLiteral("%"))});
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    ASSERT_EQ(sink.Mails.size(), 2);
    EXPECT_EQ(sink.Mails[1].Recipients, QStringList{QStringLiteral("carla@empresa.example")});
    EXPECT_TRUE(Text(TReceivedMessage::Parse(sink.Mails[1].Data)).contains(QStringLiteral("Critérios salvos: %1 ").arg(name)));

    if (!analyzed)
        GTEST_SKIP() << "systemd-analyze is not installed (scripts/setup installs systemd): the units were not verified";
}
