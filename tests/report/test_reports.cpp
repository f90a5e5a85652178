// Reports as a user gets them: the real screen, server, layouts and database;
// printed rows checked against golden files and against SQL of their own.
#include "data/Database.h"
#include "data/Exceptions.h"
#include "report/ReportBands.h"
#include "report/ReportExport.h"
#include "ReportTestSupport.h"
#include <QMdiSubWindow>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QSqlQuery>
#include <QSqlError>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <cmath>
#include <limits>
#include <sys/stat.h>

namespace {
QString sourceDir() { return QStringLiteral(REC_SOURCE_DIR); }

} // namespace

class ReportsTest : public ReportScreenTest {
protected:
    // Compares with the checked-in reference; REC_UPDATE_GOLDEN=1 writes it anew.
    void ExpectGolden(const QString &produced, const QString &name)
    {
        const QString golden = sourceDir() + QStringLiteral("/tests/report/golden/") + name;
        if (qEnvironmentVariableIntValue("REC_UPDATE_GOLDEN") == 1) {
            QFile::remove(golden);
            ASSERT_TRUE(QFile::copy(produced, golden));
        }
        EXPECT_EQ(CsvLines(produced), CsvLines(golden)) << name.toStdString();
    }
    void DueDateRows();
    void AgedAndSummary();
    void SummaryReconciles();
    void SameRowsUnderEveryDateFormat();
    QTemporaryDir m_out;
};

using ReportsOnPostgreSQL = OnPostgreSQL<ReportsTest>;

TEST_F(ReportsTest, DueDateLayoutPrintsExactlyTheRowsTheCriteriaSelect) { DueDateRows(); }
TEST_F(ReportsOnPostgreSQL, DueDateLayoutPrintsExactlyTheRowsTheCriteriaSelect) { DueDateRows(); }
TEST_F(ReportsTest, AgedAndSummaryLayoutsAddUpAsTheDatabaseDoes) { AgedAndSummary(); }
TEST_F(ReportsOnPostgreSQL, AgedAndSummaryLayoutsAddUpAsTheDatabaseDoes) { AgedAndSummary(); }

void ReportsTest::DueDateRows()
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    // MARIA's defaults: her companies 01 and 03, due 07/11 to 07/12/2026, real entries, no advances.
    const QString path = m_out.filePath(QStringLiteral("vencimento.csv"));
    RunTo(0, "sbtSalvarComo", path);
    EXPECT_TRUE(TakeMessages().isEmpty());
    const QStringList lines = CsvLines(path);
    ASSERT_GT(lines.size(), 1);
    EXPECT_EQ(lines.first(), QStringLiteral("Empresa;Vencimento;Cliente;Razão Social;Documento;Emissão;St;Tipo;Valor Original;"
                                            "Valor Atualizado;Valor Líquido"));
    ExpectGolden(path, QStringLiteral("00_vencimento_padrao.csv"));
    const QStringList expected = sqlRows(
        s_db->Target(),
        QStringLiteral("SELECT R.CDEMPRESA, R.NRLANBOLREC, R.VRATUAREC FROM CONTARECEBER R JOIN TIPOCTRECEBER T ON T.CDTPCTRECEB = R.CDTPCTRECEB "
                       "WHERE R.CDEMPRESA IN ('01', '03') AND R.DTATUAVENREC BETWEEN '2026-11-07' AND '2026-12-07' "
                       "AND R.IDTPLANCREC IN ('A', 'E') AND T.IDTPCTRECEBER = '1' "
                       "ORDER BY R.CDEMPRESA, R.DTATUAVENREC, R.CDCLIENTE, R.NRLANCTOREC"));
    QStringList printed;
    for (const QString &l : lines.mid(1)) {
        const QStringList c = l.split(QLatin1Char(';'));
        printed << c[0] + QLatin1Char(';') + c[4] + QLatin1Char(';') + QString::number(QLocale(QLocale::Portuguese).toDouble(c[9]));
    }
    QStringList want;
    for (const QString &r : expected) {
        const QStringList c = r.split(QLatin1Char(';'));
        want << c[0] + QLatin1Char(';') + c[1] + QLatin1Char(';') + QString::number(c[2].toDouble());
    }
    EXPECT_EQ(printed, want);
    EXPECT_EQ(f.rpddPadrao->LastResult().Rows, want.size());

    // Three clients, open and settled ones, net value from 1.000,00 to 40.000,00: the same check on a narrower set.
    Click("rbtListaClie");
    f.CodeList("lstCliente") = QStringLiteral("_000006__000021__000039_");
    f.Control<TCheckBox>("chkTodos")->SetChecked(false);
    for (TCheckBox *c : {f.Control<TCheckBox>("chkDescontada"), f.Control<TCheckBox>("chkPlanejada")})
        c->SetChecked(false);
    f.Control<TNumberEdit>("nedValor1")->SetText(QStringLiteral("1000"));
    f.Control<TNumberEdit>("nedValor2")->SetText(QStringLiteral("40000"));
    const QString narrow = m_out.filePath(QStringLiteral("clientes.csv"));
    RunTo(1, "sbtSalvarComo", narrow);
    EXPECT_EQ(TakeMessages(), QStringList());
    ExpectGolden(narrow, QStringLiteral("01_cliente_lista.csv"));
    const QStringList direct = sqlRows(
        s_db->Target(),
        QStringLiteral("SELECT R.CDEMPRESA, R.CDCLIENTE, R.NRLANBOLREC FROM CONTARECEBER R JOIN TIPOCTRECEBER T ON T.CDTPCTRECEB = R.CDTPCTRECEB "
                       "WHERE R.CDEMPRESA IN ('01', '03') AND R.CDCLIENTE IN ('000006', '000021', '000039') AND R.IDSTATREC IN ('A', 'B') "
                       "AND R.VRLIQREC BETWEEN 1000 AND 40000 AND R.DTATUAVENREC BETWEEN '2026-11-07' AND '2026-12-07' "
                       "AND R.IDTPLANCREC IN ('A', 'E') AND T.IDTPCTRECEBER = '1' "
                       "ORDER BY R.CDEMPRESA, R.CDCLIENTE, R.DTATUAVENREC, R.NRLANCTOREC"));
    QStringList got;
    for (const QString &l : CsvLines(narrow).mid(1)) {
        const QStringList c = l.split(QLatin1Char(';'));
        got << c[0] + QLatin1Char(';') + c[1] + QLatin1Char(';') + c[2];
    }
    EXPECT_EQ(got, direct);
    EXPECT_EQ(got.size(), 3);
}

