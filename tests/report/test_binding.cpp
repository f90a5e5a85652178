// The screen's criteria as the chosen layout's parameters receive them.
#include "data/Database.h"
#include "params/Binding.h"
#include "report/ReportDialog.h"
#include "ReportTestSupport.h"
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QTemporaryDir>

namespace {
// Every name the binding gives, each with the type a layout declares.
const char *const kAllNames[] = {
    "P_CDREGIAOPED", "P_TCDREGIAOPED", "CLIENTE", "TCLIENTE", "GRUPCLIE", "TGRUPCLIE", "CODEMPRESA", "TCODEMPRESA", "CODFILIAL",
    "TCODFILIAL", "TIPOCONTA", "TTIPOCONTA", "IDTPCTRECEBER", "CODFILILANC", "TCODFILILANC", "P_FORMA", "P_TFORMA", "P_CCORR",
    "P_TCCORR", "TIPO", "TTIPO", "P_CDCLASSFINA", "P_TCDCLASSFINA", "DTINIEMIS", "DTFINEMIS", "DATEMISINI:date", "DATEMIFIN:date",
    "DTINIENTR", "DTFINSAID", "DATENTR:date", "DATSAID:date", "DATVENIN:date", "DATVENFIN:date", "DTINIVEN", "DTFINVEN",
    "P_DTVENIN:date", "P_DTVENFIN:date", "DATINIVEN", "DATFINVEN", "DTINIBAIXA", "DTFINBAIXA", "DTBAIXAINI", "DTBAIXAFIN", "TDTBAIXA",
    "VALORINI:float", "VALORFIN:float", "P_TODOS", "P_PRIPUB", "P_ATIVCLI", "P_TATIVCLI", "P_SEGMERC", "P_TSEGMERC", "P_UTLOPC",
    "STATUSA", "STATUSB", "STATUSD", "STATUSP", "TSTATUS", "STATUS", "STATUST", "P_DTINIREFEFAT:date", "P_DTFINREFEFAT:date",
    "P_VENDEDOR", "P_TVENDEDOR", "P_ORCAINI", "P_ORCAFIN", "P_ORCA"};

void writeLayout(const QString &path, const QString &title, bool allNames, const QStringList &only = {})
{
    QJsonArray params;
    for (const char *n : kAllNames) {
        const QStringList p = QString::fromLatin1(n).split(QLatin1Char(':'));
        if (allNames || only.contains(p[0]))
            params.append(QJsonObject{{QStringLiteral("name"), p[0]}, {QStringLiteral("type"), p.value(1, QStringLiteral("string"))}});
    }
    const QJsonObject layout{{QStringLiteral("title"), title},
                             {QStringLiteral("params"), params},
                             {QStringLiteral("statement"), QStringLiteral("SELECT 1 AS X")},
                             {QStringLiteral("columns"), QJsonArray{QJsonObject{{QStringLiteral("field"), QStringLiteral("X")}}}}};
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QJsonDocument(layout).toJson());
}
} // namespace

class BindingTest : public ScreenTest {
protected:
    // The real layouts, with 01 declaring every name and 02 declaring none.
    void SetUp() override
    {
        ScreenTest::SetUp();
        const QString folder = m_reports.filePath(QStringLiteral("REC110"));
        QDir().mkpath(folder);
        const QString real = BinDir() + QStringLiteral("/../reports/REC110/");
        for (const QString &f : QDir(real).entryList({QStringLiteral("*.json")}))
            QFile::copy(real + f, folder + QLatin1Char('/') + f);
        const QStringList files = QDir(folder).entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
        writeLayout(folder + QLatin1Char('/') + files[1], QStringLiteral("Todos os nomes"), true);
        writeLayout(folder + QLatin1Char('/') + files[2], QStringLiteral("Nenhum nome"), false);
        // Declares the activity list without its flag, which the binding sets unguarded.
        writeLayout(folder + QLatin1Char('/') + files[3], QStringLiteral("Meio par"), false, {QStringLiteral("P_ATIVCLI"), QStringLiteral("CLIENTE")});
        TfrmDadosGerRel::SetReportDir(m_reports.path()); // the test session's folder, gone with it
    }
    // Prints layout 1 (or another) and returns the parameters the statement received.
    const TParams &Print(int layout = 1)
    {
        Form()->cbbReportNames->UserSelect(layout);
        Form()->rpddPadrao->ClearLastParams();
        Action("sbtPrint");
        return Form()->rpddPadrao->LastParams();
    }
    QString P(const char *name) { return Form()->rpddPadrao->LastParams().ParamByName(QLatin1String(name)).AsString(); }
    TParamType T(const char *name) { return Form()->rpddPadrao->LastParams().ParamByName(QLatin1String(name)).DataType; }
    QTemporaryDir m_reports;
};

