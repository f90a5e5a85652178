#include "data/Exceptions.h"
#include "report/ReportDialog.h"
#include "ScreenFixture.h"
#include "services/Consiste.h"
#include "services/Session.h"
#include "services/Showavi.h"
#include "ui/Events.h"
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <utility>

namespace {
// Runs statements on the test database, for data the demo lacks.
void exec(const QString &target, const QStringList &statements)
{
    TdtmDBGeral db;
    db.Open(target);
    for (const QString &s : statements) {
        QSqlQuery q(db.Database());
        ASSERT_TRUE(q.exec(s)) << s.toStdString();
    }
}
} // namespace

// Each test works on its own copy of the demo database with its own server,
// so what one test writes, or leaves behind when it fails, no other one sees.
class FormAtWork : public ScreenTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_target = m_dir.filePath(QStringLiteral("demo.db"));
        ASSERT_TRUE(QFile::copy(s_db->Target(), m_target));
        m_server = std::make_unique<TServerProcess>(m_target);
        ScreenTest::SetUp();
    }
    THostContext StartContext() const override { return Context(); }
    THostContext Context() const
    {
        THostContext ctx = ScreenTest::Context();
        ctx.ServerPort = m_server->Port();
        ctx.Database = m_target;
        return ctx;
    }
    QTemporaryDir m_dir;
    QString m_target;
    std::unique_ptr<TServerProcess> m_server;
};

TEST_F(FormAtWork, DefaultsAfterOpening)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber *f = Form();
    // Offsets 30 and 0 around the fixed today, 07/12/2026.
    EXPECT_EQ(f->Control<TDateEditPlus>("depVenIni")->Text(), QStringLiteral("07/11/2026"));
    EXPECT_EQ(f->Control<TDateEditPlus>("depVenFin")->Text(), QStringLiteral("07/12/2026"));
    EXPECT_EQ(f->Control<TRadioGroup>("rdgTipo")->ItemIndex(), 1);
    EXPECT_TRUE(f->Control<TCheckBox>("chkTodos")->isEnabled());
    for (TCheckBox *c : {f->Control<TCheckBox>("chkBaixada"), f->Control<TCheckBox>("chkDescontada"), f->Control<TCheckBox>("chkAberto"), f->Control<TCheckBox>("chkPlanejada")}) {
        EXPECT_TRUE(c->isChecked());
        EXPECT_FALSE(c->isEnabled());
    }
    for (TDateEditPlus *d : {f->Control<TDateEditPlus>("depBaixaEntr"), f->Control<TDateEditPlus>("depBaixaSaid"), f->Control<TDateEditPlus>("depEmissaoDE"), f->Control<TDateEditPlus>("depEmissaoATE"), f->Control<TDateEditPlus>("depSaidaDe"), f->Control<TDateEditPlus>("depSaidaAte"),
                             f->Control<TDateEditPlus>("depDtIniRefeFat"), f->Control<TDateEditPlus>("depDtFinRefeFat")})
        EXPECT_TRUE(d->IsBlank()) << d->objectName().toStdString();
    EXPECT_TRUE(f->Control<TRadioButton>("rdgTClassFinanc")->isChecked());
    EXPECT_FALSE(f->Control<TButtonFlat>("sbtListaClass")->isEnabled());
    EXPECT_EQ(f->CodeList("lstEmpresaOper"), QStringLiteral("_01__03_"));
    EXPECT_TRUE(f->Control<TRadioButton>("rdbUtiliza")->isChecked()); // MARIA keeps "S" for this screen
    EXPECT_FALSE(f->Control<TGroupBox>("grbOrca")->isHidden());
    EXPECT_TRUE(f->Control<TRadioButton>("rbtTodosFilial")->isChecked());
    EXPECT_TRUE(f->CodeList("lstFilial").isEmpty());
    EXPECT_EQ(f->Control<TNetConnection>("netRelLancContReceber")->Port, m_server->Port());
    EXPECT_EQ(f->Control<TNetConnection>("netRelLancContReceber")->CallLog, (QStringList{QStringLiteral("GetDtVenc"), QStringLiteral("GetOpEmissao"), QStringLiteral("GetCriterios")})); // the last looks for a default set
    // The server's own clock, not the host's fixed one (07/12/2026).
    const TDateTime before = QDateTimeToDateTime(QDateTime::currentDateTime()), server = f->GetTimeSever(),
                    after = QDateTimeToDateTime(QDateTime::currentDateTime());
    const double second = 1.0 / 86400;
    EXPECT_GE(server, before - 2 * second);
    EXPECT_LE(server, after + 2 * second);
    if (QDate::currentDate() != *HostContext().FixedToday) {
        EXPECT_NE(DateTimeToDate(server), *HostContext().FixedToday);
    }
    EXPECT_EQ(ShowAviDepth(), 0);
    EXPECT_TRUE(TakeMessages().isEmpty());
}

