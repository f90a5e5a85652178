#include "host/HostModules.h"
#include "data/Exceptions.h"
#include "services/InstallPaths.h"
#include <QDir>
#include <QFileInfo>

THostModules::~THostModules() { Unload(); }

QString THostModules::Folder()
{
    const QByteArray env = qgetenv("REC_MODULE_DIR");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    return ProgramPath(QStringLiteral("../lib/rec11001/modules"), QStringLiteral("."));
}

QStringList THostModules::Load()
{
    const QDir folder(Folder());
    const QStringList files = folder.entryList({QStringLiteral("libPKG_*.so")}, QDir::Files, QDir::Name);
    if (files.isEmpty())
        return {QStringLiteral("Nenhum módulo (libPKG_*.so) em '%1'; o menu não terá telas.").arg(folder.absolutePath())};
    QStringList failures;
    for (const QString &name : files) {
        const QString file = folder.absoluteFilePath(name);
        const bool known = std::any_of(m_loaders.begin(), m_loaders.end(), [&](const auto &l) { return l->File() == file; });
        if (known)
            continue;
        auto loader = std::make_unique<TModuleLoader>(file);
        try {
            loader->Load();
            m_loaders.push_back(std::move(loader));
        } catch (const EHostError &e) {
            failures << e.Message();
        }
    }
    return failures;
}

QList<TModuleRecord> THostModules::Screens() const
{
    QList<TModuleRecord> out;
    for (const auto &loader : m_loaders)
        for (const QString &name : RegisteredModules())
            if (const TModuleRecord m = FindModule(name); QFileInfo(m.File) == QFileInfo(loader->File()) && !m.ScreenCode.isEmpty())
                out << m;
    return out;
}

QString THostModules::LoginServerObject() const
{
    const QList<TModuleRecord> screens = Screens();
    return screens.isEmpty() ? QString() : screens.first().ServerObject;
}

void THostModules::Unload()
{
    while (!m_loaders.empty())
        m_loaders.pop_back();
}

bool THostModules::AnyLoaded() const { return !m_loaders.empty(); }