TEST_F(BindingTest, TypicalRoadAndTheBlankFill)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    // Two clients chosen, everything else as the screen opens.
    Click("rbtListaClie");
    f.CodeList("lstCliente") = QStringLiteral("_000006__000021_");
    Print();
    ASSERT_EQ(TakeMessages(), QStringList());
    EXPECT_EQ(P("CLIENTE"), QStringLiteral("_000006__000021_"));
    EXPECT_EQ(P("TCLIENTE"), QStringLiteral(" "));
    for (const char *flag : {"P_TCDREGIAOPED", "TGRUPCLIE", "TCODFILIAL", "TTIPOCONTA", "TCODFILILANC", "P_TFORMA", "P_TCCORR",
                             "P_TCDCLASSFINA", "P_TATIVCLI", "P_TSEGMERC", "P_TVENDEDOR", "TDTBAIXA", "TSTATUS", "STATUST"})
        EXPECT_EQ(P(flag), QStringLiteral("T")) << flag;
    EXPECT_EQ(P("CODEMPRESA"), f.CodeList("lstEmpresaOper"));
    EXPECT_EQ(P("CODEMPRESA"), QStringLiteral("_01__03_"));
    EXPECT_EQ(P("TCODEMPRESA"), QStringLiteral(" "));
    EXPECT_EQ(T("DATVENIN"), TParamType::Date);
    EXPECT_EQ(P("DATVENIN"), QStringLiteral("07/11/2026"));
    EXPECT_EQ(P("DTFINVEN"), QStringLiteral("07/12/2026"));
    EXPECT_EQ(T("DTFINVEN"), TParamType::String);
    EXPECT_EQ(P("IDTPCTRECEBER"), QStringLiteral("1"));
    EXPECT_EQ(P("TIPO"), QStringLiteral("A_E"));
    EXPECT_EQ(P("STATUS"), QStringLiteral("B_D_A_P"));
    EXPECT_EQ(P("STATUSA"), QStringLiteral("A"));
    // Both client types with a client list: every type, P_PRIPUB only blank-filled.
    EXPECT_EQ(P("P_TODOS"), QStringLiteral("T"));
    EXPECT_EQ(P("P_PRIPUB"), QStringLiteral(" "));
    // No emission dates: the four parameters end as one space, the dates too, as text.
    for (const char *n : {"DTINIEMIS", "DTFINEMIS", "DATEMISINI", "DATEMIFIN"}) {
        EXPECT_EQ(P(n), QStringLiteral(" ")) << n;
        EXPECT_EQ(T(n), TParamType::String) << n;
    }
    // The client lookup came from the server for the listed clients.
    EXPECT_EQ(f.Control<TClientDataSet>("qryCliente")->RecordCount(), 2);
    EXPECT_TRUE(f.Control<TADOIBQuery>("qryEmpresa")->Active());

    // All clients.
    Click("rbtTodosClie");
    Print();
    EXPECT_EQ(P("CLIENTE"), QStringLiteral(" "));
    EXPECT_EQ(P("TCLIENTE"), QStringLiteral("T"));
    EXPECT_TRUE(f.Control<TADOIBQuery>("qryCliente1")->Active());
}

