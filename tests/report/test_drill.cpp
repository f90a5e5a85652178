// From a printed row to what it stands for, a text found on every page and the page a person
// sets up: through the real preview, each place found in the PDF of the same report and each
// receivable checked against SQL of the test's own.
#include "data/DateTime.h"
#include "report/PageSetupDialog.h"
#include "report/ReportPreview.h"
#include "ReportTestSupport.h"
#include <QComboBox>
#include <QKeyEvent>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest/QTest>
#include <algorithm>
#include <cmath>

namespace {
// Whether the pages of a PDF file are A4 standing up (portrait) or lying down, as pdfinfo reads them; empty when not A4.
QString a4Orientation(const QString &pdf)
{
    static const QRegularExpression size(QStringLiteral("Page size:\\s+([0-9.]+) x ([0-9.]+) pts \\(A4\\)"));
    const QRegularExpressionMatch m = size.match(RunTool(QStringLiteral("pdfinfo"), {pdf}));
    if (!m.hasMatch())
        return {};
    return m.captured(1).toDouble() < m.captured(2).toDouble() ? QStringLiteral("retrato") : QStringLiteral("paisagem");
}

// An amount as the screen shows it, to the cent.
QString money(double v)
{
    const double cents = std::round(v * 100) / 100;
    return QLocale(QLocale::Portuguese, QLocale::Brazil).toString(cents == 0 ? 0.0 : cents, 'f', 2);
}

QWidget *pageView(TReportPreviewDialog &preview) { return preview.findChild<QWidget *>(QStringLiteral("pagPreview")); }

// Where a word of the PDF stands on the preview's page widget: the sheet is drawn whole in the middle of its grey border.
QPoint onView(TReportPreviewDialog &preview, const QSizeF &pagePoints, const QRectF &box)
{
    const QImage &image = preview.PageImage();
    QWidget *view = pageView(preview);
    const double scale = image.width() / pagePoints.width();
    const QPointF origin((view->width() - image.width()) / 2.0, (view->height() - image.height()) / 2.0);
    return (origin + box.center() * scale).toPoint();
}

void goToPage(TReportPreviewDialog &preview, int page)
{
    auto *box = preview.findChild<QSpinBox *>(QStringLiteral("spnPagina"));
    box->selectAll();
    QTest::keyClicks(box, QString::number(page));
    QTest::keyClick(box, Qt::Key_Return);
    QApplication::processEvents();
}

// Text typed key by key, accented letters included.
void typeText(QWidget *w, const QString &text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
        QApplication::sendEvent(w, &release);
    }
}

// The pointer moved over a place of the page, as the window system moves it.
void pointAt(TReportPreviewDialog &preview, const QPoint &at)
{
    QTest::mouseMove(preview.windowHandle(), pageView(preview)->mapTo(&preview, at));
}

// The words that start a run of words of one line, as "Total da empresa 01".
QVector<TPdfWord> phrases(const QVector<TPdfWord> &words, const QStringList &phrase)
{
    QVector<TPdfWord> found;
    for (qsizetype i = 0; i + phrase.size() <= words.size(); ++i) {
        bool match = true;
        for (qsizetype k = 0; k < phrase.size() && match; ++k)
            match = words[i + k].Page == words[i].Page && words[i + k].Text == phrase[k];
        if (match)
            found << words[i];
    }
    return found;
}

// Occurrences that do not overlap, letter case aside.
int occurrences(const QString &text, const QString &term)
{
    int n = 0;
    for (qsizetype at = text.indexOf(term, 0, Qt::CaseInsensitive); at >= 0; at = text.indexOf(term, at + term.size(), Qt::CaseInsensitive))
        ++n;
    return n;
}

QStringList firstColumn(QTableWidget *table)
{
    QStringList out;
    for (int r = 0; r < table->rowCount(); ++r)
        out << table->item(r, 0)->text();
    return out;
}

// What "Conta a Receber" showed.
struct TShownReceivable {
    QString Title, Number, Document, Balance, Settled;
    int Settlements = -1;
    QStringList Others;
};

