#include "HostWindow.h"
#include "InstallPaths.h"
#include "Events.h"
#include "Exceptions.h"
#include <QCoreApplication>
#include <QDir>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <cstdio>

QString THostWindow::ModuleFile()
{
    const QString file = QStringLiteral("libPKG_REC11001.so");
    const QByteArray env = qgetenv("REC_MODULE_DIR");
    if (!env.isEmpty())
        return QDir(QString::fromLocal8Bit(env)).filePath(file);
    return ProgramPath(QStringLiteral("../lib/rec11001/modules/") + file, file);
}

THostWindow::THostWindow(const THostContext &context)
{
    setObjectName(QStringLiteral("frmPrincipal"));
    setWindowTitle(QStringLiteral("Gestão Empresarial"));
    resize(1360, 760);
    SetHostContext(context);
    m_db = std::make_unique<TdtmDBGeral>();
    // On PostgreSQL the host reads the database as the operator's own role.
    QString warning;
    const QString target = TdtmDBGeral::OperatorTarget(context.Database, context.Operator, context.Password, &warning);
    if (!warning.isEmpty())
        std::fprintf(stderr, "rec-host: %s\n", warning.toUtf8().constData());
    m_db->Open(target);
    TdtmDBGeral::SetCurrent(m_db.get());
    m_area = new QMdiArea(this);
    m_area->setObjectName(QStringLiteral("mdiArea"));
    setCentralWidget(m_area);
    m_app = std::make_unique<TMdiApplication>(this, m_area);
    THostApplication::SetApplication(m_app.get());
    m_busy = new TBusyAnimation(this);
    m_module = std::make_unique<TModuleLoader>(ModuleFile());

    QMenu *reports = menuBar()->addMenu(QStringLiteral("&Relatórios"));
    QAction *open = reports->addAction(QStringLiteral("Contas a Receber/Recebidas"));
    open->setObjectName(QStringLiteral("actContasReceber"));
    connect(open, &QAction::triggered, this, [this] { OpenReceivables(); });
    QMenu *window = menuBar()->addMenu(QStringLiteral("&Janela"));
    window->addAction(QStringLiteral("Lado a lado"), m_area, &QMdiArea::tileSubWindows);
    window->addAction(QStringLiteral("Cascata"), m_area, &QMdiArea::cascadeSubWindows);
    statusBar()->showMessage(QStringLiteral("Operador: %1   Filial: %2%3   Servidor: %4:%5")
                                 .arg(context.Operator, context.Branch, context.PerBranch ? QStringLiteral(" (por filial)") : QString(),
                                      context.ServerHost)
                                 .arg(context.ServerPort));
}

THostWindow::~THostWindow()
{
    // Forms go before the module that holds their code.
    for (QMdiSubWindow *w : m_area->subWindowList())
        delete w;
    m_module.reset();
    THostApplication::SetApplication(nullptr);
    TdtmDBGeral::SetCurrent(nullptr);
}

bool THostWindow::OpenReceivables()
{
    return FireEvent([this] {
        m_module->Load();
        m_module->Call("IniProc");
    });
}
