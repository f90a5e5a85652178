#include "data/Exceptions.h"
#include "ScreenFixture.h"
#include "ui/SearchList.h"
#include <QJsonDocument>

class CriteriaSnapshot : public ScreenTest {
protected:
    // The screen's value through JSON text and back, then applied to a freshly opened screen.
    TCriteria ThroughJsonIntoFreshScreen(const TCriteria &c)
    {
        const QByteArray text = QJsonDocument(c.ToJson()).toJson();
        const TCriteria read = TCriteria::FromJson(QJsonDocument::fromJson(text).object());
        EXPECT_EQ(read, c);
        EXPECT_EQ(read.ToJson(), c.ToJson()); // kept codes of all-groups included
        EXPECT_TRUE(Form()->DoClose());
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(Open());
        Form()->ApplyCriteria(read);
        return Form()->CurrentCriteria();
    }
};

TEST_F(CriteriaSnapshot, VariedScreensSurviveJsonIntoAFreshScreen)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber *f = Form();
    const TCriteria defaults = f->CurrentCriteria();
    EXPECT_EQ(defaults.Vencimento.From, QDate(2026, 11, 7));
    EXPECT_TRUE(defaults.Emissao.From.isNull());
    EXPECT_FALSE(defaults.ValorIni.has_value());
    EXPECT_EQ(ThroughJsonIntoFreshScreen(defaults), defaults);

    // Lists in several groups, one list kept behind its all radio, dates, amounts, budget numbers,
    // statuses, entry kind, advance, emission option and layout.
    f = Form();
    f->cbbReportNames->UserSelect(3);
    Pick("rbtListaTipo", "sbtTipoConta", {QStringLiteral("000001")});
    Type("nedValor1", QStringLiteral("100,5"));
    Type("nedValor2", QStringLiteral("2500,75"));
    Click("chbConAdian");
    Click("rdbNaoUtiliza");
    Click("chkTodos");
    Click("chkAberto");
    ClickTab(1);
    Pick("rbtListaClie", "sbtCliente", {QStringLiteral("000001"), QStringLiteral("000002")});
    Pick("rbtListaEmp", "sbtEmpresa", {QStringLiteral("03")});
    Pick("rbtListaGrupC", "sbtGrupClie", {QStringLiteral("GRP001")});
    Click("rbtTodosGrupC");
    f->Control<TRadioGroup>("rdgTipo")->SetItemIndex(2);
    Type("depEmissaoDE", QStringLiteral("01/11/2026"));
    Type("depEmissaoATE", QStringLiteral("30/11/2026"));
    Type("medNrOrcaIni", QStringLiteral("123"));
    Leave("medNrOrcaIni");
    ClickTab(2);
    Pick("rbtCCorrLista", "sbtCCorr", {QStringLiteral("001")});
    Type("depBaixaEntr", QStringLiteral("02/11/2026"));
    Type("depBaixaSaid", QStringLiteral("03/11/2026"));
    ClickTab(0);
    ASSERT_TRUE(TakeMessages().isEmpty());

    const TCriteria varied = f->CurrentCriteria();
    EXPECT_EQ(varied.Layout, 3);
    EXPECT_EQ(varied.Emissao, (TDateRange{QDate(2026, 11, 1), QDate(2026, 11, 30)}));
    EXPECT_EQ(varied.Baixa.To, QDate(2026, 11, 3));
    EXPECT_TRUE(varied.RefeFat.From.isNull());
    EXPECT_EQ(varied.ValorIni, 100.5);
    EXPECT_EQ(varied.ValorFin, 2500.75);
    EXPECT_EQ(varied.OrcaIni, QStringLiteral("0000000123")); // the edit pads to its ten digits
    EXPECT_EQ(varied.OrcaFin, varied.OrcaIni); // copied on leaving the start
    EXPECT_FALSE(varied.StatusTodos);
    EXPECT_FALSE(varied.Aberto);
    EXPECT_TRUE(varied.Baixada);
    EXPECT_EQ(varied.Tipo, 2);
    EXPECT_TRUE(varied.ConAdian);
    EXPECT_FALSE(varied.UtilizaOpEmissao);
    EXPECT_TRUE(varied.Groups.value(QStringLiteral("Cliente")).List);
    EXPECT_EQ(varied.Groups.value(QStringLiteral("Cliente")).Codes, QStringLiteral("_000001__000002_"));
    EXPECT_FALSE(varied.Groups.value(QStringLiteral("GrupClie")).List);
    EXPECT_EQ(varied.Groups.value(QStringLiteral("GrupClie")).Codes, QStringLiteral("_GRP001_"));
    EXPECT_EQ(varied.Groups.value(QStringLiteral("TipoConta")).Codes, QStringLiteral("_000001_"));
    EXPECT_EQ(varied.Groups.value(QStringLiteral("CCorr")).Codes, QStringLiteral("_001_"));
    EXPECT_EQ(varied.Groups.size(), 13);
    EXPECT_NE(varied, defaults);
    const TCriteria applied = ThroughJsonIntoFreshScreen(varied);
    EXPECT_EQ(applied, varied);
    EXPECT_EQ(applied.ToJson(), varied.ToJson());
    // The applied screen acts as the clicked one did.
    f = Form();
    EXPECT_TRUE(f->Control<TButtonFlat>("sbtCliente")->isEnabled());
    EXPECT_FALSE(f->Control<TCheckBox>("chkPrivado")->isEnabled());
    EXPECT_TRUE(f->Control<TCheckBox>("chkAberto")->isEnabled()); // "Todos" unticked frees the single statuses
    EXPECT_FALSE(f->Control<TButtonFlat>("sbtGrupClie")->isEnabled());
    Action("sbtPrint");
    EXPECT_TRUE(TakeMessages().isEmpty());
    EXPECT_TRUE(f->rpddPadrao->HasLastParams());
}

