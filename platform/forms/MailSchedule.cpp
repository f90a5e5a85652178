#include "forms/MailSchedule.h"
#include "data/Exceptions.h"
#include "forms/ReportBaseForm.h"
#include "services/InstallPaths.h"
#include "services/MailAddress.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

namespace {
const QString kPrefix = QStringLiteral("rec11001-envio-");
const QString kSection = QStringLiteral("[X-Rec11001]");

const char *const kFrequencyKeys[] = {"daily", "weekdays", "weekly", "monthly"};
const char *const kSystemdDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
const QStringList &weekdayNames()
{
    static const QStringList names{QStringLiteral("segunda-feira"), QStringLiteral("terça-feira"), QStringLiteral("quarta-feira"),
                                   QStringLiteral("quinta-feira"),  QStringLiteral("sexta-feira"), QStringLiteral("sábado"),
                                   QStringLiteral("domingo")};
    return names;
}

// One argument of ExecStart=: in double quotes, with systemd's escapes, specifiers and variables kept literal.
QString systemdWord(QString arg)
{
    arg.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('"'), QStringLiteral("\\\""));
    arg.replace(QLatin1Char('%'), QStringLiteral("%%")).replace(QLatin1Char('$'), QStringLiteral("$$"));
    return QLatin1Char('"') + arg + QLatin1Char('"');
}

// One argument of a crontab command: in single quotes for the shell, cron's % escaped.
QString shellWord(QString arg)
{
    arg.replace(QLatin1Char('\''), QStringLiteral("'\\''")).replace(QLatin1Char('%'), QStringLiteral("\\%"));
    return QLatin1Char('\'') + arg + QLatin1Char('\'');
}

// The database as the run reaches it: a PostgreSQL URL without user and password (the run logs
// in as the operator's role with the password of the settings file), a SQLite file by its full path.
QString scheduledDatabase(const QString &target)
{
    if (target.startsWith(QStringLiteral("postgres://")) || target.startsWith(QStringLiteral("postgresql://"))) {
        QUrl url(target);
        url.setUserInfo(QString());
        return url.toString();
    }
    return QFileInfo(target).absoluteFilePath();
}

QString description(const TMailSchedule &s)
{
    return QStringLiteral("Contas a Receber/Recebidas: \"%1\" por e-mail, %2").arg(s.Criteria, s.When()).replace(QLatin1Char('%'), QStringLiteral("%%"));
}

TCommandResult runCommand(const QString &program, const QStringList &arguments)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    TCommandResult result;
    if (!p.waitForStarted(10000)) {
        result.Output = p.errorString();
        return result;
    }
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(5000);
        result.Output = QStringLiteral("não terminou em 60 s");
        return result;
    }
    result.ExitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    result.Output = QString::fromLocal8Bit(p.readAll()).trimmed();
    return result;
}

void writeFile(const QString &path, const QString &text)
{
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(text.toUtf8()) < 0 || !out.commit())
        throw EHostError(QStringLiteral("Não foi possível gravar '%1': %2. O envio não foi agendado.").arg(path, out.errorString()));
}
} // namespace

QString TMailSchedule::OnCalendar() const
{
    const QString at = Time.toString(QStringLiteral("HH:mm:00"));
    switch (Frequency) {
    case TScheduleFrequency::Weekdays: return QStringLiteral("Mon..Fri *-*-* %1").arg(at);
    case TScheduleFrequency::Weekly: return QStringLiteral("%1 *-*-* %2").arg(QLatin1String(kSystemdDays[Day - 1]), at);
    case TScheduleFrequency::Monthly: return QStringLiteral("*-*-%1 %2").arg(Day, 2, 10, QLatin1Char('0')).arg(at);
    default: return QStringLiteral("*-*-* %1").arg(at);
    }
}

QString TMailSchedule::CronTimes() const
{
    const QString at = QStringLiteral("%1 %2").arg(Time.minute()).arg(Time.hour());
    switch (Frequency) {
    case TScheduleFrequency::Weekdays: return at + QStringLiteral(" * * 1-5");
    case TScheduleFrequency::Weekly: return at + QStringLiteral(" * * %1").arg(Day % 7);
    case TScheduleFrequency::Monthly: return at + QStringLiteral(" %1 * *").arg(Day);
    default: return at + QStringLiteral(" * * *");
    }
}

