// Times the demo-database generator: one million receivables must take under a minute.
#include "data/Exceptions.h"
#include "db/DemoData.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    TDemoOptions o;
    o.Receivables = args.size() > 1 ? args[1].toLongLong() : 1000000;
    QTemporaryDir dir;
    o.Target = args.size() > 2 ? args[2] : dir.filePath(QStringLiteral("bench.db"));
    o.Replace = true;
    QElapsedTimer t;
    t.start();
    try {
        GenerateDemoDatabase(o);
    } catch (const EHostError &e) {
        std::fprintf(stderr, "bench_demo_db: %s\n", e.what());
        return 1;
    }
    const double s = static_cast<double>(t.elapsed()) / 1000.0;
    const double target = 60.0 * static_cast<double>(o.Receivables) / 1e6;
    std::printf("generated %lld receivables into %s in %.1f s (%.0f rows/s); target %.1f s: %s\n", static_cast<long long>(o.Receivables),
                qPrintable(o.Target), s, static_cast<double>(o.Receivables) / s, target, s <= target ? "met" : "MISSED");
    return s <= target ? 0 : 3;
}
