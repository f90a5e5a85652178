// Class letters of the ABC curve, on data sets filled as the server fills them.
#include "abc/Classification.h"
#include "data/ClientDataSet.h"
#include <gtest/gtest.h>
#include <array>

namespace {
struct CurveRow {
    const char *Company;
    double Value;
};

std::unique_ptr<TClientDataSet> curve(std::initializer_list<CurveRow> rows)
{
    auto d = std::make_unique<TClientDataSet>(QStringLiteral("qryCurvaABC"));
    d->AddField(QStringLiteral("CDEMPRESA"), TFieldType::String, 2);
    d->AddField(QStringLiteral("VRATUAREC"), TFieldType::Float);
    d->AddField(QStringLiteral("IDCURVA"), TFieldType::FixedChar, 1);
    std::vector<TRecord> r;
    for (const CurveRow &row : rows)
        r.push_back({QString::fromLatin1(row.Company), row.Value, QStringLiteral("X")});
    d->LoadRows(std::move(r));
    return d;
}

std::unique_ptr<TDataSet> totals(std::initializer_list<std::pair<const char *, double>> rows)
{
    auto d = std::make_unique<TDataSet>(QStringLiteral("qryTotal"));
    d->AddField(QStringLiteral("CDEMPRESA"), TFieldType::String, 2);
    d->AddField(QStringLiteral("SUMCRVRATUAREC"), TFieldType::Float);
    std::vector<TRecord> r;
    for (const auto &[company, sum] : rows)
        r.push_back({QString::fromLatin1(company), sum});
    d->LoadRows(std::move(r));
    return d;
}

std::unique_ptr<TDataSet> percentages(std::initializer_list<std::array<double, 3>> rows)
{
    auto d = std::make_unique<TDataSet>(QStringLiteral("cdsPercentual"));
    for (const char *f : {"VRPECURVAA", "VRPECURVAB", "VRPECURVAC"})
        d->AddField(QLatin1String(f), TFieldType::Float);
    std::vector<TRecord> r;
    for (const auto &p : rows)
        r.push_back({p[0], p[1], p[2]});
    d->LoadRows(std::move(r));
    return d;
}

QString letters(TDataSet &d)
{
    QString out;
    for (const TRecord &r : d.Rows())
        out += r[2].toString();
    return out;
}
} // namespace

TEST(CurveClassification, LimitsAreClosedAtTheirUpperEnds)
{
    auto c = curve({{"01", 800}, {"01", 800.01}, {"01", 950}, {"01", 999.99}, {"01", 1000}, {"01", 1000.01}});
    auto t = totals({{"01", 1000}});
    // Only the first percentage row counts.
    auto p = percentages({{80, 15, 5}, {10, 10, 10}});
    ClassificaCurva(*c, *t, *p);
    EXPECT_EQ(letters(*c), QStringLiteral("ABBCCX"));
    // The letters stay in the change log.
    EXPECT_EQ(c->ChangeCount(), 5);
    EXPECT_TRUE(c->Eof());
}

TEST(CurveClassification, ShortPercentagesZeroTotalsAndEmptySets)
{
    // Percentages under 100: rows above limit 3 keep their delivered letter.
    auto c = curve({{"01", 500}, {"01", 600}, {"01", 800}, {"01", 850}});
    auto t = totals({{"01", 1000}});
    ClassificaCurva(*c, *t, *percentages({{50, 20, 10}}));
    EXPECT_EQ(letters(*c), QStringLiteral("ABCX"));

    auto zero = curve({{"01", 0}, {"01", -5}, {"01", 10}});
    ClassificaCurva(*zero, *totals({{"01", 0}}), *percentages({{80, 15, 5}}));
    EXPECT_EQ(letters(*zero), QStringLiteral("AAX"));

    auto noPercent = curve({{"01", 0}, {"01", 1}});
    ClassificaCurva(*noPercent, *totals({{"01", 1000}}), *percentages(std::initializer_list<std::array<double, 3>>{}));
    EXPECT_EQ(letters(*noPercent), QStringLiteral("AX"));

    auto empty = curve({});
    ClassificaCurva(*empty, *t, *percentages({{80, 15, 5}}));
    EXPECT_EQ(empty->ChangeCount(), 0);

    EXPECT_EQ(CurveClass(300, 1000, 10, 20, 70), QStringLiteral("B"));
    EXPECT_EQ(CurveClass(300.01, 1000, 10, 20, 70), QStringLiteral("C"));
}

TEST(CurveClassification, EachRowUsesItsOwnCompanysTotal)
{
    // Companies 01 and 03 against totals 01, 02 and 03: the rows of 03 use 03's total.
    auto c = curve({{"01", 80}, {"01", 100}, {"03", 800}, {"03", 900}, {"03", 1000}});
    auto t = totals({{"01", 100}, {"02", 50}, {"03", 1000}});
    ClassificaCurva(*c, *t, *percentages({{80, 15, 5}}));
    EXPECT_EQ(letters(*c), QStringLiteral("ACABC"));
    EXPECT_EQ(t->FieldByName(QStringLiteral("CDEMPRESA")).AsString(), QStringLiteral("03"));

    // The first row's company is not the first totals row: the cursor moves before it.
    auto first = curve({{"02", 40}});
    ClassificaCurva(*first, *totals({{"01", 100}, {"02", 50}}), *percentages({{80, 15, 5}}));
    EXPECT_EQ(letters(*first), QStringLiteral("A"));

    // A company with no totals row ahead keeps the delivered letter; the walk never goes back.
    auto back = curve({{"03", 100}, {"01", 10}, {"04", 1}});
    ClassificaCurva(*back, *totals({{"01", 100}, {"03", 1000}}), *percentages({{80, 15, 5}}));
    EXPECT_EQ(letters(*back), QStringLiteral("AXX"));
}

TEST(CurveClassification, RunningTotalsSummedInFloatingPointKeepTheirLetters)
{
    // The server sums the running totals in floating point: 942.47 + 465.69 + 29.95 comes out as
    // 1438.1100000000001, the company total, while 100 % of it comes out as 1438.11. The last row
    // and the zero-value rows after it still fall in C when the percentages add up to 100.
    const double first = 942.47, second = first + 465.69, third = second + 29.95;
    ASSERT_GT(third, third * (80 + 15 + 5) / 100); // the arithmetic this case is about
    auto c = curve({{"01", first}, {"01", second}, {"01", third}, {"01", third}, {"03", 0.1 + 0.2}});
    auto t = totals({{"01", third}, {"03", 0.3}});
    ClassificaCurva(*c, *t, *percentages({{80, 15, 5}}));
    EXPECT_EQ(letters(*c), QStringLiteral("ACCCC"));
    EXPECT_EQ(CurveClass(third, third, 80, 15, 5), QStringLiteral("C"));
    // A cent above the limit is still above it.
    EXPECT_EQ(CurveClass(1438.12, 1438.11, 80, 15, 5), QString());
}