TEST_F(FormAtWork, EmissionOptionAndBudgetGroupFollowTheServerOnEveryActivation)
{
    THostContext ctx = Context();
    ctx.Operator = QStringLiteral("ADMIN"); // nothing stored for this screen
    ctx.Password = DemoPassword(ctx.Operator);
    ApplyContext(ctx);
    ASSERT_TRUE(Open());
    EXPECT_TRUE(Form()->Control<TRadioButton>("rdbNaoUtiliza")->isChecked());

    // A lower-case "s" is not "S"; a display flag other than "S" hides the budget group.
    exec(m_target, {QStringLiteral("PRAGMA ignore_check_constraints = ON"),
                          QStringLiteral("INSERT INTO OPCAOEMISSAO (CDTELAPROG, CDOPERADOR, IDUTOPEMIFIN) VALUES ('REC11001', 'ADMIN', 's')"),
                          QStringLiteral("UPDATE PARAMGERALORCA SET IDEXIBDADORC = 'N'")});
    Form()->Control<TRadioButton>("rdbUtiliza")->SetChecked(true);
    Form()->DoClose();
    ASSERT_TRUE(Open());
    EXPECT_TRUE(Form()->Control<TRadioButton>("rdbNaoUtiliza")->isChecked());
    EXPECT_TRUE(Form()->Control<TGroupBox>("grbOrca")->isHidden());
    Form()->Control<TGroupBox>("grbOrca")->setVisible(true);
    Form()->cbbReportNames->UserSelect(3);
    EXPECT_TRUE(Form()->Control<TGroupBox>("grbOrca")->isHidden());
    // Coming back to the window reloads the option.
    exec(m_target, {QStringLiteral("UPDATE OPCAOEMISSAO SET IDUTOPEMIFIN = 'S' WHERE CDOPERADOR = 'ADMIN'")});
    auto *other = new QWidget;
    QMdiSubWindow *sub = m_area->addSubWindow(other);
    sub->show();
    m_area->setActiveSubWindow(sub);
    m_area->setActiveSubWindow(m_app->FrameOf(*Form()));
    EXPECT_TRUE(Form()->Control<TRadioButton>("rdbUtiliza")->isChecked());
}

TEST_F(FormAtWork, PerBranchLocksTheOriginBranch)
{
    THostContext ctx = Context();
    ctx.PerBranch = true;
    ctx.Branch = QStringLiteral("0302");
    ApplyContext(ctx);
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber *f = Form();
    EXPECT_TRUE(f->Control<TRadioButton>("rbtListaFilial")->isChecked());
    EXPECT_FALSE(f->Control<TGroupBox>("grbFilial")->isEnabled());
    EXPECT_FALSE(f->Control<TRadioButton>("rbtTodosFilial")->isEnabled());
    EXPECT_FALSE(f->Control<TButtonFlat>("sbtFilial")->isEnabled());
    EXPECT_EQ(f->CodeList("lstFilial"), QStringLiteral("_0302_"));
    // The lock passes the branch check and reaches the report.
    Action("sbtPrint");
    EXPECT_TRUE(TakeMessages().isEmpty());
    EXPECT_TRUE(f->rpddPadrao->HasLastParams());
}

struct CheckCase {
    const char *Title;
    std::function<void(TfrmRelLancContReceber &)> Setup;
    const char *Key;
    const char *Page;
    const char *Focus;
};

