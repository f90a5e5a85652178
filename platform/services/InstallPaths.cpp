#include "services/InstallPaths.h"
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString ProgramPath(const QString &installed, const QString &build)
{
    const QDir bin(QCoreApplication::applicationDirPath());
    const QString inTree = QDir::cleanPath(bin.filePath(installed));
    return QFileInfo::exists(inTree) ? inTree : QDir::cleanPath(bin.filePath(build));
}
