// The ABC curve through the screen: what the server is sent, what comes back,
// the class letters and the curve layout, against the due-date layout's rows.
#include "abc/CurveRequest.h"
#include "data/Database.h"
#include "ReportTestSupport.h"
#include "services/Showavi.h"
#include <QFile>
#include <QLocale>
#include <QSqlQuery>
#include <QTemporaryDir>

namespace {
QStringList csvRows(const QString &path) { return CsvLines(path).mid(1); }

double number(const QString &csv) { return QLocale(QLocale::Portuguese, QLocale::Brazil).toDouble(csv); }
} // namespace

class CurveTest : public ReportScreenTest {
protected:
    // The curve's and the totals' last requests, read back by name.
    TAbcRequest Curve() { return TAbcRequest::FromCurveArgs(Args("GetCurvaABC")); }
    TAbcRequest Totals() { return TAbcRequest::FromTotalArgs(Args("GetTotal")); }
    QVariantList Args(const char *method)
    {
        const TNetConnection &net = *Form()->Control<TNetConnection>("netRelLancContReceber");
        for (qsizetype i = net.CallLog.size() - 1; i >= 0; --i)
            if (net.CallLog[i] == QLatin1String(method))
                return net.CallArgs[i];
        ADD_FAILURE() << "no call of " << method;
        return {};
    }
    QStringList CallsOfLastAction() const
    {
        const QStringList &log = Form()->Control<TNetConnection>("netRelLancContReceber")->CallLog;
        return log.mid(m_callsBefore);
    }
    void Save(int layout, const QString &path)
    {
        m_callsBefore = Form()->Control<TNetConnection>("netRelLancContReceber")->CallLog.size();
        RunTo(layout, "sbtSalvarComo", path);
    }
    void CurveAgainstDueDateLayout();
    void CurveKeepsToTheOperatorsCompanies();
    qsizetype m_callsBefore = 0;
    QTemporaryDir m_out;
};

using CurveOnPostgreSQL = OnPostgreSQL<CurveTest>;
TEST_F(CurveTest, TheCurveHoldsTheDueDateLayoutsRowsClassifiedByRunningShare) { CurveAgainstDueDateLayout(); }
TEST_F(CurveOnPostgreSQL, TheCurveHoldsTheDueDateLayoutsRowsClassifiedByRunningShare) { CurveAgainstDueDateLayout(); }

