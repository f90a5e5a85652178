// The position of receivables at a base date, and the questions the layouts ask before they run.
#include "data/DateTime.h"
#include "report/LayoutAskDialog.h"
#include "report/ReportBands.h"
#include "report/ReportDialog.h"
#include "ReportTestSupport.h"
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <map>

namespace {
constexpr int kPosition = 19, kAged = 13;

// The position worked out here from the receivables and settlements as stored: open at the base
// date when issued by then and less settled by then than its value; aged from its due date.
QStringList expectedPosition(const QString &target, const QDate &base, const QVector<int> &limits, const QString &clientIn, const QString &statusIn)
{
    std::map<QString, std::vector<std::pair<QDate, double>>> settlements;
    for (const QString &row : sqlRows(target, QStringLiteral("SELECT NRLANCTOREC, DTBAIXAREC, VRBAIXAREC FROM BAIXAREC"))) {
        const QStringList c = row.split(QLatin1Char(';'));
        settlements[c[0]].push_back({QDate::fromString(c[1].left(10), Qt::ISODate), c[2].toDouble()});
    }
    // MARIA's companies, the real entries of the screen's defaults, receivables that are not advances.
    const QStringList receivables = sqlRows(
        target, QStringLiteral("SELECT R.CDEMPRESA, R.CDCLIENTE, R.NRLANBOLREC, R.DTATUAVENREC, R.DTEMISSAO, R.IDSTATREC, R.VRATUAREC, R.NRLANCTOREC "
                               "FROM CONTARECEBER R JOIN TIPOCTRECEBER T ON T.CDTPCTRECEB = R.CDTPCTRECEB "
                               "WHERE R.CDEMPRESA IN ('01', '03') AND R.IDTPLANCREC IN ('A', 'E') AND T.IDTPCTRECEBER = '1' "
                               "AND R.DTATUAVENREC BETWEEN '2024-01-01' AND '2028-12-31'%1")
                    .arg(clientIn.isEmpty() ? QString() : QStringLiteral(" AND R.CDCLIENTE IN (%1)").arg(clientIn)));
    std::vector<std::pair<QString, QString>> lines; // sort key, CSV line
    for (const QString &row : receivables) {
        const QStringList c = row.split(QLatin1Char(';'));
        const QDate due = QDate::fromString(c[3].left(10), Qt::ISODate), issued = QDate::fromString(c[4].left(10), Qt::ISODate);
        const double value = c[6].toDouble();
        double paid = 0;
        bool later = false;
        for (const auto &[when, part] : settlements[c[7]]) {
            if (when <= base)
                paid += part;
            else
                later = true;
        }
        const QString status = later ? QStringLiteral("A") : c[5];
        if (issued > base || paid >= value - 0.005 || (!statusIn.isEmpty() && !statusIn.contains(status)))
            continue;
        const double balance = value - paid;
        const qint64 days = due.daysTo(base);
        QStringList cells{c[0], c[1], c[2], due.toString(QStringLiteral("dd/MM/yyyy")), QString::number(std::max<qint64>(days, 0)), status,
                          amount(balance), amount(days <= 0 ? balance : 0)};
        for (qsizetype b = 0; b <= limits.size(); ++b) {
            const int from = b == 0 ? 1 : limits[b - 1] + 1;
            const bool in = days >= from && (b == limits.size() || days <= limits[b]);
            cells << amount(in ? balance : 0);
        }
        lines.push_back({c[0] + c[1] + due.toString(Qt::ISODate) + c[7].rightJustified(10, QLatin1Char('0')), cells.join(QLatin1Char(';'))});
    }
    std::sort(lines.begin(), lines.end());
    QStringList out;
    for (const auto &l : lines)
        out << l.second;
    return out;
}
} // namespace

class PositionTest : public ReportScreenTest {
protected:
    void SetUp() override
    {
        ReportScreenTest::SetUp();
        ASSERT_TRUE(Open());
        TCriteria c = Form()->CurrentCriteria();
        c.Vencimento = {QDate(2024, 1, 1), QDate(2028, 12, 31)};
        Form()->ApplyCriteria(c);
    }
    // Saves the chosen layout as CSV, answering its questions as a person types them.
    QStringList SaveAnswering(int layout, const QMap<QString, QString> &typed, const QString &name)
    {
        TLayoutAskScript::Push(typed);
        const QString path = m_out.filePath(name);
        RunTo(layout, "sbtSalvarComo", path);
        return CsvLines(path);
    }
    QString BaseDateAsRun() const { return Form()->rpddPadrao->LastParams().ParamByName(QStringLiteral("P_DTBASE")).AsString(); }
    void SameRowsAsTheDatabase();
    QTemporaryDir m_out;
};

