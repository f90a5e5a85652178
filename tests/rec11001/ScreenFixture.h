#pragma once
#include "data/Database.h"
#include "forms/HostApplication.h"
#include "forms/HostSession.h"
#include "module/Cli_rec11001.h"
#include "module/Package.h"
#include "services/HostContext.h"
#include "services/MessagePresenter.h"
#include "TestSupport.h"
#include <QMainWindow>
#include <QMdiArea>
#include <QTabBar>
#include <QtTest/QTest>
#include <gtest/gtest.h>

// The screen as the host shows it: a main window with its MDI area, the demo
// database, a real application server, a fixed clock and a message recorder.
class ScreenTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;

    // The host context every test starts from: MARIA at branch 0101 on 07/12/2026.
    static THostContext Context();
    // The context the session starts from; a suite with a database of its own gives its own.
    virtual THostContext StartContext() const { return Context(); }
    // The same context logged in as another demo operator.
    static THostContext ContextAs(const QString &op);
    void ApplyContext(const THostContext &ctx) { SetHostContext(ctx); }
    // Calls the factory as the host's menu does; false when it failed.
    bool Open();
    TfrmRelLancContReceber *Form() const { return frmRelLancContReceber; }
    template <class T = QWidget> T *W(const char *name) const
    {
        T *w = Form()->findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << "no control " << name;
        return w;
    }
    // A user's click at the middle of a control.
    void Click(QWidget *w);
    void Click(const char *name) { Click(W(name)); }
    // A user's click on a page tab.
    void ClickTab(int index);
    // Focus enters the edit and the text is typed key by key.
    void Type(const char *name, const QString &text);
    // The focus leaves the control for the form's report combo box.
    void Leave(QWidget *w);
    void Leave(const char *name) { Leave(W(name)); }
    void Key(const char *name, int qtKey, Qt::KeyboardModifiers mods = Qt::NoModifier);
    // Chooses "Lista" and picks the codes in the search list its button opens.
    void Pick(const char *listRadio, const char *button, const QStringList &codes);
    // Runs a report action as a click on its button does.
    void Action(const char *button) { Click(button); }
    QString ActivePage() const { return Form()->Control<TPageControl>("pgcRelatorio")->ActivePage()->objectName(); }
    QString Focused() const { return Form()->focusWidget() ? Form()->focusWidget()->objectName() : QString(); }
    QStringList TakeMessages();

    // The database a suite runs on; a suite may choose PostgreSQL before it sets up.
    static TBackend s_backend;
    static std::unique_ptr<TTestDatabase> s_db;
    static std::unique_ptr<TServerProcess> s_server;
    std::unique_ptr<QMainWindow> m_main;
    QMdiArea *m_area = nullptr;
    std::unique_ptr<THostSession> m_session;
    TdtmDBGeral *m_module = nullptr;    // the session's
    TMdiApplication *m_app = nullptr;   // the session's
    TRecordingPresenter m_messages;
};