void ReportsTest::AgedAndSummary()
{
    ASSERT_TRUE(Open());
    const QString aged = m_out.filePath(QStringLiteral("atraso.csv"));
    RunTo(13, "sbtSalvarComo", aged);
    EXPECT_TRUE(TakeMessages().isEmpty());
    ExpectGolden(aged, QStringLiteral("13_atraso_padrao.csv"));
    // Per client: open updated values by days past the due date on 07/12/2026.
    const QStringList direct = sqlRows(
        s_db->Target(),
        QStringLiteral("SELECT R.CDEMPRESA, R.CDCLIENTE, COUNT(*), "
                       "SUM(CASE WHEN R.DTATUAVENREC >= '2026-12-07' THEN R.VRATUAREC ELSE 0 END), "
                       "SUM(CASE WHEN R.DTATUAVENREC < '2026-12-07' AND R.DTATUAVENREC >= '2026-11-07' THEN R.VRATUAREC ELSE 0 END), "
                       "SUM(R.VRATUAREC) FROM CONTARECEBER R JOIN TIPOCTRECEBER T ON T.CDTPCTRECEB = R.CDTPCTRECEB "
                       "WHERE R.CDEMPRESA IN ('01', '03') AND R.DTATUAVENREC BETWEEN '2026-11-07' AND '2026-12-07' "
                       "AND R.IDTPLANCREC IN ('A', 'E') AND T.IDTPCTRECEBER = '1' AND R.IDSTATREC = 'A' "
                       "GROUP BY R.CDEMPRESA, R.CDCLIENTE ORDER BY R.CDEMPRESA, R.CDCLIENTE"));
    QStringList got, want;
    for (const QString &l : CsvLines(aged).mid(1)) {
        const QStringList c = l.split(QLatin1Char(';'));
        got << QStringList{c[0], c[1], c[3], c[4], c[5], c[9]}.join(QLatin1Char(';'));
    }
    for (const QString &r : direct) {
        const QStringList c = r.split(QLatin1Char(';'));
        want << QStringList{c[0], c[1], c[2], amount(c[3].toDouble()), amount(c[4].toDouble()), amount(c[5].toDouble())}.join(QLatin1Char(';'));
    }
    EXPECT_EQ(got, want);

    const QString summary = m_out.filePath(QStringLiteral("resumo.csv"));
    RunTo(17, "sbtSalvarComo", summary);
    ExpectGolden(summary, QStringLiteral("17_resumo_padrao.csv"));
    EXPECT_EQ(CsvLines(summary).size(), 3); // heading and MARIA's two companies
}

TEST_F(ReportsTest, SummaryTotalsAreTheSumsOfTheDueDateLayout) { SummaryReconciles(); }
TEST_F(ReportsOnPostgreSQL, SummaryTotalsAreTheSumsOfTheDueDateLayout) { SummaryReconciles(); }

