#pragma once
#include "Database.h"
#include "Dialogs.h"
#include "HostApplication.h"
#include "HostContext.h"
#include "ModuleLoader.h"
#include <QMainWindow>
#include <QMdiArea>
#include <memory>

// The host client's main window: an MDI area and the menu that opens the screen.
class THostWindow : public QMainWindow {
    Q_OBJECT
public:
    // Opens the business database of the context; raises EHostError when it cannot.
    explicit THostWindow(const THostContext &context);
    ~THostWindow() override;

    QMdiArea *Area() const { return m_area; }
    TMdiApplication &Application() { return *m_app; }
    // Loads the module when needed and calls its factory, as the menu entry does.
    // Returns false when it failed; the failure was shown.
    bool OpenReceivables();
    TModuleLoader &Module() { return *m_module; }
    // The module library next to the programs.
    static QString ModuleFile();

private:
    QMdiArea *m_area;
    std::unique_ptr<TdtmDBGeral> m_db;
    std::unique_ptr<TMdiApplication> m_app;
    std::unique_ptr<TModuleLoader> m_module;
    TBusyAnimation *m_busy;
};
