// The due-date layout (the screen's default) run from the real form, as a batch
// step runs it: the time from the preview action to the first preview page, the
// whole PDF's rate, and CSV and XLSX against the bare query of the same rows in
// sqlite3 or psql, with the memory a file export takes at two sizes.
#include "BenchScreen.h"
#include "abc/CurveRequest.h"
#include "appserver/CurveStatement.h"
#include "data/DateTime.h"
#include "db/DemoData.h"
#include "report/ReportDialog.h"
#include "report/ReportExport.h"
#include "report/ReportRows.h"
#include "report/ReportLayout.h"
#include "report/ReportPreview.h"
#include "services/HugePages.h"
#include <QApplication>
#include <QCommandLineParser>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <malloc.h>
#include <optional>
#include <stdexcept>

namespace {
// The ABC curve's place in the screen's list of layouts.
constexpr int kCurveLayout = 18;
// Rounds of the curve's timings; each figure is the best of them.
constexpr int kRounds = 3;

// The layout's statement with the parameters the form bound written in, for the shell.
QString bareStatement(const TReportLayout &layout, const TParams &params, bool postgres)
{
    return Bench::WithLiterals(layout.StatementFor(postgres ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE")), params, postgres);
}

// Resident memory now and the peak since the last reset, in MiB; the peak is reset with clear_refs.
double procMiB(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(static_cast<qsizetype>(std::strlen(key))).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}
void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}
} // namespace

int main(int argc, char **argv)
{
    RestartWithHugePages(argv);
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The due-date layout from the form: preview, PDF, CSV and XLSX."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("database"), QStringLiteral("SQLite file or postgresql:// URL of a demo database."), QStringLiteral("TARGET")});
    parser.addOption({QStringLiteral("skip-pages"), QStringLiteral("Only the CSV and XLSX figures (for the largest files).")});
    parser.addOption({QStringLiteral("curve-only"), QStringLiteral("Only the ABC curve's CSV from the form.")});
    parser.process(app);
    const QString target = parser.value(QStringLiteral("database"));
    if (target.isEmpty()) {
        std::fprintf(stderr, "bench_report: give --database FILE-or-URL\n");
        return 2;
    }
    Bench::Figures figures;
    try {
        QTemporaryDir out;
        const qint64 receivables = Bench::Shell(target, QStringLiteral("SELECT COUNT(*) FROM CONTARECEBER")).toLongLong();
        const QStringList range = Bench::Shell(target, QStringLiteral("SELECT CAST(MIN(DTATUAVENREC) AS VARCHAR(30)) || ' ' || CAST(MAX(DTATUAVENREC) AS VARCHAR(30)) FROM CONTARECEBER"))
                                      .split(QLatin1Char(' '));
        const QDate first = QDate::fromString(range.value(0).left(10), Qt::ISODate), last = QDate::fromString(range.value(1).left(10), Qt::ISODate);
        if (!first.isValid() || !last.isValid())
            throw std::runtime_error("the database has no due dates");
        // ADMIN sees every company, so the layout covers most of the file.
        Bench::ScreenHost host(target, QStringLiteral("ADMIN"));
        host.Open();
        TfrmRelLancContReceber &form = *host.Form();
        TReportDesignerDialog &engine = *form.rpddPadrao;
        // Every due date: the due-date layout over all the receivables the person's criteria select.
        auto dueRange = [&](const QDate &from, const QDate &to) {
            form.Control<TDateEditPlus>("depVenIni")->SetDate(DateToDateTime(from));
            form.Control<TDateEditPlus>("depVenFin")->SetDate(DateToDateTime(to));
        };
        form.cbbReportNames->UserSelect(0);
        auto runTo = [&](const char *button, const QString &path) {
            form.ReportOutput = path;
            QElapsedTimer t;
            t.start();
            host.Click(button);
            const double s = Bench::Seconds(t);
            form.ReportOutput.clear();
            const QStringList messages = host.TakeMessages();
            if (!messages.isEmpty())
                throw std::runtime_error(std::string(button) + ": " + messages.join(QStringLiteral(" / ")).toStdString());
            if (!path.isEmpty() && !QFile::exists(path))
                throw std::runtime_error(std::string(button) + " wrote no " + path.toStdString());
            return s;
        };
        dueRange(first, last);
        std::printf("%lld receivables, due from %s to %s\n", static_cast<long long>(receivables), qPrintable(first.toString(Qt::ISODate)),
                    qPrintable(last.toString(Qt::ISODate)));

        const bool curveOnly = parser.isSet(QStringLiteral("curve-only"));
        if (!curveOnly && !parser.isSet(QStringLiteral("skip-pages"))) {
            // The preview as the person sees it: from the click to the first page drawn in the preview window.
            std::optional<TReportDesignerDialog::TInteractiveScope> person(std::in_place, true);
            // Then, for the record, a jump to the last page and a step back from it.
            double firstPage = -1, lastPage = -1, backPage = -1;
            QElapsedTimer t;
            QTimer watch;
            watch.setInterval(5);
            QObject::connect(&watch, &QTimer::timeout, [&] {
                auto *preview = qobject_cast<TReportPreviewDialog *>(QApplication::activeModalWidget());
                if (!preview || !preview->isVisible() || preview->ShownPage() < 1)
                    return;
                if (firstPage < 0) {
                    firstPage = Bench::Seconds(t);
                    t.start();
                    preview->ShowPage(preview->PageCount());
                    return;
                }
                if (lastPage < 0 && preview->ShownPage() == preview->PageCount()) {
                    lastPage = Bench::Seconds(t);
                    t.start();
                    preview->ShowPage(preview->PageCount() - 1);
                    return;
                }
                if (lastPage < 0 || preview->ShownPage() != preview->PageCount() - 1)
                    return;
                backPage = Bench::Seconds(t);
                watch.stop();
                preview->reject();
            });
            watch.start();
            t.start();
            host.Click("sbtPreview");
            watch.stop();
            person.reset();
            if (firstPage < 0)
                throw std::runtime_error("the preview showed no page: " + host.TakeMessages().join(QStringLiteral(" / ")).toStdString());
            const TReportResult shown = engine.LastResult();
            figures.Add(QStringLiteral("due-date layout, action to first preview page, %1 rows (%2 pages)").arg(shown.Rows).arg(shown.Pages), firstPage,
                        QStringLiteral("s"), 3.0, true);
            std::printf("  preview: to the last page %.3f s, back one page %.3f s\n", lastPage, backPage);

            const QString pdf = out.filePath(QStringLiteral("vencimento.pdf"));
            const double pdfTime = runTo("sbtPrint", pdf);
            const TReportResult printed = engine.LastResult();
            figures.Add(QStringLiteral("due-date layout, whole PDF, %1 rows, %2 pages").arg(printed.Rows).arg(printed.Pages),
                        static_cast<double>(printed.Rows) / pdfTime, QStringLiteral("rows/s"), 5000.0, false,
                        QStringLiteral("%1 s, %2 MB").arg(pdfTime, 0, 'f', 2).arg(static_cast<double>(QFile(pdf).size()) / 1e6, 0, 'f', 1));
            QFile::remove(pdf);
        }

        if (!curveOnly) {
            // CSV and XLSX against the bare query of the same rows (the layout's statement with the
            // form's parameters written in) in sqlite3 or psql, writing every row to /dev/null.
            const TReportLayout layout = LoadReportLayouts(QCoreApplication::applicationDirPath() + QStringLiteral("/../reports"), QStringLiteral("REC110"))
                                             .value(0);
            // A first CSV run over the whole range: the parameters the form binds for it, and warm caches.
            runTo("sbtSalvarComo", out.filePath(QStringLiteral("warm.csv")));
            QFile::remove(out.filePath(QStringLiteral("warm.csv")));
            const QString bare = bareStatement(layout, engine.LastParams(), Bench::IsPostgres(target));
            Bench::TimeShell(target, bare); // warms the page cache for both sides
            const double baseline = Bench::TimeShell(target, bare);
            const qint64 bareRows = Bench::Shell(target, QStringLiteral("SELECT COUNT(*) FROM (%1) AS Q").arg(bare)).toLongLong();
            std::printf("  bare query in the database's shell: %lld rows, %.3f s\n", static_cast<long long>(bareRows), baseline);

            for (const QString &type : {QStringLiteral("csv"), QStringLiteral("xlsx")}) {
                // The memory an export takes, at a tenth of the due range and at all of it.
                double growth[2] = {0, 0};
                qint64 rows[2] = {0, 0};
                double seconds = 0;
                for (int size = 0; size < 2; ++size) {
                    dueRange(first, size == 0 ? first.addDays(first.daysTo(last) / 10) : last);
                    const QString path = out.filePath(QStringLiteral("vencimento.") + type);
                    malloc_trim(0); // what earlier runs freed goes back, so it cannot hide this run's growth
                    const double before = procMiB("VmRSS:");
                    resetPeak();
                    seconds = runTo("sbtSalvarComo", path);
                    growth[size] = procMiB("VmHWM:") - before;
                    rows[size] = engine.LastResult().Rows;
                    if (size == 1)
                        std::printf("  %s: %lld rows, %.3f s, %.1f MB\n", qPrintable(type), static_cast<long long>(rows[1]), seconds,
                                    static_cast<double>(QFile(path).size()) / 1e6);
                    QFile::remove(path);
                }
                if (rows[1] != bareRows)
                    throw std::runtime_error(type.toStdString() + " has " + std::to_string(rows[1]) + " rows, the bare query " + std::to_string(bareRows));
                figures.Add(QStringLiteral("due-date layout %1, %2 of %3 receivables (x bare query)").arg(type.toUpper()).arg(rows[1]).arg(receivables),
                            seconds / baseline, QStringLiteral("x"), 3.0, true,
                            QStringLiteral("%1 s against %2 s").arg(seconds, 0, 'f', 2).arg(baseline, 0, 'f', 2));
                figures.Add(QStringLiteral("due-date layout %1, memory growth at %2 rows less at %3 rows").arg(type.toUpper()).arg(rows[1]).arg(rows[0]),
                            growth[1] - growth[0], QStringLiteral("MiB"), 16.0, true,
                            QStringLiteral("peak over the resident size before: %1 MiB against %2 MiB").arg(growth[1], 0, 'f', 1).arg(growth[0], 0, 'f', 1));
            }
        }

        // The ABC curve from the form: its layout chosen, "Salvar como" CSV, until the file is
        // written, through the real rec-appserver; against the bare running-total query of the
        // same rows (the curve's own filter, as the server builds it, with the receivable's columns).
        dueRange(first, last);
        form.cbbReportNames->UserSelect(kCurveLayout);
        const bool postgres = Bench::IsPostgres(target);
        const TCurveStatement curve = CurveStatement(CurveRequest(form.CurrentCriteria()), postgres ? TDBKind::PostgreSQL : TDBKind::SQLite,
                                                     QStringLiteral("dd/MM/yyyy"), QStringLiteral("ADMIN"), QDate::currentDate());
        const QString bareCurve =
            QStringLiteral("SELECT R.*, SUM(R.VRATUAREC) OVER (PARTITION BY R.CDEMPRESA ORDER BY R.VRATUAREC DESC, R.CDCLIENTE, R.NRLANCTOREC "
                           "ROWS UNBOUNDED PRECEDING) AS RUNNING FROM CONTARECEBER R JOIN CLIENTE C ON C.CDCLIENTE = R.CDCLIENTE "
                           "JOIN TIPOCTRECEBER T ON T.CDTPCTRECEB = R.CDTPCTRECEB\n") +
            Bench::WithLiterals(curve.Filter.Sql(), curve.Filter.Params(), postgres) +
            QStringLiteral("\nORDER BY R.CDEMPRESA, R.VRATUAREC DESC, R.CDCLIENTE, R.NRLANCTOREC");
        runTo("sbtSalvarComo", out.filePath(QStringLiteral("warm.csv")));
        QFile::remove(out.filePath(QStringLiteral("warm.csv")));
        Bench::TimeShell(target, bareCurve);
        const qint64 curveRows = Bench::Shell(target, QStringLiteral("SELECT COUNT(*) FROM (%1) AS Q").arg(bareCurve)).toLongLong();
        const QString curveCsv = out.filePath(QStringLiteral("curva.csv"));
        // Best of three each, the bare query and the action taking turns, so that a slow
        // spell of a shared machine does not fall on one side only.
        double curveBaseline = 1e9, curveSeconds = 1e9;
        qint64 written = 0;
        for (int round = 0; round < kRounds; ++round) {
            curveBaseline = std::min(curveBaseline, Bench::TimeShell(target, bareCurve));
            curveSeconds = std::min(curveSeconds, runTo("sbtSalvarComo", curveCsv));
            written = engine.LastResult().Rows;
            QFile::remove(curveCsv);
        }
        if (written < curveRows)
            throw std::runtime_error("the curve's CSV has " + std::to_string(written) + " rows, the bare query " + std::to_string(curveRows));
        // The writing alone, from the curve's rows as the screen holds them: the curve's layout,
        // and the due-date layout over the same rows; best of five each, alternating (a run
        // is a tenth of a second at 100,000 rows, within this machine's noise).
        {
            const TDataSetFinder find = [&engine](const QString &name) { return engine.Source->DataSetNamed(name); };
            TDataSet *rows = find(QStringLiteral("qryCurvaABC"));
            if (!rows || !rows->Active())
                throw std::runtime_error("the curve's data set is not open after its run");
            const QVector<TReportLayout> layouts = LoadReportLayouts(QCoreApplication::applicationDirPath() + QStringLiteral("/../reports"), QStringLiteral("REC110"));
            TReportLayout curveLayout = layouts.value(kCurveLayout), dueLayout = layouts.value(0);
            dueLayout.DataSet = QStringLiteral("qryCurvaABC");
            dueLayout.Statement.clear();
            // Less the columns the curve's rows do not carry (the net amount): the same rows either way.
            QStringList dropped;
            for (qsizetype c = dueLayout.Columns.size() - 1; c >= 0; --c)
                if (!rows->FindField(dueLayout.Columns[c].Field)) {
                    dropped << dueLayout.Columns[c].Field;
                    dueLayout.Columns.removeAt(c);
                }
            std::printf("  CSV writing alone: the due-date layout's %lld columns (less %s) against the curve's %lld\n",
                        static_cast<long long>(dueLayout.Columns.size()), qPrintable(dropped.join(QStringLiteral(", "))),
                        static_cast<long long>(curveLayout.Columns.size()));
            const QString path = out.filePath(QStringLiteral("escrita.csv"));
            auto write = [&](const TReportLayout &l) {
                QElapsedTimer t;
                t.start();
                const TPagesResult r = WriteReportFile(l, engine.Header, [&] { return OpenDataSetRows(*rows, l, find); }, path, TReportFileType::Csv);
                const double s = Bench::Seconds(t);
                if (r.Rows != rows->RecordCount())
                    throw std::runtime_error(l.Title.toStdString() + " wrote " + std::to_string(r.Rows) + " of the data set's rows");
                QFile::remove(path);
                return s;
            };
            double curveWrite = 1e9, dueWrite = 1e9;
            for (int i = 0; i < 5; ++i) {
                curveWrite = std::min(curveWrite, write(curveLayout));
                dueWrite = std::min(dueWrite, write(dueLayout));
            }
            figures.Add(QStringLiteral("abc curve CSV writing alone, %1 rows (x the due-date layout's CSV of the same rows)").arg(rows->RecordCount()),
                        curveWrite / dueWrite, QStringLiteral("x"), 1.0, true,
                        QStringLiteral("%1 s against %2 s").arg(curveWrite, 0, 'f', 3).arg(dueWrite, 0, 'f', 3));
        }
        // The due-date layout's CSV of the same criteria, for comparison.
        form.cbbReportNames->UserSelect(0);
        const double dueSeconds = runTo("sbtSalvarComo", out.filePath(QStringLiteral("vencimento.csv")));
        QFile::remove(out.filePath(QStringLiteral("vencimento.csv")));
        std::printf("  abc curve CSV: %lld rows (%lld receivables), %.3f s; bare query %.3f s; the due-date layout's CSV of the same criteria %.3f s\n",
                    static_cast<long long>(written), static_cast<long long>(curveRows), curveSeconds, curveBaseline, dueSeconds);
        figures.Add(QStringLiteral("abc curve from the form, Salvar como CSV, %1 receivables (x bare query)").arg(curveRows), curveSeconds / curveBaseline,
                    QStringLiteral("x"), 2.0, true, QStringLiteral("%1 s against %2 s").arg(curveSeconds, 0, 'f', 2).arg(curveBaseline, 0, 'f', 2));

        // The same through `rec-host --batch` as a separate process, less a batch that only opens the screen.
        const QString hostProgram = QCoreApplication::applicationDirPath() + QStringLiteral("/rec-host");
        const auto batch = [&](const char *name, const QJsonArray &steps) {
            const QJsonObject context{{QStringLiteral("operator"), QStringLiteral("ADMIN")},
                                      {QStringLiteral("password"), DemoPassword(QStringLiteral("ADMIN"))},
                                      {QStringLiteral("branch"), QStringLiteral("0101")},
                                      {QStringLiteral("server"), QStringLiteral("127.0.0.1:%1").arg(host.AppServer().Port())},
                                      {QStringLiteral("database"), target},
                                      {QStringLiteral("today"), QDate::currentDate().toString(Qt::ISODate)},
                                      {QStringLiteral("dateFormat"), QStringLiteral("dd/MM/yyyy")}};
            const QString script = out.filePath(QString::fromLatin1(name) + QStringLiteral(".json"));
            QFile f(script);
            if (!f.open(QIODevice::WriteOnly) ||
                f.write(QJsonDocument(QJsonObject{{QStringLiteral("context"), context}, {QStringLiteral("steps"), steps}}).toJson()) < 0)
                throw std::runtime_error("cannot write " + script.toStdString());
            f.close();
            const Bench::Run run =
                Bench::RunMeasured(hostProgram, {QStringLiteral("--batch"), script, QStringLiteral("--log"), out.filePath(QString::fromLatin1(name) + QStringLiteral(".log"))});
            if (run.ExitCode != 0)
                throw std::runtime_error(std::string("rec-host --batch ") + name + " failed with exit code " + std::to_string(run.ExitCode));
            return run;
        };
        const auto step = [](const char *json) { return QJsonDocument::fromJson(QByteArray(json)).object(); };
        const auto typed = [](const char *control, const QDate &d) {
            return QJsonObject{{QStringLiteral("type"), QLatin1String(control)}, {QStringLiteral("text"), d.toString(QStringLiteral("ddMMyyyy"))}};
        };
        const QString batchCsv = out.filePath(QStringLiteral("curva-batch.csv"));
        const QJsonArray curveSteps{step(R"({"open": "REC11001"})"),
                                    typed("depVenIni", first),
                                    typed("depVenFin", last),
                                    QJsonObject{{QStringLiteral("layout"), kCurveLayout}},
                                    QJsonObject{{QStringLiteral("action"), QStringLiteral("save")}, {QStringLiteral("output"), batchCsv}}};
        batch("warm", curveSteps);
        double opening = 1e9, batchSeconds = 1e9, hostPeak = 0;
        for (int round = 0; round < kRounds; ++round) {
            opening = std::min(opening, batch("open", QJsonArray{step(R"({"open": "REC11001"})")}).Seconds);
            const Bench::Run curveRun = batch("curve", curveSteps);
            batchSeconds = std::min(batchSeconds, curveRun.Seconds);
            hostPeak = std::max(hostPeak, curveRun.PeakRssMiB);
        }
        if (!QFile::exists(batchCsv))
            throw std::runtime_error("the batch wrote no " + batchCsv.toStdString());
        // The batch's report holds the rows the form's did.
        QFile logFile(out.filePath(QStringLiteral("curve.log")));
        const QJsonArray log = logFile.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(logFile.readAll()).array() : QJsonArray();
        const qint64 batchRows = log.isEmpty() ? -1 : static_cast<qint64>(log.last().toObject().value(QStringLiteral("rows")).toDouble(-1));
        if (batchRows != written)
            throw std::runtime_error("the batch's curve has " + std::to_string(batchRows) + " rows, the form's " + std::to_string(written));
        std::printf("  rec-host --batch: the curve's CSV %.3f s, a batch that only opens the screen %.3f s, peak RSS %.0f MiB\n", batchSeconds, opening,
                    hostPeak);
        figures.Add(QStringLiteral("rec-host --batch peak RSS, the curve's CSV, %1 receivables").arg(curveRows), hostPeak, QStringLiteral("MiB"), 1024.0, true);
        // A person who runs the curve again in the same screen: the first curve's rows
        // must be gone before the second one's come.
        QJsonArray twiceSteps = curveSteps;
        twiceSteps.append(QJsonObject{{QStringLiteral("action"), QStringLiteral("save")}, {QStringLiteral("output"), batchCsv}});
        const Bench::Run twice = batch("curve-twice", twiceSteps);
        figures.Add(QStringLiteral("rec-host --batch peak RSS, the curve's CSV twice in one session, %1 receivables").arg(curveRows), twice.PeakRssMiB,
                    QStringLiteral("MiB"), 1024.0, true, QStringLiteral("%1 s").arg(twice.Seconds, 0, 'f', 2));
        figures.Add(QStringLiteral("abc curve through rec-host --batch, CSV, less opening the screen, %1 receivables (x bare query)").arg(curveRows),
                    (batchSeconds - opening) / curveBaseline, QStringLiteral("x"), 2.0, true,
                    QStringLiteral("%1 s less %2 s against %3 s").arg(batchSeconds, 0, 'f', 2).arg(opening, 0, 'f', 2).arg(curveBaseline, 0, 'f', 2));
        host.Close();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_report: %s\n", e.what());
        return 1;
    }
    return figures.ExitCode();
}
