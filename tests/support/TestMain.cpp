#include <QApplication>
#include <QLocale>
#include <gtest/gtest.h>
#include "TestSupport.h"

namespace {
// The PostgreSQL run of a suite needs the server the test script starts.
class BackendEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (SuiteBackend() == TBackend::PostgreSQL && !PostgresAvailable())
            GTEST_SKIP() << "REC_TEST_BACKEND=postgresql but no PostgreSQL server (REC_TEST_PG_URL) for this run";
    }
};
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new BackendEnvironment); // gtest owns it
    return RUN_ALL_TESTS();
}