TEST_F(FormAtWork, EachCriteriaCheckFailsAloneWithItsPageFocusAndMessage)
{
    auto date = [](int d, int m, int y) { return DateToDateTime(QDate(y, m, d)); };
    const std::vector<CheckCase> cases = {
        {"due dates blank", [](TfrmRelLancContReceber &f) { f.Control<TDateEditPlus>("depVenIni")->SetDate(0), f.Control<TDateEditPlus>("depVenFin")->SetDate(0); }, "DtVencIni_inf", "tshDadosCntReceb", "depVenIni"},
        {"due end blank", [](TfrmRelLancContReceber &f) { f.Control<TDateEditPlus>("depVenFin")->SetDate(0); }, "DtVencFin_inf", "tshDadosCntReceb", "depVenFin"},
        {"due end before start", [&](TfrmRelLancContReceber &f) { f.Control<TDateEditPlus>("depVenFin")->SetDate(date(6, 11, 2026)); }, "DTVENC_INV", "tshDadosCntReceb", "depVenIni"},
        {"value start over a blank end", [](TfrmRelLancContReceber &f) { f.Control<TNumberEdit>("nedValor1")->SetText(QStringLiteral("100")); }, "VRLIQUIDO_INV", "tshDadosCntReceb", "nedValor1"},
        {"classification list empty", [](TfrmRelLancContReceber &f) { f.Control<TRadioButton>("rdgLClassFinanc")->SetChecked(true); }, "Class_ni", "tshDadosCntReceb", "rdgLClassFinanc"},
        {"activity list empty", [](TfrmRelLancContReceber &f) { f.Control<TRadioButton>("rdbListaAtivClie")->SetChecked(true); }, "Ramo_ni", "tshDadosCntReceb", "rdbListaAtivClie"},
        {"segment list empty", [](TfrmRelLancContReceber &f) { f.Control<TRadioButton>("rdbListaSegMerc")->SetChecked(true); }, "Seg_ni", "tshDadosCntReceb", "rdbListaSegMerc"},
        {"type list empty", [](TfrmRelLancContReceber &f) { f.Control<TRadioButton>("rbtListaTipo")->SetChecked(true); }, "Tipo_ni", "tshDadosCntReceb", "rbtListaTipo"},
        {"region list empty", [](TfrmRelLancContReceber &f) { f.Control<TRadioButton>("rbtListaReg")->SetChecked(true); }, "Regiao_ni", "tshDadosDocu", "rbtListaReg"},
        {"client list empty", [](TfrmRelLancContReceber &f) { f.Control<TRadioButton>("rbtListaClie")->SetChecked(true); }, "Cliente_ni", "tshDadosDocu", "rbtListaClie"},
        {"group list empty", [](TfrmRelLancContReceber &f) { f.Control<TRadioButton>("rbtListaGrupC")->SetChecked(true); }, "GrupoClie_ni", "tshDadosDocu", "rbtListaGrupC"},
        {"company list empty", [](TfrmRelLancContReceber &f) { f.Control<TRadioButton>("rbtListaEmp")->SetChecked(true); }, "Empresa_ni", "tshDadosDocu", "rbtListaEmp"},
        {"origin list empty", [](TfrmRelLancContReceber &f) { f.Control<TRadioButton>("rbtListaFilial")->SetChecked(true); }, "FilialOri_ni", "tshDadosDocu", "rbtListaFilial"},
        {"posting list empty", [](TfrmRelLancContReceber &f) { f.Control<TRadioButton>("rbtListaLanca")->SetChecked(true); }, "FiliLanca_ni", "tshDadosDocu", "rbtListaLanca"},
        {"seller list empty", [](TfrmRelLancContReceber &f) { f.Control<TRadioButton>("rbtListaVend")->SetChecked(true); }, "Vendedor_ni", "tshDadosDocu", "rbtListaVend"},
        {"issue end only", [&](TfrmRelLancContReceber &f) { f.Control<TDateEditPlus>("depEmissaoATE")->SetDate(date(1, 12, 2026)); }, "DtEmissIni_inf", "tshDadosDocu", "depEmissaoDE"},
        {"issue start only", [&](TfrmRelLancContReceber &f) { f.Control<TDateEditPlus>("depEmissaoDE")->SetDate(date(1, 12, 2026)); }, "DtEmissFin_inf", "tshDadosDocu", "depEmissaoATE"},
        {"issue reversed", [&](TfrmRelLancContReceber &f) { f.Control<TDateEditPlus>("depEmissaoDE")->SetDate(date(2, 12, 2026)), f.Control<TDateEditPlus>("depEmissaoATE")->SetDate(date(1, 12, 2026)); }, "DTEMIS_INV",
         "tshDadosDocu", "depEmissaoDE"},
        {"exit end only", [&](TfrmRelLancContReceber &f) { f.Control<TDateEditPlus>("depSaidaAte")->SetDate(date(1, 12, 2026)); }, "DtSaidIni_inf", "tshDadosDocu", "depSaidaDe"},
        {"exit start only", [&](TfrmRelLancContReceber &f) { f.Control<TDateEditPlus>("depSaidaDe")->SetDate(date(1, 12, 2026)); }, "DtSaidFin_inf", "tshDadosDocu", "depSaidaAte"},
        {"exit reversed", [&](TfrmRelLancContReceber &f) { f.Control<TDateEditPlus>("depSaidaDe")->SetDate(date(3, 12, 2026)), f.Control<TDateEditPlus>("depSaidaAte")->SetDate(date(1, 12, 2026)); }, "DtSAID_INV",
         "tshDadosDocu", "depSaidaDe"},
        {"budget start over end", [](TfrmRelLancContReceber &f) { f.Control<TMaskEdit>("medNrOrcaIni")->SetText(QStringLiteral("20")), f.Control<TMaskEdit>("medNrOrcaFin")->SetText(QStringLiteral("3")); },
         "NrOrca_Inv", "tshDadosDocu", "medNrOrcaIni"},
        {"budget start blank", [](TfrmRelLancContReceber &f) { f.Control<TMaskEdit>("medNrOrcaFin")->SetText(QStringLiteral("5")); }, "NrOrcaIni_ninf", "tshDadosDocu", "medNrOrcaIni"},
        {"settlement end only", [&](TfrmRelLancContReceber &f) { f.Control<TDateEditPlus>("depBaixaSaid")->SetDate(date(1, 12, 2026)); }, "DtBaixIni_inf", "tshDadosBaixa", "depBaixaEntr"},
        {"settlement start only", [&](TfrmRelLancContReceber &f) { f.Control<TDateEditPlus>("depBaixaEntr")->SetDate(date(1, 12, 2026)); }, "DtBaixFin_inf", "tshDadosBaixa", "depBaixaSaid"},
        {"settlement reversed", [&](TfrmRelLancContReceber &f) { f.Control<TDateEditPlus>("depBaixaEntr")->SetDate(date(2, 12, 2026)), f.Control<TDateEditPlus>("depBaixaSaid")->SetDate(date(1, 12, 2026)); },
         "DTBAIXA_INV", "tshDadosBaixa", "depBaixaEntr"},
        {"settlement form list empty", [](TfrmRelLancContReceber &f) { f.Control<TRadioButton>("rbtFormaLista")->SetChecked(true); }, "TBaixa_ni", "tshDadosBaixa", "rbtFormaLista"},
        {"bank account list empty", [](TfrmRelLancContReceber &f) { f.Control<TRadioButton>("rbtCCorrLista")->SetChecked(true); }, "CCorr_ni", "tshDadosBaixa", "rbtCCorrLista"},
        {"billing end only", [&](TfrmRelLancContReceber &f) { f.Control<TDateEditPlus>("depDtFinRefeFat")->SetDate(date(1, 12, 2026)); }, "DtRefeFatIni_inf", "tshDadosDocu", "depDtIniRefeFat"},
        {"billing start only", [&](TfrmRelLancContReceber &f) { f.Control<TDateEditPlus>("depDtIniRefeFat")->SetDate(date(1, 12, 2026)); }, "DtRefeFatFin_inf", "tshDadosDocu", "depDtFinRefeFat"},
        {"billing reversed", [&](TfrmRelLancContReceber &f) { f.Control<TDateEditPlus>("depDtIniRefeFat")->SetDate(date(2, 12, 2026)), f.Control<TDateEditPlus>("depDtFinRefeFat")->SetDate(date(1, 11, 2026)); },
         "DTREFEFAT_INV", "tshDadosDocu", "depDtIniRefeFat"},
        {"two failures: blank due start and an empty region list",
         [](TfrmRelLancContReceber &f) { f.Control<TDateEditPlus>("depVenIni")->SetDate(0), f.Control<TRadioButton>("rbtListaReg")->SetChecked(true); }, "DtVencIni_inf", "tshDadosCntReceb", "depVenIni"},
    };
    for (const CheckCase &c : cases) {
        SCOPED_TRACE(c.Title);
        ASSERT_TRUE(Open());
        TfrmRelLancContReceber &f = *Form();
        // Start from a page other than the one the check names.
        f.Control<TPageControl>("pgcRelatorio")->SetActivePage(QLatin1String(c.Page) == QLatin1String("tshDadosDocu") ? f.Control<TTabSheet>("tshDadosBaixa") : f.Control<TTabSheet>("tshDadosDocu"));
        c.Setup(f);
        TakeMessages();
        Action("sbtPrint");
        EXPECT_EQ(TakeMessages(), QStringList{f.msgPadrao->Msg(QLatin1String(c.Key))});
        EXPECT_EQ(ActivePage(), QLatin1String(c.Page));
        EXPECT_EQ(Focused(), QLatin1String(c.Focus));
        EXPECT_FALSE(f.rpddPadrao->HasLastParams());
        f.DoClose();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(FormAtWork, WritesOfTheChecksStayAndEqualEndsPass)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    f.Control<TDateEditPlus>("depVenFin")->SetDate(f.Control<TDateEditPlus>("depVenIni")->GetDate());
    f.Control<TDateEditPlus>("depEmissaoDE")->SetDate(DateToDateTime(QDate(2026, 12, 1)));
    f.Control<TDateEditPlus>("depEmissaoATE")->SetDate(DateToDateTime(QDate(2026, 12, 1)));
    f.Control<TMaskEdit>("medNrOrcaIni")->SetText(QStringLiteral("123"));
    Action("sbtPrint");
    EXPECT_TRUE(TakeMessages().isEmpty());
    EXPECT_TRUE(f.rpddPadrao->HasLastParams());
    EXPECT_EQ(f.Control<TNumberEdit>("nedValor1")->Text(), QStringLiteral("0"));
    EXPECT_EQ(f.Control<TNumberEdit>("nedValor2")->Text(), QStringLiteral("0"));
    EXPECT_EQ(f.Control<TMaskEdit>("medNrOrcaIni")->Text(), QStringLiteral("0000000123"));
    EXPECT_EQ(f.Control<TMaskEdit>("medNrOrcaFin")->Text(), QStringLiteral("0000000123"));
    // A blank value becomes "0" even when a later check fails.
    f.Control<TRadioButton>("rdbListaSegMerc")->SetChecked(true);
    f.Control<TNumberEdit>("nedValor1")->SetText(QString());
    Action("sbtPreview");
    EXPECT_EQ(TakeMessages(), QStringList{QStringLiteral("Segmento de mercado deve ser informado.")});
    EXPECT_EQ(f.Control<TNumberEdit>("nedValor1")->Text(), QStringLiteral("0"));
    // A list filled earlier is ignored once the criterion is back on all.
    f.CodeList("lstSegMerc") = QStringLiteral("_00001_");
    f.Control<TRadioButton>("rdbTodosSegMerc")->SetChecked(true);
    f.CodeList("lstSegMerc").clear();
    Action("sbtSalvarComo");
    EXPECT_TRUE(TakeMessages().isEmpty());
}

TEST_F(FormAtWork, ClientTypeAndStatusChecks)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    f.Control<TCheckBox>("chkPrivado")->SetChecked(false);
    f.Control<TCheckBox>("chkPublico")->SetChecked(false);
    for (const char *action : {"sbtPrint", "sbtPreview", "sbtSalvarComo"}) {
        Action(action);
        EXPECT_EQ(TakeMessages(), QStringList{QStringLiteral("Tipo de cliente deve ser informado.")}) << action;
    }
    EXPECT_FALSE(f.rpddPadrao->HasLastParams());
    Action("sbtReportEdit"); // editing the layout skips the client-type check
    EXPECT_TRUE(TakeMessages().isEmpty());
    EXPECT_TRUE(f.rpddPadrao->HasLastParams());
    f.rpddPadrao->ClearLastParams();
    f.Control<TCheckBox>("chkPrivado")->SetChecked(true);

    f.Control<TCheckBox>("chkTodos")->SetChecked(false);
    for (TCheckBox *c : {f.Control<TCheckBox>("chkBaixada"), f.Control<TCheckBox>("chkDescontada"), f.Control<TCheckBox>("chkAberto"), f.Control<TCheckBox>("chkPlanejada")})
        c->SetChecked(false);
    f.Control<TPageControl>("pgcRelatorio")->SetActivePage(f.Control<TTabSheet>("tshDadosBaixa"));
    for (const char *action : {"sbtPrint", "sbtPreview", "sbtSalvarComo", "sbtReportEdit"}) {
        Action(action);
        EXPECT_EQ(TakeMessages(), QStringList{QStringLiteral("Status deve ser informado.")}) << action;
        EXPECT_EQ(ActivePage(), QStringLiteral("tshDadosBaixa"));
    }
    EXPECT_FALSE(f.rpddPadrao->HasLastParams());
}

