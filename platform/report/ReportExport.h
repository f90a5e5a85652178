#pragma once
#include "report/ReportPages.h"

enum class TReportFileType { Pdf, Csv, Html, Xlsx };

// The file type an output path's extension names; raises EHostError for others.
TReportFileType ReportFileType(const QString &path);

// Writes the report to a file of the given type. The file appears only when
// complete: it is written under a temporary name beside it and renamed at the
// end, so a failed run leaves neither a partial file nor a changed old one.
TPagesResult WriteReportFile(const TReportLayout &layout, const TReportHeader &header, const TRowsFactory &rows, const QString &path,
                             TReportFileType type, const TReportProgress &progress = {});

// Writes the pages of a paginator as a PDF file of its page and resolution, counting them
// first when they are not counted yet; the file appears only when complete.
TPagesResult WritePdfFile(TReportPaginator &pages, const QString &path, const TReportProgress &progress = {});