void ReportsTest::SummaryReconciles()
{
    ASSERT_TRUE(Open());
    TfrmRelLancContReceber &f = *Form();
    // The six clients with most receivables due in the range, open and settled entries only, net value
    // from 500,00 to 1.000.000,00: criteria of three pages.
    const QStringList clients = sqlRows(s_db->Target(), QStringLiteral("SELECT CDCLIENTE FROM CONTARECEBER WHERE CDEMPRESA IN ('01', '03') "
                                                                       "AND DTATUAVENREC BETWEEN '2026-11-07' AND '2026-12-07' "
                                                                       "GROUP BY CDCLIENTE ORDER BY COUNT(*) DESC, CDCLIENTE LIMIT 6"));
    ASSERT_EQ(clients.size(), 6);
    Click("rbtListaClie");
    f.CodeList("lstCliente") = QLatin1Char('_') + clients.join(QStringLiteral("__")) + QLatin1Char('_');
    f.Control<TCheckBox>("chkTodos")->SetChecked(false);
    for (TCheckBox *c : {f.Control<TCheckBox>("chkDescontada"), f.Control<TCheckBox>("chkPlanejada")})
        c->SetChecked(false);
    f.Control<TNumberEdit>("nedValor1")->SetText(QStringLiteral("500"));
    f.Control<TNumberEdit>("nedValor2")->SetText(QStringLiteral("1000000"));
    const QString due = m_out.filePath(QStringLiteral("vencimento.csv")), summary = m_out.filePath(QStringLiteral("resumo.csv"));
    RunTo(0, "sbtSalvarComo", due);
    RunTo(17, "sbtSalvarComo", summary);
    EXPECT_EQ(TakeMessages(), QStringList());

    // Per company from the due-date layout's rows: count, open, settled, discounted, planned, total.
    const QLocale pt(QLocale::Portuguese);
    QMap<QString, QVector<double>> fromDue;
    for (const QString &l : CsvLines(due).mid(1)) {
        const QStringList c = l.split(QLatin1Char(';'));
        QVector<double> &t = fromDue[c[0]];
        t.resize(6);
        const double v = pt.toDouble(c[9]);
        t[0] += 1;
        t[1 + QStringLiteral("ABDP").indexOf(c[6])] += v;
        t[5] += v;
    }
    QStringList want;
    for (auto it = fromDue.cbegin(); it != fromDue.cend(); ++it) {
        QStringList cells{it.key(), QString::number(it.value()[0])};
        for (int i = 1; i < 6; ++i)
            cells << amount(it.value()[i]);
        want << cells.join(QLatin1Char(';'));
    }
    QStringList got;
    for (const QString &l : CsvLines(summary).mid(1)) {
        const QStringList c = l.split(QLatin1Char(';'));
        got << QStringList{c[0], c[2], c[3], c[4], c[5], c[6], c[7]}.join(QLatin1Char(';'));
    }
    EXPECT_EQ(got, want);

    // And both against the database: the same receivables, counted on their own.
    const QStringList direct = sqlRows(
        s_db->Target(),
        QStringLiteral("SELECT R.CDEMPRESA, COUNT(*), SUM(R.VRATUAREC) FROM CONTARECEBER R JOIN TIPOCTRECEBER T ON T.CDTPCTRECEB = R.CDTPCTRECEB "
                       "WHERE R.CDEMPRESA IN ('01', '03') AND R.CDCLIENTE IN ('%1') "
                       "AND R.IDSTATREC IN ('A', 'B') AND R.VRLIQREC BETWEEN 500 AND 1000000 AND R.DTATUAVENREC BETWEEN '2026-11-07' AND '2026-12-07' "
                       "AND R.IDTPLANCREC IN ('A', 'E') AND T.IDTPCTRECEBER = '1' GROUP BY R.CDEMPRESA ORDER BY R.CDEMPRESA")
            .arg(clients.join(QStringLiteral("', '"))));
    ASSERT_FALSE(direct.isEmpty());
    QStringList counted;
    for (const QString &r : direct) {
        const QStringList c = r.split(QLatin1Char(';'));
        counted << c[0] + QLatin1Char(';') + c[1] + QLatin1Char(';') + amount(c[2].toDouble());
    }
    QStringList summed;
    for (const QString &l : got) {
        const QStringList c = l.split(QLatin1Char(';'));
        summed << c[0] + QLatin1Char(';') + c[1] + QLatin1Char(';') + c[6];
    }
    EXPECT_EQ(summed, counted);
}

TEST_F(ReportsTest, EveryLayoutSelectsTheSameRowsUnderEveryDateFormat) { SameRowsUnderEveryDateFormat(); }
TEST_F(ReportsOnPostgreSQL, EveryLayoutSelectsTheSameRowsUnderEveryDateFormat) { SameRowsUnderEveryDateFormat(); }

void ReportsTest::SameRowsUnderEveryDateFormat()
{
    // The host's short-date format is process state: put back the suite's context whatever happens.
    const THostContextScope guard(HostContext());
    // Due from 07/11/2026 (the default), settled from 01/10/2026 to 07/12/2026, in each pattern's own words.
    const struct {
        const char *Pattern, *DueFrom, *SettledFrom, *SettledTo;
    } formats[] = {{"dd/MM/yyyy", "07/11/2026", "01/10/2026", "07/12/2026"}, {"dd/MM/yy", "07/11/26", "01/10/26", "07/12/26"},
                   {"dd.MM.yyyy", "07.11.2026", "01.10.2026", "07.12.2026"}, {"yyyy-MM-dd", "2026-11-07", "2026-10-01", "2026-12-07"},
                   {"MM/dd/yyyy", "11/07/2026", "10/01/2026", "12/07/2026"}, {"d.M.yy", "7.11.26", "1.10.26", "7.12.26"},
                   {"M/d/yyyy", "11/7/2026", "10/1/2026", "12/7/2026"}};
    QVector<QStringList> reference;
    for (const auto &fmt : formats) {
        SCOPED_TRACE(fmt.Pattern);
        for (QMdiSubWindow *w : m_area->subWindowList())
            delete w;
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        SetFormCriado(false);
        THostContext ctx = Context();
        ctx.DateFormat = QString::fromLatin1(fmt.Pattern);
        ApplyContext(ctx);
        ASSERT_TRUE(Open());
        EXPECT_EQ(Form()->Control<TDateEditPlus>("depVenIni")->text(), QString::fromLatin1(fmt.DueFrom));
        EXPECT_EQ(DateTimeToDate(Form()->Control<TDateEditPlus>("depVenIni")->GetDate()), QDate(2026, 11, 7));
        Type("depBaixaEntr", QString::fromLatin1(fmt.SettledFrom));
        Leave("depBaixaEntr");
        Type("depBaixaSaid", QString::fromLatin1(fmt.SettledTo));
        Leave("depBaixaSaid");
        EXPECT_EQ(DateTimeToDate(Form()->Control<TDateEditPlus>("depBaixaEntr")->GetDate()), QDate(2026, 10, 1));
        EXPECT_EQ(DateTimeToDate(Form()->Control<TDateEditPlus>("depBaixaSaid")->GetDate()), QDate(2026, 12, 7));
        EXPECT_EQ(Form()->Control<TDateEditPlus>("depBaixaSaid")->text(), QString::fromLatin1(fmt.SettledTo));
        QVector<QStringList> rows;
        for (int layout = 0; layout < Form()->cbbReportNames->count(); ++layout) {
            const QString path = m_out.filePath(QStringLiteral("%1-%2.csv").arg(QString::fromLatin1(fmt.Pattern).replace(QLatin1Char('/'), QLatin1Char('_'))).arg(layout));
            RunTo(layout, "sbtSalvarComo", path);
            EXPECT_EQ(TakeMessages(), QStringList()) << "layout " << layout;
            rows << CsvLines(path);
        }
        if (reference.isEmpty()) {
            reference = rows;
            ASSERT_EQ(reference.size(), 20);
            // Settled in the range: the settlement-date layout and the curve have rows to compare.
            EXPECT_GT(reference[10].size(), 1);
            EXPECT_GT(reference[18].size(), 1);
        } else {
            for (int layout = 0; layout < rows.size(); ++layout)
                EXPECT_EQ(rows[layout], reference.value(layout)) << "layout " << layout;
        }
    }
}

