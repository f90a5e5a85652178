// The ABC curve through the screen: what the server is sent, what comes back,
// the class letters and the curve layout, against the due-date layout's rows.
#include "Database.h"
#include "ReportTestSupport.h"
#include "Showavi.h"
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
    // The arguments of the last call of a method, numbered from 1.
    QVariant Arg(const char *method, int n)
    {
        const TNetConnection &net = *Form()->netRelLancContReceber;
        for (qsizetype i = net.CallLog.size() - 1; i >= 0; --i)
            if (net.CallLog[i] == QLatin1String(method))
                return net.CallArgs[i].value(n - 1);
        ADD_FAILURE() << "no call of " << method;
        return {};
    }
    QStringList CallsOfLastAction() const
    {
        const QStringList &log = Form()->netRelLancContReceber->CallLog;
        return log.mid(m_callsBefore);
    }
    void Save(int layout, const QString &path)
    {
        m_callsBefore = Form()->netRelLancContReceber->CallLog.size();
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
    f.lstEmpresa = QStringLiteral("_01__03_");
    const QString due = m_out.filePath(QStringLiteral("vencimento.csv"));
    Save(0, due);
    ASSERT_EQ(TakeMessages(), QStringList());
    const QString curve = m_out.filePath(QStringLiteral("curva.csv"));
    Save(18, curve);
    ASSERT_EQ(TakeMessages(), QStringList());
    EXPECT_EQ(CallsOfLastAction(), (QStringList{QStringLiteral("GetPercentual"), QStringLiteral("GetFiliLanca"), QStringLiteral("GetOpEmissao"),
                                                QStringLiteral("GetStatus"), QStringLiteral("GetCurvaABC"), QStringLiteral("GetTotal")}));

    // Table G as the screen gives it.
    EXPECT_EQ(Form()->netRelLancContReceber->CallArgs.last().size(), 52) << "GetTotal with the salesperson and budget range";
    EXPECT_EQ(Arg("GetCurvaABC", 5).toString(), QStringLiteral("_01__03_"));
    EXPECT_EQ(Arg("GetCurvaABC", 6).toString(), QString());
    EXPECT_EQ(Arg("GetCurvaABC", 12).toString(), QStringLiteral("T"));
    EXPECT_EQ(Arg("GetCurvaABC", 15).toString(), QStringLiteral("B_D_A_P"));
    EXPECT_EQ(Arg("GetCurvaABC", 16).toString(), QStringLiteral("T"));
    EXPECT_EQ(Arg("GetCurvaABC", 19).toString(), QStringLiteral("A_E"));
    EXPECT_EQ(Arg("GetCurvaABC", 21).toDouble(), 0.0);
    EXPECT_EQ(Arg("GetCurvaABC", 23).toString(), QStringLiteral("T"));
    EXPECT_EQ(Arg("GetCurvaABC", 29).toString(), QStringLiteral("S"));
    for (int n : {38, 40})
        EXPECT_EQ(Arg("GetCurvaABC", n).toString(), QStringLiteral("07/11/2026")) << n;
    for (int n : {39, 41})
        EXPECT_EQ(Arg("GetCurvaABC", n).toString(), QStringLiteral("07/12/2026")) << n;
    for (int n : {30, 31, 42, 43, 44, 45, 51, 52, 56, 57})
        EXPECT_EQ(Arg("GetCurvaABC", n).toString(), QString()) << n;
    EXPECT_EQ(Arg("GetCurvaABC", 50).toString(), QStringLiteral("T"));
    EXPECT_EQ(Arg("GetCurvaABC", 53).toString(), QStringLiteral("1"));
    EXPECT_EQ(Arg("GetCurvaABC", 55).toString(), QStringLiteral("T"));
    EXPECT_EQ(Arg("GetCurvaABC", 58).toString(), QStringLiteral("T"));
    EXPECT_EQ(Arg("GetTotal", 47), QVariant(true));
    EXPECT_EQ(Arg("GetStatus", 6).toString(), QStringLiteral("A_B_D_P"));

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
    ASSERT_EQ(f.qryTotal->RecordCount(), lastRunning.size());
    for (int i = 0; i < f.qryTotal->RecordCount(); ++i)
        f.qryTotal->WithRecord(i, [&] {
            const QString company = f.qryTotal->FieldByName(QStringLiteral("CDEMPRESA")).AsString();
            EXPECT_NEAR(f.qryTotal->FieldByName(QStringLiteral("SUMCRVRATUAREC")).AsFloat(), lastRunning.value(company), 0.005) << company.toStdString();
        });
    EXPECT_EQ(rows.last().section(QLatin1Char(';'), 9, 9), QStringLiteral("100,00"));
    // The letters stay in the change log only.
    EXPECT_GT(f.qryCurvaABC->ChangeCount(), 0);
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
    EXPECT_EQ(Arg("GetCurvaABC", 6).toString(), QStringLiteral("T"));
    auto companies = [](TClientDataSet &ds) {
        QStringList out;
        for (ds.First(); !ds.Eof(); ds.Next())
            if (!out.contains(ds.FieldByName(QStringLiteral("CDEMPRESA")).AsString()))
                out << ds.FieldByName(QStringLiteral("CDEMPRESA")).AsString();
        out.sort();
        return out;
    };
    const QStringList mine = {QStringLiteral("01"), QStringLiteral("03")};
    EXPECT_EQ(companies(*f.qryCurvaABC), mine);
    EXPECT_EQ(companies(*f.qryTotal), mine);
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
    f.chkTodos->SetChecked(false);
    f.chkBaixada->SetChecked(false);
    f.nedValor2->SetText(QStringLiteral("30000"));
    Click("rbtListaClie");
    f.lstCliente = QStringLiteral("_000006__000021_");
    f.chkPublico->SetChecked(false);
    Click("rbtListaLanca");
    f.lstLancamento = QStringLiteral("_0101_");
    Save(18, m_out.filePath(QStringLiteral("curva.csv")));
    ASSERT_EQ(TakeMessages(), QStringList());
    for (int n = 42; n <= 45; ++n)
        EXPECT_EQ(Arg("GetCurvaABC", n).toString(), QString()) << n;
    EXPECT_EQ(Arg("GetCurvaABC", 50).toString(), QStringLiteral("T"));
    EXPECT_FALSE(f.grbBaixa->isEnabled() && !f.chkPlanejada->isChecked());
    EXPECT_EQ(Arg("GetCurvaABC", 15).toString(), QStringLiteral("_D_A_P"));
    EXPECT_EQ(Arg("GetCurvaABC", 16).toString(), QString());
    EXPECT_EQ(Arg("GetCurvaABC", 21).toDouble(), 0.0);
    EXPECT_EQ(Arg("GetCurvaABC", 22).toDouble(), 30000.0);
    EXPECT_EQ(Arg("GetTotal", 47), QVariant(false));
    EXPECT_EQ(Arg("GetCurvaABC", 23).toString(), QStringLiteral("T"));
    EXPECT_EQ(Arg("GetCurvaABC", 24).toString(), QString());
    EXPECT_EQ(Arg("GetCurvaABC", 11).toString(), QStringLiteral("_0101_"));
    EXPECT_EQ(Arg("GetCurvaABC", 12).toString(), QStringLiteral(" "));
    EXPECT_EQ(Arg("GetFiliLanca", 1).toString(), QStringLiteral("_0101_"));
    EXPECT_EQ(Arg("GetFiliLanca", 2).toString(), QString());
    // Company "Todas": every company, and the company lookup opened for all.
    EXPECT_EQ(Arg("GetCurvaABC", 5).toString(), QString());
    EXPECT_EQ(Arg("GetCurvaABC", 6).toString(), QStringLiteral("T"));
    EXPECT_EQ(f.qryEmpresa->Query().RecordCount(), 5);
    // ADMIN had no emission option: a row was added and sent to the server.
    EXPECT_TRUE(CallsOfLastAction().contains(QStringLiteral("SetOpEmissao")));
    const QString stored = StoredEmissionOption(s_db->Target(), QStringLiteral("ADMIN"));
    ASSERT_FALSE(stored.isEmpty());
    EXPECT_EQ(stored, Arg("GetCurvaABC", 29).toString());
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
    EXPECT_EQ(f.qryCurvaABC->ChangeCount(), 0) << "no class letters";
    EXPECT_FALSE(QFile::exists(out));
    EXPECT_EQ(f.netRelLancContReceber->CallLog.last(), QStringLiteral("GetCurvaABC"));
    // Back in place, the next run goes through.
    exec("ALTER TABLE CONTARECEBER_FORA RENAME TO CONTARECEBER");
    Action("sbtPrint");
    EXPECT_EQ(TakeMessages(), QStringList());
    EXPECT_TRUE(QFile::exists(out));
    EXPECT_GT(f.qryCurvaABC->ChangeCount(), 0);
    SetShowAviView({});
}