void CurveTest::CurveAgainstDueDateLayout()
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    // MARIA's companies as a list, so both layouts read the same companies.
    Click("rbtListaEmp");
    f.CodeList("lstEmpresa") = QStringLiteral("_01__03_");
    const QString due = m_out.filePath(QStringLiteral("vencimento.csv"));
    Save(0, due);
    ASSERT_EQ(TakeMessages(), QStringList());
    const QString curve = m_out.filePath(QStringLiteral("curva.csv"));
    Save(18, curve);
    ASSERT_EQ(TakeMessages(), QStringList());
    EXPECT_EQ(CallsOfLastAction(), (QStringList{QStringLiteral("GetPercentual"), QStringLiteral("GetFiliLanca"), QStringLiteral("GetOpEmissao"),
                                                QStringLiteral("GetStatus"), QStringLiteral("GetCurvaABC"), QStringLiteral("GetTotal")}));

    // Table G as the screen gives it.
    EXPECT_EQ(Form()->Control<TNetConnection>("netRelLancContReceber")->CallArgs.last().size(), 52) << "GetTotal with the salesperson and budget range";
    const TAbcRequest sent = Curve();
    EXPECT_EQ(sent.Empresa, (TAbcChoice{QStringLiteral("_01__03_"), QString()}));
    EXPECT_EQ(sent.FiliLanca.Flag, QStringLiteral("T"));
    EXPECT_EQ(sent.Status, QStringLiteral("B_D_A_P"));
    EXPECT_EQ(sent.StatusTodos, QStringLiteral("T"));
    EXPECT_EQ(sent.Tipo.Codes, QStringLiteral("A_E"));
    EXPECT_EQ(sent.ValorIni, 0.0);
    EXPECT_EQ(sent.TipoClienteTodos, QStringLiteral("T"));
    EXPECT_EQ(sent.OpEmissao, QStringLiteral("S"));
    const TAbcDates dueDates{QStringLiteral("07/11/2026"), QStringLiteral("07/12/2026")};
    EXPECT_EQ(sent.Vencimento, dueDates);
    EXPECT_EQ(sent.VencimentoCopia, dueDates);
    EXPECT_EQ(sent.Emissao, TAbcDates());
    EXPECT_EQ(sent.Baixa, TAbcDates());
    EXPECT_EQ(sent.BaixaCopia, TAbcDates());
    EXPECT_EQ(sent.RefeFat, TAbcDates());
    EXPECT_EQ(sent.OrcaIni + sent.OrcaFin, QString());
    EXPECT_EQ(sent.BaixaTodas, QStringLiteral("T"));
    EXPECT_EQ(sent.Adiantamento, QStringLiteral("1"));
    EXPECT_EQ(sent.Vendedor.Flag, QStringLiteral("T"));
    EXPECT_EQ(sent.OrcaTodos, QStringLiteral("T"));
    EXPECT_TRUE(Totals().NoAmounts());
    EXPECT_EQ(Args("GetStatus").value(5).toString(), QStringLiteral("A_B_D_P"));

    // The same receivables as the due-date layout, per company.
    QStringList dueDocs, curveDocs;
    for (const QString &r : csvRows(due)) {
        const QStringList c = r.split(QLatin1Char(';'));
        dueDocs << c[0] + QLatin1Char('/') + c[4];
    }
    const QStringList rows = csvRows(curve);
    for (const QString &r : rows) {
        const QStringList c = r.split(QLatin1Char(';'));
        curveDocs << c[0] + QLatin1Char('/') + c[4];
    }
    dueDocs.sort();
    curveDocs.sort();
    ASSERT_FALSE(curveDocs.isEmpty());
    EXPECT_EQ(curveDocs, dueDocs);
    // Days overdue count from the host's date (fixed at 07/12/2026), whatever the server's clock says.
    for (const QString &r : rows) {
        const QStringList c = r.split(QLatin1Char(';'));
        const QDate dueOn = QDate::fromString(c[5], QStringLiteral("dd/MM/yyyy"));
        ASSERT_TRUE(dueOn.isValid()) << r.toStdString();
        EXPECT_EQ(number(c[6]), static_cast<double>(dueOn.daysTo(QDate(2026, 12, 7)))) << r.toStdString();
    }
    EXPECT_EQ(f.rpddPadrao->LastResult().Rows, rows.size());

    // Within a company: values from the largest down, the running total ending at the company total, classes in order.
    QMap<QString, double> lastRunning;
    QString previousCompany, previousClass;
    double previousValue = 0, running = 0;
    for (const QString &r : rows) {
        const QStringList c = r.split(QLatin1Char(';'));
        const double value = number(c[7]);
        if (c[0] != previousCompany) {
            running = 0;
            previousClass.clear();
        } else {
            EXPECT_LE(value, previousValue + 0.001);
            EXPECT_GE(c[1], previousClass) << "classes A, B, C in order";
        }
        running += value;
        EXPECT_NEAR(number(c[8]), running, 0.02);
        EXPECT_TRUE(c[1] == QStringLiteral("A") || c[1] == QStringLiteral("B") || c[1] == QStringLiteral("C")) << r.toStdString();
        lastRunning[c[0]] = number(c[8]);
        previousCompany = c[0];
        previousClass = c[1];
        previousValue = value;
    }
    ASSERT_EQ(f.Control<TClientDataSet>("qryTotal")->RecordCount(), lastRunning.size());
    for (int i = 0; i < f.Control<TClientDataSet>("qryTotal")->RecordCount(); ++i)
        f.Control<TClientDataSet>("qryTotal")->WithRecord(i, [&] {
            const QString company = f.Control<TClientDataSet>("qryTotal")->FieldByName(QStringLiteral("CDEMPRESA")).AsString();
            EXPECT_NEAR(f.Control<TClientDataSet>("qryTotal")->FieldByName(QStringLiteral("SUMCRVRATUAREC")).AsFloat(), lastRunning.value(company), 0.005) << company.toStdString();
        });
    EXPECT_EQ(rows.last().section(QLatin1Char(';'), 9, 9), QStringLiteral("100,00"));
    // The letters stay in the change log only.
    EXPECT_GT(f.Control<TClientDataSet>("qryCurvaABC")->ChangeCount(), 0);
    EXPECT_EQ(ShowAviDepth(), 0);

    // The PDF has the class table and the chart's limits per company.
    const QString pdf = m_out.filePath(QStringLiteral("curva.pdf"));
    f.ReportOutput = pdf;
    Action("sbtPrint");
    f.ReportOutput.clear();
    ASSERT_TRUE(QFile::exists(pdf));
}

