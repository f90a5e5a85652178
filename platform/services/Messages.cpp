#include "services/Messages.h"

QString TMessages::Msg(const QString &key) const
{
    for (const QString &line : Messages) {
        const qsizetype bar = line.indexOf(QLatin1Char('|'));
        if (bar < 0)
            continue;
        if (QStringView(line).left(bar).compare(key, Qt::CaseInsensitive) == 0)
            return line.mid(bar + 1);
    }
    return {};
}