TEST_F(BindingTest, DatesValuesStatusesAndRanges)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    // A settlement range; net values 0 and 500.
    f.Control<TDateEditPlus>("depBaixaEntr")->SetDate(DateToDateTime(QDate(2026, 11, 1)));
    f.Control<TDateEditPlus>("depBaixaSaid")->SetDate(DateToDateTime(QDate(2026, 11, 30)));
    f.Control<TNumberEdit>("nedValor2")->SetText(QStringLiteral("500"));
    Print();
    ASSERT_EQ(TakeMessages(), QStringList());
    EXPECT_EQ(P("DTBAIXAINI"), QStringLiteral("01/11/2026"));
    EXPECT_EQ(P("DTINIBAIXA"), QStringLiteral("01/11/2026"));
    EXPECT_EQ(P("DTBAIXAFIN"), QStringLiteral("30/11/2026"));
    EXPECT_EQ(P("DTFINBAIXA"), QStringLiteral("30/11/2026"));
    EXPECT_EQ(T("DTBAIXAINI"), TParamType::String);
    EXPECT_EQ(P("TDTBAIXA"), QStringLiteral(" "));
    EXPECT_EQ(P("VALORINI"), QStringLiteral(" "));
    EXPECT_EQ(f.rpddPadrao->LastParams().ParamByName(QStringLiteral("VALORFIN")).AsFloat(), 500.0);
    // No billing dates: both billing parameters empty; no budget range: P_ORCA "T".
    EXPECT_EQ(P("P_DTINIREFEFAT"), QString());
    EXPECT_EQ(P("P_DTFINREFEFAT"), QString());
    EXPECT_EQ(P("P_ORCA"), QStringLiteral("T"));
    EXPECT_EQ(P("P_ORCAINI"), QString());

    // "Descontada" and "Planejada" alone.
    f.Control<TCheckBox>("chkTodos")->SetChecked(false);
    f.Control<TCheckBox>("chkBaixada")->SetChecked(false);
    f.Control<TCheckBox>("chkAberto")->SetChecked(false);
    Print();
    ASSERT_EQ(TakeMessages(), QStringList());
    EXPECT_EQ(P("STATUS"), QStringLiteral("_D_P"));
    EXPECT_EQ(P("STATUSD"), QStringLiteral("D"));
    EXPECT_EQ(P("STATUSP"), QStringLiteral("P"));
    // The final steps come after the blank fill: empty stays empty.
    EXPECT_EQ(P("STATUSA"), QString());
    EXPECT_EQ(P("STATUSB"), QString());
    EXPECT_EQ(P("TSTATUS"), QString());

    // A whole billing range reaches the layout as dates.
    f.Control<TCheckBox>("chkTodos")->SetChecked(true);
    f.Control<TDateEditPlus>("depDtIniRefeFat")->SetDate(DateToDateTime(QDate(2026, 11, 1)));
    f.Control<TDateEditPlus>("depDtFinRefeFat")->SetDate(DateToDateTime(QDate(2026, 11, 30)));
    Print();
    ASSERT_EQ(TakeMessages(), QStringList());
    EXPECT_EQ(P("TSTATUS"), QStringLiteral("T"));
    EXPECT_EQ(P("STATUST"), QStringLiteral("T"));
    EXPECT_EQ(T("P_DTINIREFEFAT"), TParamType::Date);
    EXPECT_EQ(P("P_DTFINREFEFAT"), QStringLiteral("30/11/2026"));
}

TEST_F(BindingTest, EmissionOptionRecordAndLayoutsWithoutNames)
{
    const TStoredEmissionOptionGuard option(s_db->Target(), QStringLiteral("ADMIN"));
    THostContext ctx = ContextAs(QStringLiteral("ADMIN"));
    ApplyContext(ctx);
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    auto stored = [&] { return StoredEmissionOption(s_db->Target(), QStringLiteral("ADMIN")); };
    // A layout without P_UTLOPC: the record is inserted and left unposted.
    Print(2);
    ASSERT_EQ(TakeMessages(), QStringList());
    EXPECT_EQ(f.Control<TClientDataSet>("cdsOpEmissao")->State(), TDataSetState::Insert);
    EXPECT_EQ(stored(), QString());
    // The layout that declares no names: only blank-filled, the refreshes still ran.
    EXPECT_EQ(f.rpddPadrao->LastParams().Count(), 0);
    EXPECT_TRUE(f.Control<TADOIBQuery>("qryFilial")->Active());
    EXPECT_TRUE(f.Control<TADOIBQuery>("qryFormaRec")->Active());

    // With P_UTLOPC: posted and saved on the server with the screen's choice.
    f.DoActivate();
    Print(1);
    ASSERT_EQ(TakeMessages(), QStringList());
    EXPECT_EQ(P("P_UTLOPC"), QStringLiteral("N"));
    EXPECT_EQ(stored(), QStringLiteral("N"));
    EXPECT_EQ(f.Control<TClientDataSet>("cdsOpEmissao")->State(), TDataSetState::Browse);
}