// MARIA may see companies 01 and 03: with "Todas" the curve and the totals hold those two only.
void CurveTest::CurveKeepsToTheOperatorsCompanies()
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    Click("rbtTodosEmpr");
    Save(18, m_out.filePath(QStringLiteral("curva.csv")));
    ASSERT_EQ(TakeMessages(), QStringList());
    EXPECT_EQ(Curve().Empresa.Flag, QStringLiteral("T"));
    auto companies = [](TClientDataSet &ds) {
        QStringList out;
        for (ds.First(); !ds.Eof(); ds.Next())
            if (!out.contains(ds.FieldByName(QStringLiteral("CDEMPRESA")).AsString()))
                out << ds.FieldByName(QStringLiteral("CDEMPRESA")).AsString();
        out.sort();
        return out;
    };
    const QStringList mine = {QStringLiteral("01"), QStringLiteral("03")};
    EXPECT_EQ(companies(*f.Control<TClientDataSet>("qryCurvaABC")), mine);
    EXPECT_EQ(companies(*f.Control<TClientDataSet>("qryTotal")), mine);
}

TEST_F(CurveTest, AllCompaniesMeansTheOperatorsCompanies) { CurveKeepsToTheOperatorsCompanies(); }
TEST_F(CurveOnPostgreSQL, AllCompaniesMeansTheOperatorsCompanies) { CurveKeepsToTheOperatorsCompanies(); }

TEST_F(CurveTest, EdgeCasesOfTheArguments)
{
    const TStoredEmissionOptionGuard option(s_db->Target(), QStringLiteral("ADMIN"));
    THostContext ctx = ContextAs(QStringLiteral("ADMIN"));
    ApplyContext(ctx);
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    // Settlement unticked, only the "até" amount, a client list with "Privado" alone, posting branches by list.
    f.Control<TCheckBox>("chkTodos")->SetChecked(false);
    f.Control<TCheckBox>("chkBaixada")->SetChecked(false);
    f.Control<TNumberEdit>("nedValor2")->SetText(QStringLiteral("30000"));
    Click("rbtListaClie");
    f.CodeList("lstCliente") = QStringLiteral("_000006__000021_");
    f.Control<TCheckBox>("chkPublico")->SetChecked(false);
    Click("rbtListaLanca");
    f.CodeList("lstLancamento") = QStringLiteral("_0101_");
    Save(18, m_out.filePath(QStringLiteral("curva.csv")));
    ASSERT_EQ(TakeMessages(), QStringList());
    const TAbcRequest sent = Curve();
    EXPECT_EQ(sent.Baixa, TAbcDates());
    EXPECT_EQ(sent.BaixaCopia, TAbcDates());
    EXPECT_EQ(sent.BaixaTodas, QStringLiteral("T"));
    EXPECT_FALSE(f.Control<TGroupBox>("grbBaixa")->isEnabled() && !f.Control<TCheckBox>("chkPlanejada")->isChecked());
    EXPECT_EQ(sent.Status, QStringLiteral("_D_A_P"));
    EXPECT_EQ(sent.StatusTodos, QString());
    EXPECT_EQ(sent.ValorIni, 0.0);
    EXPECT_EQ(sent.ValorFin, 30000.0);
    EXPECT_FALSE(Totals().NoAmounts());
    EXPECT_EQ(sent.TipoClienteTodos, QStringLiteral("T"));
    EXPECT_EQ(sent.PriPub, QString());
    EXPECT_EQ(sent.FiliLanca, (TAbcChoice{QStringLiteral("_0101_"), QStringLiteral(" ")}));
    EXPECT_EQ(Args("GetFiliLanca"), (QVariantList{QStringLiteral("_0101_"), QString()}));
    // Company "Todas": every company, and the company lookup opened for all.
    EXPECT_EQ(sent.Empresa, (TAbcChoice{QString(), QStringLiteral("T")}));
    EXPECT_EQ(f.Control<TADOIBQuery>("qryEmpresa")->Query().RecordCount(), 5);
    // ADMIN had no emission option: a row was added and sent to the server.
    EXPECT_TRUE(CallsOfLastAction().contains(QStringLiteral("SetOpEmissao")));
    const QString stored = StoredEmissionOption(s_db->Target(), QStringLiteral("ADMIN"));
    ASSERT_FALSE(stored.isEmpty());
    EXPECT_EQ(stored, sent.OpEmissao);
}

