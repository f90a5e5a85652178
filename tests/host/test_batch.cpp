#include "TestSupport.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <gtest/gtest.h>

class BatchRun : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_db = std::make_unique<TTestDatabase>(SuiteBackend(), 200);
        s_server = std::make_unique<TServerProcess>(s_db->Target());
    }
    static void TearDownTestSuite()
    {
        s_server.reset();
        s_db.reset();
    }
    QJsonObject Context(int port = 0) const
    {
        return {{QStringLiteral("operator"), QStringLiteral("MARIA")},   {QStringLiteral("password"), DemoPassword(QStringLiteral("MARIA"))},
                {QStringLiteral("branch"), QStringLiteral("0101")},
                {QStringLiteral("perBranch"), false},                    {QStringLiteral("server"), QStringLiteral("127.0.0.1:%1").arg(port ? port : s_server->Port())},
                {QStringLiteral("database"), HostDatabase(*s_db)},        {QStringLiteral("today"), QStringLiteral("2026-12-07")},
                {QStringLiteral("dateFormat"), QStringLiteral("dd/MM/yyyy")}};
    }
    // Runs rec-host on a script; the log's entries, or an empty array when none was written.
    QJsonArray Run(const QByteArray &script, int &exitCode, QString &stderrText, QString scriptFile = {}, QString logFile = {})
    {
        if (scriptFile.isEmpty()) {
            scriptFile = m_dir.filePath(QStringLiteral("script.json"));
            QFile f(scriptFile);
            f.open(QIODevice::WriteOnly);
            f.write(script);
            f.close();
        }
        if (logFile.isEmpty()) {
            logFile = m_dir.filePath(QStringLiteral("log.json"));
            QFile::remove(logFile);
        }
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("REC_REPORT_DIR"), BinDir() + QStringLiteral("/../reports"));
        p.setProcessEnvironment(env);
        // Elsewhere than the script, so that a relative output shows which folder it is taken from.
        p.setWorkingDirectory(m_elsewhere.path());
        p.start(BinDir() + QStringLiteral("/rec-host"), {QStringLiteral("--batch"), scriptFile, QStringLiteral("--log"), logFile});
        EXPECT_TRUE(p.waitForFinished(60000));
        exitCode = p.exitCode();
        stderrText = QString::fromUtf8(p.readAllStandardError());
        QFile log(logFile);
        if (!QFileInfo(logFile).isFile() || !log.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(log.readAll()).array();
    }
    QJsonArray Run(const QJsonArray &steps, int &exitCode, QString &stderrText)
    {
        return Run(QJsonDocument(QJsonObject{{QStringLiteral("context"), Context()}, {QStringLiteral("steps"), steps}}).toJson(), exitCode, stderrText);
    }
    static QJsonObject step(const char *json) { return QJsonDocument::fromJson(QByteArray(json)).object(); }
    static QStringList texts(const QJsonObject &entry)
    {
        QStringList out;
        for (const QJsonValue &m : entry.value(QStringLiteral("messages")).toArray())
            out << m.toObject().value(QStringLiteral("text")).toString();
        return out;
    }

    static std::unique_ptr<TTestDatabase> s_db;
    static std::unique_ptr<TServerProcess> s_server;
    QTemporaryDir m_dir;
    QTemporaryDir m_elsewhere;
};

std::unique_ptr<TTestDatabase> BatchRun::s_db;
std::unique_ptr<TServerProcess> BatchRun::s_server;

