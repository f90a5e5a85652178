#include "ReportTestSupport.h"
#include <QFile>

QStringList CsvLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(f.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

void ReportScreenTest::RunTo(int layout, const char *button, const QString &path)
{
    Form()->cbbReportNames->UserSelect(layout);
    Form()->ReportOutput = path;
    Action(button);
    Form()->ReportOutput.clear();
}
