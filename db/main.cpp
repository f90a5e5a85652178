#include "data/Database.h"
#include "data/Exceptions.h"
#include "db/DemoData.h"
#include <QTextStream>
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
    parser.addOption({QStringLiteral("operator"),
                      QStringLiteral("Administração: inclui ou altera o operador no banco --out, com a senha lida da entrada padrão "
                                     "(a do servidor de aplicação e, no PostgreSQL, a do papel do operador)."),
                      QStringLiteral("CODE")});
    parser.addOption({QStringLiteral("name"), QStringLiteral("Com --operator: nome do operador."), QStringLiteral("NAME")});
    parser.addOption({QStringLiteral("companies"), QStringLiteral("Com --operator: empresas que o operador vê (01,03; vazio: nenhuma)."),
                      QStringLiteral("LIST")});
    parser.process(app);

    auto usage = [](const QString &msg) {
        std::fprintf(stderr, "rec-demo-db: %s\n", msg.toUtf8().constData());
        return 2;
    };
    if (!parser.isSet(QStringLiteral("out")))
        return usage(QStringLiteral("informe o destino com --out ARQUIVO ou --out postgresql://..."));
    if (parser.isSet(QStringLiteral("operator"))) {
        TOperatorChange change;
        change.Operator = parser.value(QStringLiteral("operator"));
        change.Name = parser.value(QStringLiteral("name"));
        change.SetCompanies = parser.isSet(QStringLiteral("companies"));
        for (const QString &c : parser.value(QStringLiteral("companies")).split(QLatin1Char(','), Qt::SkipEmptyParts))
            change.Companies << c.trimmed();
        // The password comes from standard input: a command line is visible to everyone.
        QTextStream in(stdin);
        change.Password = in.readLine();
        try {
            TdtmDBGeral db;
            db.Open(parser.value(QStringLiteral("out")));
            SetOperator(db, change);
        } catch (const EHostError &e) {
            std::fprintf(stderr, "rec-demo-db: %s\n", e.what());
            return 1;
        }
        std::fprintf(stderr, "operador %s gravado\n", change.Operator.trimmed().toUpper().toUtf8().constData());
        return 0;
    }
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
