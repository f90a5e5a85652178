#pragma once
#include "forms/PackageInfo.h"
#include <QString>
#include <QStringList>

// Loads a run-time module the way the host does: the library, then its
// description check, then its units' initialisation.
class TModuleLoader {
public:
    explicit TModuleLoader(QString file);
    ~TModuleLoader();
    TModuleLoader(const TModuleLoader &) = delete;
    TModuleLoader &operator=(const TModuleLoader &) = delete;

    // Raises EHostError with the reason when the module cannot be used; nothing stays loaded then.
    void Load();
    // Finalises the units and unloads the library.
    void Unload();
    bool Loaded() const { return m_handle != nullptr; }
    // Calls an exported procedure without arguments.
    void Call(const char *entry);
    // The address of an exported symbol; raises EHostError when it is missing.
    void *Symbol(const char *name) const;
    const TPackageDescription &Description() const;
    const QString &File() const { return m_file; }

    // The units a module file must contain, in order: "PKG_X" of "libPKG_X.so", "Cli_X" and "SysInit".
    static QStringList ExpectedUnits(const QString &file);

private:
    void CheckDescription(const TPackageDescription &d) const;
    QString m_file;
    void *m_handle = nullptr;
};