QString TMailSchedule::When() const
{
    const QString at = Time.toString(QStringLiteral("HH:mm"));
    switch (Frequency) {
    case TScheduleFrequency::Weekdays: return QStringLiteral("dias úteis (segunda a sexta) às %1").arg(at);
    case TScheduleFrequency::Weekly:
        return QStringLiteral("%1 %2 às %3").arg(Day >= 6 ? QStringLiteral("todo") : QStringLiteral("toda"), weekdayNames().value(Day - 1), at);
    case TScheduleFrequency::Monthly: return QStringLiteral("todo dia %1 às %2").arg(Day).arg(at);
    default: return QStringLiteral("todos os dias às %1").arg(at);
    }
}

bool TMailSchedule::Check(QString &error) const
{
    if (Criteria.trimmed().isEmpty())
        error = QStringLiteral("Escolha os critérios salvos do envio.");
    else if (HasControlCharacter(Criteria) || HasControlCharacter(Screen) || HasControlCharacter(Operator))
        error = QStringLiteral("Os critérios \"%1\" têm uma quebra de linha no nome; salve-os com outro nome para agendar o envio.").arg(VisibleText(Criteria));
    else if (Frequency == TScheduleFrequency::Weekly && (Day < 1 || Day > 7))
        error = QStringLiteral("Escolha o dia da semana do envio.");
    else if (Frequency == TScheduleFrequency::Monthly && (Day < 1 || Day > 28))
        error = QStringLiteral("O dia do mês do envio vai de 1 a 28, que todo mês tem.");
    else if (!Time.isValid())
        error = QStringLiteral("Informe o horário do envio.");
    else if (!QStringList{QStringLiteral("pdf"), QStringLiteral("csv"), QStringLiteral("xlsx"), QStringLiteral("html")}.contains(Format))
        error = QStringLiteral("O formato do envio deve ser PDF, CSV, XLSX ou HTML.");
    else if (Recipients.isEmpty())
        error = QStringLiteral("Informe ao menos um destinatário (nome@dominio).");
    else {
        for (const QString &r : Recipients)
            if (!IsMailAddress(r)) {
                error = QStringLiteral("O endereço de e-mail '%1' não serve.").arg(VisibleText(r));
                return false;
            }
        return true;
    }
    return false;
}

TMailSchedules::TMailSchedules(TScheduleSetup setup) : m_setup(std::move(setup)) {}

QString TMailSchedules::UnitDir() const
{
    return !m_setup.UnitDir.isEmpty() ? m_setup.UnitDir
                                      : QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/systemd/user");
}

QString TMailSchedules::SettingsFile() const
{
    return QFileInfo(!m_setup.SettingsFile.isEmpty()
                         ? m_setup.SettingsFile
                         : QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/rec11001/rec-host.ini"))
        .absoluteFilePath();
}

QString TMailSchedules::OutputDir() const
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/rec11001/envios");
}

bool TMailSchedules::SystemdAvailable() const
{
    if (m_setup.Systemd)
        return *m_setup.Systemd;
    // Booted with systemd (as sd_booted() tells) and its systemctl at hand.
    return QFileInfo(QStringLiteral("/run/systemd/system")).isDir() && !QStandardPaths::findExecutable(QStringLiteral("systemctl")).isEmpty();
}