TEST_F(FormAtWork, PageChangesRefusedByAnInvalidDate)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    // Typed and not yet left: one click on another tab gives one message; the page and the focus stay.
    Type("depEmissaoDE", QStringLiteral("31022026"));
    ClickTab(2);
    EXPECT_EQ(TakeMessages(), QStringList{QStringLiteral("'31/02/2026' não é uma data válida.")});
    EXPECT_EQ(ActivePage(), QStringLiteral("tshDadosDocu"));
    EXPECT_EQ(Focused(), QStringLiteral("depEmissaoDE"));
    // Mended, the same click changes the page without a word.
    Type("depEmissaoDE", QStringLiteral("28022026"));
    ClickTab(2);
    EXPECT_TRUE(TakeMessages().isEmpty());
    EXPECT_EQ(ActivePage(), QStringLiteral("tshDadosBaixa"));
    f.Control<TDateEditPlus>("depEmissaoDE")->SetDate(0);
    f.Control<TPageControl>("pgcRelatorio")->SetActivePage(f.Control<TTabSheet>("tshDadosDocu"));
    f.Control<TDateEditPlus>("depEmissaoDE")->SetText(QStringLiteral("31/02/2026"));
    f.Control<TDateEditPlus>("depBaixaEntr")->SetText(QStringLiteral("99/99/2026")); // another page's date is not looked at
    ClickTab(0);
    EXPECT_EQ(TakeMessages(), QStringList{QStringLiteral("'31/02/2026' não é uma data válida.")});
    EXPECT_EQ(ActivePage(), QStringLiteral("tshDadosDocu"));
    f.Control<TDateEditPlus>("depEmissaoDE")->SetDate(0);
    ClickTab(0);
    EXPECT_TRUE(TakeMessages().isEmpty());
    EXPECT_EQ(ActivePage(), QStringLiteral("tshDadosCntReceb"));
    f.Control<TDateEditPlus>("depVenFin")->SetText(QStringLiteral("32/12/2026"));
    ClickTab(1);
    EXPECT_EQ(TakeMessages(), QStringList{QStringLiteral("'32/12/2026' não é uma data válida.")});
    EXPECT_EQ(ActivePage(), QStringLiteral("tshDadosCntReceb"));
    // The report checks meet the bad date first, with the same message and no page change.
    f.Control<TDateEditPlus>("depVenFin")->SetDate(Date());
    Action("sbtPrint");
    EXPECT_EQ(TakeMessages(), QStringList{QStringLiteral("'99/99/2026' não é uma data válida.")});
    EXPECT_EQ(ActivePage(), QStringLiteral("tshDadosCntReceb"));
    // Leaving a date edit checks it too.
    Type("depVenIni", QStringLiteral("30022026"));
    Leave("depVenIni");
    EXPECT_EQ(TakeMessages(), QStringList{QStringLiteral("'30/02/2026' não é uma data válida.")});
}

