// Class letters of the curve rows: each row's delivered value against limits
// taken at the curve percentages of its company's total.
#include "abc/Classification.h"
#include <cmath>

namespace {
long long cents(double v) { return std::llround(v * 100); }

// The three class limits of a total in whole cents: percentages added first, then times the
// total, then divided by 100.
struct TLimits {
    long long A = 0, B = 0, C = 0;
};
TLimits limitsOf(double total, double pA, double pB, double pC)
{
    return {cents(total * pA / 100), cents(total * (pA + pB) / 100), cents(total * (pA + pB + pC) / 100)};
}

double number(const TDataSet &data, const char *field)
{
    if (data.IsEmpty() || data.Eof())
        return 0;
    const TField *f = data.FindField(QLatin1String(field));
    return f ? f->AsFloat() : 0;
}

QString text(const TDataSet &data, const char *field)
{
    if (data.IsEmpty() || data.Eof())
        return {};
    const TField *f = data.FindField(QLatin1String(field));
    return f ? f->AsString() : QString();
}

// Moves the totals forward to the company; false when no row ahead holds it (the cursor stays).
bool seekCompany(TDataSet &totals, const QString &company)
{
    if (totals.IsEmpty())
        return false;
    if (text(totals, "CDEMPRESA") == company)
        return true;
    const int from = totals.RecNo();
    for (int r = from; r < totals.RecordCount(); ++r) {
        totals.SetRecNo(r + 1);
        if (text(totals, "CDEMPRESA") == company)
            return true;
    }
    totals.SetRecNo(from);
    return false;
}
} // namespace

QString CurveClass(double value, double total, double pA, double pB, double pC)
{
    // Amounts have two decimals: values and limits are compared in whole cents, so that a
    // running total summed in floating point a hair above its limit still falls in its class.
    const TLimits l = limitsOf(total, pA, pB, pC);
    return CurveClassCents(cents(value), l.A, l.B, l.C);
}

QString CurveClassCents(long long value, long long limit1, long long limit2, long long limit3)
{
    if (value <= limit1)
        return QStringLiteral("A");
    if (value >= limit1 && value <= limit2)
        return QStringLiteral("B");
    if (value >= limit2 && value <= limit3)
        return QStringLiteral("C");
    return {};
}

void ClassificaCurva(TDataSet &curve, TDataSet &totals, const TDataSet &percentages)
{
    const double pA = number(percentages, "VRPECURVAA");
    const double pB = number(percentages, "VRPECURVAB");
    const double pC = number(percentages, "VRPECURVAC");
    const size_t value = static_cast<size_t>(curve.FieldByName(QStringLiteral("VRATUAREC")).Index());
    const size_t company = static_cast<size_t>(curve.FieldByName(QStringLiteral("CDEMPRESA")).Index());
    const int letter = curve.FieldByName(QStringLiteral("IDCURVA")).Index();
    const TCell letters[] = {TCell::Text(QStringLiteral("A")), TCell::Text(QStringLiteral("B")), TCell::Text(QStringLiteral("C"))};
    curve.First();
    totals.First();
    // The rows come by company, so the totals are sought once per company.
    QString current;
    bool started = false, found = false;
    TLimits limits;
    const std::vector<TRecord> &rows = curve.Rows();
    const TCell none;
    const int count = curve.RecordCount();
    // Each row is a block of its own, far larger than the three cells read and written
    // here: fetching rows ahead keeps the pass from waiting on memory for each one.
    constexpr int kAhead = 12;
    const size_t cells[] = {company, value, static_cast<size_t>(letter)};
    for (int r = 0; r < count; ++r) {
        if (r + kAhead < count) {
            const TRecord &ahead = rows[static_cast<size_t>(r + kAhead)];
            for (const size_t c : cells)
                if (c < ahead.size())
                    __builtin_prefetch(ahead.Cells() + c, 1);
        }
        const TRecord &row = rows[static_cast<size_t>(r)];
        const TCell &cell = company < row.size() ? row.Cell(company) : none;
        const bool same = started && (cell.GetKind() == TCell::Kind::Text ? cell.TextRef() == current : cell.ToVariant().toString() == current);
        if (!same) {
            // A row is classified only with its own company's total.
            current = cell.ToVariant().toString();
            started = true;
            found = seekCompany(totals, current);
            limits = limitsOf(found ? number(totals, "SUMCRVRATUAREC") : 0, pA, pB, pC);
        }
        if (!found)
            continue;
        const TCell &amount = value < row.size() ? row.Cell(value) : none;
        const QString cls = CurveClassCents(cents(amount.GetKind() == TCell::Kind::Double ? amount.Double() : amount.ToVariant().toDouble()),
                                            limits.A, limits.B, limits.C);
        if (!cls.isEmpty())
            curve.SetRowField(r, letter, letters[cls.at(0).unicode() - 'A']);
    }
    curve.Last();
}
