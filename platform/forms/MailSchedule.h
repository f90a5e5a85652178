#pragma once
#include "services/HostContext.h"
#include "services/Session.h"
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>

// How often a scheduled e-mail goes out.
enum class TScheduleFrequency { Daily, Weekdays, Weekly, Monthly };

// One e-mail schedule of a saved criteria set: when it runs, the file's format, the recipients.
struct TMailSchedule {
    QString Name; // the units' name without .timer or .service: "rec11001-envio-vencidos"
    QString Screen, Operator, Criteria;
    TScheduleFrequency Frequency = TScheduleFrequency::Daily;
    int Day = 1; // weekly: 1 (Monday) to 7 (Sunday); monthly: 1 to 28, which every month has
    QTime Time = QTime(7, 0);
    QString Format = QStringLiteral("pdf");
    QStringList Recipients;
    bool SkipEmpty = false;

    // systemd's calendar event ("Mon..Fri *-*-* 07:00:00") and cron's five time fields ("0 7 * * 1-5").
    QString OnCalendar() const;
    QString CronTimes() const;
    // "dias úteis às 07:00", as the dialog lists it.
    QString When() const;
    // Checks the values before anything is written; false with a message.
    bool Check(QString &error) const;
};

// The schedules "Agendar envio..." makes for the person: a systemd user timer and service per
// schedule, in the person's unit folder, that run rec-host --run ... --mail-to ...; where systemd
// is not there, the crontab line that does the same.
class TMailSchedules {
public:
    explicit TMailSchedules(TScheduleSetup setup = SessionState().Schedules);
    QString UnitDir() const;
    // The file the runs read the operator's and the mail server's passwords from.
    QString SettingsFile() const;
    // Where the runs write the file they send: $XDG_DATA_HOME/rec11001/envios.
    QString OutputDir() const;
    bool SystemdAvailable() const;

    // The schedules of the screen and operator, by name.
    QList<TMailSchedule> List(const QString &screen, const QString &op) const;
    // The command a schedule runs, the program first; no password is part of it.
    QStringList Command(const TMailSchedule &s, const THostContext &context) const;
    QString ServiceText(const TMailSchedule &s, const THostContext &context) const;
    QString TimerText(const TMailSchedule &s) const;
    QString CrontabLine(const TMailSchedule &s, const THostContext &context) const;
    // Writes the units under a free name, reloads systemd and starts the timer; returns the
    // schedule with its name. EHostError with what failed, and nothing left behind.
    TMailSchedule Install(TMailSchedule s, const THostContext &context) const;
    // Stops the timer and removes both units.
    void Remove(const QString &name) const;

private:
    TCommandResult Systemctl(const QStringList &arguments) const;
    QString NameFor(const TMailSchedule &s) const;
    void RemoveFiles(const QString &name) const;
    TScheduleSetup m_setup;
};
