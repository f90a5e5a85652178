#include "data/Exceptions.h"
#include "forms/HostSession.h"
#include "host/HostWindow.h"
#include "host/ModuleLoader.h"
#include "ScreenFixture.h"
#include "services/Modules.h"
#include "services/Session.h"
#include "ui/Events.h"
#include "ui/SearchList.h"
#include <QLabel>
#include <QMdiSubWindow>
#include <QFile>
#include <QMenuBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QSqlQuery>

using ModulePackage = ScreenTest;

TEST_F(ModulePackage, LoadsAsTheHostDoesAndDescribesItself)
{
    TModuleLoader loader(BinDir() + QStringLiteral("/libPKG_REC11001.so"));
    loader.Load();
    const TPackageDescription &d = loader.Description();
    EXPECT_STREQ(d.Kind, "RunOnly");
    QStringList required, contains;
    for (int i = 0; i < d.RequiredCount; ++i)
        required << QLatin1String(d.Required[i]);
    for (int i = 0; i < d.ContainsCount; ++i)
        contains << QLatin1String(d.Contains[i]);
    EXPECT_EQ(required.size(), 8);
    EXPECT_EQ(required.first(), QStringLiteral("librec_services.so"));
    EXPECT_EQ(required.last(), QStringLiteral("librec_ui.so"));
    EXPECT_EQ(contains, (QStringList{QStringLiteral("PKG_REC11001"), QStringLiteral("Cli_REC11001"), QStringLiteral("SysInit")}));
    for (const char *name : {"CriaRelLancContReceber", "IniProc", "Initialize", "Finalize", "GetPackageInfoTable", "frmRelLancContReceber",
                             "stFilial", "stFilialUso"})
        EXPECT_NO_THROW(loader.Symbol(name)) << name;
    const auto *table = reinterpret_cast<const TPackageInfoTable *(*)()>(loader.Symbol("GetPackageInfoTable"))();
    ASSERT_GT(table->UnitCount, 2);
    EXPECT_STREQ(table->Units[table->UnitCount - 1].Name, "PKG_REC11001");
    EXPECT_TRUE(RegisteredModules().contains(QStringLiteral("PKG_REC11001")));
    EXPECT_TRUE(FindModule(QStringLiteral("PKG_REC11001")).File.endsWith(QStringLiteral("libPKG_REC11001.so")));

    // The exported strings are emptied only by the last finalisation.
    auto *filial = static_cast<QString *>(loader.Symbol("stFilial"));
    auto *uso = static_cast<QString *>(loader.Symbol("stFilialUso"));
    *filial = QStringLiteral("_0101_");
    *uso = QStringLiteral("0101");
    // The suite and the loader have each initialised the units once.
    Initialize();
    Finalize();
    EXPECT_EQ(*filial, QStringLiteral("_0101_"));
    loader.Unload();
    EXPECT_EQ(*uso, QStringLiteral("0101"));
    Finalize(); // the last one
    EXPECT_TRUE(filial->isEmpty());
    EXPECT_TRUE(uso->isEmpty());
    Initialize(); // the suite's own units stay initialised
}

TEST_F(ModulePackage, ABrokenModuleIsRefusedWithItsReason)
{
    TModuleLoader missing(QStringLiteral("/nao/existe/libPKG_REC11001.so"));
    try {
        missing.Load();
        FAIL();
    } catch (const EHostError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("Não foi possível carregar"))) << e.what();
    }
    EXPECT_FALSE(missing.Loaded());
    TModuleLoader notAModule(BinDir() + QStringLiteral("/librec_data.so"));
    try {
        notAModule.Load();
        FAIL();
    } catch (const EHostError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("PackageDescription"))) << e.what();
    }
    EXPECT_FALSE(notAModule.Loaded());
}