TEST_F(BindingTest, AFailingServerCallStopsTheRunAndWritesNothing)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    Click("rbtListaClie");
    f.CodeList("lstCliente") = QStringLiteral("_000006_");
    QTemporaryDir out;
    const QString pdf = out.filePath(QStringLiteral("r.pdf"));
    s_server->Stop();
    f.cbbReportNames->UserSelect(1);
    f.ReportOutput = pdf;
    Action("sbtPrint");
    EXPECT_EQ(TakeMessages().size(), 1);
    EXPECT_FALSE(QFile::exists(pdf));
    s_server->Restart();
    Action("sbtPrint");
    EXPECT_EQ(TakeMessages(), QStringList());
    EXPECT_TRUE(QFile::exists(pdf));
}

TEST_F(BindingTest, TheCurveLayoutBindsOnlyTheFinalSteps)
{
    ASSERT_TRUE(Open());
    Form()->cbbReportNames->UserSelect(18);
    Form()->rpddPadrao->ClearLastParams();
    Action("sbtReportEdit");
    ASSERT_TRUE(Form()->rpddPadrao->HasLastParams());
    EXPECT_EQ(P("TSTATUS"), QStringLiteral("T"));
    EXPECT_EQ(P("P_ORCA"), QStringLiteral("T"));
    EXPECT_EQ(P("P_TVENDEDOR"), QStringLiteral("T"));
    EXPECT_EQ(P("P_DTINIREFEFAT"), QString());
}

TEST_F(BindingTest, AHalfDeclaredPairStopsTheRunWithTheMissingName)
{
    ASSERT_TRUE(Open());
    QTemporaryDir out;
    const QString pdf = out.filePath(QStringLiteral("r.pdf"));
    Form()->cbbReportNames->UserSelect(3);
    Form()->ReportOutput = pdf;
    Action("sbtPrint");
    EXPECT_EQ(TakeMessages(), QStringList{QStringLiteral("Parâmetro 'P_TATIVCLI' não encontrado.")});
    EXPECT_FALSE(QFile::exists(pdf));
    // The dialog abandoned the run.
    EXPECT_FALSE(Form()->rpddPadrao->HasLastParams());
}

TEST_F(BindingTest, EmissionOptionsDescribeOnlyWhatTheReportApplies)
{
    ASSERT_TRUE(Open()); // MARIA keeps "Utiliza": the layouts print the criteria that differ
    TfrmRelLancContReceber &f = *Form();
    auto lines = [&] { return f.rpddPadrao->Header.CriteriaLines; };
    auto linesStarting = [&](const QString &start) {
        QStringList out;
        for (const QString &l : lines())
            if (l.startsWith(start))
                out << l;
        return out;
    };
    // One billing-reference date filters nothing (and the checks refuse it before a report runs), so the
    // block never claims it; one net value is a bound of its own.
    f.Control<TDateEditPlus>("depDtIniRefeFat")->SetDate(DateToDateTime(QDate(2026, 11, 1)));
    f.Control<TNumberEdit>("nedValor1")->SetText(QStringLiteral("1000"));
    const QStringList oneDate = f.EmissionOptionLines();
    EXPECT_FALSE(oneDate.join(QLatin1Char('|')).contains(QStringLiteral("Referência de faturamento"))) << oneDate.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(oneDate.contains(QStringLiteral("Valor líquido: a partir de 1.000,00"))) << oneDate.join(QLatin1Char('|')).toStdString();
    f.Control<TNumberEdit>("nedValor1")->SetText(QString());
    f.Control<TNumberEdit>("nedValor2")->SetText(QStringLiteral("2500"));
    EXPECT_TRUE(f.EmissionOptionLines().contains(QStringLiteral("Valor líquido: até 2.500,00")));

    // The whole range is applied and described.
    f.Control<TDateEditPlus>("depDtFinRefeFat")->SetDate(DateToDateTime(QDate(2026, 11, 30)));
    f.Control<TNumberEdit>("nedValor1")->SetText(QStringLiteral("1000"));
    Print();
    ASSERT_EQ(TakeMessages(), QStringList());
    EXPECT_EQ(P("P_DTINIREFEFAT"), QStringLiteral("01/11/2026"));
    EXPECT_EQ(linesStarting(QStringLiteral("Referência de faturamento")),
              QStringList{QStringLiteral("Referência de faturamento: de 01/11/2026 a 30/11/2026")});
    EXPECT_EQ(linesStarting(QStringLiteral("Valor líquido")), QStringList{QStringLiteral("Valor líquido: de 1.000,00 a 2.500,00")});
}

