// The report's pages on screen: counted first, then painted as they are shown.
// Each page painted alone must come out as the same page of the whole run that
// the PDF and the printer get, and printing from the preview prints every page.
#include "data/Database.h"
#include "data/DataSet.h"
#include "data/DateTime.h"
#include "report/ReportPages.h"
#include "report/ReportPreview.h"
#include "ReportTestSupport.h"
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QScrollArea>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest/QTest>
#include <functional>

class PreviewTest : public ReportScreenTest {
protected:
    // The layout as the engine last ran it: its rows, header and page count at `resolution`;
    // then each page painted alone, in an order that jumps back and forth, against the whole run.
    void PagesAloneMatchTheWholeRun(int index);
    QTemporaryDir m_out;
};

void PreviewTest::PagesAloneMatchTheWholeRun(int index)
{
    SCOPED_TRACE(index);
    TfrmRelLancContReceber &f = *Form();
    TReportDesignerDialog &engine = *f.rpddPadrao;
    const QString pdf = m_out.filePath(QStringLiteral("paginas.pdf"));
    RunTo(index, "sbtPrint", pdf);
    ASSERT_EQ(TakeMessages(), QStringList());
    const int pdfPageCount = PdfPages(pdf);
    ASSERT_GE(pdfPageCount, 3) << "the test needs a report of several pages";
    EXPECT_EQ(engine.LastResult().Pages, pdfPageCount);

    const TReportLayout layout = LoadReportLayouts(TfrmDadosGerRel::ReportDir(), QStringLiteral("REC110")).value(index);
    const TParams params = engine.LastParams();
    TRowsFactory rows;
    if (layout.DataSet.isEmpty()) {
        const QSqlDatabase db = TdtmDBGeral::Current()->Database();
        rows = [db, &layout, &params] { return OpenStatementRows(db, layout, params); };
    } else {
        TDataSet *data = f.findChild<TDataSet *>(layout.DataSet);
        ASSERT_NE(data, nullptr);
        rows = [&f, data, &layout] {
            return OpenDataSetRows(*data, layout, [&f](const QString &n) { return f.findChild<TDataSet *>(n); });
        };
    }
    // The PDF's page and resolution.
    TReportPaginator pages(layout, engine.Header, rows, ReportPageLayout(layout), 300);
    const TPagesResult counted = pages.Count();
    EXPECT_EQ(counted.Pages, pdfPageCount);
    EXPECT_EQ(counted.Rows, engine.LastResult().Rows);
    EXPECT_TRUE(pages.Painted().isEmpty());

    // The whole run, as the PDF is painted, onto one sheet per page.
    const double dpi = 60;
    std::vector<QImage> whole;
    QPainter painter;
    const TPagesResult all = pages.PaintAll([&](int page) -> QPainter & {
        if (painter.isActive())
            painter.end();
        EXPECT_EQ(page, static_cast<int>(whole.size()) + 1);
        whole.push_back(pages.BlankSheet(dpi));
        painter.begin(&whole.back());
        pages.SetupSheet(painter, dpi);
        return painter;
    });
    painter.end();
    EXPECT_EQ(all.Pages, counted.Pages);
    ASSERT_EQ(static_cast<int>(whole.size()), counted.Pages);

    // Each page alone: the last first, then from the front, then back again.
    QVector<int> order{counted.Pages, 1, 2};
    for (int p = counted.Pages - 1; p >= 3; --p)
        order << p;
    order << 1 << counted.Pages;
    for (int p : order) {
        const QImage alone = pages.Render(p, dpi);
        EXPECT_TRUE(alone == whole[static_cast<size_t>(p - 1)]) << "page " << p << " of " << counted.Pages;
    }
    EXPECT_EQ(pages.Painted(), order);
    // Neighbouring pages differ, so the comparison can tell pages apart.
    EXPECT_FALSE(whole[0] == whole[1]);
}

TEST_F(PreviewTest, EachPagePaintedAloneIsThatPageOfTheWholeRun)
{
    ASSERT_TRUE(Open());
    AllDueDates();
    PagesAloneMatchTheWholeRun(0);
    // The ABC curve: rows from the screen's data set and a chart closing each company.
    Click("rbtTodosClie");
    PagesAloneMatchTheWholeRun(18);
}