TEST_F(ModulePackage, FactoryTwiceShowsOneFormAndCloseGivesAFreshOne)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber *first = Form();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(FormCriado());
    EXPECT_EQ(m_area->subWindowList().size(), 1);
    EXPECT_EQ(m_app->ScreenCursor(), crDefault);
    // Minimised, then asked for again: the same form, restored.
    QMdiSubWindow *frame = m_app->FrameOf(*first);
    frame->showMinimized();
    first->Control<TRadioGroup>("rdgTipo")->SetItemIndex(2);
    ASSERT_TRUE(FireEvent([] { IniProc(); }));
    EXPECT_EQ(Form(), first);
    EXPECT_EQ(m_area->subWindowList().size(), 1);
    EXPECT_FALSE(frame->isMinimized());
    EXPECT_EQ(first->Control<TRadioGroup>("rdgTipo")->ItemIndex(), 2);
    EXPECT_EQ(first->windowTitle(), QStringLiteral("Contas a Receber/Recebidas"));

    // Closed by the user, the next call builds a new form with its defaults.
    ASSERT_TRUE(first->DoClose());
    EXPECT_FALSE(FormCriado());
    EXPECT_FALSE(first->Control<TNetConnection>("netRelLancContReceber")->Connected());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(m_area->subWindowList().isEmpty());
    ASSERT_TRUE(Open());
    EXPECT_EQ(m_area->subWindowList().size(), 1);
    EXPECT_EQ(Form()->Control<TRadioGroup>("rdgTipo")->ItemIndex(), 1);
    EXPECT_TRUE(TakeMessages().isEmpty());
}

TEST_F(ModulePackage, ServerDownAtCreationReachesTheHostAndLeavesNoForm)
{
    THostContext ctx = Context();
    TServerProcess other(s_db->Target());
    ctx.ServerPort = other.Port();
    other.Stop();
    ApplyContext(ctx);
    EXPECT_FALSE(Open());
    const QStringList shown = TakeMessages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].contains(QStringLiteral("servidor de aplicação"))) << shown[0].toStdString();
    EXPECT_FALSE(FormCriado());
    EXPECT_EQ(Form(), nullptr);
    EXPECT_TRUE(m_area->subWindowList().isEmpty());
    EXPECT_EQ(m_app->ScreenCursor(), crDefault);
    // Back on a running server the next call creates it.
    ApplyContext(Context());
    ASSERT_TRUE(Open());
    EXPECT_TRUE(FormCriado());
    EXPECT_EQ(m_area->subWindowList().size(), 1);
}

TEST_F(ModulePackage, FailedFirstActivationLeavesNoForm)
{
    // A server whose database lost the emission options: creation works, the first activation fails.
    TTestDatabase broken(SuiteBackend(), 20);
    {
        TdtmDBGeral db;
        db.Open(broken.Target());
        QSqlQuery q(db.Database());
        ASSERT_TRUE(q.exec(QStringLiteral("DROP TABLE OPCAOEMISSAO")));
    }
    TServerProcess server(broken.Target());
    THostContext ctx = Context();
    ctx.ServerPort = server.Port();
    ApplyContext(ctx);
    EXPECT_FALSE(Open());
    const QStringList shown = TakeMessages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].contains(QStringLiteral("GetOpEmissao"))) << shown[0].toStdString();
    EXPECT_FALSE(FormCriado());
    EXPECT_EQ(Form(), nullptr);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(m_area->subWindowList().isEmpty());
    EXPECT_EQ(m_app->ScreenCursor(), crDefault);
    // The next call makes one form, and closing it leaves none.
    ApplyContext(Context());
    ASSERT_TRUE(Open());
    EXPECT_EQ(m_area->subWindowList().size(), 1);
    ASSERT_TRUE(Form()->DoClose());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(m_area->subWindowList().isEmpty());
    EXPECT_FALSE(FormCriado());
}

