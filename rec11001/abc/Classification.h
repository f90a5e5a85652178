#pragma once
#include "data/DataSet.h"

// The class of a value against a total and the curve percentages: "A" up to
// the first limit, "B" up to the second, "C" up to the third, none above.
// Amounts are compared in whole cents.
QString CurveClass(double value, double total, double pA, double pB, double pC);
QString CurveClassCents(long long value, long long limit1, long long limit2, long long limit3);

// Writes IDCURVA of every curve row that falls in a class, comparing its
// VRATUAREC with the SUMCRVRATUAREC of its company in the totals. The totals
// cursor only moves forward; a row whose company has no totals row ahead keeps
// its delivered letter. The letters stay in the curve's change log.
void ClassificaCurva(TDataSet &curve, TDataSet &totals, const TDataSet &percentages);