TEST_F(PreviewTest, ThePreviewShowsTheFirstPageThenPaintsPagesAsTheyAreAsked)
{
    ASSERT_TRUE(Open());
    AllDueDates();
    TfrmRelLancContReceber &f = *Form();
    f.cbbReportNames->UserSelect(0);
    const QString printed = m_out.filePath(QStringLiteral("impresso.pdf"));
    const bool printers = !QPrinterInfo::availablePrinterNames().isEmpty();
    int count = 0;
    ASSERT_NO_FATAL_FAILURE(Preview([&](TReportPreviewDialog &preview) {
            count = preview.PageCount();
            ASSERT_GE(count, 3);
            EXPECT_EQ(preview.windowTitle(), QStringLiteral("Visualizar: Contas a Receber por Vencimento"));
            // The first page is on screen; no other page was painted.
            EXPECT_EQ(preview.ShownPage(), 1);
            EXPECT_EQ(preview.Pages().Painted(), QVector<int>{1});
            EXPECT_EQ(preview.findChild<QLabel *>(QStringLiteral("lblPaginas"))->text(), QStringLiteral("de %1").arg(count));
            EXPECT_EQ(preview.findChild<QSpinBox *>(QStringLiteral("spnPagina"))->value(), 1);
            const QImage first = preview.PageImage();

            // To the last page and one back; then page 2 typed in the page box.
            QTest::mouseClick(preview.findChild<QToolButton *>(QStringLiteral("btnUltimaPagina")), Qt::LeftButton);
            QApplication::processEvents();
            EXPECT_EQ(preview.CurrentPage(), count);
            EXPECT_EQ(preview.ShownPage(), count);
            EXPECT_FALSE(preview.findChild<QToolButton *>(QStringLiteral("btnProximaPagina"))->isEnabled());
            QTest::mouseClick(preview.findChild<QToolButton *>(QStringLiteral("btnPaginaAnterior")), Qt::LeftButton);
            QApplication::processEvents();
            EXPECT_EQ(preview.ShownPage(), count - 1);
            auto *box = preview.findChild<QSpinBox *>(QStringLiteral("spnPagina"));
            box->selectAll();
            QTest::keyClicks(box, QStringLiteral("2"));
            QTest::keyClick(box, Qt::Key_Return);
            QApplication::processEvents();
            EXPECT_EQ(preview.ShownPage(), 2);
            // Each page painted once, when it was shown (page 2 is already there when it is the one before the last).
            QVector<int> painted{1, count, count - 1};
            if (count - 1 != 2)
                painted << 2;
            EXPECT_EQ(preview.Pages().Painted(), painted);
            // Back to the first page: kept from when it was shown, not painted again.
            QTest::mouseClick(preview.findChild<QToolButton *>(QStringLiteral("btnPrimeiraPagina")), Qt::LeftButton);
            QApplication::processEvents();
            EXPECT_EQ(preview.ShownPage(), 1);
            EXPECT_TRUE(preview.PageImage() == first);
            EXPECT_EQ(preview.Pages().Painted(), painted);

            // Zoom: larger, then the whole page in the window.
            const double fitted = preview.Zoom();
            QTest::mouseClick(preview.findChild<QToolButton *>(QStringLiteral("btnMaisZoom")), Qt::LeftButton);
            QApplication::processEvents();
            EXPECT_NEAR(preview.Zoom(), fitted * 1.25, 1e-9);
            EXPECT_GT(preview.PageImage().width(), first.width());
            EXPECT_EQ(preview.Pages().Painted().last(), 1) << "a new zoom paints the page again";
            EXPECT_EQ(preview.Pages().Painted().size(), painted.size() + 1);
            QTest::mouseClick(preview.findChild<QToolButton *>(QStringLiteral("btnPaginaInteira")), Qt::LeftButton);
            QApplication::processEvents();
            EXPECT_LE(preview.PageImage().height(), preview.findChild<QScrollArea *>()->viewport()->height());

            // Print: with no printer installed the pages go to the PDF file the person names.
            if (!printers) {
                f.svdSaveReport->FileName = printed;
                QTest::mouseClick(preview.findChild<QToolButton *>(QStringLiteral("btnImprimir")), Qt::LeftButton);
                EXPECT_EQ(f.rpddPadrao->LastResult().Output, printed);
            }
            EXPECT_TRUE(preview.isVisible()) << "the preview stays open after printing";
            // Pages still come after the print read the rows on the same connection.
            QTest::mouseClick(preview.findChild<QToolButton *>(QStringLiteral("btnMenosZoom")), Qt::LeftButton);
            QTest::mouseClick(preview.findChild<QToolButton *>(QStringLiteral("btnUltimaPagina")), Qt::LeftButton);
            QApplication::processEvents();
            EXPECT_EQ(preview.ShownPage(), count);
            EXPECT_EQ(preview.Pages().Painted().last(), count);
            EXPECT_EQ(preview.Failure(), QString());
        }));
    if (!printers) {
        EXPECT_EQ(PdfPages(printed), count);
        EXPECT_EQ(f.rpddPadrao->LastResult().Pages, count);
    }
}

TEST_F(PreviewTest, AReportWithoutRowsPreviewsItsOnePage)
{
    ASSERT_TRUE(Open());
    // No receivable falls due in 1990.
    Form()->Control<TDateEditPlus>("depVenIni")->SetDate(DateToDateTime(QDate(1990, 1, 1)));
    Form()->Control<TDateEditPlus>("depVenFin")->SetDate(DateToDateTime(QDate(1990, 1, 31)));
    Form()->cbbReportNames->UserSelect(0);
    ASSERT_NO_FATAL_FAILURE(Preview([&](TReportPreviewDialog &preview) {
            EXPECT_EQ(preview.PageCount(), 1);
            EXPECT_EQ(preview.ShownPage(), 1);
            EXPECT_FALSE(preview.PageImage().isNull());
            EXPECT_FALSE(preview.findChild<QToolButton *>(QStringLiteral("btnUltimaPagina"))->isEnabled());
            EXPECT_EQ(preview.Failure(), QString());
        }));
    EXPECT_EQ(Form()->rpddPadrao->LastResult().Rows, 0);
}