TEST_F(ReportsTest, PdfAndSpreadsheetHoldWhatThePersonExpects)
{
    ASSERT_TRUE(Open());
    const QString pdf = m_out.filePath(QStringLiteral("vencimento.pdf"));
    RunTo(0, "sbtPrint", pdf);
    EXPECT_TRUE(TakeMessages().isEmpty());
    const TReportResult printed = Form()->rpddPadrao->LastResult();
    ASSERT_TRUE(QFile::exists(pdf));
    EXPECT_EQ(printed.Output, pdf);
    const QString info = RunTool(QStringLiteral("pdfinfo"), {pdf});
    EXPECT_TRUE(info.contains(QStringLiteral("Pages:           %1").arg(printed.Pages))) << info.toStdString();
    const QString text = RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    EXPECT_TRUE(text.contains(QStringLiteral("Contas a Receber por Vencimento")));
    EXPECT_TRUE(text.contains(QStringLiteral("Página 1 de %1").arg(printed.Pages)));
    EXPECT_TRUE(text.contains(QStringLiteral("01 - ")));  // the company of branch 0101
    EXPECT_TRUE(text.contains(QStringLiteral("Emissão: 07/12/2026")));
    const QStringList total = sqlRows(
        s_db->Target(),
        QStringLiteral("SELECT SUM(R.VRATUAREC) FROM CONTARECEBER R JOIN TIPOCTRECEBER T ON T.CDTPCTRECEB = R.CDTPCTRECEB "
                       "WHERE R.CDEMPRESA IN ('01', '03') AND R.DTATUAVENREC BETWEEN '2026-11-07' AND '2026-12-07' "
                       "AND R.IDTPLANCREC IN ('A', 'E') AND T.IDTPCTRECEBER = '1'"));
    const QString grand = QLocale(QLocale::Portuguese, QLocale::Brazil).toString(total.first().toDouble(), 'f', 2);
    EXPECT_TRUE(text.contains(QStringLiteral("Total geral (%1 registros)").arg(printed.Rows)));
    EXPECT_TRUE(text.contains(grand)) << grand.toStdString();

    // Preview in a batch writes the same pages.
    const QString preview = m_out.filePath(QStringLiteral("previa.pdf"));
    RunTo(0, "sbtPreview", preview);
    EXPECT_EQ(Form()->rpddPadrao->LastResult().Pages, printed.Pages);

    const QString xlsx = m_out.filePath(QStringLiteral("vencimento.xlsx"));
    RunTo(0, "sbtSalvarComo", xlsx);
    EXPECT_TRUE(TakeMessages().isEmpty());
    const QString sheet = RunTool(QStringLiteral("unzip"), {QStringLiteral("-p"), xlsx, QStringLiteral("xl/worksheets/sheet1.xml")});
    EXPECT_TRUE(sheet.contains(QStringLiteral("ySplit=\"1\""))) << "header row frozen";
    // Amounts and dates are numbers (no t="s"), the heading is text.
    const QRegularExpression numeric(QStringLiteral("<c r=\"J2\" s=\"\\d+\"><v>[0-9.]+</v></c>"));
    EXPECT_TRUE(numeric.match(sheet).hasMatch()) << sheet.left(1500).toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("<c r=\"B2\" s=\"\\d+\"><v>4\\d{4}</v></c>")).match(sheet).hasMatch());
    EXPECT_EQ(sheet.count(QStringLiteral("<row ")), printed.Rows + 1);

    const QString html = m_out.filePath(QStringLiteral("vencimento.html"));
    RunTo(0, "sbtSalvarComo", html);
    QFile h(html);
    ASSERT_TRUE(h.open(QIODevice::ReadOnly));
    const QString page = QString::fromUtf8(h.readAll());
    EXPECT_TRUE(page.contains(QStringLiteral("<h1>Contas a Receber por Vencimento</h1>")));
    EXPECT_TRUE(page.contains(grand));
}

