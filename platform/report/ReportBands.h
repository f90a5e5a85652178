#pragma once
#include "report/ReportLayout.h"

// The layout as it runs with the bands its parameters give: the {BANDS} marker replaced by
// one amount per band, the limits bound as parameters of their own (P_FAIXA1_DE, P_FAIXA1_ATE
// ...), and one column per band after the layout's column, captioned "1 a 30", "31 a 60" and
// "Acima de 90" for the limits 30,60,90; `limitNames` gets the names of those parameters. A
// layout without bands comes back as it is.
TReportLayout WithBands(const TReportLayout &layout, TParams &params, QStringList *limitNames = nullptr);

// The captions of the bands for their upper limits.
QStringList BandCaptions(const QVector<int> &limits);

// The layout as it runs for the answers given (the defaults where none is given): the answers
// bound into params, checked (EHostError naming the field of a bad one), and the bands they give.
TReportLayout LayoutAsRun(const TReportLayout &layout, const TLayoutAnswers &answers, const QDate &today, TParams &params);