TEST_F(FormAtWork, StatusBoxesAndTheSettlementPage)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    f.Control<TDateEditPlus>("depBaixaEntr")->SetDate(DateToDateTime(QDate(2026, 11, 1)));
    f.Control<TDateEditPlus>("depBaixaSaid")->SetDate(DateToDateTime(QDate(2026, 11, 30)));
    f.Control<TRadioButton>("rbtFormaLista")->SetChecked(true);
    f.Control<TRadioButton>("rbtCCorrLista")->SetChecked(true);
    f.CodeList("lstFormaPaga") = QStringLiteral("_01_");
    Click("chkTodos"); // unchecked: the four unlock, still checked
    for (TCheckBox *c : {f.Control<TCheckBox>("chkBaixada"), f.Control<TCheckBox>("chkDescontada"), f.Control<TCheckBox>("chkAberto"), f.Control<TCheckBox>("chkPlanejada")}) {
        EXPECT_TRUE(c->isEnabled());
        EXPECT_TRUE(c->isChecked());
    }
    EXPECT_TRUE(f.Control<TGroupBox>("grbBaixa")->isEnabled());
    EXPECT_EQ(f.Control<TDateEditPlus>("depBaixaEntr")->Text(), QStringLiteral("01/11/2026"));
    EXPECT_TRUE(f.Control<TRadioButton>("rbtFormaTodos")->isChecked()); // every click resets the settlement criteria to all
    EXPECT_TRUE(f.Control<TRadioButton>("rbtCCorrTodas")->isChecked());
    EXPECT_FALSE(f.Control<TButtonFlat>("sbtFormaPaga")->isEnabled());
    EXPECT_FALSE(f.Control<TButtonFlat>("sbtCCorr")->isEnabled());
    EXPECT_EQ(f.CodeList("lstFormaPaga"), QStringLiteral("_01_"));

    Click("chkBaixada"); // unchecking clears both settlement dates at once
    EXPECT_TRUE(f.Control<TDateEditPlus>("depBaixaEntr")->IsBlank());
    EXPECT_TRUE(f.Control<TDateEditPlus>("depBaixaSaid")->IsBlank());
    Click("chkBaixada");
    EXPECT_TRUE(f.Control<TDateEditPlus>("depBaixaEntr")->IsBlank());
    Click("chkBaixada");
    Click("chkPlanejada");
    ClickTab(2); // neither settled nor planned: the settlement dates are locked
    EXPECT_EQ(ActivePage(), QStringLiteral("tshDadosBaixa"));
    EXPECT_FALSE(f.Control<TGroupBox>("grbBaixa")->isEnabled());
    EXPECT_FALSE(f.Control<TDateEditPlus>("depBaixaEntr")->isEnabled());
    ClickTab(0);
    Click("chkPlanejada"); // planned only: dates can be typed but are emptied on entry
    ClickTab(2);
    EXPECT_TRUE(f.Control<TGroupBox>("grbBaixa")->isEnabled());
    f.Control<TDateEditPlus>("depBaixaEntr")->SetDate(DateToDateTime(QDate(2026, 11, 1)));
    ClickTab(0);
    ClickTab(2);
    EXPECT_TRUE(f.Control<TDateEditPlus>("depBaixaEntr")->IsBlank());

    ClickTab(0);
    Click("chkTodos"); // checked again: the four lock, all checked
    for (TCheckBox *c : {f.Control<TCheckBox>("chkBaixada"), f.Control<TCheckBox>("chkDescontada"), f.Control<TCheckBox>("chkAberto"), f.Control<TCheckBox>("chkPlanejada")}) {
        EXPECT_FALSE(c->isEnabled());
        EXPECT_TRUE(c->isChecked());
    }
    EXPECT_TRUE(f.Control<TGroupBox>("grbBaixa")->isEnabled());
    EXPECT_TRUE(TakeMessages().isEmpty());
}

