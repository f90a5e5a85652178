// The ABC curve end to end against the database's own speed: the screen's calls
// (percentages, statuses, curve, totals) through a real rec-appserver on
// loopback into client data sets, then the classification pass; the baseline is
// the bare running-total query of the same rows in sqlite3 or psql on the same
// data. Also the curve packet's size and the packet and wire speeds on it.
#include "abc/Classification.h"
#include "appserver/CurveStatement.h"
#include "BenchSupport.h"
#include "data/ClientDataSet.h"
#include "data/DataPacket.h"
#include "data/RemoteResult.h"
#include "db/DemoData.h"
#include "net/NetConnection.h"
#include "net/Wire.h"
#include "services/HugePages.h"
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace {
const QString kAll = QStringLiteral("T");

QVariant call(TNetConnection &net, const QString &method, const QVariantList &args)
{
    std::vector<TCallArg> wire;
    for (const QVariant &v : args)
        wire.emplace_back(v);
    const QVariant r = net.Call(method, std::move(wire));
    if (IsRemoteFailure(r))
        throw std::runtime_error(method.toStdString() + ": " + ToRemoteFailure(r).Message.toStdString());
    return r;
}

QString iso(const QString &dmy) { return QDate::fromString(dmy, QStringLiteral("dd/MM/yyyy")).toString(Qt::ISODate); }
} // namespace

