#include "forms/HostSession.h"

THostSession::THostSession(const THostContext &context, QWidget *mainForm, QMdiArea *area, const TOptions &options)
    : m_dialogs(options.PersonAtDialogs), m_answers(options.PersonAtSearchLists), m_context(context),
      m_previousApp(THostApplication::Application())
{
    if (options.Presenter)
        m_presenter = std::make_unique<TPresenterScope>(*options.Presenter);
    if (!options.ReportDir.isEmpty())
        m_reportDir = std::make_unique<TfrmDadosGerRel::TReportDirScope>(options.ReportDir);
    m_db = std::make_unique<TdtmDBGeral>();
    const QString target = options.Login == TDatabaseLogin::Operator
                               ? TdtmDBGeral::OperatorTarget(context.Database, context.Operator, context.Password, &m_warning)
                               : context.Database;
    m_db->Open(target);
    m_contextScope = std::make_unique<THostContextScope>(context);
    m_currentDb = std::make_unique<TCurrentDatabaseScope>(m_db.get());
    m_app = std::make_unique<TMdiApplication>(mainForm, area);
    THostApplication::SetApplication(m_app.get());
}

THostSession::~THostSession()
{
    m_app.reset();
    THostApplication::SetApplication(m_previousApp);
    m_currentDb.reset();
    m_db.reset();
    m_contextScope.reset();
}