TDialogWait readReceivableWindow(TShownReceivable &shown, bool &done)
{
    return WhenShown<QDialog>(
        [&shown](QDialog &window) {
            shown.Title = window.windowTitle();
            shown.Number = window.findChild<QLineEdit *>(QStringLiteral("NRLANCTOREC"))->text();
            shown.Document = window.findChild<QLineEdit *>(QStringLiteral("NRLANBOLREC"))->text();
            shown.Balance = window.findChild<QLineEdit *>(QStringLiteral("SALDO"))->text();
            shown.Settled = window.findChild<QLineEdit *>(QStringLiteral("TOTALBAIXADO"))->text();
            shown.Settlements = window.findChild<QTableWidget *>(QStringLiteral("tblBaixas"))->rowCount();
            shown.Others = firstColumn(window.findChild<QTableWidget *>(QStringLiteral("tblOutrasContas")));
            window.reject();
        },
        done, QStringLiteral("dlgContaReceber"));
}

// What the list of a group or the total showed.
struct TShownList {
    QString Title, Totals;
    QStringList Numbers;
};

TDialogWait readListWindow(TShownList &shown, bool &done)
{
    return WhenShown<QDialog>(
        [&shown](QDialog &window) {
            shown.Title = window.windowTitle();
            shown.Totals = window.findChild<QLabel *>(QStringLiteral("lblTotais"))->text();
            shown.Numbers = firstColumn(window.findChild<QTableWidget *>(QStringLiteral("tblContas")));
            window.reject();
        },
        done, QStringLiteral("dlgContasReceber"));
}
} // namespace

class DrillTest : public ReportScreenTest {
protected:
    // Prints a layout to a PDF of the test's folder and reads its words.
    QVector<TPdfWord> PrintedWords(int layout, const QString &name)
    {
        m_pdf = m_out.filePath(name);
        RunTo(layout, "sbtPrint", m_pdf);
        EXPECT_EQ(TakeMessages(), QStringList());
        return PdfWords(m_pdf, &m_pagePoints);
    }
    // MARIA's companies, every due date, real entries of receivable types without advances: the
    // receivables the due-date layout prints with AllDueDates.
    static QString Printed() { return QStringLiteral(
            "FROM CONTARECEBER R JOIN TIPOCTRECEBER T ON T.CDTPCTRECEB = R.CDTPCTRECEB "
            "WHERE R.CDEMPRESA IN ('01', '03') AND R.IDTPLANCREC IN ('A', 'E') AND T.IDTPCTRECEBER = '1' "); }
    QString m_pdf;
    QSizeF m_pagePoints;
    QTemporaryDir m_out;
};

