#pragma once
#include "data/Database.h"
#include "forms/HostApplication.h"
#include "forms/ReportBaseForm.h"
#include "services/HostContext.h"
#include "services/Session.h"
#include <QMdiArea>
#include <memory>

// One host start-up, shared by rec-host, its batch runs, the screen tests and the benchmarks.
// The session owns the business database, an MDI application over the main window's area and
// the state the process shares (context, report folder, message presenter, whether a person
// answers the dialogs, the search lists' scripted answers), and puts them in force for its
// lifetime. What was in force before comes back when the session ends, also when a test's
// assertion ends it early.
class THostSession {
public:
    // How the database is opened: as the operator's own role (the host), or as given (tests).
    enum class TDatabaseLogin { Operator, AsGiven };
    struct TOptions {
        TDatabaseLogin Login = TDatabaseLogin::Operator;
        QString ReportDir;                      // empty: the folder in force stays
        TMessagePresenter *Presenter = nullptr; // none: the presenter in force stays
        // Whether a person answers the report dialogs, and the search lists that have no scripted answer.
        bool PersonAtDialogs = true, PersonAtSearchLists = true;
        QString PreferencesFile; // the operators' habits; none: nothing is remembered
        TScheduleSetup Schedules; // where "Agendar envio..." keeps its schedules

        // A batch or scheduled run: nobody at the dialogs; a list without a scripted answer is cancelled.
        static TOptions Unattended()
        {
            TOptions o;
            o.PersonAtDialogs = o.PersonAtSearchLists = false;
            return o;
        }
        // Tests and benchmarks: the database as given, their own report folder and presenter, no
        // person at the report dialogs; search lists without an answer still open.
        static TOptions Scripted(const QString &reportDir, TMessagePresenter *presenter)
        {
            TOptions o;
            o.Login = TDatabaseLogin::AsGiven;
            o.ReportDir = reportDir;
            o.Presenter = presenter;
            o.PersonAtDialogs = false;
            return o;
        }
    };
    // Raises EHostError when the database cannot be opened; nothing stays installed then.
    THostSession(const THostContext &context, QWidget *mainForm, QMdiArea *area, const TOptions &options);
    THostSession(const THostContext &context, QWidget *mainForm, QMdiArea *area) : THostSession(context, mainForm, area, TOptions{}) {}
    ~THostSession();
    THostSession(const THostSession &) = delete;
    THostSession &operator=(const THostSession &) = delete;

    const THostContext &Context() const { return m_state.Context; }
    TSessionState &State() { return m_state; }
    TdtmDBGeral &Database() { return *m_db; }
    TMdiApplication &Application() { return *m_app; }
    // A message about how the database was opened (a URL without the operator, say); empty when none.
    const QString &DatabaseWarning() const { return m_warning; }

private:
    TSessionState m_state;
    TSessionStateScope m_stateInForce;
    QString m_warning;
    std::unique_ptr<TdtmDBGeral> m_db;
    std::unique_ptr<TCurrentDatabaseScope> m_currentDb;
    std::unique_ptr<TMdiApplication> m_app;
};
