#include "services/Modules.h"
#include <QFileInfo>
#include <QList>
#include <QMutex>

namespace {
QMutex g_mutex;
QList<TModuleRecord> &modules()
{
    static QList<TModuleRecord> list;
    return list;
}
} // namespace

void RegisterModule(const TModuleRecord &module)
{
    QMutexLocker lock(&g_mutex);
    modules().append(module);
}

void UnregisterModule(const QString &name)
{
    QMutexLocker lock(&g_mutex);
    modules().removeIf([&](const TModuleRecord &m) { return m.Name == name; });
}

QStringList RegisteredModules()
{
    QMutexLocker lock(&g_mutex);
    QStringList out;
    for (const auto &m : modules())
        out << m.Name;
    return out;
}

TModuleRecord FindModule(const QString &name)
{
    QMutexLocker lock(&g_mutex);
    for (const auto &m : modules())
        if (m.Name == name)
            return m;
    return {};
}

TModuleRecord FindScreen(const QString &screenCode)
{
    QMutexLocker lock(&g_mutex);
    for (const auto &m : modules())
        if (!m.ScreenCode.isEmpty() && m.ScreenCode.compare(screenCode, Qt::CaseInsensitive) == 0)
            return m;
    return {};
}

QStringList RegisteredScreens()
{
    QMutexLocker lock(&g_mutex);
    QStringList out;
    for (const auto &m : modules())
        if (!m.ScreenCode.isEmpty())
            out << m.ScreenCode;
    return out;
}

QString LanguageResourceFor(const QString &moduleFile, const QString &language)
{
    const QString candidate = moduleFile + QLatin1Char('.') + language;
    return QFileInfo::exists(candidate) ? candidate : moduleFile;
}