TEST_F(BatchRun, TypicalRoadPicksALayoutTwoClientsAndPrints)
{
    const auto logins = [](const char *method) {
        return s_server->Log().count(QRegularExpression(QStringLiteral(" %1 [0-9.]+ ms rows=0 ok").arg(QLatin1String(method))));
    };
    const int loginsBefore = logins("Login"), resumesBefore = logins("Resume");
    int code = -1;
    QString err;
    const QJsonArray log = Run(QJsonArray{step(R"({"open": "REC11001"})"), step(R"({"layout": 1})"), step(R"({"page": "tshDadosDocu"})"),
                                          step(R"({"click": "rbtListaClie"})"), step(R"({"pick": ["000001", "000002"]})"),
                                          step(R"({"click": "sbtCliente"})"), step(R"({"action": "print", "output": "rel.pdf"})")},
                               code, err);
    ASSERT_EQ(code, 0) << err.toStdString();
    ASSERT_EQ(log.size(), 7);
    const QJsonObject opened = log[0].toObject();
    EXPECT_EQ(opened.value(QStringLiteral("serverCalls")).toArray(), (QJsonArray{QStringLiteral("GetDtVenc"), QStringLiteral("GetOpEmissao"), QStringLiteral("GetCriterios")}));
    const QJsonObject state0 = opened.value(QStringLiteral("state")).toObject();
    EXPECT_EQ(state0.value(QStringLiteral("depVenIni")).toObject().value(QStringLiteral("text")).toString(), QStringLiteral("07/11/2026"));
    EXPECT_EQ(state0.value(QStringLiteral("depVenFin")).toObject().value(QStringLiteral("text")).toString(), QStringLiteral("07/12/2026"));
    EXPECT_EQ(state0.value(QStringLiteral("rdgTipo")).toObject().value(QStringLiteral("itemIndex")).toInt(), 1);
    EXPECT_EQ(state0.value(QStringLiteral("lstEmpresaOper")).toString(), QStringLiteral("_01__03_"));
    EXPECT_EQ(log[1].toObject().value(QStringLiteral("state")).toObject().value(QStringLiteral("cbbReportNames")).toObject().value(QStringLiteral("itemIndex")).toInt(), 1);
    EXPECT_EQ(log[3].toObject().value(QStringLiteral("state")).toObject().value(QStringLiteral("sbtCliente")).toObject().value(QStringLiteral("enabled")).toBool(), true);
    const QJsonArray lists = log[5].toObject().value(QStringLiteral("searchLists")).toArray();
    ASSERT_EQ(lists.size(), 1);
    EXPECT_EQ(lists[0].toObject().value(QStringLiteral("title")).toString(), QStringLiteral("Cliente"));
    EXPECT_EQ(lists[0].toObject().value(QStringLiteral("keyField")).toString(), QStringLiteral("CDCLIENTE"));
    EXPECT_EQ(lists[0].toObject().value(QStringLiteral("codes")).toArray(), (QJsonArray{QStringLiteral("000001"), QStringLiteral("000002")}));
    const QJsonObject printed = log[6].toObject();
    EXPECT_TRUE(texts(printed).isEmpty());
    // "rel.pdf" is the script's folder's, not the folder the host ran in.
    EXPECT_EQ(printed.value(QStringLiteral("output")).toString(), m_dir.filePath(QStringLiteral("rel.pdf")));
    EXPECT_TRUE(QFileInfo::exists(m_dir.filePath(QStringLiteral("rel.pdf"))));
    EXPECT_EQ(QDir(m_elsewhere.path()).entryList(QDir::Files), QStringList());
    EXPECT_EQ(printed.value(QStringLiteral("state")).toObject().value(QStringLiteral("lstCliente")).toString(), QStringLiteral("_000001__000002_"));
    const QJsonObject criteria = printed.value(QStringLiteral("criteria")).toObject();
    EXPECT_EQ(criteria.value(QStringLiteral("layout")).toInt(), 1);
    EXPECT_EQ(criteria.value(QStringLiteral("dueDate")).toObject().value(QStringLiteral("from")).toString(), QStringLiteral("2026-11-07"));
    EXPECT_EQ(criteria.value(QStringLiteral("groups")).toObject().value(QStringLiteral("Cliente")).toObject(),
              (QJsonObject{{QStringLiteral("list"), true}, {QStringLiteral("codes"), QStringLiteral("_000001__000002_")}}));
    const QJsonArray params = printed.value(QStringLiteral("params")).toArray();
    ASSERT_FALSE(params.isEmpty());
    QStringList names;
    for (const QJsonValue &p : params)
        names << p.toObject().value(QStringLiteral("name")).toString();
    EXPECT_TRUE(names.contains(QStringLiteral("CLIENTE")));
    EXPECT_TRUE(names.contains(QStringLiteral("DATVENIN")));
    for (const QJsonValue &p : params)
        EXPECT_TRUE(p.toObject().contains(QStringLiteral("type")) && p.toObject().contains(QStringLiteral("null")));
    // The host checked the password once; the screen's connection came in on the host's session.
    EXPECT_EQ(logins("Login") - loginsBefore, 1) << s_server->Log().right(2000).toStdString();
    EXPECT_EQ(logins("Resume") - resumesBefore, 1) << s_server->Log().right(2000).toStdString();
}

