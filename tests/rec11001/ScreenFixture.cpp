#include "ScreenFixture.h"
#include "ui/Events.h"
#include "ui/SearchList.h"
#include <QApplication>
#include <QMdiSubWindow>

std::unique_ptr<TTestDatabase> ScreenTest::s_db;
TBackend ScreenTest::s_backend = SuiteBackend();
std::unique_ptr<TServerProcess> ScreenTest::s_server;

void ScreenTest::SetUpTestSuite()
{
    s_db = std::make_unique<TTestDatabase>(s_backend, 300);
    s_server = std::make_unique<TServerProcess>(s_db->Target());
    static bool initialised = false;
    if (!initialised) {
        Initialize();
        initialised = true;
    }
}

void ScreenTest::TearDownTestSuite()
{
    s_server.reset();
    s_db.reset();
}

THostContext ScreenTest::Context()
{
    THostContext ctx;
    ctx.Operator = QStringLiteral("MARIA");
    ctx.Password = DemoPassword(ctx.Operator);
    ctx.Branch = QStringLiteral("0101");
    ctx.ServerHost = QStringLiteral("127.0.0.1");
    ctx.ServerPort = s_server->Port();
    ctx.Database = s_db->Target();
    ctx.FixedToday = QDate(2026, 12, 7);
    return ctx;
}

THostContext ScreenTest::ContextAs(const QString &op)
{
    THostContext ctx = Context();
    ctx.Operator = op;
    ctx.Password = DemoPassword(op);
    return ctx;
}

void ScreenTest::Pick(const char *listRadio, const char *button, const QStringList &codes)
{
    Click(listRadio);
    TSearchListScript::PushCodes(codes);
    Click(button);
}

void ScreenTest::SetUp()
{
    m_main = std::make_unique<QMainWindow>();
    m_main->resize(1400, 800);
    m_area = new QMdiArea(m_main.get());
    m_main->setCentralWidget(m_area);
    // The suite's database as given: the tests read every company's rows to compare.
    m_session = std::make_unique<THostSession>(StartContext(), m_main.get(), m_area,
                                               THostSession::TOptions::Scripted(BinDir() + QStringLiteral("/../reports"), &m_messages));
    m_module = &m_session->Database();
    m_app = &m_session->Application();
    m_main->show();
    QApplication::setActiveWindow(m_main.get());
}

void ScreenTest::TearDown()
{
    for (QMdiSubWindow *w : m_area->subWindowList())
        delete w;
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    SetFormCriado(false);
    m_session.reset();
    m_main.reset();
}

bool ScreenTest::Open()
{
    const bool ok = FireEvent([] { CriaRelLancContReceber(); });
    if (Form())
        QApplication::setActiveWindow(m_main.get());
    return ok;
}

void ScreenTest::Click(QWidget *w)
{
    ASSERT_NE(w, nullptr);
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, w->rect().center());
}

void ScreenTest::ClickTab(int index)
{
    // Through the window, as the window system delivers a click.
    QTabBar *bar = Form()->Control<TPageControl>("pgcRelatorio")->tabBar();
    QWidget *top = bar->window();
    ASSERT_NE(top->windowHandle(), nullptr);
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier, bar->mapTo(top, bar->tabRect(index).center()));
}

void ScreenTest::Type(const char *name, const QString &text)
{
    auto *edit = W<QLineEdit>(name);
    ASSERT_NE(edit, nullptr);
    QWidget *page = edit;
    while (page && Form()->Control<TPageControl>("pgcRelatorio")->indexOf(page) < 0)
        page = page->parentWidget();
    if (page)
        Form()->Control<TPageControl>("pgcRelatorio")->SetActivePage(static_cast<TTabSheet *>(page));
    edit->setFocus(Qt::TabFocusReason);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    edit->home(false);
    QTest::keyClicks(edit, text);
}

void ScreenTest::Leave(QWidget *w)
{
    ASSERT_TRUE(w->hasFocus()) << w->objectName().toStdString() << " has no focus";
    Form()->cbbReportNames->setFocus(Qt::TabFocusReason);
}

void ScreenTest::Key(const char *name, int qtKey, Qt::KeyboardModifiers mods)
{
    QWidget *w = W(name);
    QTest::keyClick(w, static_cast<Qt::Key>(qtKey), mods);
}

QStringList ScreenTest::TakeMessages()
{
    QStringList out = m_messages.Messages;
    m_messages.Messages.clear();
    return out;
}