TEST_F(CurveTest, AServerFailureLeavesNoLettersAndTheAnimationHidden)
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    int shows = 0, hides = 0;
    SetShowAviView({[&](QWidget *, int) { ++shows; }, [&] { ++hides; }});
    // The curve's table goes away under the running server: GetCurvaABC fails.
    auto exec = [&](const char *sql) {
        TdtmDBGeral db;
        db.Open(s_db->Target());
        QSqlQuery q(db.Database());
        ASSERT_TRUE(q.exec(QLatin1String(sql)));
    };
    exec("ALTER TABLE CONTARECEBER RENAME TO CONTARECEBER_FORA");
    const QString out = m_out.filePath(QStringLiteral("curva.pdf"));
    f.cbbReportNames->UserSelect(18);
    f.ReportOutput = out;
    Action("sbtPrint");
    EXPECT_EQ(TakeMessages().size(), 1);
    EXPECT_EQ(ShowAviDepth(), 0);
    EXPECT_EQ(shows, hides);
    EXPECT_EQ(f.Control<TClientDataSet>("qryCurvaABC")->ChangeCount(), 0) << "no class letters";
    EXPECT_FALSE(QFile::exists(out));
    EXPECT_EQ(f.Control<TNetConnection>("netRelLancContReceber")->CallLog.last(), QStringLiteral("GetCurvaABC"));
    // Back in place, the next run goes through.
    exec("ALTER TABLE CONTARECEBER_FORA RENAME TO CONTARECEBER");
    Action("sbtPrint");
    EXPECT_EQ(TakeMessages(), QStringList());
    EXPECT_TRUE(QFile::exists(out));
    EXPECT_GT(f.Control<TClientDataSet>("qryCurvaABC")->ChangeCount(), 0);
    SetShowAviView({});
}

TEST_F(CurveTest, TheCurvesRequestIsAFunctionOfTheCriteriaValue)
{
    ASSERT_TRUE(Open());
    const std::vector<TCriteria> cases = VariedCriteria(Form()->CurrentCriteria(), 18);
    for (size_t i = 0; i < cases.size(); ++i) {
        const TCriteria &c = cases[i];
        Form()->ApplyCriteria(c);
        Save(18, m_out.filePath(QStringLiteral("curva-%1.csv").arg(i)));
        ASSERT_EQ(TakeMessages(), QStringList()) << "case " << i;
        const TNetConnection &net = *Form()->Control<TNetConnection>("netRelLancContReceber");
        const auto sent = [&](const char *method) {
            for (qsizetype k = net.CallLog.size() - 1; k >= 0; --k)
                if (net.CallLog[k] == QLatin1String(method))
                    return net.CallArgs[k];
            ADD_FAILURE() << "no call of " << method;
            return QVariantList();
        };
        // Built from the value alone; the emission option is the one the screen stored.
        TAbcRequest alone = CurveRequest(c);
        alone.OpEmissao = c.UtilizaOpEmissao ? QStringLiteral("S") : QStringLiteral("N");
        EXPECT_EQ(TAbcRequest::FromCurveArgs(sent("GetCurvaABC")), alone) << "case " << i;
        EXPECT_EQ(sent("GetCurvaABC"), alone.CurveArgs()) << "case " << i;
        EXPECT_EQ(sent("GetTotal"), alone.TotalArgs()) << "case " << i;
        EXPECT_EQ(sent("GetStatus"), StatusArgs(c)) << "case " << i;
    }
    // What the cases put in the request, by name.
    const TAbcRequest lists = CurveRequest(cases[1]);
    EXPECT_EQ(lists.FiliLanca, (TAbcChoice{QStringLiteral("_0101_"), QStringLiteral(" ")}));
    EXPECT_EQ(lists.Empresa, (TAbcChoice{QStringLiteral("_03_"), QString()}));
    EXPECT_EQ(lists.Status, QStringLiteral("B_A"));
    EXPECT_EQ(lists.Tipo, (TAbcChoice{QString(), QStringLiteral("T")}));
    EXPECT_EQ(lists.TipoClienteTodos, QStringLiteral("T")); // a client list means every type
    EXPECT_EQ(lists.Baixa, (TAbcDates{QStringLiteral("02/11/2026"), QStringLiteral("03/11/2026")}));
    EXPECT_EQ(lists.BaixaTodas, QString());
    EXPECT_EQ(lists.Adiantamento, QStringLiteral("T"));
    EXPECT_FALSE(lists.NoAmounts());
    const TAbcRequest region = CurveRequest(cases[2]);
    EXPECT_EQ(region.Regiao, (TAbcChoice{QStringLiteral("_009__010_"), QString()}));
    EXPECT_EQ(region.PriPub, QStringLiteral("B")); // public clients only
    EXPECT_EQ(region.RefeFat, (TAbcDates{QStringLiteral("01/01/2026"), QStringLiteral("31/12/2026")}));
    EXPECT_EQ(region.Status, QStringLiteral("_P"));
}

