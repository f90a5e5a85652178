#pragma once
#include "report/ReportRun.h"
#include <QImage>
#include <QPageLayout>
#include <QRectF>
#include <QVariantList>
#include <functional>
#include <memory>

class QPagedPaintDevice;
class QPainter;

// What stands at a place of a page, as the pages were counted: a row of the source, a group's
// header or footer, or the grand total (its line and its share line), with the rows it stands for.
struct TReportSpot {
    enum TKind { Row, GroupHeader, GroupFooter, Total };
    TKind Kind = Row;
    QRectF Rect;                 // in the page's printable area, at the paginator's resolution
    int Level = 0;               // the group's level, for a header or footer
    qint64 First = 0, Last = -1; // rows from 0: the row itself, or those the group or the total sums
    QString Text;                // a header's text, a footer's caption, the total's caption
    bool Opens = false;          // it or some of its rows have a key, so it can be opened
};

// The resolution every output lays its pages out at, whatever the device's own: text measured
// at another resolution rounds differently, and a page would break at another row on screen,
// on paper and in the PDF. Text and lines stay vectors, so the printer's sharpness is kept.
constexpr int kReportResolution = 300;

// Opens the rows afresh for each pass over the report.
using TRowsFactory = std::function<std::unique_ptr<TReportRows>()>;

struct TPagesResult {
    qint64 Rows = 0;
    int Pages = 0;
};

// Lays a report out in pages. Count() walks the rows once, counting the pages
// ("Página N de M" on each) and noting where each page starts: the row and the
// groups' sums and captions at that point. Any page can then be painted alone,
// reading the rows on from where it starts; or all of them in one pass.
// Every output (printer, PDF, preview) paints its pages here.
class TReportPaginator {
public:
    TReportPaginator(const TReportLayout &layout, const TReportHeader &header, TRowsFactory rows, const QPageLayout &page, int resolution);
    ~TReportPaginator();
    TReportPaginator(const TReportPaginator &) = delete;
    TReportPaginator &operator=(const TReportPaginator &) = delete;

    TPagesResult Count(const TReportProgress &progress = {});
    int PageCount() const;
    qint64 Rows() const;
    const QPageLayout &PageLayout() const;
    int Resolution() const;

    // Paints page `page` (from 1) on a painter whose device has the paginator's resolution;
    // the origin is the top left of the page's printable area, scaled by Scale().
    void PaintPage(int page, QPainter &painter);
    // The whole sheet of a page on white paper, `dpi` image pixels to the inch.
    QImage Render(int page, double dpi);
    // Every page in one pass, on a printer or PDF writer of this page layout and resolution.
    TPagesResult PaintAll(QPagedPaintDevice &device, const TReportProgress &progress = {});
    // Every page in one pass; `pageStart` gives the painter for each page as it starts (from 1),
    // set up as PaintPage wants it.
    TPagesResult PaintAll(const std::function<QPainter &(int page)> &pageStart, const TReportProgress &progress = {});

    // A page narrower than the layout's own is drawn smaller so the columns keep their room: the
    // rows are laid out on an area of the printable size enlarged by 1 / Scale (1 for a page as wide
    // or wider). Spots and everything PaintPage paints are in that area's coordinates.
    double Scale() const;
    const QPageLayout &LayoutArea() const;
    // A blank sheet as Render paints on, and a painter on it set to page coordinates.
    QImage BlankSheet(double dpi) const;
    void SetupSheet(QPainter &painter, double dpi) const;
    // Closes the rows kept open between pages, before other reads on the same connection.
    void CloseRows();
    // The pages PaintPage painted, in the order asked.
    const QVector<int> &Painted() const;
    const TReportLayout &Layout() const;

    // Asks Count to note where each row, group header and footer and the total stand on its page,
    // and each row's key (the layout's key fields); nothing is noted unless asked (the preview asks).
    void NoteSpots(bool on);
    // What stands where on a page (from 1), top to bottom; empty when nothing was noted.
    const QVector<TReportSpot> &Spots(int page) const;
    // The spot at a point of a page (page coordinates, as Spots gives them); null when none.
    const TReportSpot *SpotAt(int page, const QPointF &at) const;
    // The values of the layout's key fields for a row (from 0); empty when none were noted.
    QVariantList RowKey(qint64 row) const;
    // Another page size, orientation or margins: the pages must be counted again.
    void SetPageLayout(const QPageLayout &page);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Lays the report out in pages and paints them on a printer or PDF writer:
// a first pass counts the pages, the second paints them.
// Rows stream through both passes; only the current page is held.
// With no device the pages are only counted.
TPagesResult PaintReport(const TReportLayout &layout, const TReportHeader &header, const TRowsFactory &rows, QPagedPaintDevice *device,
                         const TReportProgress &progress = {});

// The page size, orientation and margins of a layout.
QPageLayout ReportPageLayout(const TReportLayout &layout);
// Sets a device's page size, orientation and margins for a layout.
void SetupPage(const TReportLayout &layout, QPagedPaintDevice &device);
