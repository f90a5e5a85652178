#pragma once
#include "ScreenFixture.h"
#include <QStringList>

// The lines of a CSV report, heading first, without the byte-order mark.
QStringList CsvLines(const QString &path);

// The screen with a way to run a report action into a file, as a batch step does.
class ReportScreenTest : public ScreenTest {
protected:
    void RunTo(int layout, const char *button, const QString &path);
};