QList<TMailSchedule> TMailSchedules::List(const QString &screen, const QString &op) const
{
    QList<TMailSchedule> out;
    const QDir dir(UnitDir());
    for (const QString &timer : dir.entryList({kPrefix + QStringLiteral("*.timer")}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(timer));
        if (!f.open(QIODevice::ReadOnly))
            continue;
        TMailSchedule s;
        s.Name = timer.chopped(6);
        bool inSection = false;
        for (const QString &line : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1Char('[')))
                inSection = line.trimmed() == kSection;
            const qsizetype equals = line.indexOf(QLatin1Char('='));
            if (!inSection || equals < 0)
                continue;
            const QString key = line.left(equals), value = line.mid(equals + 1);
            if (key == QStringLiteral("Screen"))
                s.Screen = value;
            else if (key == QStringLiteral("Operator"))
                s.Operator = value;
            else if (key == QStringLiteral("Criteria"))
                s.Criteria = value;
            else if (key == QStringLiteral("Frequency")) {
                for (int i = 0; i < 4; ++i)
                    if (value == QLatin1String(kFrequencyKeys[i]))
                        s.Frequency = static_cast<TScheduleFrequency>(i);
            } else if (key == QStringLiteral("Day"))
                s.Day = value.toInt();
            else if (key == QStringLiteral("Time"))
                s.Time = QTime::fromString(value, QStringLiteral("HH:mm"));
            else if (key == QStringLiteral("Format"))
                s.Format = value;
            else if (key == QStringLiteral("Recipients"))
                s.Recipients = value.split(QLatin1Char(','), Qt::SkipEmptyParts);
            else if (key == QStringLiteral("SkipEmpty"))
                s.SkipEmpty = value == QStringLiteral("yes");
        }
        if (s.Screen == screen && s.Operator == op)
            out << s;
    }
    return out;
}

QStringList TMailSchedules::Command(const TMailSchedule &s, const THostContext &ctx) const
{
    QStringList args{ProgramPath(QStringLiteral("rec-host"), QStringLiteral("rec-host")),
                     QStringLiteral("--run"), s.Screen, QStringLiteral("--criteria"), s.Criteria,
                     QStringLiteral("--output"), QDir(OutputDir()).filePath(s.Name.mid(kPrefix.size()) + QLatin1Char('.') + s.Format),
                     QStringLiteral("--operator"), s.Operator, QStringLiteral("--branch"), ctx.Branch};
    if (ctx.PerBranch)
        args << QStringLiteral("--per-branch");
    args << QStringLiteral("--server") << QStringLiteral("%1:%2").arg(ctx.ServerHost).arg(ctx.ServerPort) << QStringLiteral("--database")
         << scheduledDatabase(ctx.Database) << QStringLiteral("--date-format") << ctx.DateFormat << QStringLiteral("--settings") << SettingsFile()
         << QStringLiteral("--mail-to") << s.Recipients.join(QLatin1Char(','));
    if (s.SkipEmpty)
        args << QStringLiteral("--skip-empty");
    return args;
}

QString TMailSchedules::ServiceText(const TMailSchedule &s, const THostContext &ctx) const
{
    QStringList words;
    for (const QString &arg : Command(s, ctx))
        words << systemdWord(arg);
    return QStringLiteral("# Made by \"Agendar envio...\" of rec-host (screen %1); removed there.\n"
                          "[Unit]\nDescription=%2\n\n"
                          "[Service]\nType=oneshot\nExecStart=%3\n")
        .arg(s.Screen, description(s), words.join(QLatin1Char(' ')));
}

QString TMailSchedules::TimerText(const TMailSchedule &s) const
{
    // One pass of arg(): a criteria name with "%1" in it stays as it is.
    return QStringLiteral("# Made by \"Agendar envio...\" of rec-host (screen %1); removed there.\n"
                          "[Unit]\nDescription=%2\n\n"
                          "[Timer]\nOnCalendar=%3\nPersistent=true\nUnit=%4.service\n\n"
                          "[Install]\nWantedBy=timers.target\n\n"
                          "%5\nScreen=%1\nOperator=%6\nCriteria=%7\nFrequency=%8\nDay=%9\nTime=%10\nFormat=%11\nRecipients=%12\nSkipEmpty=%13\n")
        .arg(s.Screen, description(s), s.OnCalendar(), s.Name, kSection, s.Operator, s.Criteria,
             QString::fromLatin1(kFrequencyKeys[static_cast<int>(s.Frequency)]), QString::number(s.Day), s.Time.toString(QStringLiteral("HH:mm")),
             s.Format, s.Recipients.join(QLatin1Char(',')), s.SkipEmpty ? QStringLiteral("yes") : QStringLiteral("no"));
}

