#include "services/HostContext.h"
#include "services/Session.h"
#include <QDateTime>
#include <QRegularExpression>

namespace {
THostContext &context() { return SessionState().Context; }
} // namespace

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