TEST_F(BatchRun, RefusedActionAndRefusedPageChangeAreLogged)
{
    int code = -1;
    QString err;
    const QJsonArray log = Run(QJsonArray{step(R"({"open": "REC11001"})"), step(R"({"click": "rbtListaReg"})"),
                                          step(R"({"action": "preview"})"), step(R"({"type": "depEmissaoDE", "text": "31022026"})"),
                                          step(R"({"page": "tshDadosBaixa"})"), step(R"({"key": "rbtListaTipo", "code": 120, "shift": ["ctrl"]})")},
                               code, err);
    ASSERT_EQ(code, 0) << err.toStdString();
    ASSERT_EQ(log.size(), 6);
    const QJsonObject refused = log[2].toObject();
    EXPECT_EQ(texts(refused), QStringList{QStringLiteral("Região deve ser informada.")});
    EXPECT_FALSE(refused.contains(QStringLiteral("params")));
    EXPECT_EQ(refused.value(QStringLiteral("page")).toString(), QStringLiteral("tshDadosDocu"));
    EXPECT_EQ(refused.value(QStringLiteral("focus")).toString(), QStringLiteral("rbtListaReg"));
    const QJsonObject pageChange = log[4].toObject();
    // One click, one message, as in the window; the focus stays on the date.
    EXPECT_EQ(texts(pageChange), QStringList{QStringLiteral("'31/02/2026' não é uma data válida.")}) << texts(pageChange).join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(pageChange.value(QStringLiteral("page")).toString(), QStringLiteral("tshDadosDocu"));
    EXPECT_EQ(pageChange.value(QStringLiteral("focus")).toString(), QStringLiteral("depEmissaoDE"));
    // F9 with Ctrl on "Lista" opens the receivable-type list; with no answer scripted it is cancelled.
    const QJsonArray lists = log[5].toObject().value(QStringLiteral("searchLists")).toArray();
    ASSERT_EQ(lists.size(), 1);
    EXPECT_EQ(lists[0].toObject().value(QStringLiteral("title")).toString(), QStringLiteral("Tipo de Conta a Receber"));
    EXPECT_FALSE(lists[0].toObject().value(QStringLiteral("confirmed")).toBool());
    EXPECT_EQ(lists[0].toObject().value(QStringLiteral("rows")).toInt(), 8);
}

// A step answers what the layout asks, the log keeps the answers, and a bad one writes nothing.
TEST_F(BatchRun, LayoutParamsAnswerTheLayoutsQuestions)
{
    int code = -1;
    QString err;
    const QJsonArray log = Run(QJsonArray{step(R"({"open": "REC11001"})"), step(R"({"layout": 19})"),
                                          step(R"({"layoutParams": {"P_DTBASE": "2026-10-31", "P_FAIXAS": "30,60"}})"),
                                          step(R"({"action": "save", "output": "posicao.csv"})"), step(R"({"layoutParams": {"P_DTBASE": "31/10/2026"}})"),
                                          step(R"({"action": "save", "output": "ruim.csv"})")},
                               code, err);
    ASSERT_EQ(code, 0) << err.toStdString();
    ASSERT_EQ(log.size(), 6);
    EXPECT_EQ(texts(log[3].toObject()), QStringList());
    const QJsonObject answers = log[3].toObject().value(QStringLiteral("criteria")).toObject().value(QStringLiteral("layoutParams")).toObject();
    EXPECT_EQ(answers.value(QStringLiteral("P_DTBASE")).toString(), QStringLiteral("2026-10-31"));
    EXPECT_EQ(answers.value(QStringLiteral("P_FAIXAS")).toString(), QStringLiteral("30,60"));
    const QStringList lines = QString::fromUtf8([&] {
                                  QFile f(m_dir.filePath(QStringLiteral("posicao.csv")));
                                  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
                              }())
                                  .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_GT(lines.size(), 1);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(";Saldo;A vencer;1 a 30;31 a 60;Acima de 60"))) << lines[0].toStdString();
    EXPECT_EQ(texts(log[5].toObject()), QStringList{QStringLiteral("Data-base: '31/10/2026' não é uma data.")});
    EXPECT_FALSE(QFileInfo::exists(m_dir.filePath(QStringLiteral("ruim.csv"))));

    // A step whose answers are not texts is refused with the script, before anything runs.
    Run(QJsonArray{step(R"({"open": "REC11001"})"), step(R"({"layoutParams": {"P_FAIXAS": 30}})")}, code, err);
    EXPECT_EQ(code, 2);
    EXPECT_TRUE(err.contains(QStringLiteral("\"P_FAIXAS\""))) << err.toStdString();
}