QString TMailSchedules::CrontabLine(const TMailSchedule &s, const THostContext &ctx) const
{
    TMailSchedule named = s;
    if (named.Name.isEmpty())
        named.Name = NameFor(s); // the name its file takes
    QStringList words;
    for (const QString &arg : Command(named, ctx))
        words << shellWord(arg);
    return s.CronTimes() + QLatin1Char(' ') + words.join(QLatin1Char(' '));
}

QString TMailSchedules::NameFor(const TMailSchedule &s) const
{
    const QString base = kPrefix + TitleSlug(s.Criteria, QLatin1Char('-')).left(40);
    const QDir dir(UnitDir());
    QString name = base;
    for (int n = 2; QFileInfo::exists(dir.filePath(name + QStringLiteral(".timer"))) || QFileInfo::exists(dir.filePath(name + QStringLiteral(".service"))); ++n)
        name = QStringLiteral("%1-%2").arg(base).arg(n);
    return name;
}

TCommandResult TMailSchedules::Systemctl(const QStringList &arguments) const
{
    const QStringList args = QStringList{QStringLiteral("--user")} + arguments;
    return m_setup.Runner ? m_setup.Runner(QStringLiteral("systemctl"), args) : runCommand(QStringLiteral("systemctl"), args);
}

void TMailSchedules::RemoveFiles(const QString &name) const
{
    const QDir dir(UnitDir());
    for (const char *suffix : {".timer", ".service"}) {
        const QString file = dir.filePath(name + QLatin1String(suffix));
        if (QFileInfo::exists(file) && !QFile::remove(file))
            throw EHostError(QStringLiteral("Não foi possível remover '%1'; remova-o à mão e rode systemctl --user daemon-reload.").arg(file));
    }
}

TMailSchedule TMailSchedules::Install(TMailSchedule s, const THostContext &ctx) const
{
    QString error;
    if (!s.Check(error))
        throw EHostError(error);
    for (const QString &folder : {UnitDir(), OutputDir()})
        if (!QDir().mkpath(folder))
            throw EHostError(QStringLiteral("Não foi possível criar a pasta '%1'; o envio não foi agendado.").arg(folder));
    s.Name = NameFor(s);
    const QDir dir(UnitDir());
    const auto undo = [&] {
        RemoveFiles(s.Name);
        Systemctl({QStringLiteral("daemon-reload")});
    };
    try {
        writeFile(dir.filePath(s.Name + QStringLiteral(".service")), ServiceText(s, ctx));
        writeFile(dir.filePath(s.Name + QStringLiteral(".timer")), TimerText(s));
    } catch (const EHostError &) {
        RemoveFiles(s.Name);
        throw;
    }
    for (const QStringList &args : {QStringList{QStringLiteral("daemon-reload")}, QStringList{QStringLiteral("enable"), QStringLiteral("--now"), s.Name + QStringLiteral(".timer")}}) {
        const TCommandResult r = Systemctl(args);
        if (r.ExitCode != 0) {
            undo();
            throw EHostError(QStringLiteral("O envio não foi agendado: 'systemctl --user %1' falhou (código %2): %3")
                                 .arg(args.join(QLatin1Char(' ')))
                                 .arg(r.ExitCode)
                                 .arg(r.Output.isEmpty() ? QStringLiteral("sem mensagem") : r.Output));
        }
    }
    return s;
}

void TMailSchedules::Remove(const QString &name) const
{
    static const QRegularExpression ours(QStringLiteral("^rec11001-envio-[a-z0-9-]+$"));
    if (!ours.match(name).hasMatch())
        throw EHostError(QStringLiteral("'%1' não é um envio agendado por esta tela.").arg(VisibleText(name)));
    const TCommandResult stopped = Systemctl({QStringLiteral("disable"), QStringLiteral("--now"), name + QStringLiteral(".timer")});
    RemoveFiles(name);
    Systemctl({QStringLiteral("daemon-reload")});
    if (stopped.ExitCode != 0)
        throw EHostError(QStringLiteral("Os arquivos do envio %1 foram removidos, mas 'systemctl --user disable --now %1.timer' falhou (código %2): %3")
                             .arg(name)
                             .arg(stopped.ExitCode)
                             .arg(stopped.Output.isEmpty() ? QStringLiteral("sem mensagem") : stopped.Output));
}
