// The screen's speed: the form opening (factory to shown, with its server calls,
// through a real rec-appserver on loopback) and the client search list over
// 100,000 clients: opening it and filtering at each keystroke.
#include "BenchScreen.h"
#include "services/HugePages.h"
#include "ui/SearchList.h"
#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>
#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace {
// Tops the clients up to `wanted` with one prepared statement in one transaction:
// each new client copies the columns of an existing one under a new code and name.
qint64 topUpClients(const QString &file, qint64 wanted)
{
    const QString name = QStringLiteral("bench_clients");
    qint64 total = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        if (!db.open())
            throw std::runtime_error("cannot open " + file.toStdString() + ": " + db.lastError().text().toStdString());
        QSqlQuery q(db);
        q.exec(QStringLiteral("SELECT COUNT(*), MAX(CAST(CDCLIENTE AS INTEGER)) FROM CLIENTE"));
        q.next();
        const qint64 have = q.value(0).toLongLong(), last = q.value(1).toLongLong();
        total = have;
        if (have < wanted) {
            const QSqlRecord rec = db.record(QStringLiteral("CLIENTE"));
            QStringList cols, values;
            for (int i = 0; i < rec.count(); ++i) {
                const QString c = rec.fieldName(i);
                cols << c;
                values << (c.compare(QStringLiteral("CDCLIENTE"), Qt::CaseInsensitive) == 0 ? QStringLiteral(":code")
                           : c.compare(QStringLiteral("NMRAZSOCCLIE"), Qt::CaseInsensitive) == 0 ? QStringLiteral("NMRAZSOCCLIE || ' ' || :code")
                                                                                                  : c);
            }
            db.transaction();
            QSqlQuery ins(db);
            if (!ins.prepare(QStringLiteral("INSERT INTO CLIENTE (%1) SELECT %2 FROM CLIENTE WHERE CDCLIENTE = :source").arg(cols.join(QLatin1Char(',')),
                                                                                                                         values.join(QLatin1Char(',')))))
                throw std::runtime_error("cannot prepare the client insert: " + ins.lastError().text().toStdString());
            for (qint64 i = 1; have + i <= wanted; ++i) {
                ins.bindValue(QStringLiteral(":code"), QStringLiteral("%1").arg(last + i, 6, 10, QLatin1Char('0')));
                ins.bindValue(QStringLiteral(":source"), QStringLiteral("%1").arg((i - 1) % have + 1, 6, 10, QLatin1Char('0')));
                if (!ins.exec())
                    throw std::runtime_error("cannot add a client: " + ins.lastError().text().toStdString());
            }
            if (!db.commit())
                throw std::runtime_error("cannot commit the clients: " + db.lastError().text().toStdString());
            total = wanted;
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return total;
}

} // namespace

int main(int argc, char **argv)
{
    RestartWithHugePages(argv);
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Form opening and the client search list over many clients."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("database"), QStringLiteral("SQLite demo file (copied; the copy gets the extra clients)."), QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("clients"), QStringLiteral("Clients in the search list."), QStringLiteral("N"), QStringLiteral("100000")});
    parser.addOption({QStringLiteral("filter"), QStringLiteral("Text typed into the list's filter, key by key."), QStringLiteral("TEXT"),
                      QStringLiteral("olive")});
    parser.process(app);
    const QString source = parser.value(QStringLiteral("database"));
    if (source.isEmpty() || Bench::IsPostgres(source)) {
        std::fprintf(stderr, "bench_screen: give --database with a SQLite demo file\n");
        return 2;
    }
    Bench::Figures figures;
    try {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("screen.db"));
        if (!dir.isValid() || !QFile::copy(source, file))
            throw std::runtime_error("cannot copy " + source.toStdString() + " to a temporary folder");
        QElapsedTimer t;
        t.start();
        const qint64 clients = topUpClients(file, parser.value(QStringLiteral("clients")).toLongLong());
        std::printf("%lld clients (extra ones added in %.1f s)\n", static_cast<long long>(clients), Bench::Seconds(t));

        Bench::ScreenHost host(file);
        // The first opening loads the module's lookups into the caches; then five more.
        std::vector<double> opens;
        for (int i = 0; i < 6; ++i) {
            opens.push_back(host.Open());
            if (i < 5)
                host.Close();
        }
        std::printf("  form open: first %.1f ms, then %.1f ms median of 5\n", opens[0] * 1e3,
                    Bench::Median({opens.begin() + 1, opens.end()}) * 1e3);
        figures.Add(QStringLiteral("form open, factory to shown (first)"), opens[0] * 1e3, QStringLiteral("ms"), 100.0, true);
        figures.Add(QStringLiteral("form open, factory to shown (median of 5)"), Bench::Median({opens.begin() + 1, opens.end()}) * 1e3, QStringLiteral("ms"),
                    100.0, true);

        // The client search list, as the person opens it: "Lista", then the search button.
        host.Click("rbtListaClie");
        const QString typed = parser.value(QStringLiteral("filter"));
        double opened = -1;
        int rows = 0, visible = 0;
        std::vector<double> keys;
        std::string failure;
        QElapsedTimer open;
        QTimer watch;
        watch.setInterval(0);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            auto *dlg = qobject_cast<TSearchListDialog *>(QApplication::activeModalWidget());
            if (!dlg || !dlg->isVisible())
                return;
            watch.stop();
            opened = Bench::Seconds(open);
            rows = dlg->VisibleRows();
            for (const QChar c : typed) {
                QElapsedTimer k;
                k.start();
                QTest::keyClick(dlg->FilterBox(), c.toLatin1());
                QApplication::processEvents(); // the repaint of the filtered list
                keys.push_back(Bench::Seconds(k));
            }
            visible = dlg->VisibleRows();
            if (dlg->FilterBox()->text() != typed)
                failure = "the filter box holds '" + dlg->FilterBox()->text().toStdString() + "'";
            dlg->reject();
        });
        watch.start();
        open.start();
        host.Click("sbtCliente");
        watch.stop();
        if (opened < 0)
            throw std::runtime_error("the client search list did not open: " + host.TakeMessages().join(QStringLiteral(" / ")).toStdString());
        if (!failure.empty())
            throw std::runtime_error(failure);
        std::printf("  search list: %d rows; after typing '%s' %d rows shown\n", rows, qPrintable(typed), visible);
        figures.Add(QStringLiteral("client search list open, %1 rows").arg(rows), opened, QStringLiteral("s"), 1.0, true);
        for (size_t i = 0; i < keys.size(); ++i)
            figures.Add(QStringLiteral("client search list filter, key %1 ('%2')").arg(i + 1).arg(typed.left(static_cast<qsizetype>(i) + 1)),
                        keys[i] * 1e3, QStringLiteral("ms"), 100.0, true);
        host.Close();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_screen: %s\n", e.what());
        return 1;
    }
    return figures.ExitCode();
}