TEST_F(CriteriaSnapshot, PerBranchScreenKeepsItsLockThroughTheRoundTrip)
{
    THostContext ctx = Context();
    ctx.PerBranch = true;
    ctx.Branch = QStringLiteral("0302");
    ApplyContext(ctx);
    ASSERT_TRUE(Open());
    ClickTab(1);
    Pick("rbtListaReg", "sbtRegiao", {QStringLiteral("001"), QStringLiteral("002")});
    Pick("rbtListaVend", "sbtVendedor", {QStringLiteral("0001")});
    Type("depDtIniRefeFat", QStringLiteral("01/10/2026"));
    Type("depDtFinRefeFat", QStringLiteral("31/10/2026"));
    Click("chkPublico");
    ClickTab(0);
    Click("chkTodos");
    Click("chkBaixada"); // unticked: the settlement dates go blank
    const TCriteria c = Form()->CurrentCriteria();
    EXPECT_EQ(c.Groups.value(QStringLiteral("Filial")).Codes, QStringLiteral("_0302_"));
    EXPECT_TRUE(c.Groups.value(QStringLiteral("Filial")).List);
    EXPECT_EQ(c.Groups.value(QStringLiteral("Regiao")).Codes, QStringLiteral("_001__002_"));
    EXPECT_FALSE(c.Publico);
    EXPECT_FALSE(c.Baixada);
    EXPECT_EQ(c.RefeFat.To, QDate(2026, 10, 31));
    EXPECT_EQ(ThroughJsonIntoFreshScreen(c), c);
    EXPECT_FALSE(Form()->Control<TGroupBox>("grbFilial")->isEnabled());
    EXPECT_EQ(Form()->CodeList("lstFilial"), QStringLiteral("_0302_"));

    // A screen of another branch does not unlock this one: the locked group keeps its branch.
    TCriteria other = c;
    other.Groups[QStringLiteral("Filial")] = {false, QStringLiteral("_0101_")};
    Form()->ApplyCriteria(other);
    EXPECT_EQ(Form()->CurrentCriteria(), c);
}

TEST_F(CriteriaSnapshot, ApplyingClicksAsAUserAndRefusesWhatTheScreenLacks)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber *f = Form();
    TCriteria c = f->CurrentCriteria();
    c.Groups[QStringLiteral("Cliente")] = {true, QStringLiteral("_000003_")};
    c.Groups[QStringLiteral("Lancamento")] = {true, QStringLiteral("_0101_")};
    c.Privado = false; // out of reach with a client list: both types stay ticked
    c.StatusTodos = false;
    f->ApplyCriteria(c);
    EXPECT_TRUE(f->Control<TRadioButton>("rbtListaClie")->isChecked());
    EXPECT_TRUE(f->Control<TButtonFlat>("sbtCliente")->isEnabled());
    EXPECT_FALSE(f->Control<TCheckBox>("chkPrivado")->isEnabled());
    EXPECT_FALSE(f->Control<TCheckBox>("chkPublico")->isEnabled());
    EXPECT_TRUE(f->Control<TCheckBox>("chkPrivado")->isChecked());
    EXPECT_TRUE(f->Control<TButtonFlat>("sbtLancamento")->isEnabled());
    EXPECT_EQ(f->CodeList("lstCliente"), QStringLiteral("_000003_"));
    EXPECT_TRUE(f->Control<TCheckBox>("chkBaixada")->isEnabled());
    // A list chosen empty is refused by the checks as a clicked one is.
    c.Groups[QStringLiteral("Vendedor")] = {true, QString()};
    f->ApplyCriteria(c);
    Action("sbtPrint");
    EXPECT_EQ(TakeMessages(), QStringList{QStringLiteral("Vendedor deve ser informado.")});
    EXPECT_EQ(Focused(), QStringLiteral("rbtListaVend"));

    // Equal means the same report: codes behind an all radio do not count, codes of a list do.
    TCriteria a = f->CurrentCriteria(), b = a;
    b.Groups[QStringLiteral("Regiao")].Codes = QStringLiteral("_009_");
    EXPECT_EQ(a, b);
    b.Groups[QStringLiteral("Cliente")].Codes = QStringLiteral("_000004_");
    EXPECT_NE(a, b);

    // Unknown groups and impossible layouts are refused before anything changes.
    TCriteria bad = a;
    bad.Groups[QStringLiteral("Moeda")] = {true, QStringLiteral("_1_")};
    bad.Tipo = 0;
    EXPECT_THROW(f->ApplyCriteria(bad), EHostError);
    bad = a;
    bad.Layout = 99;
    EXPECT_THROW(f->ApplyCriteria(bad), EHostError);
    EXPECT_EQ(f->CurrentCriteria(), a);

    // JSON that is not a criteria value names the entry.
    QJsonObject json = a.ToJson();
    QJsonObject due = json.value(QStringLiteral("dueDate")).toObject();
    due[QStringLiteral("from")] = QStringLiteral("31/12/2026");
    json[QStringLiteral("dueDate")] = due;
    try {
        TCriteria::FromJson(json);
        ADD_FAILURE() << "a date in the wrong form was read";
    } catch (const EHostError &e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("dueDate.from"))) << e.what();
    }
    json = a.ToJson();
    json.remove(QStringLiteral("groups"));
    EXPECT_THROW(TCriteria::FromJson(json), EHostError);
}
