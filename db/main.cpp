#include "DemoData.h"
#include "Exceptions.h"
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("rec-demo-db"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Gera o banco de dados de demonstração do relatório de contas a receber."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("out"), QStringLiteral("Arquivo SQLite ou URL postgresql:// de destino."), QStringLiteral("PATH-or-URL")});
    parser.addOption({QStringLiteral("receivables"), QStringLiteral("Quantidade de contas a receber."), QStringLiteral("N"), QStringLiteral("2000")});
    parser.addOption({QStringLiteral("seed"), QStringLiteral("Semente dos dados (mesma semente, mesmos dados)."), QStringLiteral("S"), QStringLiteral("1")});
    parser.addOption({QStringLiteral("replace"), QStringLiteral("Substitui um banco já existente.")});
    parser.process(app);

    auto usage = [](const QString &msg) {
        std::fprintf(stderr, "rec-demo-db: %s\n", msg.toUtf8().constData());
        return 2;
    };
    if (!parser.isSet(QStringLiteral("out")))
        return usage(QStringLiteral("informe o destino com --out ARQUIVO ou --out postgresql://..."));
    TDemoOptions o;
    o.Target = parser.value(QStringLiteral("out"));
    bool ok = false;
    o.Receivables = parser.value(QStringLiteral("receivables")).toLongLong(&ok);
    if (!ok || o.Receivables < 0)
        return usage(QStringLiteral("--receivables deve ser um número inteiro não negativo"));
    o.Seed = parser.value(QStringLiteral("seed")).toULongLong(&ok);
    if (!ok)
        return usage(QStringLiteral("--seed deve ser um número inteiro não negativo"));
    o.Replace = parser.isSet(QStringLiteral("replace"));
    try {
        GenerateDemoDatabase(o, [](const QString &s) { std::fprintf(stderr, "%s\n", s.toUtf8().constData()); });
    } catch (const EHostError &e) {
        std::fprintf(stderr, "rec-demo-db: %s\n", e.what());
        return 1;
    }
    return 0;
}