TEST_F(FormAtWork, KeyFiltersAndBudgetNumbers)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    Type("nedValor1", QStringLiteral("-12"));
    EXPECT_EQ(f.Control<TNumberEdit>("nedValor1")->text(), QStringLiteral("12"));
    Type("nedValor1", QStringLiteral("123456789012"));
    EXPECT_EQ(f.Control<TNumberEdit>("nedValor1")->text(), QStringLiteral("1234567890"));
    Type("nedValor2", QStringLiteral("1,2345"));
    EXPECT_EQ(f.Control<TNumberEdit>("nedValor2")->text(), QStringLiteral("1,23"));
    Leave("nedValor2");
    EXPECT_EQ(f.Control<TNumberEdit>("nedValor2")->text(), QStringLiteral("1,23"));
    Type("nedValor2", QStringLiteral("1234567,5"));
    Leave("nedValor2");
    EXPECT_EQ(f.Control<TNumberEdit>("nedValor2")->text(), QStringLiteral("1.234.567,50"));
    EXPECT_DOUBLE_EQ(f.Control<TNumberEdit>("nedValor2")->GetNumber(), 1234567.5);

    Type("medNrOrcaIni", QStringLiteral("-15"));
    EXPECT_EQ(f.Control<TMaskEdit>("medNrOrcaIni")->Text(), QStringLiteral("15"));
    Leave("medNrOrcaIni");
    EXPECT_EQ(f.Control<TMaskEdit>("medNrOrcaIni")->Text(), QStringLiteral("0000000015"));
    EXPECT_EQ(f.Control<TMaskEdit>("medNrOrcaFin")->Text(), QStringLiteral("0000000015"));
    Type("medNrOrcaFin", QStringLiteral("7"));
    Type("medNrOrcaIni", QStringLiteral("3"));
    Leave("medNrOrcaIni");
    EXPECT_EQ(f.Control<TMaskEdit>("medNrOrcaFin")->Text(), QStringLiteral("0000000007")); // a given end number stays, adjusted as it was left
    Type("medNrOrcaFin", QStringLiteral("70"));
    Leave("medNrOrcaFin");
    EXPECT_EQ(f.Control<TMaskEdit>("medNrOrcaFin")->Text(), QStringLiteral("0000000070"));
    Type("medNrOrcaFin", QStringLiteral("12345678901"));
    EXPECT_EQ(f.Control<TMaskEdit>("medNrOrcaFin")->Text(), QStringLiteral("1234567890"));
    EXPECT_TRUE(TakeMessages().isEmpty());
}

