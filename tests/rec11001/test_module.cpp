#include "Events.h"
#include "Exceptions.h"
#include "Modules.h"
#include "HostWindow.h"
#include "ModuleLoader.h"
#include "ScreenFixture.h"
#include <QMdiSubWindow>
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
    first->rdgTipo->SetItemIndex(2);
    ASSERT_TRUE(FireEvent([] { IniProc(); }));
    EXPECT_EQ(Form(), first);
    EXPECT_EQ(m_area->subWindowList().size(), 1);
    EXPECT_FALSE(frame->isMinimized());
    EXPECT_EQ(first->rdgTipo->ItemIndex(), 2);
    EXPECT_EQ(first->windowTitle(), QStringLiteral("Contas a Receber/Recebidas"));

    // Closed by the user, the next call builds a new form with its defaults.
    ASSERT_TRUE(first->DoClose());
    EXPECT_FALSE(FormCriado());
    EXPECT_FALSE(first->netRelLancContReceber->Connected());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(m_area->subWindowList().isEmpty());
    ASSERT_TRUE(Open());
    EXPECT_EQ(m_area->subWindowList().size(), 1);
    EXPECT_EQ(Form()->rdgTipo->ItemIndex(), 1);
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

TEST_F(ModulePackage, TheHostShowsAFailedLoadAndGoesOn)
{
    qputenv("REC_MODULE_DIR", QByteArray("/nao/existe"));
    {
        THostWindow window(Context());
        EXPECT_FALSE(window.OpenReceivables());
        const QStringList shown = TakeMessages();
        ASSERT_EQ(shown.size(), 1);
        EXPECT_TRUE(shown[0].contains(QStringLiteral("/nao/existe/libPKG_REC11001.so"))) << shown[0].toStdString();
        EXPECT_TRUE(window.Area()->subWindowList().isEmpty());
        EXPECT_FALSE(window.Module().Loaded());
        EXPECT_TRUE(window.isEnabled());
    }
    qunsetenv("REC_MODULE_DIR");
    // The host goes on: the screen still opens.
    THostApplication::SetApplication(m_app.get());
    TdtmDBGeral::SetCurrent(m_module.get());
    ASSERT_TRUE(Open());
}
