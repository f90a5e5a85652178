#pragma once
#include <QDate>
#include <QDateTime>
#include <QString>

// Dates are day counts since 1899-12-30 held in a double; 0 means "no date".
using TDateTime = double;

struct TFormatSettings {
    QString ShortDateFormat = QStringLiteral("dd/MM/yyyy");
    QChar DecimalSeparator = QLatin1Char(',');
    QChar ThousandSeparator = QLatin1Char('.');
};

// The process-wide format settings; the host context sets them at log-in.
TFormatSettings &FormatSettings();

TDateTime DateToDateTime(const QDate &date);
TDateTime QDateTimeToDateTime(const QDateTime &dt);
QDate DateTimeToDate(TDateTime value);
QDateTime DateTimeToQDateTime(TDateTime value);
// Short-date text of the date part; empty for 0.
QString DateToStr(TDateTime value);
QString DateToStr(TDateTime value, const QString &format);
// Date and, when not midnight, time.
QString DateTimeToStr(TDateTime value);
// Parses a text in the short-date format; returns false when it is not a valid date.
// A two-digit year stands for 2000-2049 (00-49) or 1950-1999 (50-99).
bool TryStrToDate(const QString &text, TDateTime &out);
bool TryStrToDate(const QString &text, TDateTime &out, const QString &format);
// Whether a text is a short-date pattern the host can use: day, month and
// year once each ("d"/"dd", "M"/"MM", "yy"/"yyyy") with one separator (/ . - or space).
bool IsShortDatePattern(const QString &format);
// Whether every field of the pattern has a fixed width ("dd", "MM", "yy", "yyyy").
bool IsFixedWidthDatePattern(const QString &format);
QString FloatToStr(double value);