TEST_F(FormAtWork, EmissionOptionSaveCallsTheServerOnlyForAChange)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    TClientDataSet &op = *f.Control<TClientDataSet>("cdsOpEmissao");
    f.Control<TNetConnection>("netRelLancContReceber")->CallLog.clear();
    ASSERT_TRUE(RunAction([&] {
        op.Edit();
        op.FieldByName(QStringLiteral("IDUTOPEMIFIN")).SetAsString(QStringLiteral("S"));
        op.Post();
    }));
    EXPECT_TRUE(f.Control<TNetConnection>("netRelLancContReceber")->CallLog.isEmpty());
    ASSERT_TRUE(RunAction([&] {
        op.Edit();
        op.FieldByName(QStringLiteral("IDUTOPEMIFIN")).SetAsString(QStringLiteral("N"));
        op.Post();
    }));
    EXPECT_EQ(f.Control<TNetConnection>("netRelLancContReceber")->CallLog, QStringList{QStringLiteral("SetOpEmissao")});
    EXPECT_EQ(op.ChangeCount(), 0);
    EXPECT_EQ(ShowAviDepth(), 0);
    // Stored: the next activation shows it.
    f.DoActivate();
    EXPECT_TRUE(f.Control<TRadioButton>("rdbNaoUtiliza")->isChecked());
    ASSERT_TRUE(RunAction([&] {
        op.Edit();
        op.FieldByName(QStringLiteral("IDUTOPEMIFIN")).SetAsString(QStringLiteral("S"));
        op.Post();
    }));
}

TEST_F(FormAtWork, AFailedSaveLeavesTheServersRecordAndHidesTheAnimation)
{
    TServerProcess own(m_target);
    THostContext ctx = Context();
    ctx.ServerPort = own.Port();
    ApplyContext(ctx);
    ASSERT_TRUE(Open());
    TClientDataSet &op = *Form()->Control<TClientDataSet>("cdsOpEmissao");
    int shows = 0;
    SetShowAviView({[&](QWidget *, int) { ++shows; }, [] {}});
    own.Stop();
    EXPECT_FALSE(RunAction([&] {
        op.Edit();
        op.FieldByName(QStringLiteral("IDUTOPEMIFIN")).SetAsString(QStringLiteral("N"));
        op.Post();
    }));
    SetShowAviView({});
    EXPECT_EQ(shows, 1);
    EXPECT_EQ(ShowAviDepth(), 0);
    EXPECT_EQ(op.ChangeCount(), 0);
    EXPECT_EQ(op.FieldByName(QStringLiteral("IDUTOPEMIFIN")).AsString(), QStringLiteral("S"));
    const QStringList shown = TakeMessages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].contains(QStringLiteral("SetOpEmissao"))) << shown[0].toStdString();
}

TEST_F(FormAtWork, DisplayTextsUseTheRowBeingShown)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    f.Control<TADOIBQuery>("qryCliente1")->ParamByName(QStringLiteral("P_CLIENTE")).Clear();
    f.Control<TADOIBQuery>("qryCliente1")->ParamByName(QStringLiteral("TCLIENTE")).SetAsString(QStringLiteral("T"));
    f.Control<TADOIBQuery>("qryCliente1")->Open();
    // qryCliente holds one client of the other type, as after a binding.
    TDataSet &rows = f.Control<TADOIBQuery>("qryCliente1")->Query();
    int individuals = 0, companies = 0;
    for (int r = 0; r < rows.RecordCount(); ++r) {
        rows.WithRecord(r, [&] {
            const QString type = rows.FieldByName(QStringLiteral("IDTPIJURCLIE")).AsString();
            const QString number = rows.FieldByName(QStringLiteral("NRINSJURCLIE")).AsString();
            const QString shown = rows.FieldByName(QStringLiteral("NRINSJURCLIE")).DisplayText();
            if (type == QStringLiteral("F")) {
                ++individuals;
                EXPECT_EQ(shown, QStringLiteral("%1.%2.%3-%4").arg(number.mid(0, 3), number.mid(3, 3), number.mid(6, 3), number.mid(9, 2)));
            } else {
                ++companies;
                EXPECT_EQ(shown, QStringLiteral("%1.%2.%3/%4-%5").arg(number.mid(0, 2), number.mid(2, 3), number.mid(5, 3), number.mid(8, 4), number.mid(12, 2)));
            }
            EXPECT_EQ(rows.FieldByName(QStringLiteral("CDCLIENTE")).DisplayText(), number);
        });
    }
    EXPECT_GT(individuals, 0);
    EXPECT_GT(companies, 0);

    f.Control<TADOIBQuery>("qryContCorr")->ParamByName(QStringLiteral("P_CDREDUCONT")).SetAsString(QString());
    f.Control<TADOIBQuery>("qryContCorr")->ParamByName(QStringLiteral("P_TCDREDUCONT")).SetAsString(QStringLiteral("T"));
    f.Control<TADOIBQuery>("qryContCorr")->Open();
    TDataSet &cc = f.Control<TADOIBQuery>("qryContCorr")->Query();
    bool sawNull = false;
    for (cc.First(); !cc.Eof(); cc.Next()) {
        TField &acc = cc.FieldByName(QStringLiteral("CDCONTCORR"));
        if (acc.IsNull()) {
            sawNull = true;
            EXPECT_EQ(acc.DisplayText(), QString());
        } else {
            const QString pict = cc.FieldByName(QStringLiteral("CDPICTCONT")).AsString();
            EXPECT_EQ(acc.DisplayText(), FormatMaskText(pict + QStringLiteral(";0; "), acc.AsString()));
            EXPECT_TRUE(acc.DisplayText().contains(QLatin1Char('-')));
        }
        EXPECT_EQ(cc.FieldByName(QStringLiteral("CDAGENCIA")).DisplayText(),
                  FormatMaskText(cc.FieldByName(QStringLiteral("CDPICTAGEN")).AsString() + QStringLiteral(";0; "),
                                 cc.FieldByName(QStringLiteral("CDAGENCIA")).AsString()));
    }
    EXPECT_TRUE(sawNull);

    TDataPacket tree;
    tree.Fields = {{QStringLiteral("IDMARCADO"), TFieldType::FixedChar, 1, false}, {QStringLiteral("CDARVATIVCLI"), TFieldType::String, 20, false},
                   {QStringLiteral("DSATIVCLI"), TFieldType::String, 50, false}, {QStringLiteral("CDATIVCLI"), TFieldType::String, 5, false}};
    tree.AddRow({QStringLiteral("N"), QStringLiteral("102001"), QStringLiteral("Comércio Atacadista"), QStringLiteral("00005")});
    f.Control<TClientDataSet>("qryAtivClie")->SetData(tree);
    EXPECT_EQ(f.Control<TClientDataSet>("qryAtivClie")->FieldByName(QStringLiteral("CDARVATIVCLI")).DisplayText(), QStringLiteral("1.02.001"));
}

