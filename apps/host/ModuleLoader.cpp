#include "host/ModuleLoader.h"
#include "data/Exceptions.h"
#include <QFileInfo>
#include <dlfcn.h>

TModuleLoader::TModuleLoader(QString file) : m_file(std::move(file)) {}

TModuleLoader::~TModuleLoader() { Unload(); }

QStringList TModuleLoader::ExpectedUnits(const QString &file)
{
    QString package = QFileInfo(file).fileName();
    if (package.startsWith(QStringLiteral("lib")))
        package = package.mid(3);
    package = package.section(QLatin1Char('.'), 0, 0);
    const QString code = package.startsWith(QStringLiteral("PKG_")) ? package.mid(4) : package;
    return {package, QStringLiteral("Cli_") + code, QStringLiteral("SysInit")};
}

void TModuleLoader::Load()
{
    if (m_handle)
        return;
    void *handle = ::dlopen(m_file.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        throw EHostError(QStringLiteral("Não foi possível carregar o módulo '%1': %2").arg(m_file, QString::fromLocal8Bit(::dlerror())));
    m_handle = handle;
    try {
        CheckDescription(Description());
        reinterpret_cast<void (*)()>(Symbol("Initialize"))();
    } catch (...) {
        ::dlclose(m_handle);
        m_handle = nullptr;
        throw;
    }
}

void TModuleLoader::Unload()
{
    if (!m_handle)
        return;
    if (void *fini = ::dlsym(m_handle, "Finalize"))
        reinterpret_cast<void (*)()>(fini)();
    ::dlclose(m_handle);
    m_handle = nullptr;
}

void *TModuleLoader::Symbol(const char *name) const
{
    if (!m_handle)
        throw EHostError(QStringLiteral("O módulo '%1' não está carregado.").arg(m_file));
    void *p = ::dlsym(m_handle, name);
    if (!p)
        throw EHostError(QStringLiteral("O módulo '%1' não exporta '%2'.").arg(m_file, QLatin1String(name)));
    return p;
}

const TPackageDescription &TModuleLoader::Description() const
{
    return *static_cast<const TPackageDescription *>(Symbol("PackageDescription"));
}

void TModuleLoader::CheckDescription(const TPackageDescription &d) const
{
    if (!d.Kind || QLatin1String(d.Kind) != QLatin1String("RunOnly"))
        throw EHostError(QStringLiteral("O módulo '%1' não é um módulo de execução (tipo '%2').").arg(m_file, QLatin1String(d.Kind ? d.Kind : "")));
    for (int i = 0; i < d.RequiredCount; ++i) {
        void *lib = ::dlopen(d.Required[i], RTLD_NOW | RTLD_NOLOAD);
        if (!lib)
            throw EHostError(QStringLiteral("O módulo '%1' precisa da biblioteca '%2', que não está carregada.").arg(m_file, QLatin1String(d.Required[i])));
        ::dlclose(lib);
    }
    QStringList units;
    for (int i = 0; i < d.ContainsCount; ++i)
        units << QLatin1String(d.Contains[i]);
    if (const QStringList expected = ExpectedUnits(m_file); units != expected)
        throw EHostError(QStringLiteral("O módulo '%1' contém as unidades %2; esperadas %3.")
                             .arg(m_file, units.join(QStringLiteral(", ")), expected.join(QStringLiteral(", "))));
}

void TModuleLoader::Call(const char *entry) { reinterpret_cast<void (*)()>(Symbol(entry))(); }