// After a preview, a step opens the third row of page 2 as a double click does and logs the receivable, and
// another finds a text on every page; both as the PDF and the database hold them.
TEST_F(BatchRun, DrillAndFindWorkOnThePagesOfThePreview)
{
    int code = -1;
    QString err;
    const QJsonArray log = Run(QJsonArray{step(R"({"open": "REC11001"})"), step(R"({"drill": {"page": 1, "row": 1}})"),
                                          step(R"({"type": "depVenIni", "text": "01/01/2000"})"), step(R"({"exit": "depVenIni"})"),
                                          step(R"({"type": "depVenFin", "text": "31/12/2099"})"), step(R"({"exit": "depVenFin"})"),
                                          step(R"({"action": "preview", "output": "previa.pdf"})"), step(R"({"drill": {"page": 2, "row": 3}})"),
                                          step(R"({"find": "Ltda"})"), step(R"({"drill": {"page": 99, "row": 1}})")},
                               code, err);
    ASSERT_EQ(code, 0) << err.toStdString();
    ASSERT_EQ(log.size(), 10);
    EXPECT_EQ(texts(log[1].toObject()),
              QStringList{QStringLiteral("\"drill\" precisa de um passo {\"action\": \"preview\"} antes; nenhum relatório está visualizado.")});
    EXPECT_EQ(texts(log[6].toObject()), QStringList());
    const QString pdf = m_dir.filePath(QStringLiteral("previa.pdf"));
    const int pages = PdfPages(pdf);
    ASSERT_GE(pages, 2);

    // The third document number printed on page 2 (one per row), and that receivable in the tables.
    QStringList documents;
    for (const TPdfWord &w : PdfWords(pdf))
        if (w.Page == 2 && QRegularExpression(QStringLiteral("^\\d{10}$")).match(w.Text).hasMatch())
            documents << w.Text;
    ASSERT_GE(documents.size(), 3);
    const QStringList stored = sqlRows(s_db->Target(), QStringLiteral("SELECT NRLANCTOREC, ROUND(VRATUAREC - COALESCE((SELECT SUM(B.VRBAIXAREC) FROM BAIXAREC B "
                                                                      "WHERE B.NRLANCTOREC = R.NRLANCTOREC), 0), 2) FROM CONTARECEBER R WHERE NRLANBOLREC = '%1'")
                                                           .arg(documents[2]));
    ASSERT_EQ(stored.size(), 1);
    const QStringList settlements = sqlRows(s_db->Target(), QStringLiteral("SELECT B.NRBAIXAREC, B.DTBAIXAREC, B.VRBAIXAREC FROM BAIXAREC B JOIN CONTARECEBER R "
                                                                           "ON R.NRLANCTOREC = B.NRLANCTOREC WHERE R.NRLANBOLREC = '%1' "
                                                                           "ORDER BY B.DTBAIXAREC, B.NRBAIXAREC")
                                                                .arg(documents[2]));
    const QJsonObject drill = log[7].toObject().value(QStringLiteral("drill")).toObject();
    EXPECT_EQ(texts(log[7].toObject()), QStringList());
    EXPECT_EQ(drill.value(QStringLiteral("page")).toInt(), 2);
    EXPECT_EQ(drill.value(QStringLiteral("row")).toInt(), 3);
    EXPECT_EQ(QString::number(drill.value(QStringLiteral("receivable")).toInteger()), stored.first().section(QLatin1Char(';'), 0, 0));
    EXPECT_EQ(drill.value(QStringLiteral("document")).toString(), documents[2]);
    EXPECT_NEAR(drill.value(QStringLiteral("balance")).toDouble(), stored.first().section(QLatin1Char(';'), 1, 1).toDouble(), 0.005);
    QStringList logged;
    for (const QJsonValue &b : drill.value(QStringLiteral("settlements")).toArray()) {
        const QJsonObject o = b.toObject();
        logged << QStringLiteral("%1;%2;%3").arg(o.value(QStringLiteral("number")).toString(), o.value(QStringLiteral("date")).toString())
                      .arg(o.value(QStringLiteral("value")).toDouble());
        EXPECT_FALSE(o.value(QStringLiteral("form")).toString().isEmpty());
    }
    QStringList expected;
    for (const QString &r : settlements) {
        const QStringList c = r.split(QLatin1Char(';'));
        expected << QStringLiteral("%1;%2;%3").arg(c[0], c[1].left(10)).arg(c[2].toDouble());
    }
    EXPECT_EQ(logged, expected);

    // The text as often as pdftotext reads it, page by page.
    const QJsonObject find = log[8].toObject().value(QStringLiteral("find")).toObject();
    int total = 0;
    QJsonArray perPage;
    for (int p = 1; p <= pages; ++p) {
        const QString text = RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-f"), QString::number(p), QStringLiteral("-l"), QString::number(p), pdf,
                                                                   QStringLiteral("-")});
        const int n = static_cast<int>(text.count(QStringLiteral("Ltda"), Qt::CaseInsensitive));
        if (n > 0)
            perPage.append(QJsonObject{{QStringLiteral("page"), p}, {QStringLiteral("count"), n}});
        total += n;
    }
    EXPECT_GT(total, 0);
    EXPECT_EQ(find.value(QStringLiteral("count")).toInt(), total);
    EXPECT_EQ(find.value(QStringLiteral("pages")).toArray(), perPage);
    EXPECT_EQ(texts(log[9].toObject()), QStringList{QStringLiteral("O relatório visualizado tem %1 páginas; não há a página 99.").arg(pages)});
    EXPECT_EQ(log[9].toObject().value(QStringLiteral("drill")), QJsonValue(QJsonValue::Undefined));

    // A drill without its page is refused with the script.
    Run(QJsonArray{step(R"({"open": "REC11001"})"), step(R"({"drill": {"row": 1}})")}, code, err);
    EXPECT_EQ(code, 2);
    EXPECT_TRUE(err.contains(QStringLiteral("\"drill\""))) << err.toStdString();
}

