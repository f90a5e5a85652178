#include "host/HostWindow.h"
#include "data/Database.h"
#include "data/Exceptions.h"
#include "services/InstallPaths.h"
#include "ui/Events.h"
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <cstdio>

THostWindow::THostWindow(const THostContext &context, THostModules &modules, const THostSession::TOptions &options) : m_modules(modules)
{
    setObjectName(QStringLiteral("frmPrincipal"));
    setWindowTitle(QStringLiteral("Gestão Empresarial"));
    resize(1360, 760);
    m_area = new QMdiArea(this);
    m_area->setObjectName(QStringLiteral("mdiArea"));
    setCentralWidget(m_area);
    // On PostgreSQL the host reads the database as the operator's own role.
    m_session = std::make_unique<THostSession>(context, this, m_area, options);
    if (!m_session->DatabaseWarning().isEmpty())
        std::fprintf(stderr, "rec-host: %s\n", m_session->DatabaseWarning().toUtf8().constData());
    m_busy = new TBusyAnimation(this);
    AddScreenEntries();
    QMenu *window = m_windowMenu = menuBar()->addMenu(QStringLiteral("&Janela"));
    window->addAction(QStringLiteral("Lado a lado"), m_area, &QMdiArea::tileSubWindows);
    window->addAction(QStringLiteral("Cascata"), m_area, &QMdiArea::cascadeSubWindows);
    // Who and where, kept in the status bar (a passing message does not replace it); the database without its password.
    auto *where = new QLabel(QStringLiteral("Operador: %1   Filial: %2%3   Servidor: %4:%5   Banco: %6")
                                 .arg(context.Operator, context.Branch, context.PerBranch ? QStringLiteral(" (por filial)") : QString(),
                                      context.ServerHost)
                                 .arg(context.ServerPort)
                                 .arg(TdtmDBGeral::ShownTarget(context.Database)),
                             this);
    where->setObjectName(QStringLiteral("lblSessao"));
    statusBar()->addWidget(where, 1);
}

THostWindow::~THostWindow()
{
    // Forms go before the session and the modules that hold their code.
    for (QMdiSubWindow *w : m_area->subWindowList())
        delete w;
    m_session.reset();
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
