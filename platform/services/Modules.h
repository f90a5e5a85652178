#pragma once
#include <QMetaObject>
#include <QString>
#include <QStringList>

// The run-time list of loaded modules: each registers itself when its library is
// attached and leaves when it is detached.
struct TModuleRecord {
    QString Name;
    QString File;
    // The language resource library in use, or the module's own file.
    QString ResourceFile;
    // The class of the module's form, for hosts that look at a screen's design.
    const QMetaObject *FormClass = nullptr;
    // The code of the screen the module opens and its factory.
    QString ScreenCode;
    void (*OpenScreen)() = nullptr;
    // The host's menu entry that opens the screen: the menu, the entry's caption and object name.
    QString Menu, Caption, ActionName;
    // The application server's object that serves the screen.
    QString ServerObject;
};

void RegisterModule(const TModuleRecord &module);
void UnregisterModule(const QString &name);
QStringList RegisteredModules();
TModuleRecord FindModule(const QString &name);
// The module that registered a screen code; empty when none did.
TModuleRecord FindScreen(const QString &screenCode);
QStringList RegisteredScreens();
// The language resource library of a module file: "<file>.<language>" when it exists.
QString LanguageResourceFor(const QString &moduleFile, const QString &language = QStringLiteral("pt_BR"));
