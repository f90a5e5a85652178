#pragma once
#include <QString>

// A part of the programs' tree, relative to the running program's folder: where an installed
// tree (bin/, lib/rec11001/, share/rec11001/) keeps it when that exists, else where a build
// folder keeps it. An installed tree works wherever it was unpacked or moved.
QString ProgramPath(const QString &installed, const QString &build);