TEST_F(ReportsTest, FailuresSayWhatIsWrongAndLeaveNoFile)
{
    // A copy of the layouts this test may break.
    QTemporaryDir reports;
    const QString folder = reports.filePath(QStringLiteral("REC110"));
    QDir().mkpath(folder);
    for (const QString &f : QDir(BinDir() + QStringLiteral("/../reports/REC110")).entryList({QStringLiteral("*.json")}))
        QFile::copy(BinDir() + QStringLiteral("/../reports/REC110/") + f, folder + QLatin1Char('/') + f);
    const TfrmDadosGerRel::TReportDirScope copies(reports.path());
    ASSERT_TRUE(Open());
    const QStringList files = QDir(folder).entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name);
    auto nothingWritten = [&](const QString &path) {
        EXPECT_FALSE(QFile::exists(path));
        EXPECT_EQ(QDir(m_out.path()).entryList(QDir::Files | QDir::Hidden), QStringList()) << "no partial or temporary file";
    };

    // A layout removed after the list was made.
    QFile::remove(folder + QLatin1Char('/') + files[1]);
    const QString out1 = m_out.filePath(QStringLiteral("a.pdf"));
    RunTo(1, "sbtPrint", out1);
    EXPECT_EQ(TakeMessages(), QStringList{QStringLiteral("O arquivo contendo a definição do Relatório de código 'REC110' não foi "
                                                         "encontrado no diretório '%1'.").arg(folder)});
    nothingWritten(out1);

    // A corrupt layout names the file and the fault.
    QFile broken(folder + QLatin1Char('/') + files[2]);
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
    broken.write("{\"title\": \"Quebrado\", \"statement\": ");
    broken.close();
    const QString out2 = m_out.filePath(QStringLiteral("b.csv"));
    RunTo(2, "sbtSalvarComo", out2);
    const QStringList corrupt = TakeMessages();
    ASSERT_EQ(corrupt.size(), 1);
    EXPECT_TRUE(corrupt.first().contains(files[2])) << corrupt.first().toStdString();
    EXPECT_TRUE(corrupt.first().contains(QStringLiteral("não é um JSON válido")));
    nothingWritten(out2);

    // A statement the database refuses names the layout and the database's reason, for every kind of file.
    QFile bad(folder + QLatin1Char('/') + files[3]);
    ASSERT_TRUE(bad.open(QIODevice::ReadOnly));
    QString json = QString::fromUtf8(bad.readAll());
    bad.close();
    json.replace(QStringLiteral("FROM CONTARECEBER R"), QStringLiteral("FROM CONTARECEBER_SUMIU R"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly | QIODevice::Truncate));
    bad.write(json.toUtf8());
    bad.close();
    for (const char *name : {"c.pdf", "c.csv", "c.xlsx", "c.html"}) {
        const QString out = m_out.filePath(QLatin1String(name));
        RunTo(3, QLatin1String(name).endsWith(QLatin1String("pdf")) ? "sbtPrint" : "sbtSalvarComo", out);
        const QStringList m = TakeMessages();
        ASSERT_EQ(m.size(), 1) << name;
        EXPECT_TRUE(m.first().startsWith(QStringLiteral("O relatório 'Contas a Receber por Tipo de Conta' não pôde ser gerado")));
        EXPECT_TRUE(m.first().contains(QStringLiteral("CONTARECEBER_SUMIU"))) << m.first().toStdString();
        nothingWritten(out);
    }

    // A folder that does not exist, and a type the engine does not write.
    RunTo(0, "sbtSalvarComo", m_out.filePath(QStringLiteral("nao/existe.csv")));
    EXPECT_EQ(TakeMessages().size(), 1);
    RunTo(0, "sbtSalvarComo", m_out.filePath(QStringLiteral("x.doc")));
    EXPECT_TRUE(TakeMessages().value(0).contains(QStringLiteral("use .pdf, .csv, .html ou .xlsx")));
    nothingWritten(m_out.filePath(QStringLiteral("x.doc")));
}

// A date text the database cannot make a date of is no date, on PostgreSQL as on SQLite.
// Amounts and dates are written without the locale's general routines; each text is the one
// those routines give.
TEST(ReportText, AmountsAndDatesAreWrittenAsTheLocaleWritesThem)
{
    const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    QRandomGenerator random(1209);
    std::vector<double> values{0.0, -0.0, 0.004, -0.004, 0.005, -0.005, 0.015, 1.005, 2.675, 999.995, 1000, -1000, 999999.999, 123456789.125,
                               999999999999999.0, 1e15, -1e15, 1e20, 5e-324, std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()};
    for (int i = 0; i < 20000; ++i) {
        const double magnitude = std::pow(10.0, random.bounded(19.0) - 3.0);
        const double v = (random.bounded(2) ? -1 : 1) * random.bounded(1.0) * magnitude;
        values.push_back(v);
        values.push_back(std::round(v * 1000) / 1000); // halves of a cent and their neighbours
    }
    for (double v : values) {
        EXPECT_EQ(AmountText(v, false), QString::number(v, 'f', 2).replace(QLatin1Char('.'), QLatin1Char(','))) << v;
        EXPECT_EQ(AmountText(v, true), brazil.toString(v, 'f', 2)) << v;
    }
    for (const QDate &d : {QDate(1000, 1, 1), QDate(999, 12, 31), QDate(9999, 12, 31), QDate(2026, 2, 28), QDate(1, 1, 1), QDate(-44, 3, 15), QDate(10000, 1, 1), QDate()}) {
        EXPECT_EQ(DisplayText(TColumnFormat::Date, d), d.isValid() ? d.toString(QStringLiteral("dd/MM/yyyy")) : QString()) << d.toString().toStdString();
    }
    for (int i = 0; i < 2000; ++i) {
        const QDate d = QDate(1900, 1, 1).addDays(random.bounded(80000));
        EXPECT_EQ(DisplayText(TColumnFormat::Date, d), d.toString(QStringLiteral("dd/MM/yyyy")));
        EXPECT_EQ(ValueText(d.toString(Qt::ISODate)), d.toString(QStringLiteral("dd/MM/yyyy")));
    }
    // Texts that only look like dates stay as they are; other digits are read as the pattern reads them.
    for (const char *text : {"2026-1-05", "2026-01-5x", "2026/01/05", "20260105", "2026-13-40", "abcd-ef-gh", "2026-01-05 ", ""}) {
        EXPECT_EQ(ValueText(QString::fromUtf8(text)), QString::fromUtf8(text)) << text;
    }
    const QString otherDigits = QString::fromUtf8("\u0662\u0660\u0662\u0666-\u0660\u0661-\u0660\u0665");
    EXPECT_EQ(ValueText(otherDigits), DisplayText(TColumnFormat::Date, otherDigits));
}