TEST_F(BatchRun, BadScriptsRunNothingAndNameTheStep)
{
    int code = -1;
    QString err;
    QJsonArray log = Run(QJsonArray{step(R"({"open": "REC11001"})"), step(R"({"click": "rbtListaClie"})"), step(R"({"click": "btnNaoExiste"})")},
                         code, err);
    EXPECT_EQ(code, 2);
    EXPECT_TRUE(err.contains(QStringLiteral("passo 2"))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("btnNaoExiste")));
    EXPECT_TRUE(log.isEmpty());
    log = Run(QJsonArray{step(R"({"click": "rbtListaClie"})")}, code, err);
    EXPECT_EQ(code, 2);
    EXPECT_TRUE(err.contains(QStringLiteral("passo 0"))) << err.toStdString();
    log = Run(QJsonArray{step(R"({"open": "REC11001"})"), step(R"({"action": "fax"})")}, code, err);
    EXPECT_EQ(code, 2);
    EXPECT_TRUE(err.contains(QStringLiteral("fax"))) << err.toStdString();
    log = Run(QByteArray("{ \"context\": "), code, err);
    EXPECT_EQ(code, 2);
    EXPECT_TRUE(err.contains(QStringLiteral("JSON"))) << err.toStdString();
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(BatchRun, WithoutTheRightPasswordNothingRuns)
{
    int code = -1;
    QString err;
    auto script = [&](const QJsonObject &ctx) {
        return QJsonDocument(QJsonObject{{QStringLiteral("context"), ctx}, {QStringLiteral("steps"), QJsonArray{step(R"({"open": "REC11001"})")}}}).toJson();
    };
    QJsonObject ctx = Context();
    ctx.remove(QStringLiteral("password"));
    QJsonArray log = Run(script(ctx), code, err);
    EXPECT_EQ(code, 2);
    EXPECT_TRUE(err.contains(QStringLiteral("\"password\""))) << err.toStdString();
    EXPECT_TRUE(log.isEmpty());

    ctx.insert(QStringLiteral("password"), QStringLiteral("errada"));
    log = Run(script(ctx), code, err);
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(err.contains(QStringLiteral("recusou o login do operador MARIA"))) << err.toStdString();
    EXPECT_FALSE(err.contains(QStringLiteral("errada"))) << err.toStdString();
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(BatchRun, UnreachableServerIsAHostFailure)
{
    TServerProcess gone(s_db->Target());
    const int port = gone.Port();
    gone.Stop();
    int code = -1;
    QString err;
    const QJsonArray log = Run(QJsonDocument(QJsonObject{{QStringLiteral("context"), Context(port)},
                                                         {QStringLiteral("steps"), QJsonArray{step(R"({"open": "REC11001"})")}}})
                                   .toJson(),
                               code, err);
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(err.contains(QStringLiteral("servidor de aplicação"))) << err.toStdString();
    EXPECT_TRUE(log.isEmpty());
}

TEST_F(BatchRun, LooseValuesInScriptsAreRefused)
{
    auto script = [&](const QJsonObject &context, const QJsonArray &steps) {
        return QJsonDocument(QJsonObject{{QStringLiteral("context"), context}, {QStringLiteral("steps"), steps}}).toJson();
    };
    const QJsonArray opened{step(R"({"open": "REC11001"})")};
    auto with = [&](const QJsonObject &extra) {
        QJsonArray steps = opened;
        steps.append(extra);
        return steps;
    };
    QJsonObject wrapped = Context();
    wrapped[QStringLiteral("server")] = QStringLiteral("127.0.0.1:%1").arg(65536 + s_server->Port());
    QJsonObject longFormat = Context();
    longFormat[QStringLiteral("dateFormat")] = QString(100000, QLatin1Char('d'));
    QJsonObject oddFormat = Context();
    oddFormat[QStringLiteral("dateFormat")] = QStringLiteral("dd;MM;yyyy");
    const std::vector<std::pair<QByteArray, QString>> cases = {
        {script(wrapped, opened), QStringLiteral("porta")},
        {script(longFormat, opened), QStringLiteral("dateFormat")},
        {script(oddFormat, opened), QStringLiteral("dateFormat")},
        {script(Context(), with(step(R"({"layout": 1.5})"))), QStringLiteral("layout")},
        {script(Context(), with(step(R"({"layout": 1e308})"))), QStringLiteral("layout")},
        {script(Context(), with(step(R"({"layout": 2147483648})"))), QStringLiteral("layout")},
        {script(Context(), with(step(R"({"click": "rdgTipo", "item": 1.5})"))), QStringLiteral("item")},
        {script(Context(), with(step(R"({"click": "rdgTipo", "item": 2147483648})"))), QStringLiteral("item")},
        {script(Context(), with(step(R"({"key": "rbtListaTipo", "code": 120, "shift": "ctrl"})"))), QStringLiteral("shift")},
        {script(Context(), with(step(R"({"click": "rbtListaClie", "page": "tshDadosDocu"})"))), QStringLiteral("uma só ação")},
        {QByteArray("[]"), QStringLiteral("objeto")},
        {script(Context(), QJsonArray{step(R"({"open": "FAT20001"})")}), QStringLiteral("\"FAT20001\" (registradas: REC11001)")},
    };
    for (const auto &[text, expected] : cases) {
        int code = -1;
        QString err;
        const QJsonArray log = Run(text, code, err);
        EXPECT_EQ(code, 2) << text.left(200).toStdString() << "\n" << err.toStdString();
        EXPECT_TRUE(err.contains(expected)) << err.toStdString();
        EXPECT_FALSE(err.contains(QStringLiteral("no error occurred"))) << err.toStdString();
        EXPECT_TRUE(log.isEmpty());
    }
    // Well-formed values still pass the checks.
    for (const char *format : {"dd/MM/yyyy", "yyyy-MM-dd", "d.M.yy", "MM dd yyyy"}) {
        QJsonObject ctx = Context();
        ctx[QStringLiteral("dateFormat")] = QString::fromLatin1(format);
        int code = -1;
        QString err;
        Run(script(ctx, QJsonArray{}), code, err);
        EXPECT_EQ(code, 0) << format << ": " << err.toStdString();
    }

    // A script that never ends is refused by its size; a log that cannot be written is a failure.
    int code = -1;
    QString err;
    Run({}, code, err, QStringLiteral("/dev/zero"));
    EXPECT_EQ(code, 2) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("MiB"))) << err.toStdString();
    ASSERT_FALSE(QFileInfo(QStringLiteral("/dev/full")).isFile());
    Run(script(Context(), QJsonArray{}), code, err, {}, QStringLiteral("/dev/full"));
    EXPECT_NE(code, 0);
    EXPECT_TRUE(err.contains(QStringLiteral("/dev/full"))) << err.toStdString();
    // The device is written in place, never replaced by a file.
    EXPECT_FALSE(QFileInfo(QStringLiteral("/dev/full")).isFile());
}