// Three base dates (before any settlement, in the middle of the year, today), all clients and
// all statuses, then a client list, then only what was open at the base date.
void PositionTest::SameRowsAsTheDatabase()
{
    const QString first = sqlRows(s_db->Target(), QStringLiteral("SELECT MIN(DTBAIXAREC) FROM BAIXAREC")).value(0).left(10);
    const QDate beforeAny = QDate::fromString(first, Qt::ISODate).addDays(-1);
    ASSERT_TRUE(beforeAny.isValid());
    const QStringList clients = sqlRows(s_db->Target(), QStringLiteral("SELECT DISTINCT R.CDCLIENTE FROM CONTARECEBER R JOIN BAIXAREC B "
                                                                       "ON B.NRLANCTOREC = R.NRLANCTOREC WHERE R.CDEMPRESA IN ('01', '03') ORDER BY 1"))
                                    .mid(0, 4);
    ASSERT_EQ(clients.size(), 4);
    const struct {
        QDate Base;
        const char *Bands;
        bool ClientList;
        bool OpenOnly;
    } cases[] = {{beforeAny, "30,60,90", false, false},    {QDate(2026, 6, 30), "15,45,120", false, false}, {QDate(2026, 12, 7), "30,60,90", false, false},
                 {QDate(2026, 10, 31), "30,60,90", true, false}, {QDate(2026, 10, 31), "30,60,90,180,365,730", false, true}};
    int differsFromToday = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Base.toString(Qt::ISODate).toStdString() + " " + c.Bands);
        TCriteria criteria = Form()->CurrentCriteria();
        criteria.Groups[QStringLiteral("Cliente")] = {c.ClientList, c.ClientList ? QLatin1Char('_') + clients.join(QStringLiteral("__")) + QLatin1Char('_') : QString()};
        criteria.StatusTodos = !c.OpenOnly;
        criteria.Aberto = true;
        criteria.Baixada = criteria.Descontada = criteria.Planejada = !c.OpenOnly;
        Form()->ApplyCriteria(criteria);
        const QStringList got = SaveAnswering(kPosition, {{QStringLiteral("P_DTBASE"), c.Base.toString(QStringLiteral("dd/MM/yyyy"))}, {QStringLiteral("P_FAIXAS"), QLatin1String(c.Bands)}},
                                              QStringLiteral("posicao.csv"));
        ASSERT_EQ(TakeMessages(), QStringList());
        ASSERT_FALSE(got.isEmpty());
        QVector<int> limits = *IntegerItems(QLatin1String(c.Bands));
        QStringList heading{QStringLiteral("Empresa"), QStringLiteral("Cliente"), QStringLiteral("Documento"), QStringLiteral("Vencimento"),
                            QStringLiteral("Dias"), QStringLiteral("St"), QStringLiteral("Saldo"), QStringLiteral("A vencer")};
        heading << BandCaptions(limits);
        EXPECT_EQ(got.first(), heading.join(QLatin1Char(';')));
        const QString clientIn = c.ClientList ? QLatin1Char('\'') + clients.join(QStringLiteral("', '")) + QLatin1Char('\'') : QString();
        const QStringList want = expectedPosition(s_db->Target(), c.Base, limits, clientIn, c.OpenOnly ? QStringLiteral("A") : QString());
        EXPECT_GT(want.size(), 3);
        EXPECT_EQ(got.mid(1), want);
        EXPECT_EQ(BaseDateAsRun(), c.Base.toString(QStringLiteral("dd/MM/yyyy")));
        // Before any settlement every receivable issued by then is in the position at its full value.
        if (c.Base == beforeAny) {
            EXPECT_EQ(want.size(), QueryInt(s_db->Target(), QStringLiteral("SELECT COUNT(*) FROM CONTARECEBER R JOIN TIPOCTRECEBER T ON T.CDTPCTRECEB = R.CDTPCTRECEB "
                                                                          "WHERE R.CDEMPRESA IN ('01', '03') AND R.IDTPLANCREC IN ('A', 'E') "
                                                                          "AND T.IDTPCTRECEBER = '1' AND R.DTEMISSAO <= '%1'")
                                                               .arg(beforeAny.toString(Qt::ISODate))));
        }
        if (c.Base == QDate(2026, 10, 31) && !c.ClientList)
            differsFromToday = static_cast<int>(std::count_if(want.cbegin(), want.cend(), [](const QString &l) { return l.section(QLatin1Char(';'), 5, 5) == QStringLiteral("A"); }));
    }
    // Receivables settled since are open in the October position.
    EXPECT_GT(differsFromToday, 0);
}