TEST(ReportStatements, ImpossibleDateTextsFailNoStatement)
{
    std::vector<TBackend> backends{TBackend::SQLite};
    if (PostgresAvailable())
        backends.push_back(TBackend::PostgreSQL);
    for (TBackend backend : backends) {
        TTestDatabase data(backend, 20);
        TdtmDBGeral db;
        db.Open(data.Target());
        TParams params;
        for (const char *name : {"IMPOSSIBLE", "MONTH", "LEAP", "NOTLEAP", "BLANK"})
            params.CreateParam(TParamType::String, QLatin1String(name));
        params.ParamByName(QStringLiteral("IMPOSSIBLE")).SetAsString(QStringLiteral("2026-02-30"));
        params.ParamByName(QStringLiteral("MONTH")).SetAsString(QStringLiteral("2026-13-01"));
        params.ParamByName(QStringLiteral("LEAP")).SetAsString(QStringLiteral("2024-02-29"));
        params.ParamByName(QStringLiteral("NOTLEAP")).SetAsString(QStringLiteral("2026-02-29"));
        params.ParamByName(QStringLiteral("BLANK")).SetAsString(QStringLiteral(" "));
        QSqlQuery q;
        ASSERT_NO_THROW(q = RunStatement(db.Database(),
                                         QStringLiteral("SELECT COUNT(*) FROM CONTARECEBER R WHERE (DATE(:IMPOSSIBLE) IS NULL OR R.DTATUAVENREC >= DATE(:IMPOSSIBLE)) "
                                                        "AND (DATE(:MONTH) IS NULL OR R.DTATUAVENREC >= DATE(:MONTH)) AND DATE(:LEAP) IS NOT NULL "
                                                        "AND (DATE(:NOTLEAP) IS NULL OR DATE(:NOTLEAP) IS NOT NULL) AND DATE(:BLANK) IS NULL"),
                                         params, QStringLiteral("datas")))
            << BackendName(backend).toStdString();
        ASSERT_TRUE(q.next());
        EXPECT_GT(q.value(0).toInt(), 0) << BackendName(backend).toStdString();
    }
    if (PostgresAvailable()) {
        TTestDatabase pg(TBackend::PostgreSQL, 5);
        TdtmDBGeral db;
        db.Open(pg.Target());
        QSqlQuery q(db.Database());
        ASSERT_TRUE(q.exec(QStringLiteral("SELECT DATE(CAST('2026-02-30' AS text)) IS NULL, DATE(CAST('2026-02-28' AS text)), "
                                          "DATE(CAST('2024-02-29' AS text)), DATE(CAST('0000-01-01' AS text)) IS NULL")))
            << q.lastError().text().toStdString();
        ASSERT_TRUE(q.next());
        EXPECT_TRUE(q.value(0).toBool());
        EXPECT_EQ(q.value(1).toDate(), QDate(2026, 2, 28));
        EXPECT_EQ(q.value(2).toDate(), QDate(2024, 2, 29));
        EXPECT_TRUE(q.value(3).toBool());
    }
}

namespace {
// A layout's parameters as the screen fills them: lists for some groups ("given" adds a client
// list, dates, a settlement date and an amount), "T" flags for the others, blanks as one space.
// `lists` gives codes to more groups; the flag of each is then "F".
TParams ScreenParams(const TReportLayout &l, bool given, const QHash<QString, QString> &lists = {})
{
    auto flagOf = [](const QString &list) {
        return list.startsWith(QStringLiteral("P_")) ? QStringLiteral("P_T") + list.mid(2) : QStringLiteral("T") + list;
    };
    QSet<QString> listed;
    for (auto it = lists.cbegin(); it != lists.cend(); ++it)
        listed << flagOf(it.key());
    TParams params;
    for (const auto &p : l.Params) {
        TParam &param = params.CreateParam(p.Type, p.Name);
        const QString n = p.Name;
        if (lists.contains(n))
            param.SetAsString(lists.value(n));
        else if (listed.contains(n))
            param.SetAsString(QStringLiteral("F"));
        else if (n == QStringLiteral("CODEMPRESA"))
            param.SetAsString(QStringLiteral("_01__03_"));
        else if (n == QStringLiteral("CLIENTE") && given)
            param.SetAsString(QStringLiteral("_000009__000057_"));
        else if ((n.startsWith(QStringLiteral("T")) || n.startsWith(QStringLiteral("P_T"))) && n != QStringLiteral("TIPO")
                 && n != QStringLiteral("TIPOCONTA") && !(n == QStringLiteral("TCLIENTE") && given) && n != QStringLiteral("TCODEMPRESA"))
            param.SetAsString(QStringLiteral("T"));
        else if (p.Type == TParamType::Date && (given || n.contains(QStringLiteral("VEN"))))
            param.SetAsDate(DateToDateTime(n.endsWith(QStringLiteral("FIN")) ? QDate(2026, 12, 7) : QDate(2026, 6, 1)));
        else if (n == QStringLiteral("DTBAIXAINI") && given)
            param.SetAsString(QStringLiteral("01/06/2026"));
        else if (n == QStringLiteral("VALORFIN") && given)
            param.SetAsFloat(500000);
        else if (n == QStringLiteral("P_ORCA"))
            param.SetAsString(QStringLiteral("T"));
        else if (n == QStringLiteral("IDTPCTRECEBER"))
            param.SetAsString(QStringLiteral("1_2"));
        else if (n.startsWith(QStringLiteral("STATUS")) && n.size() == 7)
            param.SetAsString(n.right(1));
        else
            param.SetAsString(QStringLiteral(" "));
    }
    params.CreateParam(TParamType::Date, QStringLiteral("REL_DTEMISSAO")).SetAsDate(DateToDateTime(QDate(2026, 12, 7)));
    return params;
}

// A sum may add its terms in another order under another plan: amounts to the millionth.
QString cellText(const QVariant &v)
{
    return v.typeId() == QMetaType::Double ? QString::number(v.toDouble(), 'f', 6) : v.toString();
}

std::vector<TBackend> EveryBackend()
{
    std::vector<TBackend> backends{TBackend::SQLite};
    if (PostgresAvailable())
        backends.push_back(TBackend::PostgreSQL);
    return backends;
}
} // namespace