// The third row of page 2 of the due-date layout, found in the PDF, opens with the pointer and with the keys.
TEST_F(DrillTest, ADoubleClickOrEnterOnAPrintedRowOpensItsReceivable)
{
    ASSERT_TRUE(Open());
    AllDueDates();
    const QVector<TPdfWord> words = PrintedWords(0, QStringLiteral("vencimento.pdf"));
    // Each printed row has one ten-digit document number.
    static const QRegularExpression document(QStringLiteral("^\\d{10}$"));
    QVector<TPdfWord> documents;
    for (const TPdfWord &w : words)
        if (w.Page == 2 && document.match(w.Text).hasMatch())
            documents << w;
    ASSERT_GE(documents.size(), 3);
    const TPdfWord third = documents[2];

    const QStringList stored = sqlRows(s_db->Target(), QStringLiteral("SELECT R.NRLANCTOREC, R.CDCLIENTE, R.VRATUAREC - COALESCE((SELECT SUM(B.VRBAIXAREC) "
                                                                      "FROM BAIXAREC B WHERE B.NRLANCTOREC = R.NRLANCTOREC), 0), "
                                                                      "(SELECT COUNT(*) FROM BAIXAREC B WHERE B.NRLANCTOREC = R.NRLANCTOREC) "
                                                                      "FROM CONTARECEBER R WHERE R.NRLANBOLREC = '%1'")
                                                           .arg(third.Text));
    ASSERT_EQ(stored.size(), 1);
    const QStringList r = stored.first().split(QLatin1Char(';'));
    const QString number = r[0], client = r[1];
    const QString balance = money(r[2].toDouble());
    // The client's other open receivables in MARIA's companies 01 and 03 only.
    const auto openOf = [&](const QString &who, const QString &but, const QString &companies) {
        return sqlRows(s_db->Target(), QStringLiteral("SELECT NRLANCTOREC FROM CONTARECEBER WHERE CDCLIENTE = '%1' AND IDSTATREC = 'A' "
                                                      "AND NRLANCTOREC <> %2 %3 ORDER BY DTATUAVENREC, NRLANCTOREC")
                                           .arg(who, but, companies));
    };
    const QString maria = QStringLiteral("AND CDEMPRESA IN ('01', '03')");
    const QStringList others = openOf(client, number, maria);
    // A printed receivable whose client also has open receivables in companies MARIA may not see.
    const QStringList wider = sqlRows(s_db->Target(), QStringLiteral("SELECT R.NRLANBOLREC, R.NRLANCTOREC, R.CDCLIENTE ") + Printed() +
                                                          QStringLiteral("AND EXISTS (SELECT 1 FROM CONTARECEBER O WHERE O.CDCLIENTE = R.CDCLIENTE "
                                                                         "AND O.IDSTATREC = 'A' AND O.CDEMPRESA NOT IN ('01', '03')) "
                                                                         "ORDER BY R.NRLANCTOREC"));
    ASSERT_FALSE(wider.isEmpty());
    const QStringList w = wider.first().split(QLatin1Char(';'));
    const auto widerWord = std::find_if(words.begin(), words.end(), [&](const TPdfWord &word) { return word.Text == w[0]; });
    ASSERT_NE(widerWord, words.end());
    const QStringList widerOthers = openOf(w[2], w[1], maria);
    ASSERT_LT(widerOthers.size(), openOf(w[2], w[1], QString()).size());

    TShownReceivable byMouse, byKeys, widerShown;
    bool mouseOpened = false, keysOpened = false, widerOpened = false;
    ASSERT_NO_FATAL_FAILURE(Preview([&](TReportPreviewDialog &preview) {
        QTest::mouseClick(preview.findChild<QToolButton *>(QStringLiteral("btnProximaPagina")), Qt::LeftButton);
        QApplication::processEvents();
        ASSERT_EQ(preview.ShownPage(), 2);
        QWidget *view = pageView(preview);
        const QPoint row = onView(preview, m_pagePoints, third.Box);
        // A hand over the row; none over the page's title.
        pointAt(preview, row);
        EXPECT_EQ(view->cursor().shape(), Qt::PointingHandCursor);
        const TPdfWord title = *std::find_if(words.begin(), words.end(), [](const TPdfWord &w) { return w.Page == 2; });
        pointAt(preview, onView(preview, m_pagePoints, title.Box));
        EXPECT_NE(view->cursor().shape(), Qt::PointingHandCursor);

        const TDialogWait mouseWait = readReceivableWindow(byMouse, mouseOpened);
        QTest::mouseDClick(view, Qt::LeftButton, Qt::NoModifier, row);
        ASSERT_TRUE(mouseOpened);

        // The keys: to page 1 and back, then Down to the third row of the page and Enter.
        QApplication::setActiveWindow(&preview);
        QTest::mouseClick(preview.findChild<QToolButton *>(QStringLiteral("btnPaginaAnterior")), Qt::LeftButton);
        QTest::mouseClick(preview.findChild<QToolButton *>(QStringLiteral("btnProximaPagina")), Qt::LeftButton);
        ASSERT_EQ(preview.CurrentPage(), 2);
        view->setFocus();
        EXPECT_EQ(preview.ChosenSpot(), nullptr);
        for (int rows = 0; rows < 3;) {
            QTest::keyClick(view, Qt::Key_Down);
            ASSERT_NE(preview.ChosenSpot(), nullptr);
            ASSERT_EQ(preview.CurrentPage(), 2);
            rows += preview.ChosenSpot()->Kind == TReportSpot::Row ? 1 : 0;
        }
        const TDialogWait keysWait = readReceivableWindow(byKeys, keysOpened);
        QTest::keyClick(view, Qt::Key_Return);
        ASSERT_TRUE(keysOpened);
        EXPECT_TRUE(preview.isVisible()) << "the preview stays open";

        goToPage(preview, widerWord->Page);
        const TDialogWait widerWait = readReceivableWindow(widerShown, widerOpened);
        QTest::mouseDClick(view, Qt::LeftButton, Qt::NoModifier, onView(preview, m_pagePoints, widerWord->Box));
        ASSERT_TRUE(widerOpened);
    }));
    EXPECT_EQ(byMouse.Title, QStringLiteral("Conta a Receber"));
    EXPECT_EQ(byMouse.Number, number);
    EXPECT_EQ(byMouse.Document, third.Text);
    EXPECT_EQ(byMouse.Balance, balance);
    EXPECT_EQ(byMouse.Settlements, r[3].toInt());
    EXPECT_EQ(byMouse.Others, others);
    EXPECT_EQ(byKeys.Number, number);
    EXPECT_EQ(byKeys.Balance, balance);
    EXPECT_EQ(widerShown.Number, w[1]);
    EXPECT_EQ(widerShown.Others, widerOthers);
}

