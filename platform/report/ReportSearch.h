#pragma once
#include "report/ReportPages.h"
#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QVector>
#include <memory>

// Where a text was found: its page (from 1) and the place it takes, in the coordinates of the
// paginator's layout area (as spots are).
struct TTextMatch {
    int Page = 0;
    QRectF Rect;
};

// The texts a report's pages print, gathered once by painting every page onto a device that
// keeps what is written rather than drawing it, so a search sees exactly the texts the printed
// pages hold (a name cut short on the page is found as it is printed).
class TReportFinder {
public:
    explicit TReportFinder(TReportPaginator &pages, const TReportProgress &progress = {});
    ~TReportFinder();
    TReportFinder(const TReportFinder &) = delete;
    TReportFinder &operator=(const TReportFinder &) = delete;

    // Every occurrence of the text on every page, in page order and top to bottom, left to
    // right; letter case is ignored, accents are not; occurrences do not overlap.
    QVector<TTextMatch> Find(const QString &text) const;
    // Pages with matches and how many each has, in page order.
    static QVector<std::pair<int, int>> PerPage(const QVector<TTextMatch> &matches);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