TEST_F(ModulePackage, TheHostListsTheScreensItsModulesRegisterAndLeavesOutABrokenOne)
{
    // The real module registers its screen, menu entry and server object; the host names none.
    THostModules modules;
    ASSERT_EQ(modules.Load(), QStringList());
    ASSERT_EQ(modules.Screens().size(), 1);
    const TModuleRecord screen = modules.Screens().first();
    EXPECT_EQ(screen.ScreenCode, QStringLiteral("REC11001"));
    EXPECT_EQ(screen.Caption, QStringLiteral("Contas a Receber/Recebidas"));
    EXPECT_EQ(modules.LoginServerObject(), QLatin1String(kServerObject));
    {
        THostWindow window(Context(), modules);
        QAction *entry = window.findChild<QAction *>(QStringLiteral("actContasReceber"));
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->text(), screen.Caption);
        EXPECT_EQ(window.menuBar()->actions().first()->text(), QStringLiteral("&Relatórios"));
        EXPECT_FALSE(window.OpenScreen(QStringLiteral("XYZ99999")));
        EXPECT_TRUE(TakeMessages().value(0).contains(QStringLiteral("XYZ99999")));
        // The status bar keeps who and where: operator, branch, server and database.
        window.statusBar()->showMessage(QStringLiteral("uma mensagem que passa"));
        const QLabel *where = window.findChild<QLabel *>(QStringLiteral("lblSessao"));
        ASSERT_NE(where, nullptr);
        EXPECT_TRUE(where->isVisibleTo(&window));
        EXPECT_EQ(where->text(), QStringLiteral("Operador: MARIA   Filial: 0101   Servidor: %1:%2   Banco: %3")
                                     .arg(Context().ServerHost)
                                     .arg(Context().ServerPort)
                                     .arg(TdtmDBGeral::ShownTarget(Context().Database)));
    }

    // A folder with a package that is not a module: its reason is given, no entry appears, the host goes on.
    QTemporaryDir folder;
    ASSERT_TRUE(QFile::copy(BinDir() + QStringLiteral("/librec_data.so"), folder.filePath(QStringLiteral("libPKG_QUEBRADO.so"))));
    const TEnvScope moduleDir("REC_MODULE_DIR", folder.path().toLocal8Bit());
    THostModules broken;
    const QStringList failures = broken.Load();
    ASSERT_EQ(failures.size(), 1);
    EXPECT_TRUE(failures[0].contains(QStringLiteral("libPKG_QUEBRADO.so")) && failures[0].contains(QStringLiteral("PackageDescription")))
        << failures[0].toStdString();
    EXPECT_TRUE(broken.Screens().isEmpty());
    EXPECT_TRUE(broken.LoginServerObject().isEmpty());
    {
        THostWindow window(Context(), broken);
        EXPECT_EQ(window.findChild<QAction *>(QStringLiteral("actContasReceber")), nullptr);
        EXPECT_TRUE(window.isEnabled());
    }
    // An empty folder says so.
    QTemporaryDir empty;
    const TEnvScope emptyDir("REC_MODULE_DIR", empty.path().toLocal8Bit());
    EXPECT_TRUE(THostModules().Load().value(0).contains(QStringLiteral("Nenhum módulo")));
    ASSERT_TRUE(Open());
}

// A session owns what the process shares and puts back what was in force when it ends, also
// when its database does not open.
TEST_F(ModulePackage, ASessionsStateEndsWithItAndAFailedStartLeavesNothingInForce)
{
    const TSessionState &outer = SessionState();
    const QString outerDir = TfrmDadosGerRel::ReportDir(), outerOperator = Operador(), outerFormat = FormatSettings().ShortDateFormat;
    TRecordingPresenter inner;
    const QTemporaryDir reports;
    THostContext ctx = ContextAs(QStringLiteral("ADMIN"));
    ctx.DateFormat = QStringLiteral("yyyy-MM-dd");
    {
        QMainWindow main;
        auto *area = new QMdiArea(&main);
        THostSession::TOptions options = THostSession::TOptions::Scripted(reports.path(), &inner);
        options.PersonAtSearchLists = false;
        THostSession session(ctx, &main, area, options);
        EXPECT_EQ(&SessionState(), &session.State());
        EXPECT_EQ(TfrmDadosGerRel::ReportDir(), reports.path());
        EXPECT_EQ(Operador(), QStringLiteral("ADMIN"));
        EXPECT_EQ(FormatSettings().ShortDateFormat, QStringLiteral("yyyy-MM-dd"));
        EXPECT_FALSE(TSearchListScript::Interactive());
        MessagePresenter().ShowError(QStringLiteral("dentro"));
        TSearchListScript::PushCancel();
        EXPECT_EQ(session.State().SearchAnswers.size(), 1u);
    }
    EXPECT_EQ(&SessionState(), &outer);
    EXPECT_EQ(TfrmDadosGerRel::ReportDir(), outerDir);
    EXPECT_EQ(Operador(), outerOperator);
    EXPECT_EQ(FormatSettings().ShortDateFormat, outerFormat);
    EXPECT_TRUE(TSearchListScript::Interactive());
    EXPECT_TRUE(SessionState().SearchAnswers.empty());
    MessagePresenter().ShowError(QStringLiteral("fora"));
    EXPECT_EQ(inner.Messages, QStringList{QStringLiteral("dentro")});
    EXPECT_EQ(TakeMessages(), QStringList{QStringLiteral("fora")});

    // A database that does not open: the error names it and the state in force stays the outer one.
    THostContext broken = ctx;
    broken.Database = reports.filePath(QStringLiteral("nao-existe/rec.db"));
    QMainWindow main;
    EXPECT_THROW(THostSession(broken, &main, new QMdiArea(&main), THostSession::TOptions::Scripted(reports.path(), &inner)), EHostError);
    EXPECT_EQ(&SessionState(), &outer);
    EXPECT_EQ(Operador(), outerOperator);
    EXPECT_EQ(TfrmDadosGerRel::ReportDir(), outerDir);
}