// A company's footer and header, the grand total, and a row of the ABC curve.
TEST_F(DrillTest, AGroupOrTheTotalOpensExactlyTheReceivablesItSums)
{
    ASSERT_TRUE(Open());
    AllDueDates();
    const QVector<TPdfWord> words = PrintedWords(0, QStringLiteral("vencimento.pdf"));
    const QVector<TPdfWord> footer = phrases(words, {QStringLiteral("Total"), QStringLiteral("da"), QStringLiteral("empresa"), QStringLiteral("01")});
    const QVector<TPdfWord> header = phrases(words, {QStringLiteral("Empresa:"), QStringLiteral("01")});
    const QVector<TPdfWord> grand = phrases(words, {QStringLiteral("Total"), QStringLiteral("geral")});
    ASSERT_EQ(footer.size(), 1);
    ASSERT_EQ(header.size(), 1);
    ASSERT_EQ(grand.size(), 1);
    const QStringList company = sqlRows(s_db->Target(), QStringLiteral("SELECT R.NRLANCTOREC ") + Printed() +
                                                            QStringLiteral("AND R.CDEMPRESA = '01' ORDER BY R.DTATUAVENREC, R.CDCLIENTE, R.NRLANCTOREC"));
    const QStringList sum = sqlRows(s_db->Target(), QStringLiteral("SELECT SUM(R.VRATUAREC) ") + Printed() + QStringLiteral("AND R.CDEMPRESA = '01'"));
    const QStringList all = sqlRows(s_db->Target(), QStringLiteral("SELECT R.NRLANCTOREC ") + Printed() +
                                                        QStringLiteral("ORDER BY R.CDEMPRESA, R.DTATUAVENREC, R.CDCLIENTE, R.NRLANCTOREC"));
    ASSERT_GT(company.size(), 1);
    ASSERT_GT(all.size(), company.size());

    TShownList byFooter, byHeader, byTotal;
    bool opened[3] = {false, false, false};
    ASSERT_NO_FATAL_FAILURE(Preview([&](TReportPreviewDialog &preview) {
        int i = 0;
        for (auto [place, shown] : {std::pair{footer.first(), &byFooter}, {header.first(), &byHeader}, {grand.first(), &byTotal}}) {
            goToPage(preview, place.Page);
            ASSERT_EQ(preview.ShownPage(), place.Page);
            const TDialogWait wait = readListWindow(*shown, opened[i]);
            QTest::mouseDClick(pageView(preview), Qt::LeftButton, Qt::NoModifier, onView(preview, m_pagePoints, place.Box));
            ASSERT_TRUE(opened[i++]) << place.Text.toStdString() << " on page " << place.Page;
        }
    }));
    EXPECT_EQ(byFooter.Numbers, company);
    EXPECT_TRUE(byFooter.Title.startsWith(QStringLiteral("Contas a Receber: Total da empresa 01 - "))) << byFooter.Title.toStdString();
    EXPECT_TRUE(byFooter.Totals.contains(QStringLiteral("valor atualizado ") + money(sum.first().toDouble()))) << byFooter.Totals.toStdString();
    EXPECT_EQ(byHeader.Numbers, company);
    EXPECT_EQ(byTotal.Numbers, all);
    EXPECT_TRUE(byTotal.Totals.startsWith(QStringLiteral("%1 contas a receber").arg(all.size()))) << byTotal.Totals.toStdString();

    // A curve row: its document on the first page opens that receivable.
    const QVector<TPdfWord> curve = PrintedWords(18, QStringLiteral("curva.pdf"));
    static const QRegularExpression document(QStringLiteral("^\\d{10}$"));
    const auto first = std::find_if(curve.begin(), curve.end(), [](const TPdfWord &w) { return w.Page == 1 && document.match(w.Text).hasMatch(); });
    ASSERT_NE(first, curve.end());
    const QStringList stored =
        sqlRows(s_db->Target(), QStringLiteral("SELECT NRLANCTOREC FROM CONTARECEBER WHERE NRLANBOLREC = '%1'").arg(first->Text));
    ASSERT_EQ(stored.size(), 1);
    TShownReceivable curveRow;
    bool curveOpened = false;
    ASSERT_NO_FATAL_FAILURE(Preview([&](TReportPreviewDialog &preview) {
        const TDialogWait wait = readReceivableWindow(curveRow, curveOpened);
        QTest::mouseDClick(pageView(preview), Qt::LeftButton, Qt::NoModifier, onView(preview, m_pagePoints, first->Box));
        ASSERT_TRUE(curveOpened);
    }));
    EXPECT_EQ(curveRow.Number, stored.first());
    EXPECT_EQ(curveRow.Document, first->Text);
}