// Runs on SQLite, and on PostgreSQL in the suite's second run.
TEST_F(PositionTest, RowsBalancesAndBandsMatchTheDatabaseAtEachBaseDate) { SameRowsAsTheDatabase(); }

// A bad answer names its field and nothing runs or is written; a cancel runs nothing and says nothing.
TEST_F(PositionTest, ABadAnswerOrACancelRunsNothing)
{
    const struct {
        const char *Field, *Typed, *Message;
    } bad[] = {{"P_DTBASE", "31/02/2026", "Data-base: '31/02/2026' não é uma data."},
               {"P_FAIXAS", "30,20,90", "Faixas de atraso (dias): os valores devem ser crescentes (20 não é maior que 30)."},
               {"P_FAIXAS", "10,20,30,40,50,60,70", "Faixas de atraso (dias): no máximo 6 valores."}};
    for (const auto &b : bad) {
        SCOPED_TRACE(b.Typed);
        Form()->rpddPadrao->ClearLastParams();
        const QStringList lines = SaveAnswering(kPosition, {{QLatin1String(b.Field), QLatin1String(b.Typed)}}, QStringLiteral("ruim.csv"));
        EXPECT_EQ(TakeMessages(), QStringList{QString::fromUtf8(b.Message)});
        EXPECT_TRUE(lines.isEmpty());
        EXPECT_FALSE(QFileInfo::exists(m_out.filePath(QStringLiteral("ruim.csv"))));
        EXPECT_FALSE(Form()->rpddPadrao->HasLastParams());
    }
    TLayoutAskScript::PushCancel();
    RunTo(kPosition, "sbtSalvarComo", m_out.filePath(QStringLiteral("cancelado.csv")));
    EXPECT_EQ(TakeMessages(), QStringList());
    EXPECT_FALSE(QFileInfo::exists(m_out.filePath(QStringLiteral("cancelado.csv"))));
    // The aged layout asks for its bands too; its bands follow the answer, aged from today.
    const QStringList aged = SaveAnswering(kAged, {{QStringLiteral("P_FAIXAS"), QStringLiteral("15,45")}}, QStringLiteral("atraso.csv"));
    EXPECT_EQ(aged.value(0), QStringLiteral("Empresa;Cliente;Razão Social;Títulos;A vencer;1 a 15;16 a 45;Acima de 45;Total"));
    std::map<QString, std::vector<double>> sums; // company;client -> count, not due, three bands, total
    for (const QString &row : sqlRows(s_db->Target(), QStringLiteral("SELECT R.CDEMPRESA, R.CDCLIENTE, R.DTATUAVENREC, R.VRATUAREC FROM CONTARECEBER R "
                                                                     "JOIN TIPOCTRECEBER T ON T.CDTPCTRECEB = R.CDTPCTRECEB WHERE R.IDSTATREC = 'A' "
                                                                     "AND R.CDEMPRESA IN ('01', '03') AND R.IDTPLANCREC IN ('A', 'E') AND T.IDTPCTRECEBER = '1' "
                                                                     "AND R.DTATUAVENREC BETWEEN '2024-01-01' AND '2028-12-31'"))) {
        const QStringList c = row.split(QLatin1Char(';'));
        const qint64 days = QDate::fromString(c[2].left(10), Qt::ISODate).daysTo(QDate(2026, 12, 7));
        std::vector<double> &s = sums[c[0] + QLatin1Char(';') + c[1]];
        s.resize(6);
        s[0] += 1;
        s[days <= 0 ? 1 : days <= 15 ? 2 : days <= 45 ? 3 : 4] += c[3].toDouble();
        s[5] += c[3].toDouble();
    }
    QStringList want;
    for (const auto &[key, s] : sums)
        want << key + QStringLiteral(";%1;%2;%3;%4;%5;%6").arg(s[0]).arg(amount(s[1]), amount(s[2]), amount(s[3]), amount(s[4]), amount(s[5]));
    QStringList got;
    for (const QString &line : aged.mid(1)) {
        QStringList c = line.split(QLatin1Char(';'));
        c.removeAt(2); // the client's name
        got << c.join(QLatin1Char(';'));
    }
    EXPECT_GT(want.size(), 3);
    EXPECT_EQ(got, want);
}

