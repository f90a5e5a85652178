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

THostWindow::THostWindow(const THostContext &context, THostModules &modules) : m_modules(modules)
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
    AddScreenEntries();
    QMenu *window = m_windowMenu = menuBar()->addMenu(QStringLiteral("&Janela"));
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
    THostApplication::SetApplication(nullptr);
    TdtmDBGeral::SetCurrent(nullptr);
}

void THostWindow::AddScreenEntries()
{
    for (const TModuleRecord &m : m_modules.Screens()) {
        if (m_entries.contains(m.ScreenCode) || m.Menu.isEmpty())
            continue;
        QMenu *menu = nullptr;
        for (QAction *a : menuBar()->actions())
            if (a->menu() && a->text() == m.Menu)
                menu = a->menu();
        if (!menu) {
            // Module menus go before the host's own "Janela".
            menu = new QMenu(m.Menu, menuBar());
            menuBar()->insertMenu(m_windowMenu ? m_windowMenu->menuAction() : nullptr, menu);
        }
        QAction *open = menu->addAction(m.Caption);
        open->setObjectName(m.ActionName);
        connect(open, &QAction::triggered, this, [this, code = m.ScreenCode] { OpenScreen(code); });
        m_entries << m.ScreenCode;
    }
}

bool THostWindow::OpenScreen(const QString &screenCode)
{
    return FireEvent([&screenCode] {
        const TModuleRecord module = FindScreen(screenCode);
        if (!module.OpenScreen)
            throw EHostError(QStringLiteral("Nenhum módulo carregado abre a tela %1.").arg(screenCode));
        module.OpenScreen();
    });
}
