#pragma once
#include "mail/SmtpMail.h"
#include "services/HostContext.h"
#include <QString>
#include <QMap>
#include <optional>

// A report run without the screen, for cron or a timer: logs in, opens the screen offscreen,
// loads the operator's saved criteria by name, selects the layout and saves the report to a file.
class TScheduledRun {
public:
    enum ExitCode { Ok = 0, HostFailed = 1, BadArguments = 2, ReportFailed = 3, MailFailed = 4 };

    THostContext Context;
    QString Screen;
    QString Criteria;
    // Index in the screen's layout list; unset: the layout saved with the criteria.
    std::optional<int> Layout;
    // Its extension picks the format: pdf, csv, html or xlsx.
    QString Output;
    // Answers to the parameters the layout asks for, over the saved ones (--param NAME=VALUE).
    QMap<QString, QString> LayoutParams;
    // Reads one --param NAME=VALUE; false with a message.
    bool AddParam(const QString &assignment, QString &error);

    // The written report by e-mail (--mail-to): its recipients, its subject (empty: the layout's
    // title and the day), whether a report without rows goes unsent, and the server.
    QStringList MailTo;
    QString MailSubject;
    bool SkipEmpty = false;
    TMailSettings Mail;
    // What a run that ended well did besides writing the file ("enviado para ..."); empty: nothing.
    QString Notice;

    // Checks the arguments before anything runs; false with a message.
    bool Check(QString &error) const;
    // Returns the program's exit code; error holds the message of a failure.
    int Run(QString &error);
    // The message that carries the written report: which report, which criteria, how many rows.
    TMailMessage Message(const QString &title, qint64 rows, const QStringList &criteriaLines) const;
};