// Ctrl+F, a text and Enter: every occurrence pdftotext finds in the PDF of the same report, page by page.
TEST_F(DrillTest, SearchFindsOnEveryPageWhatThePrintedPagesHold)
{
    ASSERT_TRUE(Open());
    AllDueDates();
    PrintedWords(0, QStringLiteral("vencimento.pdf"));
    const int pages = PdfPages(m_pdf);
    ASSERT_GE(pages, 3);
    QStringList pageTexts;
    for (int p = 1; p <= pages; ++p)
        pageTexts << RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-f"), QString::number(p), QStringLiteral("-l"), QString::number(p), m_pdf,
                                                           QStringLiteral("-")});
    const QStringList terms = {QStringLiteral("ltda"), QStringLiteral("Total da empresa"), QStringLiteral("Página"), QStringLiteral("Prefeitura Municipal")};
    ASSERT_NO_FATAL_FAILURE(Preview([&](TReportPreviewDialog &preview) {
        QApplication::setActiveWindow(&preview);
        auto *box = preview.findChild<QLineEdit *>(QStringLiteral("edtLocalizar"));
        auto *count = preview.findChild<QLabel *>(QStringLiteral("lblOcorrencias"));
        for (const QString &term : terms) {
            SCOPED_TRACE(term.toStdString());
            // From the first page: a search goes to the first match from the page shown on.
            QTest::mouseClick(preview.findChild<QToolButton *>(QStringLiteral("btnPrimeiraPagina")), Qt::LeftButton);
            QTest::keyClick(pageView(preview), Qt::Key_F, Qt::ControlModifier);
            ASSERT_TRUE(box->hasFocus());
            typeText(box, term);
            QTest::keyClick(box, Qt::Key_Return);
            int expected = 0;
            QVector<std::pair<int, int>> perPage;
            for (int p = 0; p < pages; ++p)
                if (const int n = occurrences(pageTexts[p], term); n > 0) {
                    perPage.push_back({p + 1, n});
                    expected += n;
                }
            ASSERT_GT(expected, 0);
            EXPECT_EQ(preview.Matches().size(), expected);
            EXPECT_EQ(TReportFinder::PerPage(preview.Matches()), perPage);
            EXPECT_EQ(count->text(), QStringLiteral("1 de %1 %2").arg(expected).arg(expected == 1 ? QStringLiteral("ocorrência") : QStringLiteral("ocorrências")));
            EXPECT_EQ(preview.CurrentPage(), perPage.first().first);
            // F3 goes on, Shift+F3 back, and before the first comes the last.
            if (expected > 1) {
                QTest::keyClick(box, Qt::Key_F3);
                EXPECT_EQ(preview.CurrentMatch(), 1);
                EXPECT_EQ(count->text().section(QLatin1Char(' '), 0, 0), QStringLiteral("2"));
            }
            QTest::keyClick(pageView(preview), Qt::Key_F3, Qt::ShiftModifier);
            if (expected > 1)
                QTest::keyClick(pageView(preview), Qt::Key_F3, Qt::ShiftModifier);
            EXPECT_EQ(preview.CurrentMatch(), expected - 1);
            EXPECT_EQ(preview.CurrentPage(), perPage.last().first);
            box->clear();
        }
        QTest::keyClick(pageView(preview), Qt::Key_F, Qt::ControlModifier);
        QTest::keyClicks(box, QStringLiteral("xyzzy"));
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_TRUE(preview.Matches().isEmpty());
        EXPECT_EQ(count->text(), QStringLiteral("Nenhuma ocorrência"));
    }));
}

