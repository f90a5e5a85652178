// The host in a real window on an X display (Xvfb in the test run): a person
// opens the screen from the menu, picks two clients in the search list with
// the keyboard, previews the report, opens a printed receivable with the mouse, finds a
// word with the keyboard, saves a PDF and previews the ABC curve.
// Screenshots of each step go to build/screenshots/.
#include "forms/ReportBaseForm.h"
#include "host/HostWindow.h"
#include "host/LoginDialog.h"
#include "report/ReportDialog.h"
#include "report/ReportPages.h"
#include "report/ReportPreview.h"
#include "services/HostContext.h"
#include "services/MessagePresenter.h"
#include "TestSupport.h"
#include "ui/SearchList.h"
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QScreen>
#include <QTabBar>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>
#include <gtest/gtest.h>
#include <algorithm>
#include <functional>

namespace {
QString shotDir() { return BinDir() + QStringLiteral("/../screenshots"); }

void shoot(const QString &name)
{
    QApplication::processEvents();
    QTest::qWait(300);
    QDir().mkpath(shotDir());
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    EXPECT_TRUE(shot.save(shotDir() + QLatin1Char('/') + name)) << name.toStdString();
}

} // namespace

TEST(PersonAtTheScreen, PicksClientsPreviewsAndSaves)
{
    ASSERT_NE(QGuiApplication::platformName(), QStringLiteral("offscreen")) << "this test needs a real display";
    TTestDatabase data(TBackend::SQLite, 300);
    TServerProcess server(data.Target());
    THostContext ctx;
    ctx.Operator = QStringLiteral("MARIA");
    ctx.Branch = QStringLiteral("0101");
    ctx.ServerHost = QStringLiteral("127.0.0.1");
    ctx.ServerPort = server.Port();
    ctx.ServerObject = QLatin1String(kServerObject);
    ctx.Database = data.Target();
    ctx.FixedToday = QDate(2026, 12, 7);
    TRecordingPresenter messages;
    TPresenterScope scope(messages);

    // The login dialog first: the person types the password and presses Enter.
    bool loggedIn = false;
    const TDialogWait loginWait = WhenShown<TLoginDialog>(
        [](TLoginDialog &login) {
            login.edtSenha->setFocus();
            QTest::keyClicks(login.edtSenha, DemoPassword(QStringLiteral("MARIA")));
            QTest::keyClick(login.edtSenha, Qt::Key_Return);
        },
        loggedIn);
    TLoginDialog login(ctx.Operator, [&ctx](const QString &op, const QString &password) {
        return TLoginDialog::ServerLogin(ctx, op, password);
    });
    ASSERT_EQ(login.exec(), QDialog::Accepted) << messages.Messages.join(QLatin1Char('\n')).toStdString();
    ASSERT_TRUE(loggedIn);
    ctx.Operator = login.Operator();
    ctx.Password = login.Password();

    THostModules modules;
    ASSERT_EQ(modules.Load(), QStringList());
    // A person at the dialogs and the search lists, and the build's layouts.
    THostSession::TOptions person;
    person.ReportDir = BinDir() + QStringLiteral("/../reports");
    THostWindow window(ctx, modules, person);
    window.resize(1400, 860);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    // The menu: a click on "Relatórios", then Enter on "Contas a Receber/Recebidas".
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    QMenuBar *bar = window.menuBar();
    ASSERT_FALSE(bar->actions().isEmpty());
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->actionGeometry(bar->actions().first()).center());
    QTest::qWait(300);
    QMenu *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr) << "the Relatórios menu opened";
    QTest::keyClick(menu, Qt::Key_Down);
    QTest::keyClick(menu, Qt::Key_Return);
    QTest::qWait(500);
    auto *form = window.findChild<TfrmDadosGerRel *>(QStringLiteral("frmRelLancContReceber"));
    ASSERT_NE(form, nullptr);
    shoot(QStringLiteral("person-1-screen.png"));

    // "Dados do Documento", the client "Lista" radio, then F9 opens the search list.
    auto *tabs = form->findChild<QTabBar *>();
    ASSERT_NE(tabs, nullptr);
    QTest::mouseClick(tabs, Qt::LeftButton, Qt::NoModifier, tabs->tabRect(1).center());
    auto *lista = form->findChild<QWidget *>(QStringLiteral("rbtListaClie"));
    ASSERT_NE(lista, nullptr);
    QTest::mouseClick(lista, Qt::LeftButton, Qt::NoModifier, QPoint(8, lista->height() / 2));
    bool picked = false;
    const TDialogWait listWait = WhenShown<TSearchListDialog>(
        [](TSearchListDialog &list) {
            // Type part of a name, Down into the grid, Space marks; twice; then Enter.
            for (const char *name : {"Gisele Esteves", "Construtora Horizonte"}) {
                list.FilterBox()->setFocus();
                list.FilterBox()->selectAll();
                QTest::keyClicks(list.FilterBox(), QString::fromUtf8(name));
                QTest::keyClick(list.FilterBox(), Qt::Key_Down);
                QTest::keyClick(list.Grid(), Qt::Key_Space);
            }
            list.FilterBox()->setFocus();
            list.FilterBox()->selectAll();
            QTest::keyClick(list.FilterBox(), Qt::Key_Backspace);
            shoot(QStringLiteral("person-2-search-list.png"));
            QTest::keyClick(&list, Qt::Key_Return);
        },
        picked);
    QTest::keyClick(lista, Qt::Key_F9);
    ASSERT_TRUE(picked);
    QString clients;
    for (const auto &[name, codes] : form->CodeListValues())
        if (name == QStringLiteral("lstCliente"))
            clients = codes;
    EXPECT_EQ(clients, QStringLiteral("_000021__000006_")) << clients.toStdString();
    EXPECT_EQ(messages.Messages, QStringList());

    // "Visualizar": the preview of the real pages. A double click on a row opens its receivable; then
    // Ctrl+F, a word of the clients' names and Enter mark it on the pages, F3 goes to the next one.
    bool previewed = false, drilled = false;
    QString drilledClient;
    int matches = 0;
    const TDialogWait previewWait = WhenShown<TReportPreviewDialog>(
        [&](TReportPreviewDialog &preview) {
            shoot(QStringLiteral("person-3-preview.png"));
            EXPECT_EQ(preview.ShownPage(), 1);
            QWidget *view = preview.findChild<QWidget *>(QStringLiteral("pagPreview"));
            // The row of a receivable with settlements.
            const QVector<TReportSpot> &spots = preview.Pages().Spots(1);
            const auto row = std::find_if(spots.begin(), spots.end(), [&](const TReportSpot &s) {
                return s.Kind == TReportSpot::Row
                       && QueryInt(data.Target(), QStringLiteral("SELECT COUNT(*) FROM BAIXAREC WHERE NRLANCTOREC = %1")
                                                      .arg(preview.Pages().RowKey(s.First).value(0).toLongLong())) > 0;
            });
            ASSERT_NE(row, spots.end());
            const QString number = preview.Pages().RowKey(row->First).value(0).toString();
            const QPoint at = preview.ViewRect(row->Rect).center().toPoint() - QPoint(qRound(preview.ViewRect(row->Rect).width() / 4), 0);
            QTest::mouseMove(view, at);
            const TDialogWait drillWait = WhenShown<QDialog>(
                [&](QDialog &window) {
                    ASSERT_EQ(window.windowTitle(), QStringLiteral("Conta a Receber"));
                    EXPECT_EQ(window.findChild<QLineEdit *>(QStringLiteral("NRLANCTOREC"))->text(), number);
                    drilledClient = window.findChild<QLineEdit *>(QStringLiteral("CDCLIENTE"))->text();
                    EXPECT_GT(window.findChild<QTableWidget *>(QStringLiteral("tblBaixas"))->rowCount(), 0);
                    shoot(QStringLiteral("person-5-drill-down.png"));
                    window.reject();
                },
                drilled, QStringLiteral("dlgContaReceber"));
            QTest::mouseDClick(view, Qt::LeftButton, Qt::NoModifier, at);
            preview.activateWindow();
            QApplication::setActiveWindow(&preview);
            QTest::qWait(300);
            QTest::keyClick(&preview, Qt::Key_F, Qt::ControlModifier);
            auto *find = preview.findChild<QLineEdit *>(QStringLiteral("edtLocalizar"));
            EXPECT_TRUE(find->hasFocus());
            QTest::keyClicks(find, QStringLiteral("Ltda"));
            QTest::keyClick(find, Qt::Key_Return);
            QTest::keyClick(find, Qt::Key_F3);
            matches = static_cast<int>(preview.Matches().size());
            shoot(QStringLiteral("person-6-search.png"));
            preview.reject();
        },
        previewed);
    QTest::mouseClick(form->sbtPreview, Qt::LeftButton);
    EXPECT_TRUE(previewed);
    EXPECT_TRUE(drilled);
    EXPECT_TRUE(drilledClient.startsWith(QStringLiteral("000021")) || drilledClient.startsWith(QStringLiteral("000006"))) << drilledClient.toStdString();
    EXPECT_GT(matches, 1);
    EXPECT_GT(form->rpddPadrao->LastResult().Pages, 0);

    // "Salvar como" a PDF.
    QTemporaryDir out;
    const QString pdf = out.filePath(QStringLiteral("clientes.pdf"));
    form->svdSaveReport->FileName = pdf;
    QTest::mouseClick(form->sbtSalvarComo, Qt::LeftButton);
    EXPECT_TRUE(QFile::exists(pdf));
    EXPECT_EQ(form->rpddPadrao->LastResult().Output, pdf);
    EXPECT_GT(form->rpddPadrao->LastResult().Rows, 0);

    // The ABC curve with its chart, for every client.
    form->findChild<QWidget *>(QStringLiteral("rbtTodosClie"))->setFocus();
    QTest::mouseClick(form->findChild<QWidget *>(QStringLiteral("rbtTodosClie")), Qt::LeftButton, Qt::NoModifier, QPoint(8, 8));
    form->cbbReportNames->UserSelect(18);
    bool curve = false;
    const TDialogWait curveWait = WhenShown<TReportPreviewDialog>(
        [](TReportPreviewDialog &preview) {
            shoot(QStringLiteral("person-4-curve.png"));
            EXPECT_EQ(preview.ShownPage(), 1);
            preview.reject();
        },
        curve);
    QTest::mouseClick(form->sbtPreview, Qt::LeftButton);
    EXPECT_TRUE(curve);
    EXPECT_EQ(messages.Messages, QStringList());
}
