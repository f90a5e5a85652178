#include "HostContext.h"
#include <QDateTime>
#include <QRegularExpression>

namespace {
THostContext &context()
{
    static THostContext ctx;
    return ctx;
}
} // namespace

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

const THostContext &HostContext() { return context(); }

void SetHostContext(const THostContext &ctx)
{
    context() = ctx;
    FormatSettings().ShortDateFormat = ctx.DateFormat.isEmpty() ? QStringLiteral("dd/MM/yyyy") : ctx.DateFormat;
}

QString Operador() { return context().Operator; }
bool ModuFili() { return context().PerBranch; }
QString FiliProc() { return context().Branch; }
QString WebURL() { return context().ServerHost; }
int WebPort() { return context().ServerPort; }

TDateTime Date()
{
    const QDate today = context().FixedToday.value_or(QDate::currentDate());
    return DateToDateTime(today);
}

TDateTime Now()
{
    if (context().FixedToday)
        return DateToDateTime(*context().FixedToday) + QTime::currentTime().msecsSinceStartOfDay() / 86400000.0;
    return QDateTimeToDateTime(QDateTime::currentDateTime());
}
