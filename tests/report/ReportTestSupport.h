#pragma once
#include "ScreenFixture.h"
#include <QStringList>
#include <functional>

// The lines of a CSV report, heading first, without the byte-order mark.
QStringList CsvLines(const QString &path);
// An amount as the CSV writes it: two decimals after a comma.
QString amount(double v);

// The screen with a way to run a report action into a file, as a batch step does.
// Criteria values far from the defaults, each passing the screen's checks: code lists in
// every group, partial statuses, each entry kind, one client type, whole date ranges,
// amounts and budget numbers; the layout is the given one.
std::vector<TCriteria> VariedCriteria(const TCriteria &defaults, int layout);

class TReportPreviewDialog;

class ReportScreenTest : public ScreenTest {
protected:
    void RunTo(int layout, const char *button, const QString &path);
    // Every due date, so the layouts run over several pages.
    void AllDueDates();
    // Clicks "Visualizar" with a person at the dialogs and runs step in the preview once it
    // shows, then closes it; no message may come.
    void Preview(const std::function<void(TReportPreviewDialog &)> &step);
};

// A screen suite run again on the test PostgreSQL server, when the test script started one.
template <class Suite>
class OnPostgreSQL : public Suite {
protected:
    static void SetUpTestSuite()
    {
        if (!PostgresAvailable())
            return;
        ScreenTest::s_backend = TBackend::PostgreSQL;
        ScreenTest::SetUpTestSuite();
    }
    static void TearDownTestSuite()
    {
        if (PostgresAvailable())
            ScreenTest::TearDownTestSuite();
        ScreenTest::s_backend = SuiteBackend();
    }
    void SetUp() override
    {
        if (!PostgresAvailable())
            GTEST_SKIP() << "no PostgreSQL server for the tests";
        Suite::SetUp();
    }
    void TearDown() override
    {
        if (PostgresAvailable())
            Suite::TearDown();
    }
};