namespace {
// Each parameter as "NAME type value", null shown as such.
QStringList described(const TParams &params)
{
    QStringList out;
    for (int i = 0; i < params.Count(); ++i) {
        const TParam &p = params[i];
        out << QStringLiteral("%1 %2 %3").arg(p.Name).arg(static_cast<int>(p.DataType)).arg(p.IsNull() ? QStringLiteral("null") : p.Value().toString());
    }
    return out;
}
} // namespace

TEST_F(BindingTest, TheLayoutsParametersAreAFunctionOfTheCriteriaValue)
{
    ASSERT_TRUE(Open());
    const TReportLayout layout = Form()->Layouts()[1]; // declares every name
    const std::vector<TCriteria> cases = VariedCriteria(Form()->CurrentCriteria(), 1);
    for (size_t i = 0; i < cases.size(); ++i) {
        const TCriteria &c = cases[i];
        Form()->ApplyCriteria(c);
        const TParams printed = Print(1);
        ASSERT_EQ(TakeMessages(), QStringList()) << "case " << i;
        // Bound from the value alone, with only what the binding reads besides it.
        TParams alone = TReportDesignerDialog::BuildParams(layout);
        Binding::MainPath(c, {Form()->CodeList("lstEmpresaOper"), c.UtilizaOpEmissao ? QStringLiteral("S") : QStringLiteral("N")}, alone);
        Binding::FinalSteps(c, alone);
        EXPECT_EQ(described(printed), described(alone)) << "case " << i;
    }
    // The irregular groups, by hand: "Todas" companies are the operator's, a posting-branch list
    // is flagged with one space, and an all salesperson keeps its empty list through the blank fill.
    TParams p = TReportDesignerDialog::BuildParams(layout);
    TCriteria c = cases[0];
    c.Groups[QStringLiteral("Lancamento")] = {true, QStringLiteral("_0101_")};
    Binding::MainPath(c, {QStringLiteral("_01__03_"), QStringLiteral("S")}, p);
    Binding::FinalSteps(c, p);
    EXPECT_EQ(p.ParamByName(QStringLiteral("CODEMPRESA")).AsString(), QStringLiteral("_01__03_"));
    EXPECT_EQ(p.ParamByName(QStringLiteral("TCODEMPRESA")).AsString(), QStringLiteral(" "));
    EXPECT_EQ(p.ParamByName(QStringLiteral("TCODFILILANC")).AsString(), QStringLiteral(" "));
    EXPECT_EQ(p.ParamByName(QStringLiteral("CODFILILANC")).AsString(), QStringLiteral("_0101_"));
    EXPECT_EQ(p.ParamByName(QStringLiteral("P_VENDEDOR")).AsString(), QString());
    EXPECT_EQ(p.ParamByName(QStringLiteral("P_TVENDEDOR")).AsString(), QStringLiteral("T"));
    EXPECT_EQ(p.ParamByName(QStringLiteral("TCLIENTE")).AsString(), QStringLiteral("T"));
}
