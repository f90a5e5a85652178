#include "forms/HostSession.h"

namespace {
// The session's state: what the options give, the report folder and presenter in force otherwise.
TSessionState stateFor(const THostContext &context, const THostSession::TOptions &options)
{
    const TSessionState &before = SessionState();
    TSessionState state;
    state.Context = context;
    state.ReportDir = options.ReportDir.isEmpty() ? before.ReportDir : options.ReportDir;
    state.Presenter = options.Presenter ? options.Presenter : before.Presenter;
    state.PersonAtDialogs = options.PersonAtDialogs;
    state.PersonAtSearchLists = options.PersonAtSearchLists;
    state.PreferencesFile = options.PreferencesFile;
    state.Schedules = options.Schedules;
    return state;
}
} // namespace

THostSession::THostSession(const THostContext &context, QWidget *mainForm, QMdiArea *area, const TOptions &options)
    : m_state(stateFor(context, options)), m_stateInForce(m_state)
{
    m_db = std::make_unique<TdtmDBGeral>();
    const QString target = options.Login == TDatabaseLogin::Operator
                               ? TdtmDBGeral::OperatorTarget(context.Database, context.Operator, context.Password, &m_warning)
                               : context.Database;
    m_db->Open(target);
    m_currentDb = std::make_unique<TCurrentDatabaseScope>(m_db.get());
    m_app = std::make_unique<TMdiApplication>(mainForm, area);
    THostApplication::SetApplication(m_app.get());
}

THostSession::~THostSession()
{
    m_app.reset();
    m_currentDb.reset();
    m_db.reset();
}
