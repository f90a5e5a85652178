#pragma once
#include "ReportRun.h"
#include <functional>

class QPagedPaintDevice;

// Opens the rows afresh for each pass over the report.
using TRowsFactory = std::function<std::unique_ptr<TReportRows>()>;

struct TPagesResult {
    qint64 Rows = 0;
    int Pages = 0;
};

// Lays the report out in pages and paints them on a printer or PDF writer:
// a first pass counts the pages ("Página N de M"), the second paints them.
// Rows stream through both passes; only the current page is held.
// With no device the pages are only counted.
TPagesResult PaintReport(const TReportLayout &layout, const TReportHeader &header, const TRowsFactory &rows, QPagedPaintDevice *device,
                         const TReportProgress &progress = {});

// Sets a device's page size, orientation and margins for a layout.
void SetupPage(const TReportLayout &layout, QPagedPaintDevice &device);