// Every layout's statement runs on each database with parameters as the screen fills them.
TEST(ReportStatements, EveryLayoutRunsOnSQLiteAndPostgreSQL)
{
    const QVector<TReportLayout> layouts = LoadReportLayouts(BinDir() + QStringLiteral("/../reports"), QStringLiteral("REC110"));
    ASSERT_EQ(layouts.size(), 20);
    EXPECT_EQ(layouts[18].Title, QStringLiteral("Curva ABC de Contas a Receber"));
    EXPECT_EQ(layouts[19].Title, QStringLiteral("Posição de Contas a Receber em Data-Base"));
    for (TBackend backend : EveryBackend()) {
        TTestDatabase data(backend, 300);
        TdtmDBGeral db;
        db.Open(data.Target());
        for (bool given : {true, false}) {
            for (const TReportLayout &l : layouts) {
                ASSERT_TRUE(l.LoadError.isEmpty()) << l.LoadError.toStdString();
                if (!l.DataSet.isEmpty())
                    continue;
                TParams params = ScreenParams(l, given);
                try {
                    // The questions' defaults, and the bands they give, as the engine runs the layout.
                    auto rows = OpenStatementRows(db.Database(), LayoutAsRun(l, {}, QDate(2026, 12, 7), params), params);
                    int n = 0;
                    while (rows->Next())
                        ++n;
                    if (!given) {
                        EXPECT_GT(n, 0) << l.Title.toStdString() << " on " << BackendName(backend).toStdString();
                    }
                } catch (const EHostError &e) {
                    ADD_FAILURE() << BackendName(backend).toStdString() << ": " << e.Message().toStdString();
                }
            }
        }
    }
}

// The engine writes out the conditions the criteria decide before the database plans the
// statement; each layout still gives the rows of its statement as it stands in the file.
TEST(ReportStatements, EveryLayoutGivesTheRowsOfItsWholeStatement)
{
    const QVector<TReportLayout> layouts = LoadReportLayouts(BinDir() + QStringLiteral("/../reports"), QStringLiteral("REC110"));
    for (TBackend backend : EveryBackend()) {
        TTestDatabase data(backend, 300);
        TdtmDBGeral db;
        db.Open(data.Target());
        // Codes that are there, taken from the rows, and one that is not.
        auto codes = [&db](const char *sql) {
            QSqlQuery q(db.Database());
            EXPECT_TRUE(q.exec(QLatin1String(sql))) << q.lastError().text().toStdString();
            QString list = QStringLiteral("_");
            while (q.next())
                list += q.value(0).toString() + QLatin1Char('_');
            return list + QStringLiteral("XX_");
        };
        const QString clients = codes("SELECT DISTINCT CDCLIENTE FROM CONTARECEBER ORDER BY CDCLIENTE LIMIT 4");
        const QString vendors = codes("SELECT DISTINCT CDVENDEDOR FROM CONTARECEBER WHERE CDVENDEDOR IS NOT NULL ORDER BY 1 LIMIT 2");
        const QString regions = codes("SELECT DISTINCT CDREGIAOPED FROM CLIENTE WHERE CDREGIAOPED IS NOT NULL ORDER BY 1 LIMIT 2");
        const QString forms = codes("SELECT DISTINCT CDTPBAIXAREC FROM BAIXAREC ORDER BY 1 LIMIT 2");
        const QVector<QHash<QString, QString>> choices{
            {},
            {{QStringLiteral("CLIENTE"), clients}},
            {{QStringLiteral("CLIENTE"), clients}, {QStringLiteral("P_VENDEDOR"), vendors}, {QStringLiteral("P_CDREGIAOPED"), regions}},
            {{QStringLiteral("P_FORMA"), forms}, {QStringLiteral("CODEMPRESA"), QStringLiteral("_01_")}},
            {{QStringLiteral("CLIENTE"), QStringLiteral("_")}, {QStringLiteral("TIPO"), QStringLiteral("AE")}},
        };
        const QString driver = db.Database().driverName();
        int rowsSeen = 0;
        for (const TReportLayout &layout : layouts) {
            if (!layout.DataSet.isEmpty())
                continue;
            for (bool given : {false, true}) {
                for (const auto &lists : choices) {
                    TParams params = ScreenParams(layout, given, lists);
                    const TReportLayout run = LayoutAsRun(layout, {}, QDate(2026, 12, 7), params);
                    const QStringList fields = ReportFields(run);
                    const std::string what = layout.Title.toStdString() + " on " + BackendName(backend).toStdString() + (given ? ", given" : "")
                                             + ", lists " + QStringList(lists.keys()).join(QLatin1Char(',')).toStdString();
                    QStringList folded, whole;
                    try {
                        auto rows = OpenStatementRows(db.Database(), run, params);
                        while (rows->Next()) {
                            QStringList row;
                            for (int f = 0; f < fields.size(); ++f)
                                row << cellText(rows->Value(f));
                            folded << row.join(QLatin1Char('|'));
                        }
                        QSqlQuery q = RunStatement(db.Database(), run.StatementFor(driver), run.StatementParams(params), run.Title);
                        while (q.next()) {
                            QStringList row;
                            for (const QString &f : fields)
                                row << cellText(q.value(f));
                            whole << row.join(QLatin1Char('|'));
                        }
                    } catch (const EHostError &e) {
                        ADD_FAILURE() << what << ": " << e.Message().toStdString();
                        continue;
                    }
                    // Rows that tie on the sort may come in another order under another plan.
                    folded.sort();
                    whole.sort();
                    EXPECT_EQ(folded, whole) << what;
                    rowsSeen += static_cast<int>(whole.size());
                }
            }
        }
        EXPECT_GT(rowsSeen, 500) << BackendName(backend).toStdString();
    }
}