TEST(AbcRequest, EveryValueKeepsItsPlaceOnTheWireAndTheTotalsCarryTheirShare)
{
    TAbcRequest r;
    r.Cliente = {QStringLiteral("_1_"), QString()};
    r.Empresa = {QString(), QStringLiteral("T")};
    r.Status = QStringLiteral("B_D");
    r.ValorFin = 10;
    r.OpEmissao = QStringLiteral("S");
    r.Emissao = {QStringLiteral("01/01/2026"), QStringLiteral("02/01/2026")};
    r.EmissaoCopia = {QStringLiteral("03/01/2026"), QStringLiteral("04/01/2026")};
    r.Saida = {QStringLiteral("05/01/2026"), QStringLiteral("06/01/2026")};
    r.SaidaCopia = {QStringLiteral("07/01/2026"), QStringLiteral("08/01/2026")};
    r.VencimentoCopia = {QStringLiteral("09/01/2026"), QStringLiteral("10/01/2026")};
    r.Baixa = {QStringLiteral("11/01/2026"), QStringLiteral("12/01/2026")};
    r.BaixaCopia = {QStringLiteral("13/01/2026"), QStringLiteral("14/01/2026")};
    r.Adiantamento = QStringLiteral("1");
    r.OrcaTodos = QStringLiteral("T");
    const QVariantList curve = r.CurveArgs();
    ASSERT_EQ(curve.size(), 58);
    // The places peers read: client list 1, company flag 6, status word 15, amounts 21-22 as
    // numbers, emission option 29, emission 30-33, settlement 42-45, advances 53, budget flag 58.
    EXPECT_EQ(curve[0], QVariant(QStringLiteral("_1_")));
    EXPECT_EQ(curve[5], QVariant(QStringLiteral("T")));
    EXPECT_EQ(curve[14], QVariant(QStringLiteral("B_D")));
    EXPECT_EQ(curve[21], QVariant(10.0));
    EXPECT_EQ(curve[28], QVariant(QStringLiteral("S")));
    EXPECT_EQ(curve[31], QVariant(QStringLiteral("03/01/2026")));
    EXPECT_EQ(curve[44], QVariant(QStringLiteral("14/01/2026")));
    EXPECT_EQ(curve[52], QVariant(QStringLiteral("1")));
    EXPECT_EQ(curve[57], QVariant(QStringLiteral("T")));
    EXPECT_EQ(TAbcRequest::FromCurveArgs(curve), r);

    // The totals leave off the option, the first exit and settlement copies and the second
    // due-date copy, and put the no-amount flag 47th.
    const QVariantList total = r.TotalArgs();
    ASSERT_EQ(total.size(), 52);
    EXPECT_EQ(total[28], QVariant(QStringLiteral("01/01/2026")));
    EXPECT_EQ(total[32], QVariant(QStringLiteral("07/01/2026")));
    EXPECT_EQ(total[36], QVariant(QStringLiteral("13/01/2026")));
    EXPECT_EQ(total[46], QVariant(false));
    TAbcRequest carried = r;
    carried.OpEmissao.clear();
    carried.Saida = carried.VencimentoCopia = carried.Baixa = {};
    EXPECT_EQ(TAbcRequest::FromTotalArgs(total), carried);
    EXPECT_EQ(TAbcRequest::Position(TAbcRequest::TArg::VencimentoFrom, TAbcRequest::TCall::Total), 35);
    EXPECT_EQ(TAbcRequest::Position(TAbcRequest::TArg::SaidaFrom, TAbcRequest::TCall::Total), 0);

    // Without the salesperson and budget, and with the flag set whatever the amounts say.
    TAbcRequest shortTotals = r;
    shortTotals.HasSellerAndBudget = false;
    QVariantList flagged = shortTotals.TotalArgs();
    ASSERT_EQ(flagged.size(), 47);
    flagged[46] = true;
    const TAbcRequest read = TAbcRequest::FromTotalArgs(flagged);
    EXPECT_FALSE(read.HasSellerAndBudget);
    EXPECT_TRUE(read.NoAmounts());
    EXPECT_EQ(read.OrcaTodos, QString());
}