// Saved criteria keep a base date left as offered relative to the day, and a typed one as typed.
TEST_F(PositionTest, ARelativeBaseDateFollowsTheClockAndATypedOneStays)
{
    SaveAnswering(kPosition, {}, QStringLiteral("padrao.csv"));
    ASSERT_EQ(TakeMessages(), QStringList());
    EXPECT_EQ(BaseDateAsRun(), QStringLiteral("30/11/2026"));
    const QJsonObject relative = Form()->CriteriaJson();
    EXPECT_EQ(relative.value(QStringLiteral("layoutParams")).toObject().value(QStringLiteral("P_DTBASE")).toString(), QStringLiteral("endOfPreviousMonth"));

    SaveAnswering(kPosition, {{QStringLiteral("P_DTBASE"), QStringLiteral("15/08/2026")}}, QStringLiteral("fixa.csv"));
    const QJsonObject pinned = Form()->CriteriaJson();
    EXPECT_EQ(pinned.value(QStringLiteral("layoutParams")).toObject().value(QStringLiteral("P_DTBASE")).toString(), QStringLiteral("2026-08-15"));

    // A month later: the relative one gives the new month's end, the typed one its day.
    THostContext later = Context();
    later.FixedToday = QDate(2027, 1, 12);
    ApplyContext(later);
    EXPECT_EQ(Form()->ApplyCriteriaJson(relative), QStringList());
    SaveAnswering(kPosition, {}, QStringLiteral("depois.csv"));
    EXPECT_EQ(BaseDateAsRun(), QStringLiteral("31/12/2026"));
    EXPECT_EQ(Form()->ApplyCriteriaJson(pinned), QStringList());
    SaveAnswering(kPosition, {}, QStringLiteral("depois-fixa.csv"));
    EXPECT_EQ(BaseDateAsRun(), QStringLiteral("15/08/2026"));
    EXPECT_EQ(TakeMessages(), QStringList());
}

// A person at the dialog: a bad answer is shown and the dialog stays; corrected, the report runs.
TEST_F(PositionTest, APersonCorrectsABadAnswerInTheDialog)
{
    const TReportDesignerDialog::TInteractiveScope person(true);
    int shown = 0;
    QStringList seenWhileOpen;
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<TLayoutAskDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        auto *ok = dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
        if (++shown == 1) {
            EXPECT_EQ(dialog->findChild<QLineEdit *>(QStringLiteral("P_DTBASE"))->text(), QStringLiteral("30/11/2026"));
            EXPECT_EQ(dialog->findChild<QLineEdit *>(QStringLiteral("P_FAIXAS"))->text(), QStringLiteral("30,60,90"));
            dialog->findChild<QLineEdit *>(QStringLiteral("P_FAIXAS"))->setText(QStringLiteral("30,30"));
            ok->click();
            seenWhileOpen = TakeMessages();
            EXPECT_TRUE(dialog->isVisible());
            dialog->findChild<QLineEdit *>(QStringLiteral("P_FAIXAS"))->setText(QStringLiteral("45"));
            ok->click();
        }
    });
    watch.start();
    const QString path = m_out.filePath(QStringLiteral("pessoa.csv"));
    RunTo(kPosition, "sbtSalvarComo", path);
    watch.stop();
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(seenWhileOpen, QStringList{QStringLiteral("Faixas de atraso (dias): os valores devem ser crescentes (30 não é maior que 30).")});
    EXPECT_EQ(TakeMessages(), QStringList());
    EXPECT_TRUE(CsvLines(path).value(0).endsWith(QStringLiteral(";A vencer;1 a 45;Acima de 45")));
    EXPECT_EQ(Form()->CriteriaJson().value(QStringLiteral("layoutParams")).toObject().value(QStringLiteral("P_FAIXAS")).toString(), QStringLiteral("45"));
}
