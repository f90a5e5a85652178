#include "DateTime.h"
#include <cmath>

namespace {
const QDate kEpoch(1899, 12, 30);
}

TFormatSettings &FormatSettings()
{
    static TFormatSettings settings;
    return settings;
}

TDateTime DateToDateTime(const QDate &date)
{
    if (!date.isValid())
        return 0;
    return static_cast<double>(kEpoch.daysTo(date));
}

TDateTime QDateTimeToDateTime(const QDateTime &dt)
{
    if (!dt.isValid())
        return 0;
    const double days = static_cast<double>(kEpoch.daysTo(dt.date()));
    const double frac = dt.time().msecsSinceStartOfDay() / 86400000.0;
    return days + frac;
}

QDate DateTimeToDate(TDateTime value)
{
    return kEpoch.addDays(static_cast<qint64>(std::floor(value)));
}

QDateTime DateTimeToQDateTime(TDateTime value)
{
    const double day = std::floor(value);
    const int msecs = static_cast<int>(std::llround((value - day) * 86400000.0));
    return QDateTime(kEpoch.addDays(static_cast<qint64>(day)), QTime(0, 0).addMSecs(msecs));
}

QString DateToStr(TDateTime value)
{
    if (value == 0)
        return {};
    return DateTimeToDate(value).toString(FormatSettings().ShortDateFormat);
}

QString DateTimeToStr(TDateTime value)
{
    if (value == 0)
        return {};
    const QDateTime dt = DateTimeToQDateTime(value);
    if (dt.time() == QTime(0, 0))
        return DateToStr(value);
    return dt.toString(FormatSettings().ShortDateFormat + QStringLiteral(" HH:mm:ss"));
}

bool TryStrToDate(const QString &text, TDateTime &out)
{
    const QDate d = QDate::fromString(text.trimmed(), FormatSettings().ShortDateFormat);
    if (!d.isValid())
        return false;
    out = DateToDateTime(d);
    return true;
}

QString FloatToStr(double value)
{
    QString s = QString::number(value, 'g', 15);
    return s.replace(QLatin1Char('.'), FormatSettings().DecimalSeparator);
}
