#pragma once
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

// Helpers shared by the fuzz targets.
namespace Fuzz {
// A libFuzzer target stops on abort(); the message says which property broke.
[[noreturn]] inline void Fail(const char *what)
{
    std::fprintf(stderr, "fuzz property broken: %s\n", what);
    std::abort();
}

inline QByteArray Bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
}

// Writes the input to a file of this process's own scratch folder, for readers that take a path.
inline QString WriteScratch(const QByteArray &bytes)
{
    static const QTemporaryDir dir;
    if (!dir.isValid())
        Fail("no scratch folder for the input file");
    const QString path = dir.filePath(QStringLiteral("input"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        Fail("could not write the input file");
    return path;
}
} // namespace Fuzz