// "Configurar página": A4 portrait with wide margins lays the pages out anew, and the next run,
// a new screen of the same operator included, keeps it; another operator keeps their own.
TEST_F(DrillTest, APageSetupChangesThePagesAndIsKeptForTheOperatorAndLayout)
{
    ASSERT_TRUE(Open());
    const QTemporaryDir prefs;
    SessionState().PreferencesFile = prefs.filePath(QStringLiteral("preferencias.ini")); // the test session's, gone with it
    AllDueDates();
    const QString wide = m_out.filePath(QStringLiteral("paisagem.pdf"));
    RunTo(0, "sbtPrint", wide);
    int landscape = 0, portrait = 0;
    bool bad = false, set = false;
    ASSERT_NO_FATAL_FAILURE(Preview([&](TReportPreviewDialog &preview) {
        landscape = preview.PageCount();
        EXPECT_GT(preview.PageImage().width(), preview.PageImage().height());
        // Margins that leave no room are refused with a message and the dialog stays; then A4 portrait, 35 mm at the sides.
        const TDialogWait wait = WhenShown<TPageSetupDialog>(
            [&](TPageSetupDialog &dialog) {
                EXPECT_TRUE(dialog.rbtPaisagem->isChecked());
                dialog.cbbPapel->setCurrentIndex(dialog.cbbPapel->findText(QStringLiteral("A4"), Qt::MatchStartsWith));
                QTest::mouseClick(dialog.rbtRetrato, Qt::LeftButton, Qt::NoModifier, QPoint(6, dialog.rbtRetrato->height() / 2));
                for (QDoubleSpinBox *m : {dialog.spnMargemEsquerda, dialog.spnMargemDireita}) {
                    m->selectAll();
                    QTest::keyClicks(m, QStringLiteral("90"));
                }
                QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("btnOk")), Qt::LeftButton);
                bad = dialog.isVisible() && TakeMessages().size() == 1;
                for (auto [m, mm] : {std::pair{dialog.spnMargemSuperior, "20"}, {dialog.spnMargemInferior, "20"}, {dialog.spnMargemEsquerda, "35"},
                                     {dialog.spnMargemDireita, "35"}}) {
                    m->selectAll();
                    QTest::keyClicks(m, QLatin1String(mm));
                }
                QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("btnOk")), Qt::LeftButton);
            },
            set);
        QTest::mouseClick(preview.findChild<QToolButton *>(QStringLiteral("btnConfigurarPagina")), Qt::LeftButton);
        ASSERT_TRUE(set);
        portrait = preview.PageCount();
        EXPECT_LT(preview.PageImage().width(), preview.PageImage().height());
        EXPECT_EQ(preview.findChild<QLabel *>(QStringLiteral("lblPaginas"))->text(), QStringLiteral("de %1").arg(portrait));
    }));
    EXPECT_TRUE(bad) << "margins of 90 mm on each side were refused";
    ASSERT_GE(landscape, 3);
    EXPECT_NE(portrait, landscape);
    EXPECT_EQ(Form()->rpddPadrao->LastResult().Pages, portrait);

    // The next run prints on that page.
    const QString pdf = m_out.filePath(QStringLiteral("retrato.pdf"));
    RunTo(0, "sbtPrint", pdf);
    EXPECT_EQ(PdfPages(pdf), portrait);
    EXPECT_EQ(a4Orientation(pdf), QStringLiteral("retrato"));
    // The narrower page is drawn smaller: every text keeps its room, none is cut short more than on the layout's own page.
    const auto cut = [](const QString &file) { return RunTool(QStringLiteral("pdftotext"), {file, QStringLiteral("-")}).count(QChar(0x2026)); };
    EXPECT_EQ(cut(pdf), cut(wide));

    // A new screen of the same operator, then another operator.
    ASSERT_TRUE(Form()->DoClose());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(Open());
    AllDueDates();
    Form()->cbbReportNames->UserSelect(0);
    bool reopened = false;
    ASSERT_NO_FATAL_FAILURE(Preview([&](TReportPreviewDialog &preview) {
        EXPECT_EQ(preview.PageCount(), portrait);
        const TDialogWait wait = WhenShown<TPageSetupDialog>(
            [](TPageSetupDialog &dialog) {
                EXPECT_TRUE(dialog.rbtRetrato->isChecked());
                EXPECT_EQ(dialog.spnMargemSuperior->value(), 20.0);
                EXPECT_EQ(dialog.spnMargemDireita->value(), 35.0);
                dialog.reject();
            },
            reopened);
        QTest::mouseClick(preview.findChild<QToolButton *>(QStringLiteral("btnConfigurarPagina")), Qt::LeftButton);
        EXPECT_EQ(preview.PageCount(), portrait) << "a cancelled page setup changes nothing";
    }));
    EXPECT_TRUE(reopened);
    ApplyContext(ContextAs(QStringLiteral("ADMIN")));
    ASSERT_TRUE(Form()->DoClose());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(Open());
    const QString admin = m_out.filePath(QStringLiteral("admin.pdf"));
    RunTo(0, "sbtPrint", admin);
    EXPECT_EQ(TakeMessages(), QStringList());
    EXPECT_EQ(a4Orientation(admin), QStringLiteral("paisagem"));
    const int adminPages = PdfPages(admin);

    // "Configurar página..." of the layout button's menu: A3 for the next print, then the layout's own page again.
    bool a3 = false, own = false;
    {
        const TReportDesignerDialog::TInteractiveScope person(true);
        const TDialogWait wait = WhenShown<TPageSetupDialog>(
            [](TPageSetupDialog &dialog) {
                dialog.cbbPapel->setCurrentIndex(dialog.cbbPapel->findText(QStringLiteral("A3"), Qt::MatchStartsWith));
                QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("btnOk")), Qt::LeftButton);
            },
            a3);
        Form()->actConfigurarPagina->trigger();
    }
    ASSERT_TRUE(a3);
    RunTo(0, "sbtPrint", admin);
    EXPECT_TRUE(RunTool(QStringLiteral("pdfinfo"), {admin}).contains(QStringLiteral("(A3)")));
    {
        const TReportDesignerDialog::TInteractiveScope person(true);
        const TDialogWait wait = WhenShown<TPageSetupDialog>(
            [](TPageSetupDialog &dialog) {
                EXPECT_TRUE(dialog.cbbPapel->currentText().startsWith(QStringLiteral("A3")));
                QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("btnPadrao")), Qt::LeftButton);
                QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("btnOk")), Qt::LeftButton);
            },
            own);
        Form()->actConfigurarPagina->trigger();
    }
    ASSERT_TRUE(own);
    RunTo(0, "sbtPrint", admin);
    EXPECT_EQ(a4Orientation(admin), QStringLiteral("paisagem"));
    EXPECT_EQ(PdfPages(admin), adminPages);
    EXPECT_EQ(TakeMessages(), QStringList());
}
