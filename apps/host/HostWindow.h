#pragma once
#include "data/Database.h"
#include "forms/HostApplication.h"
#include "forms/HostSession.h"
#include "host/HostModules.h"
#include "services/HostContext.h"
#include "ui/Dialogs.h"
#include <QMainWindow>
#include <QMdiArea>
#include <memory>

// The host client's main window: an MDI area and the menu entries the loaded modules registered.
class THostWindow : public QMainWindow {
    Q_OBJECT
public:
    // Opens the business database of the context; raises EHostError when it cannot.
    // The modules must outlive the window: the forms' code is theirs.
    THostWindow(const THostContext &context, THostModules &modules, const THostSession::TOptions &options = {});
    ~THostWindow() override;

    QMdiArea *Area() const { return m_area; }
    TMdiApplication &Application() { return m_session->Application(); }
    // Calls the factory of the screen a loaded module registered, as its menu entry does.
    // Returns false when it failed; the failure was shown.
    bool OpenScreen(const QString &screenCode);
    // Adds the menu entries of the screens registered since the last call.
    void AddScreenEntries();

private:
    QMdiArea *m_area;
    std::unique_ptr<THostSession> m_session;
    THostModules &m_modules;
    QStringList m_entries; // screen codes with a menu entry
    QMenu *m_windowMenu = nullptr;
    TBusyAnimation *m_busy;
};
