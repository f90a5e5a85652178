#include "data/DateTime.h"
#include <QRegularExpression>
#include <algorithm>
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

QString DateToStr(TDateTime value) { return DateToStr(value, FormatSettings().ShortDateFormat); }

QString DateToStr(TDateTime value, const QString &format)
{
    if (value == 0)
        return {};
    return DateTimeToDate(value).toString(format);
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

bool TryStrToDate(const QString &text, TDateTime &out) { return TryStrToDate(text, out, FormatSettings().ShortDateFormat); }

bool TryStrToDate(const QString &text, TDateTime &out, const QString &format)
{
    const QString t = text.trimmed();
    if (!IsShortDatePattern(format)) {
        const QDate d = QDate::fromString(t, format);
        if (!d.isValid())
            return false;
        out = DateToDateTime(d);
        return true;
    }
    // Field by field: "d"/"M" take one or two digits, "dd"/"MM"/"yy" two, "yyyy" four.
    const QChar separator = *std::find_if_not(format.begin(), format.end(), [](QChar c) { return c.isLetter(); });
    const QStringList fields = format.split(separator), parts = t.split(separator);
    if (parts.size() != 3)
        return false;
    int day = 0, month = 0, year = 0;
    for (int i = 0; i < 3; ++i) {
        const QString &f = fields[i], &p = parts[i];
        const bool digits = !p.isEmpty() && std::all_of(p.begin(), p.end(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
        const bool width = f.size() == 1 ? p.size() == 1 || p.size() == 2 : p.size() == f.size();
        if (!digits || !width)
            return false;
        const int n = p.toInt();
        switch (f.at(0).unicode()) {
        case 'd': day = n; break;
        case 'M': month = n; break;
        default: year = f.size() == 2 ? (n < 50 ? 2000 + n : 1900 + n) : n; break;
        }
    }
    const QDate d(year, month, day);
    if (!d.isValid() || year < 1)
        return false;
    out = DateToDateTime(d);
    return true;
}

bool IsShortDatePattern(const QString &format)
{
    if (format.size() > 10)
        return false;
    static const QRegularExpression pattern(QStringLiteral("^(d{1,2}|M{1,2}|yy|yyyy)([/. -])(d{1,2}|M{1,2}|yy|yyyy)\\2(d{1,2}|M{1,2}|yy|yyyy)$"));
    const QRegularExpressionMatch m = pattern.match(format);
    if (!m.hasMatch())
        return false;
    const QString letters = m.captured(1).left(1) + m.captured(3).left(1) + m.captured(4).left(1);
    return letters.contains(QLatin1Char('d')) && letters.contains(QLatin1Char('M')) && letters.contains(QLatin1Char('y'));
}

bool IsFixedWidthDatePattern(const QString &format)
{
    static const QRegularExpression loose(QStringLiteral("(^|[^d])d([^d]|$)|(^|[^M])M([^M]|$)"));
    return !loose.match(format).hasMatch();
}

QString FloatToStr(double value)
{
    QString s = QString::number(value, 'g', 15);
    return s.replace(QLatin1Char('.'), FormatSettings().DecimalSeparator);
}
