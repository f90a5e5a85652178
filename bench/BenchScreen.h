// The screen as the host shows it, for the benchmarks: a main window with its
// MDI area, the database module, a real rec-appserver on loopback and a message
// recorder (nothing modal waits for a person).
#pragma once
#include "BenchSupport.h"
#include "data/Database.h"
#include "forms/HostApplication.h"
#include "forms/HostSession.h"
#include "module/Cli_rec11001.h"
#include "services/MessagePresenter.h"
#include <QMainWindow>
#include <QMdiArea>
#include <memory>

namespace Bench {

class ScreenHost {
public:
    // Starts a rec-appserver on the database and sets up the host as the operator at branch 0101
    // (the demo's MARIA sees companies 01 and 03, ADMIN every company).
    explicit ScreenHost(const QString &database, const QString &op = QStringLiteral("MARIA"));
    ~ScreenHost();
    ScreenHost(const ScreenHost &) = delete;
    ScreenHost &operator=(const ScreenHost &) = delete;
    // Calls the factory as the host's menu does and waits until the form is shown;
    // raises when the form did not open. Returns the seconds it took.
    double Open();
    // Closes the form, as closing its window does.
    void Close();
    TfrmRelLancContReceber *Form() const;
    // A user's click at the middle of one of the form's controls.
    void Click(const char *name);
    // Messages the screen showed since the last call.
    QStringList TakeMessages();
    const Server &AppServer() const { return m_server; }

private:
    Server m_server;
    TRecordingPresenter m_messages;
    std::unique_ptr<TPresenterScope> m_scope;
    std::unique_ptr<QMainWindow> m_main;
    QMdiArea *m_area = nullptr;
    std::unique_ptr<THostSession> m_session;
};

} // namespace Bench
