#pragma once
#include "Database.h"
#include "HostApplication.h"
#include "HostContext.h"
#include <QMdiArea>
#include <memory>

// One host start-up, shared by rec-host, the screen tests and the benchmarks: the context
// applied, the business database opened and an MDI application over the main window's area,
// each made the process's current one for the session's lifetime. What was current before
// comes back when the session ends, also when a test's assertion ends it early.
class THostSession {
public:
    // How the database is opened: as the operator's own role (the host), or as given (tests).
    enum class TDatabaseLogin { Operator, AsGiven };
    // Raises EHostError when the database cannot be opened; nothing stays installed then.
    THostSession(const THostContext &context, QWidget *mainForm, QMdiArea *area, TDatabaseLogin login = TDatabaseLogin::Operator);
    ~THostSession();
    THostSession(const THostSession &) = delete;
    THostSession &operator=(const THostSession &) = delete;

    const THostContext &Context() const { return m_context; }
    TdtmDBGeral &Database() { return *m_db; }
    TMdiApplication &Application() { return *m_app; }
    // A message about how the database was opened (a URL without the operator, say); empty when none.
    const QString &DatabaseWarning() const { return m_warning; }

private:
    THostContext m_context, m_previousContext;
    QString m_warning;
    std::unique_ptr<TdtmDBGeral> m_db;
    std::unique_ptr<TCurrentDatabaseScope> m_currentDb;
    THostApplication *m_previousApp;
    std::unique_ptr<TMdiApplication> m_app;
};
