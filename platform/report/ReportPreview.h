#pragma once
#include <QDialog>
#include <QImage>
#include <deque>
#include <functional>

class QLabel;
class QScrollArea;
class QSpinBox;
class QToolButton;
class TReportPaginator;
class TPreviewPage;

// The report's pages on screen, one at a time: each page is painted when it is
// shown, so the first shows as soon as the pages are counted. Zoom, page
// navigation ("N de M"), print and save as PDF.
class TReportPreviewDialog : public QDialog {
    Q_OBJECT
public:
    TReportPreviewDialog(TReportPaginator &pages, QWidget *parent = nullptr);
    ~TReportPreviewDialog() override;

    // Run by the print and save buttons; a failure they raise is shown by whoever runs the dialog.
    std::function<void()> Print;
    std::function<void()> SavePdf;

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
    QString m_failure;
    QScrollArea *m_scroll = nullptr;
    TPreviewPage *m_view = nullptr;
    QSpinBox *m_pageBox = nullptr;
    QLabel *m_ofPages = nullptr;
    QLabel *m_zoomLabel = nullptr;
    QToolButton *m_first = nullptr, *m_prev = nullptr, *m_next = nullptr, *m_last = nullptr;
};