TEST_F(ReportsTest, ACancelledRunWritesNothingAndProgressCountsTheRows)
{
    ASSERT_TRUE(Open());
    TReportDesignerDialog &dialog = *Form()->rpddPadrao;
    qint64 lastRows = -1;
    int lastPages = -1, calls = 0;
    dialog.Progress = [&](qint64 rows, int pages) {
        ++calls;
        lastRows = rows;
        lastPages = pages;
        return true;
    };
    const QString pdf = m_out.filePath(QStringLiteral("vencimento.pdf"));
    RunTo(0, "sbtPrint", pdf);
    EXPECT_TRUE(QFile::exists(pdf));
    EXPECT_GE(calls, 2) << "both passes report";
    EXPECT_EQ(lastRows, dialog.LastResult().Rows);
    EXPECT_EQ(lastPages, dialog.LastResult().Pages);

    // Cancelled at the first report of progress: no file, no message.
    dialog.Progress = [](qint64, int) { return false; };
    for (const char *name : {"c.pdf", "c.csv", "c.xlsx", "c.html"}) {
        const QString out = m_out.filePath(QLatin1String(name));
        RunTo(0, QLatin1String(name).endsWith(QLatin1String("pdf")) ? "sbtPrint" : "sbtSalvarComo", out);
        EXPECT_EQ(TakeMessages(), QStringList()) << name;
        EXPECT_FALSE(QFile::exists(out)) << name;
    }
    EXPECT_EQ(QDir(m_out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("vencimento.pdf")});
    dialog.Progress = {};
}

TEST_F(ReportsTest, EveryKindOfReportFileGetsTheModeANewFileGets)
{
    // The process's umask is shared: a guard puts it back.
    struct TUmaskGuard {
        explicit TUmaskGuard(mode_t mask) : Previous(::umask(mask)) {}
        ~TUmaskGuard() { ::umask(Previous); }
        mode_t Previous;
    };
    ASSERT_TRUE(Open());
    for (const mode_t mask : {mode_t(022), mode_t(027)}) {
        const TUmaskGuard guard(mask);
        for (const char *name : {"m.pdf", "m.csv", "m.html", "m.xlsx"}) {
            const QString path = m_out.filePath(QStringLiteral("%1-%2").arg(mask, 0, 8).arg(QLatin1String(name)));
            RunTo(0, QLatin1String(name).endsWith(QLatin1String("pdf")) ? "sbtPrint" : "sbtSalvarComo", path);
            EXPECT_EQ(TakeMessages(), QStringList()) << name;
            struct stat st {};
            ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0) << name;
            EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << name << " under umask " << std::oct << mask;
        }
    }
}

// A long report reads a snapshot; the server's writes meanwhile go through.
TEST_F(ReportsTest, AReportRunningDoesNotHoldBackWrites)
{
    ASSERT_TRUE(Open());
    bool wrote = false;
    QString error;
    Form()->rpddPadrao->Progress = [&](qint64, int) {
        if (wrote)
            return true;
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("writer"));
        other.setDatabaseName(s_db->Target());
        other.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=200"));
        other.open();
        {
            QSqlQuery q(other);
            wrote = q.exec(QStringLiteral("UPDATE OPCAOEMISSAO SET IDUTOPEMIFIN = 'N' WHERE CDOPERADOR = 'MARIA'"));
            error = q.lastError().text();
        }
        other.close();
        return true;
    };
    RunTo(0, "sbtPrint", m_out.filePath(QStringLiteral("vencimento.pdf")));
    Form()->rpddPadrao->Progress = {};
    QSqlDatabase::removeDatabase(QStringLiteral("writer"));
    EXPECT_TRUE(wrote) << error.toStdString();
    EXPECT_EQ(TakeMessages(), QStringList());
}
