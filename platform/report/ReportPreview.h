#pragma once
#include "report/ReportSearch.h"
#include <QDialog>
#include <QImage>
#include <deque>
#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class QScrollArea;
class QSpinBox;
class QToolButton;
class TReportPaginator;
class TPreviewPage;

// The report's pages on screen, one at a time: each page is painted when it is
// shown, so the first shows as soon as the pages are counted. Zoom, page
// navigation ("N de M"), print and save as PDF, page setup. A printed row, group
// header, footer or total that stands for something shows a hand under the pointer
// and opens on a double click, or on Enter once chosen with the arrow keys. Ctrl+F
// finds a text on every page, F3 and Shift+F3 go to the next and previous match.
class TReportPreviewDialog : public QDialog {
    Q_OBJECT
public:
    TReportPreviewDialog(TReportPaginator &pages, QWidget *parent = nullptr);
    ~TReportPreviewDialog() override;

    // Run by the print and save buttons; a failure they raise is shown by whoever runs the dialog.
    std::function<void()> Print;
    std::function<void()> SavePdf;
    // Opens what a spot of the shown page stands for; a failure it raises is shown as a message.
    std::function<void(const TReportSpot &spot)> OpenSpot;
    // "Configurar página": true when the pages were laid out again on a new page.
    std::function<bool()> PageSetup;

    const TReportPaginator &Pages() const { return m_pages; }
    // The sheet of the page shown, as drawn on screen.
    const QImage &PageImage() const { return m_image; }
    int CurrentPage() const { return m_page; }
    int PageCount() const;
    // The page last drawn on screen; 0 before any.
    int ShownPage() const { return m_shown; }
    // Screen pixels per inch of paper at the zoom now (100% is the screen's own).
    double Zoom() const { return m_zoom; }
    // Why the dialog closed on its own: a page that could not be read or a failed print; empty otherwise.
    QString Failure() const { return m_failure; }

    // The spot chosen with the keyboard or the pointer on the page shown; null when none.
    const TReportSpot *ChosenSpot() const;
    // Chooses the next or previous spot that opens, going on to the neighbouring pages.
    void ChooseNext();
    void ChoosePrevious();
    void OpenChosen();
    // The matches of the last search, the one gone to (from 0; -1 when none).
    const QVector<TTextMatch> &Matches() const { return m_matches; }
    int CurrentMatch() const { return m_match; }
    // Finds a text on every page and goes to its first match from the page shown on.
    void Find(const QString &text);
    void FindNext();
    void FindPrevious();
    // Where a place of the page stands on the page widget, and back (the widget's coordinates).
    QRectF ViewRect(const QRectF &pageRect) const;
    QPointF PagePoint(const QPointF &viewPoint) const;

    void ShowPage(int page);
    void SetZoom(double zoom);
    void ZoomIn();
    void ZoomOut();
    void FitWidth();
    void FitPage();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    enum class TFit { None, Width, Page };
    void Refresh();
    void RunPageSetup();
    void Relayout();
    void GoToMatch(int index);
    void ShowMatchCount();
    void Choose(int page, int spot);
    void EnsureVisible(const QRectF &pageRect);
    void SpotClicked(const QPointF &viewPoint, bool open);
    bool OpensAt(const QPointF &viewPoint) const;
    void Fail(const QString &message);
    void PageDrawn();
    double FitZoom(TFit fit) const;
    friend class TPreviewPage;

    TReportPaginator &m_pages;
    TFit m_fit = TFit::Width;
    double m_zoom = 1.0;
    int m_page = 1;
    int m_shown = 0;
    QImage m_image;
    // The pages shown last at this zoom, so going back to them paints nothing.
    std::deque<std::pair<int, QImage>> m_recent;
    int m_imagePage = 0;
    double m_imageZoom = 0;
    double m_imageDpi = 0;
    // The spot chosen: its page and its index in the page's spots.
    int m_chosenPage = 0, m_chosen = -1;
    std::unique_ptr<TReportFinder> m_finder;
    QString m_found;
    QVector<TTextMatch> m_matches;
    int m_match = -1;
    QLineEdit *m_findBox = nullptr;
    QLabel *m_findCount = nullptr;
    QString m_failure;
    QScrollArea *m_scroll = nullptr;
    TPreviewPage *m_view = nullptr;
    QSpinBox *m_pageBox = nullptr;
    QLabel *m_ofPages = nullptr;
    QLabel *m_zoomLabel = nullptr;
    QToolButton *m_first = nullptr, *m_prev = nullptr, *m_next = nullptr, *m_last = nullptr;
};
