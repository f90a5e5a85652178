#include "BenchScreen.h"
#include "db/DemoData.h"
#include "host/LoginDialog.h"
#include "module/Package.h"
#include "services/HostContext.h"
#include "ui/Events.h"
#include <QApplication>
#include <QMdiSubWindow>
#include <QtTest/QTest>
#include <stdexcept>

namespace Bench {

ScreenHost::ScreenHost(const QString &database, const QString &op) : m_server(database)
{
    m_scope = std::make_unique<TPresenterScope>(m_messages);
    THostContext ctx;
    ctx.Operator = op;
    ctx.Password = DemoPassword(ctx.Operator);
    ctx.Branch = QStringLiteral("0101");
    ctx.ServerHost = QStringLiteral("127.0.0.1");
    ctx.ServerPort = m_server.Port();
    ctx.ServerObject = QLatin1String(kServerObject);
    ctx.Database = database;
    // The host logs in once; the screens' connections then log in with its session.
    OpenHostSession(ctx);
    Initialize();
    m_main = std::make_unique<QMainWindow>();
    m_main->resize(1400, 800);
    m_area = new QMdiArea(m_main.get());
    m_main->setCentralWidget(m_area);
    m_session = std::make_unique<THostSession>(ctx, m_main.get(), m_area,
                                               THostSession::TOptions::Scripted(QCoreApplication::applicationDirPath() + QStringLiteral("/../reports"), nullptr));
    m_main->show();
    QApplication::setActiveWindow(m_main.get());
}

ScreenHost::~ScreenHost()
{
    Close();
    m_session.reset();
    m_main.reset();
    m_scope.reset();
}

TfrmRelLancContReceber *ScreenHost::Form() const { return frmRelLancContReceber; }

double ScreenHost::Open()
{
    QElapsedTimer t;
    t.start();
    const bool ok = FireEvent([] { CriaRelLancContReceber(); });
    if (!ok || !Form())
        throw std::runtime_error("the form did not open: " + TakeMessages().join(QStringLiteral(" / ")).toStdString());
    // Shown: the window is visible and its first paint has been processed.
    QApplication::processEvents();
    if (!Form()->isVisible())
        throw std::runtime_error("the form was created but not shown");
    const double s = Seconds(t);
    QApplication::setActiveWindow(m_main.get());
    return s;
}

void ScreenHost::Close()
{
    if (!m_area)
        return;
    for (QMdiSubWindow *w : m_area->subWindowList())
        delete w;
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    SetFormCriado(false);
}

void ScreenHost::Click(const char *name)
{
    auto *w = Form()->findChild<QWidget *>(QString::fromLatin1(name));
    if (!w)
        throw std::runtime_error(std::string("the form has no control ") + name);
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, w->rect().center());
}

QStringList ScreenHost::TakeMessages()
{
    QStringList out = m_messages.Messages;
    m_messages.Messages.clear();
    return out;
}

} // namespace Bench
