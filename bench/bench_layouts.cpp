// The layouts' statements with the form's criteria: as the engine runs them (the conditions
// the criteria decide written out) against the same statement as written in the layout file,
// on the same connection, with the parameters the real form bound.
#include "BenchScreen.h"
#include "BenchSupport.h"
#include "data/DateTime.h"
#include "data/Database.h"
#include "report/ReportDialog.h"
#include "report/ReportRows.h"
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

struct TTimes {
    double Whole = 0, Run = 0;
    qint64 Rows = 0;
};

// Both statements drained three times each, alternating, after one run of each.
TTimes timeBoth(const TdtmDBGeral &db, const TReportLayout &layout, const TParams &params)
{
    auto whole = [&] {
        QSqlQuery q = RunStatement(db.Database(), layout.StatementFor(db.Database().driverName()), layout.StatementParams(params), layout.Title);
        qint64 n = 0;
        while (q.next())
            ++n;
        return n;
    };
    auto run = [&] {
        auto rows = OpenStatementRows(db.Database(), layout, params);
        qint64 n = 0;
        while (rows->Next())
            ++n;
        return n;
    };
    TTimes t;
    t.Rows = whole();
    if (run() != t.Rows)
        throw std::runtime_error(layout.Title.toStdString() + ": the statement as run gives another number of rows than as written");
    std::vector<double> w, r;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer e;
        e.start();
        whole();
        w.push_back(Bench::Seconds(e));
        e.start();
        run();
        r.push_back(Bench::Seconds(e));
    }
    t.Whole = Bench::Median(w);
    t.Run = Bench::Median(r);
    return t;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Layout statements as run against as written."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("database"), QStringLiteral("SQLite file or postgresql:// URL of a demo database."), QStringLiteral("TARGET")});
    parser.process(app);
    const QString target = parser.value(QStringLiteral("database"));
    if (target.isEmpty()) {
        std::fprintf(stderr, "bench_layouts: give --database FILE-or-URL\n");
        return 2;
    }
    Bench::Figures figures;
    try {
        QTemporaryDir out;
        const QStringList range = Bench::Shell(target, QStringLiteral("SELECT CAST(MIN(DTATUAVENREC) AS VARCHAR(30)) || ' ' || CAST(MAX(DTATUAVENREC) AS VARCHAR(30)) FROM CONTARECEBER"))
                                      .split(QLatin1Char(' '));
        const QDate first = QDate::fromString(range.value(0).left(10), Qt::ISODate), last = QDate::fromString(range.value(1).left(10), Qt::ISODate);
        if (!first.isValid() || !last.isValid())
            throw std::runtime_error("the database has no due dates");
        // Three clients with receivables, spread over the file.
        const QStringList clients =
            Bench::Shell(target, QStringLiteral("SELECT CDCLIENTE FROM CLIENTE WHERE CDCLIENTE IN (SELECT CDCLIENTE FROM CONTARECEBER) ORDER BY CDCLIENTE"))
                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (clients.size() < 3)
            throw std::runtime_error("the database has fewer than three clients with receivables");
        const QString threeClients = QStringLiteral("_%1__%2__%3_").arg(clients[clients.size() / 7], clients[clients.size() / 2], clients[clients.size() - 1]);

        Bench::ScreenHost host(target, QStringLiteral("ADMIN"));
        host.Open();
        TfrmRelLancContReceber &form = *host.Form();
        TReportDesignerDialog &engine = *form.rpddPadrao;
        TdtmDBGeral db;
        db.Open(target);
        const QVector<TReportLayout> layouts = LoadReportLayouts(QCoreApplication::applicationDirPath() + QStringLiteral("/../reports"), QStringLiteral("REC110"));
        // The parameters the form binds for a layout and a due range, from a CSV run of it.
        auto formParams = [&](int layout, const QDate &from, const QDate &to) {
            form.cbbReportNames->UserSelect(layout);
            form.Control<TDateEditPlus>("depVenIni")->SetDate(DateToDateTime(from));
            form.Control<TDateEditPlus>("depVenFin")->SetDate(DateToDateTime(to));
            form.ReportOutput = out.filePath(QStringLiteral("warm.csv"));
            host.Click("sbtSalvarComo");
            form.ReportOutput.clear();
            const QStringList messages = host.TakeMessages();
            if (!messages.isEmpty())
                throw std::runtime_error(messages.join(QStringLiteral(" / ")).toStdString());
            return engine.LastParams();
        };
        auto set = [](TParams &params, const char *name, const QString &value) {
            TParam *p = params.FindParam(QLatin1String(name));
            if (!p)
                throw std::runtime_error(std::string("the form binds no ") + name);
            p->SetAsString(value);
        };
        // A month in the middle of the file's due dates.
        const QDate middle = first.addDays(first.daysTo(last) / 2), monthFrom(middle.year(), middle.month(), 1), monthTo = monthFrom.addMonths(1).addDays(-1);
        for (int layout : {0, 1}) {
            const TReportLayout &l = layouts.value(layout);
            TParams every = formParams(layout, first, last);
            TTimes t = timeBoth(db, l, every);
            figures.Add(QStringLiteral("%1, every criterion at all, %2 rows: as run (x as written)").arg(l.Title).arg(t.Rows), t.Run / t.Whole, QStringLiteral("x"),
                        1.25, true, QStringLiteral("%1 s against %2 s").arg(t.Run, 0, 'f', 3).arg(t.Whole, 0, 'f', 3));

            TParams few = every;
            set(few, "TCLIENTE", QStringLiteral("F"));
            set(few, "CLIENTE", threeClients);
            t = timeBoth(db, l, few);
            figures.Add(QStringLiteral("%1, three clients, %2 rows: as run (x as written)").arg(l.Title).arg(t.Rows), t.Run / t.Whole, QStringLiteral("x"), 0.2, true,
                        QStringLiteral("%1 s against %2 s").arg(t.Run, 0, 'f', 4).arg(t.Whole, 0, 'f', 3));

            TParams month = formParams(layout, monthFrom, monthTo);
            set(month, "TCODEMPRESA", QStringLiteral("F"));
            set(month, "CODEMPRESA", QStringLiteral("_01_"));
            t = timeBoth(db, l, month);
            figures.Add(QStringLiteral("%1, company 01, due in %2, %3 rows: as run (x as written)").arg(l.Title, monthFrom.toString(QStringLiteral("MM/yyyy"))).arg(t.Rows),
                        t.Run / t.Whole, QStringLiteral("x"), 1.25, true, QStringLiteral("%1 s against %2 s").arg(t.Run, 0, 'f', 4).arg(t.Whole, 0, 'f', 3));
        }
    } catch (const EHostError &e) {
        std::fprintf(stderr, "bench_layouts: %s\n", qPrintable(e.Message()));
        return 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_layouts: %s\n", e.what());
        return 1;
    }
    return figures.ExitCode();
}