// The report actions answer their keys anywhere in the screen, as clicks on their buttons do.
TEST_F(FormAtWork, TheReportActionsAnswerTheirKeysShownInTheirTooltips)
{
    ASSERT_TRUE(Open());
    EXPECT_EQ(W<TButtonFlat>("sbtPrint")->toolTip(), QStringLiteral("Imprimir (Ctrl+P)"));
    EXPECT_EQ(W<TButtonFlat>("sbtPreview")->toolTip(), QStringLiteral("Visualizar (Ctrl+Shift+V ou F5)"));
    EXPECT_EQ(W<TButtonFlat>("sbtSalvarComo")->toolTip(), QStringLiteral("Salvar como (Ctrl+S)"));
    m_main->show();
    QApplication::setActiveWindow(m_main.get());
    QWidget *edit = W("depVenIni");
    edit->setFocus(Qt::OtherFocusReason);
    const QTemporaryDir dir;
    const struct {
        int Key;
        Qt::KeyboardModifiers Mods;
        bool Writes;
    } keys[] = {{Qt::Key_P, Qt::ControlModifier, false}, {Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier, false}, {Qt::Key_F5, Qt::NoModifier, false},
                {Qt::Key_S, Qt::ControlModifier, true}};
    for (const auto &k : keys) {
        SCOPED_TRACE(k.Key);
        Form()->rpddPadrao->ClearLastParams();
        const QString path = dir.filePath(QStringLiteral("%1.pdf").arg(k.Key));
        Form()->ReportOutput = k.Writes ? path : QString();
        QTest::keyClick(edit, static_cast<Qt::Key>(k.Key), k.Mods);
        EXPECT_TRUE(Form()->rpddPadrao->HasLastParams());
        EXPECT_EQ(QFileInfo::exists(path), k.Writes);
        EXPECT_EQ(TakeMessages(), QStringList());
    }
    Form()->ReportOutput.clear();
}

// A person's habits: the save dialog offers a name from the layout and the day and opens where
// the last report went; the last layout chosen is chosen again when the screen opens.
TEST_F(FormAtWork, TheSaveDialogAndTheLayoutListRememberThePersonsLastChoice)
{
    ASSERT_TRUE(Open());
    const QTemporaryDir dir;
    SessionState().PreferencesFile = dir.filePath(QStringLiteral("preferencias.ini")); // the test session's, gone with it
    const TReportDesignerDialog::TInteractiveScope person(true);
    Form()->cbbReportNames->UserSelect(17);
    const QString reports = dir.filePath(QStringLiteral("relatorios"));
    ASSERT_TRUE(QDir().mkpath(reports));

    QString offeredName, offeredFolder;
    std::function<void(QFileDialog &)> answer;
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible() || !answer)
            return;
        offeredFolder = dialog->directory().absolutePath();
        offeredName = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->text();
        const auto reply = std::exchange(answer, {});
        reply(*dialog);
    });
    watch.start();
    answer = [&](QFileDialog &d) {
        d.selectFile(QDir(reports).filePath(QStringLiteral("resumo.pdf")));
        static_cast<QDialog &>(d).accept();
    };
    Click("sbtSalvarComo");
    EXPECT_EQ(offeredName, QStringLiteral("resumo-de-contas-a-receber-por-empresa-2026-12-07.pdf"));
    EXPECT_TRUE(QFileInfo::exists(QDir(reports).filePath(QStringLiteral("resumo.pdf"))));
    // The next time it opens where that report went; cancelled, nothing is written.
    answer = [](QFileDialog &d) { d.reject(); };
    Click("sbtSalvarComo");
    EXPECT_EQ(offeredFolder, QFileInfo(reports).absoluteFilePath());
    watch.stop();
    EXPECT_EQ(TakeMessages(), QStringList());
    EXPECT_EQ(QDir(reports).entryList(QDir::Files), QStringList{QStringLiteral("resumo.pdf")});

    ASSERT_TRUE(Form()->DoClose());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(Open());
    EXPECT_EQ(Form()->cbbReportNames->ItemIndex(), 17);
    // Another operator has habits of their own.
    ApplyContext(ContextAs(QStringLiteral("ADMIN")));
    ASSERT_TRUE(Form()->DoClose());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(Open());
    EXPECT_EQ(Form()->cbbReportNames->ItemIndex(), 0);
}