TEST_F(BatchRun, EveryLayoutWritesTheSameCsvOnBothDatabases)
{
    if (SuiteBackend() != TBackend::SQLite || !PostgresAvailable())
        GTEST_SKIP() << "needs the test PostgreSQL server; runs once, from the SQLite suite";
    // The same demo seed on both databases, each with its own server; one script saves every layout.
    const TTestDatabase sqlite(TBackend::SQLite, 300, 11), postgres(TBackend::PostgreSQL, 300, 11);
    const TServerProcess sqliteServer(sqlite.Target()), postgresServer(postgres.Target());
    QJsonArray steps{step(R"({"open": "REC11001"})")};
    for (int layout = 0; layout < 20; ++layout) {
        steps.append(QJsonObject{{QStringLiteral("layout"), layout}});
        steps.append(QJsonObject{{QStringLiteral("action"), QStringLiteral("save")},
                                 {QStringLiteral("output"), QStringLiteral("%1.csv").arg(layout, 2, 10, QLatin1Char('0'))}});
    }
    steps.append(QJsonObject{{QStringLiteral("layout"), 15}});
    steps.append(QJsonObject{{QStringLiteral("action"), QStringLiteral("save")}, {QStringLiteral("output"), QStringLiteral("15.html")}});
    auto runOn = [&](const TTestDatabase &db, const TServerProcess &server, const QString &folder) {
        QJsonObject ctx = Context(server.Port());
        ctx[QStringLiteral("database")] = HostDatabase(db);
        QDir(m_dir.path()).mkpath(folder);
        const QString script = m_dir.filePath(folder + QStringLiteral("/script.json"));
        QFile f(script);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QJsonDocument(QJsonObject{{QStringLiteral("context"), ctx}, {QStringLiteral("steps"), steps}}).toJson());
        f.close();
        int code = -1;
        QString err;
        const QJsonArray log = Run(QByteArray(), code, err, script, m_dir.filePath(folder + QStringLiteral("/log.json")));
        EXPECT_EQ(code, 0) << err.toStdString();
        for (const QJsonValue &entry : log)
            EXPECT_EQ(texts(entry.toObject()), QStringList()) << folder.toStdString();
    };
    runOn(sqlite, sqliteServer, QStringLiteral("sqlite"));
    runOn(postgres, postgresServer, QStringLiteral("postgresql"));
    for (int layout = 0; layout < 20; ++layout) {
        const QString name = QStringLiteral("/%1.csv").arg(layout, 2, 10, QLatin1Char('0'));
        QFile a(m_dir.filePath(QStringLiteral("sqlite") + name)), b(m_dir.filePath(QStringLiteral("postgresql") + name));
        ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly)) << name.toStdString();
        const QByteArray left = a.readAll(), right = b.readAll();
        EXPECT_GT(left.count('\n'), 1) << name.toStdString();
        EXPECT_EQ(left, right) << "layout " << layout;
    }
    // Receivables without a billing reference: the same place on both, under a caption that says so.
    QFile csv15(m_dir.filePath(QStringLiteral("sqlite/15.csv")));
    ASSERT_TRUE(csv15.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csv15.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_GT(lines.size(), 2);
    int blanks = 0;
    QString company;
    bool blankSeen = false;
    for (const QString &line : lines.mid(1)) {
        const QStringList c = line.split(QLatin1Char(';'));
        if (c[0] != company)
            blankSeen = false;
        company = c[0];
        if (c[1].isEmpty()) {
            blankSeen = true;
            ++blanks;
        } else {
            EXPECT_FALSE(blankSeen) << "a dated group after the receivables without a reference: " << line.toStdString();
        }
    }
    EXPECT_GT(blanks, 0);
    for (const char *folder : {"sqlite", "postgresql"}) {
        QFile html(m_dir.filePath(QLatin1String(folder) + QStringLiteral("/15.html")));
        ASSERT_TRUE(html.open(QIODevice::ReadOnly));
        const QString page = QString::fromUtf8(html.readAll());
        EXPECT_TRUE(page.contains(QStringLiteral("Referência de faturamento: sem referência"))) << folder;
        EXPECT_FALSE(page.contains(QStringLiteral("Referência de faturamento: <"))) << folder;
    }
}