int main(int argc, char **argv)
{
    RestartWithHugePages(argv);
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("ABC curve end to end against the bare running-total query."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("database"), QStringLiteral("SQLite file or postgresql:// URL of a demo database."), QStringLiteral("TARGET")});
    parser.addOption({QStringLiteral("from"), QStringLiteral("First due date (dd/MM/yyyy)."), QStringLiteral("DATE"), QStringLiteral("01/08/2025")});
    parser.addOption({QStringLiteral("to"), QStringLiteral("Last due date (dd/MM/yyyy)."), QStringLiteral("DATE"), QStringLiteral("15/11/2026")});
    parser.addOption({QStringLiteral("show-statements"), QStringLiteral("Print the bare query and the curve's statement as the shell runs them, and stop.")});
    parser.process(app);
    const QString target = parser.value(QStringLiteral("database"));
    if (target.isEmpty()) {
        std::fprintf(stderr, "bench_abc: give --database FILE-or-URL\n");
        return 2;
    }
    const QString from = parser.value(QStringLiteral("from")), to = parser.value(QStringLiteral("to"));
    const QString db = Bench::IsPostgres(target) ? QStringLiteral("PostgreSQL") : QStringLiteral("SQLite");
    Bench::Figures figures;
    try {
        const qint64 receivables = Bench::Shell(target, QStringLiteral("SELECT COUNT(*) FROM CONTARECEBER")).toLongLong();
        const QString where = QStringLiteral(" FROM CONTARECEBER R WHERE R.DTATUAVENREC BETWEEN '%1' AND '%2'").arg(iso(from), iso(to));
        const qint64 expected = Bench::Shell(target, QStringLiteral("SELECT COUNT(*)") + where).toLongLong();
        const QString bare = QStringLiteral("SELECT R.*, SUM(R.VRATUAREC) OVER (PARTITION BY R.CDEMPRESA ORDER BY R.VRATUAREC DESC, R.CDCLIENTE, "
                                            "R.NRLANCTOREC ROWS UNBOUNDED PRECEDING) AS RUNNING") +
                             where + QStringLiteral(" ORDER BY R.CDEMPRESA, R.VRATUAREC DESC, R.CDCLIENTE, R.NRLANCTOREC");
        Bench::TimeShell(target, bare); // warms the page cache for both sides

        Bench::Server server(target);
        TNetConnection net(QStringLiteral("netRelLancContReceber"));
        net.ServerName = QLatin1String(kServerObject);
        net.Host = QStringLiteral("127.0.0.1");
        net.Port = server.Port();
        net.CallTimeoutMs = 30 * 60 * 1000;
        // ADMIN sees every company, so the curve holds every row the bare query gives.
        net.Operator = QStringLiteral("ADMIN");
        net.Password = DemoPassword(net.Operator);
        net.Open();
        TClientDataSet cdsPercentual(QStringLiteral("cdsPercentual")), cdsStatus(QStringLiteral("cdsStatus"));
        TClientDataSet qryCurvaABC(QStringLiteral("qryCurvaABC")), qryTotal(QStringLiteral("qryTotal"));
        const TAbcRequest request = Bench::EveryReceivableDue(from, to);
        // The curve's own statement as the server builds it, run alone in the shell.
        const bool postgres = Bench::IsPostgres(target);
        const TCurveStatement statement =
            CurveStatement(request, postgres ? TDBKind::PostgreSQL : TDBKind::SQLite, QStringLiteral("dd/MM/yyyy"), net.Operator, QDate::currentDate());
        const QString curveSql = Bench::WithLiterals(statement.Statement.Sql(), statement.Statement.Params(), postgres);
        // Under the settings the server reads the curve with, and under the shell's own.
        const TDBKind kind = postgres ? TDBKind::PostgreSQL : TDBKind::SQLite;
        QStringList settings = ConnectionSettings(kind);
        for (const TSetting &setting : CurveSortSettings(kind))
            settings << SettingStatement(kind, setting);
        const QString asServed = settings.isEmpty() ? curveSql : settings.join(QStringLiteral(";\n")) + QStringLiteral(";\n") + curveSql;
        if (parser.isSet(QStringLiteral("show-statements"))) {
            std::printf("%s;\n\n%s;\n", qPrintable(bare), qPrintable(asServed));
            return 0;
        }
        Bench::TimeShell(target, asServed);
        // Best of three each, taking turns, so that a slow spell of a shared machine does
        // not fall on one side only.
        double baseline = 1e9, statementAlone = 1e9, shellDefaults = 1e9;
        for (int round = 0; round < 3; ++round) {
            baseline = std::min(baseline, Bench::TimeShell(target, bare));
            statementAlone = std::min(statementAlone, Bench::TimeShell(target, asServed));
            shellDefaults = std::min(shellDefaults, Bench::TimeShell(target, curveSql));
        }
        std::printf("%s: %lld receivables, %lld due from %s to %s; bare running-total query in the shell %.3f s (best of 3)\n", qPrintable(db),
                    static_cast<long long>(receivables), static_cast<long long>(expected), qPrintable(from), qPrintable(to), baseline);
        std::printf("  the curve's statement alone in the shell %.3f s under the server's settings (%s), %.3f s under the shell's\n", statementAlone,
                    qPrintable(settings.join(QStringLiteral("; "))), shellDefaults);
        figures.Add(QStringLiteral("abc curve statement alone in the shell, %1 receivables, %2 (x bare query)").arg(receivables).arg(db),
                    statementAlone / baseline, QStringLiteral("x"), 1.5, true,
                    QStringLiteral("%1 s against %2 s").arg(statementAlone, 0, 'f', 2).arg(baseline, 0, 'f', 2));

        QElapsedTimer t;
        t.start();
        cdsPercentual.SetData(call(net, QStringLiteral("GetPercentual"), {}));
        cdsStatus.SetData(call(net, QStringLiteral("GetStatus"), {kAll, QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("D"), QStringLiteral("P"),
                                                                   QStringLiteral("A_B_D_P")}));
        QElapsedTimer tc;
        tc.start();
        // As the screen loads it: the rows decoded as the packet arrives.
        std::vector<TCallArg> curveArgs;
        for (const QVariant &v : request.CurveArgs())
            curveArgs.emplace_back(v);
        QVariant curvePacket = net.CallForRows(QStringLiteral("GetCurvaABC"), std::move(curveArgs));
        if (IsRemoteFailure(curvePacket))
            throw std::runtime_error("GetCurvaABC: " + ToRemoteFailure(curvePacket).Message.toStdString());
        const double curveCall = Bench::Seconds(tc);
        const qint64 packetBytes = curvePacket.value<TReceivedPacket>().Bytes;
        tc.restart();
        qryCurvaABC.SetData(std::move(curvePacket));
        qryCurvaABC.MergeChangeLog();
        const double curveLoad = Bench::Seconds(tc);
        tc.restart();
        qryTotal.SetData(call(net, QStringLiteral("GetTotal"), request.TotalArgs()));
        qryTotal.MergeChangeLog();
        const double totalCall = Bench::Seconds(tc);
        tc.restart();
        ClassificaCurva(qryCurvaABC, qryTotal, cdsPercentual);
        double classify = Bench::Seconds(tc);
        const double endToEnd = Bench::Seconds(t);
        const double clientRss = Bench::SelfPeakRssMiB();
        const double serverRss = server.PeakRssMiB();
        const qint64 rows = qryCurvaABC.RecordCount();
        const int classified = qryCurvaABC.ChangeCount();
        // The pass alone, best of five on the same rows; after the memory figures, as cancelling the
        // letters (which brings the delivered rows back) copies the rows.
        for (int run = 0; run < 4; ++run) {
            qryCurvaABC.CancelUpdates();
            tc.restart();
            ClassificaCurva(qryCurvaABC, qryTotal, cdsPercentual);
            classify = std::min(classify, Bench::Seconds(tc));
            if (qryCurvaABC.ChangeCount() != classified)
                throw std::runtime_error("the classification pass gave another result on the same rows");
        }

        if (rows != expected)
            throw std::runtime_error("the curve has " + std::to_string(rows) + " rows, the bare query " + std::to_string(expected));
        std::printf("  GetCurvaABC call with its rows decoded on arrival %.3f s (packet %.1f MB), load into qryCurvaABC %.3f s, GetTotal %.3f s, classification %.3f s\n", curveCall,
                    static_cast<double>(packetBytes) / 1e6, curveLoad, totalCall, classify);

        // The same call on a connection that takes no pieces, where the packet leaves once written
        // whole and is decoded after; best of two each, taking turns with the call in pieces.
        {
            TNetConnection oneFrame(QStringLiteral("netRelLancContReceber"));
            oneFrame.ServerName = net.ServerName;
            oneFrame.Host = net.Host;
            oneFrame.Port = net.Port;
            oneFrame.CallTimeoutMs = net.CallTimeoutMs;
            oneFrame.Operator = net.Operator;
            oneFrame.Password = net.Password;
            oneFrame.AcceptPieces = false;
            oneFrame.Open();
            const auto timed = [&](TNetConnection &connection) {
                std::vector<TCallArg> args;
                for (const QVariant &v : request.CurveArgs())
                    args.emplace_back(v);
                QElapsedTimer timer;
                timer.start();
                const QVariant r = connection.CallForRows(QStringLiteral("GetCurvaABC"), std::move(args));
                if (IsRemoteFailure(r))
                    throw std::runtime_error("GetCurvaABC: " + ToRemoteFailure(r).Message.toStdString());
                return Bench::Seconds(timer);
            };
            double inPieces = curveCall, inOneFrame = 1e9;
            for (int round = 0; round < 2; ++round) {
                inOneFrame = std::min(inOneFrame, timed(oneFrame));
                inPieces = std::min(inPieces, timed(net));
            }
            std::printf("  GetCurvaABC call, best of the turns: %.3f s with the packet in pieces, %.3f s in one frame\n", inPieces, inOneFrame);
        }

        const bool large = receivables >= 500000;
        figures.Add(QStringLiteral("abc curve end to end, %1 rows, %2 (x bare query)").arg(receivables).arg(db), endToEnd / baseline, QStringLiteral("x"),
                    large ? 2.0 : 1.5, true, QStringLiteral("%1 s against %2 s").arg(endToEnd, 0, 'f', 2).arg(baseline, 0, 'f', 2));
        figures.Add(QStringLiteral("classification pass (best of 5), %1 rows").arg(rows), static_cast<double>(rows) / classify / 1e6, QStringLiteral("Mrow/s"), 20.0,
                    false);
        const double fileBytes = static_cast<double>(Bench::TableBytes(target, QStringLiteral("CONTARECEBER"))) * static_cast<double>(rows) /
                                 static_cast<double>(std::max<qint64>(receivables, 1));
        figures.Add(QStringLiteral("curve packet size, %1 (x same rows in the file)").arg(db), static_cast<double>(packetBytes) / fileBytes,
                    QStringLiteral("x"), 1.5, true,
                    QStringLiteral("%1 B/row against %2 B/row").arg(static_cast<double>(packetBytes) / static_cast<double>(rows), 0, 'f', 0)
                        .arg(fileBytes / static_cast<double>(rows), 0, 'f', 0));
        figures.Add(QStringLiteral("rec-host side peak RSS (in-process client), %1 rows, %2").arg(rows).arg(db), clientRss, QStringLiteral("MiB"), 1024.0,
                    true);
        figures.Add(QStringLiteral("rec-appserver peak RSS serving the curve, %1 rows, %2").arg(rows).arg(db), serverRss, QStringLiteral("MiB"), 1024.0,
                    true);

        // Packet and wire speed on the curve's own rows, after the memory figures: the best
        // of three runs, as the first also pays for the fresh memory its result takes
        // (that cost is in the end-to-end figure).
        const TDataPacket packet = TDataPacket::FromDataSet(qryCurvaABC);
        double encode = 0, decode = 0, firstEncode = 0, firstDecode = 0, wireEncode = 0, wireDecode = 0, firstWireEncode = 0, firstWireDecode = 0;
        QByteArray bytes, frame;
        for (int run = 0; run < 3; ++run) {
            tc.restart();
            bytes = packet.Encode();
            const double e = Bench::Seconds(tc);
            tc.restart();
            const TDataPacket back = TDataPacket::Decode(bytes);
            const double d = Bench::Seconds(tc);
            if (back.Rows.size() != packet.Rows.size())
                throw std::runtime_error("the decoded packet lost rows");
            Wire::Reply reply;
            reply.Result = QVariant(bytes);
            tc.restart();
            frame = Wire::FrameReply(reply);
            const double we = Bench::Seconds(tc);
            Wire::FrameReader reader(Wire::kMaxReply);
            tc.restart();
            reader.Append(frame);
            QByteArray body;
            Wire::Reply decoded;
            QString error;
            if (reader.Next(body) != Wire::FrameReader::Status::Ready || !Wire::DecodeReply(body, decoded, error))
                throw std::runtime_error("the wire did not give the reply back: " + error.toStdString());
            const double wd = Bench::Seconds(tc);
            if (decoded.Result.toByteArray() != bytes)
                throw std::runtime_error("the wire changed the packet");
            if (run == 0) {
                firstEncode = encode = e;
                firstDecode = decode = d;
                firstWireEncode = wireEncode = we;
                firstWireDecode = wireDecode = wd;
            }
            encode = std::min(encode, e);
            decode = std::min(decode, d);
            wireEncode = std::min(wireEncode, we);
            wireDecode = std::min(wireDecode, wd);
        }
        // The same rows written as the server sends a large packet: in pieces of 1 MiB out of
        // one block written over, each copied out as the connection copies it.
        double inPieces = 1e9;
        {
            QByteArray out(1024 * 1024 + 65536, Qt::Uninitialized);
            for (int run = 0; run < 3; ++run) {
                qsizetype total = 0;
                tc.restart();
                TPacketWriter w(packet.Fields);
                w.RowsOutliveWriter();
                w.SendInPieces([&](QByteArrayView piece) {
                    if (piece.size() > out.size())
                        out.resize(piece.size());
                    std::memcpy(out.data(), piece.data(), static_cast<size_t>(piece.size()));
                    total += piece.size();
                }, 1024 * 1024);
                for (size_t r = 0; r < packet.Rows.size(); ++r) {
                    if (r + 1 < packet.Rows.size())
                        w.Prefetch(packet.Rows[r + 1]);
                    w.AddRow(packet.Rows[r]);
                }
                w.Finish();
                inPieces = std::min(inPieces, Bench::Seconds(tc));
                if (!w.SentPieces() || total != bytes.size())
                    throw std::runtime_error("the packet in pieces is not the packet's size");
            }
        }
        const double mb = static_cast<double>(bytes.size()) / 1e6;
        const auto first = [](double size, double seconds) { return QStringLiteral("first run %1 MB/s").arg(size / seconds, 0, 'f', 1); };
        figures.Add(QStringLiteral("data packet encode (best of 3), %1 MB").arg(mb, 0, 'f', 1), mb / encode, QStringLiteral("MB/s"), 200.0, false,
                    first(mb, firstEncode));
        figures.Add(QStringLiteral("data packet encode in 1 MiB pieces, as the server sends it (best of 3), %1 MB").arg(mb, 0, 'f', 1), mb / inPieces,
                    QStringLiteral("MB/s"), 200.0, false);
        figures.Add(QStringLiteral("data packet decode (best of 3), %1 MB").arg(mb, 0, 'f', 1), mb / decode, QStringLiteral("MB/s"), 200.0, false,
                    first(mb, firstDecode));
        const double fmb = static_cast<double>(frame.size()) / 1e6;
        figures.Add(QStringLiteral("wire reply encode (best of 3), %1 MB").arg(fmb, 0, 'f', 1), fmb / wireEncode, QStringLiteral("MB/s"), 200.0, false,
                    first(fmb, firstWireEncode));
        figures.Add(QStringLiteral("wire reply decode (best of 3), %1 MB").arg(fmb, 0, 'f', 1), fmb / wireDecode, QStringLiteral("MB/s"), 200.0, false,
                    first(fmb, firstWireDecode));
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_abc: %s\n", e.what());
        return 1;
    }
    return figures.ExitCode();
}
