#pragma once
#include "services/HostContext.h"
#include <QMap>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>

class TMessagePresenter;
class THostApplication;

// What one opening of the search list showed and gave back.
struct TSearchListRun {
    QString Title;
    QString KeyField;
    int Rows = 0;
    QStringList Marked;  // codes already marked when it opened
    bool Confirmed = false;
    QString Codes;       // the code list after it closed
    QStringList Unknown; // pasted codes it did not know, as pasted
};

// A scripted answer for the next search list: a cancel, codes to mark and confirm, or a pasted text.
struct TSearchAnswer {
    bool Cancel = false;
    QStringList Codes;
    std::optional<QString> Paste;
};

// What a command the host ran answered.
struct TCommandResult {
    int ExitCode = -1; // -1: it did not start or did not end
    QString Output;    // its standard output and error
};
using TCommandRunner = std::function<TCommandResult(const QString &program, const QStringList &arguments)>;

// Where the e-mail schedules of "Agendar envio..." go: the folder of the person's systemd units
// (empty: $XDG_CONFIG_HOME/systemd/user), the settings file their runs read the passwords from
// (empty: the person's own, $XDG_CONFIG_HOME/rec11001/rec-host.ini), whether the person's systemd
// runs timers (unset: looked up), and who runs systemctl (none: the real one).
struct TScheduleSetup {
    QString UnitDir;
    QString SettingsFile;
    std::optional<bool> Systemd;
    TCommandRunner Runner;
};

// What the host process shares while a session runs: the logged-in context, the folder of
// the report layouts, where messages go, the application the screens open in, whether a
// person answers the report dialogs and the search lists, and the answers batch runs and
// tests script for the lists and the layouts' questions. The host session owns one and puts
// it in force for its lifetime; the pieces below read the one in force.
struct TSessionState {
    THostContext Context;
    QString ReportDir;                      // empty: REC_REPORT_DIR, or the installed layouts
    TMessagePresenter *Presenter = nullptr; // none: standard error
    THostApplication *Application = nullptr; // the MDI application the screens open in
    bool PersonAtDialogs = true;
    bool PersonAtSearchLists = true;
    std::deque<TSearchAnswer> SearchAnswers;
    std::function<void(const TSearchListRun &)> SearchObserver; // sees every search list run
    // Where each operator's habits are kept (the last folder saved to, the last layout chosen);
    // none: nothing is remembered, as in batch and scheduled runs.
    QString PreferencesFile;
    // Answers for the layout parameter dialogs that open next, by parameter name as a person
    // types them; none stands for "Cancelar".
    std::deque<std::optional<QMap<QString, QString>>> LayoutAskAnswers;
    TScheduleSetup Schedules;
};

// The state in force: the innermost session's, or the defaults outside any.
TSessionState &SessionState();

// Puts a state in force for the scope's lifetime, with its context's date format; the state
// before comes back after it, also when a test's assertion ends the scope early.
class TSessionStateScope {
public:
    explicit TSessionStateScope(TSessionState &state);
    ~TSessionStateScope();
    TSessionStateScope(const TSessionStateScope &) = delete;
    TSessionStateScope &operator=(const TSessionStateScope &) = delete;

private:
    TSessionState *m_previous;
};
