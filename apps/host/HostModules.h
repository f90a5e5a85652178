#pragma once
#include "host/ModuleLoader.h"
#include "services/Modules.h"
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

// The host's run-time modules: every package ("libPKG_*.so") of the module folder, loaded
// in name order. Each registers its screens, menu entries and server object as it loads;
// the host knows them only from there.
class THostModules {
public:
    THostModules() = default;
    ~THostModules();
    THostModules(const THostModules &) = delete;
    THostModules &operator=(const THostModules &) = delete;

    // REC_MODULE_DIR, else the installed folder next to the programs.
    static QString Folder();
    // Loads every package not loaded yet; one that cannot be used is left out, and the reasons
    // are returned (also when the folder holds no package at all).
    QStringList Load();
    // The screens the loaded modules registered, in load order.
    QList<TModuleRecord> Screens() const;
    // The application server object the host logs in on: the first screen's.
    QString LoginServerObject() const;
    // Finalises and unloads every module, the last loaded first.
    void Unload();
    bool AnyLoaded() const;

private:
    std::vector<std::unique_ptr<TModuleLoader>> m_loaders;
};
