#include "data/Database.h"
#include "report/LayoutAskDialog.h"
#include "ScreenFixture.h"
#include "ui/SearchList.h"
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QSettings>
#include <QSqlQuery>
#include <QTemporaryDir>

class SavedCriteriaTest : public ScreenTest {
protected:
    void Save(const QString &name, bool pin = false, bool makeDefault = false)
    {
        Form()->CriteriaAnswers = {{name, pin, makeDefault}};
        Form()->actSalvarCriterios->trigger();
    }
    void Load(const QString &name)
    {
        Form()->CriteriaAnswers = {{name}};
        Form()->actCarregarCriterios->trigger();
    }
    void Reopen(const THostContext &ctx)
    {
        ASSERT_TRUE(Form()->DoClose());
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ApplyContext(ctx);
        ASSERT_TRUE(Open());
    }
    // A screen away from its defaults: layout, a client list, dates typed and from the due-date defaults.
    void Vary()
    {
        Form()->cbbReportNames->UserSelect(1);
        Type("nedValor1", QStringLiteral("10,5"));
        Type("nedValor2", QStringLiteral("900000"));
        Click("chbConAdian");
        ClickTab(1);
        Pick("rbtListaClie", "sbtCliente", {QStringLiteral("000001"), QStringLiteral("000003")});
        Type("depEmissaoDE", QStringLiteral("01/11/2026"));
        Type("depEmissaoATE", QStringLiteral("30/11/2026"));
        ClickTab(0);
        ASSERT_TRUE(TakeMessages().isEmpty());
    }
    static void Exec(const QString &sql)
    {
        QSqlQuery q(TdtmDBGeral::Current()->Database());
        ASSERT_TRUE(q.exec(sql)) << sql.toStdString();
    }
    static TDateRange Moved(const TDateRange &r, int days)
    {
        return {r.From.isNull() ? r.From : r.From.addDays(days), r.To.isNull() ? r.To : r.To.addDays(days)};
    }
};

TEST_F(SavedCriteriaTest, SetsSurviveARestartAndUnpinnedDatesMoveWithTheClock)
{
    ASSERT_TRUE(Open());
    ASSERT_FALSE(Form()->sbtCriterios->isHidden());
    Vary();
    const TCriteria saved = Form()->CurrentCriteria();
    EXPECT_EQ(saved.Vencimento.From, QDate(2026, 11, 7)); // today less the configured days
    Save(QStringLiteral("Últimos 30 dias"));
    Save(QStringLiteral("Novembro fixo"), true);
    ASSERT_TRUE(TakeMessages().isEmpty());

    // Closed, the server restarted, opened again five days later.
    THostContext later = Context();
    later.FixedToday = QDate(2026, 12, 12);
    ASSERT_TRUE(Form()->DoClose());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    s_server->Restart();
    ApplyContext(later);
    ASSERT_TRUE(Open());
    const TCriteria opened = Form()->CurrentCriteria();
    EXPECT_NE(opened, saved); // no default: nothing applied on opening

    const QList<TSavedCriteria> sets = Form()->SavedCriteria();
    ASSERT_EQ(sets.size(), 2);
    EXPECT_EQ(sets[0].Name, QStringLiteral("Novembro fixo"));
    EXPECT_EQ(sets[1].Name, QStringLiteral("Últimos 30 dias"));

    Load(QStringLiteral("Últimos 30 dias"));
    TCriteria moved = saved;
    moved.Vencimento = Moved(saved.Vencimento, 5);
    moved.Emissao = Moved(saved.Emissao, 5);
    EXPECT_EQ(Form()->CurrentCriteria(), moved);
    EXPECT_EQ(Form()->CurrentCriteria().Groups.value(QStringLiteral("Cliente")).Codes, QStringLiteral("_000001__000003_"));
    EXPECT_EQ(Form()->cbbReportNames->ItemIndex(), 1);

    Load(QStringLiteral("Novembro fixo"));
    EXPECT_EQ(Form()->CurrentCriteria(), saved);
    EXPECT_TRUE(TakeMessages().isEmpty());

    // Saving under a name in use replaces it; a deleted set is gone.
    Form()->cbbReportNames->UserSelect(2);
    Save(QStringLiteral("Novembro fixo"), true);
    Load(QStringLiteral("Últimos 30 dias"));
    Load(QStringLiteral("Novembro fixo"));
    EXPECT_EQ(Form()->cbbReportNames->ItemIndex(), 2);
    Form()->CriteriaAnswers = {{QStringLiteral("Novembro fixo")}};
    Form()->actExcluirCriterios->trigger();
    ASSERT_EQ(Form()->SavedCriteria().size(), 1);
    Load(QStringLiteral("Novembro fixo"));
    const QStringList shown = TakeMessages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].contains(QStringLiteral("Novembro fixo"))) << shown[0].toStdString();
}

// The base date left as offered is saved relative and follows the clock; a pinned set keeps its day.
TEST_F(SavedCriteriaTest, ABaseDateSavedRelativeFollowsTheClockAndAPinnedOneKeepsItsDay)
{
    ASSERT_TRUE(Open());
    QTemporaryDir dir;
    const auto runPosition = [&] {
        Form()->cbbReportNames->UserSelect(19);
        Form()->ReportOutput = dir.filePath(QStringLiteral("posicao.csv"));
        TLayoutAskScript::Push({});
        Click("sbtSalvarComo");
        EXPECT_EQ(TakeMessages(), QStringList());
        return Form()->rpddPadrao->LastParams().ParamByName(QStringLiteral("P_DTBASE")).AsString();
    };
    EXPECT_EQ(runPosition(), QStringLiteral("30/11/2026"));
    Save(QStringLiteral("Fechamento do mês"));
    Save(QStringLiteral("Fechamento de novembro"), true);
    ASSERT_TRUE(TakeMessages().isEmpty());

    THostContext later = Context();
    later.FixedToday = QDate(2027, 2, 3);
    Reopen(later);
    Load(QStringLiteral("Fechamento do mês"));
    EXPECT_EQ(runPosition(), QStringLiteral("31/01/2027"));
    Load(QStringLiteral("Fechamento de novembro"));
    EXPECT_EQ(runPosition(), QStringLiteral("30/11/2026"));
}

TEST_F(SavedCriteriaTest, TheDefaultSetIsAppliedOnOpeningAndOnlyForItsOperator)
{
    ASSERT_TRUE(Open());
    const TCriteria defaults = Form()->CurrentCriteria();
    Vary();
    const TCriteria chosen = Form()->CurrentCriteria();
    Save(QStringLiteral("Padrão da Maria"), false, true);
    Form()->cbbReportNames->UserSelect(3);
    Save(QStringLiteral("Outro"));
    ASSERT_TRUE(TakeMessages().isEmpty());

    Reopen(Context());
    EXPECT_EQ(Form()->CurrentCriteria(), chosen);
    // Another activation applies nothing again.
    Form()->cbbReportNames->UserSelect(0);
    Form()->DoActivate();
    EXPECT_EQ(Form()->cbbReportNames->ItemIndex(), 0);
    EXPECT_TRUE(TakeMessages().isEmpty());

    // ADMIN sees none of MARIA's sets, and opens with the screen's own defaults.
    THostContext admin = ContextAs(QStringLiteral("ADMIN"));
    Reopen(admin);
    EXPECT_TRUE(Form()->SavedCriteria().isEmpty());
    const TCriteria adminDefaults = Form()->CurrentCriteria();
    EXPECT_EQ(adminDefaults.Layout, 0);
    EXPECT_FALSE(adminDefaults.Groups.value(QStringLiteral("Cliente")).List);
    EXPECT_FALSE(adminDefaults.ValorIni.has_value());
    Load(QStringLiteral("Padrão da Maria"));
    const QStringList shown = TakeMessages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].contains(QStringLiteral("Não há critérios salvos"))) << shown[0].toStdString();
    EXPECT_EQ(Form()->CurrentCriteria(), adminDefaults);

    // Back to MARIA: no default any more once she asks for none.
    Reopen(Context());
    Form()->actSemPadrao->trigger();
    Reopen(Context());
    EXPECT_EQ(Form()->CurrentCriteria(), defaults);
}

TEST_F(SavedCriteriaTest, ASetThatNoLongerFitsRestoresTheRestAndSaysWhat)
{
    Exec(QStringLiteral("INSERT INTO CLIENTE (CDCLIENTE, NMRAZSOCCLIE, NRINSJURCLIE, IDTPIJURCLIE, IDPUBPRIVCLIE, CDREGIAOPED) "
                        "VALUES ('999901', 'Cliente Encerrado', '11122233344', 'F', 'V', '001')"));
    ASSERT_TRUE(Open());
    Vary();
    ClickTab(1);
    Pick("rbtListaClie", "sbtCliente", {QStringLiteral("000001"), QStringLiteral("999901")});
    ClickTab(0);
    Form()->cbbReportNames->UserSelect(4);
    Type("depEmissaoDE", QStringLiteral("02/11/2026"));
    const TCriteria saved = Form()->CurrentCriteria();
    const QString codes = saved.Groups.value(QStringLiteral("Cliente")).Codes; // in the lookup's order
    ASSERT_TRUE(codes.contains(QStringLiteral("_000001_")) && codes.contains(QStringLiteral("_999901_"))) << codes.toStdString();
    Save(QStringLiteral("Com cliente encerrado"));
    ASSERT_TRUE(TakeMessages().isEmpty());
    Exec(QStringLiteral("DELETE FROM CLIENTE WHERE CDCLIENTE = '999901'"));

    Reopen(Context());
    Load(QStringLiteral("Com cliente encerrado"));
    const QStringList shown = TakeMessages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].contains(QStringLiteral("999901"))) << shown[0].toStdString();
    EXPECT_FALSE(shown[0].contains(QStringLiteral("000001"))) << shown[0].toStdString();
    TCriteria expected = saved;
    expected.Groups[QStringLiteral("Cliente")].Codes = QStringLiteral("_000001_");
    EXPECT_EQ(Form()->CurrentCriteria(), expected);

    // A layout beyond the list keeps the one chosen; everything else still comes back.
    QJsonObject json = TfrmDadosGerRel::StoredCriteria(saved.ToJson(), true, QDate(2026, 12, 7));
    QJsonObject criteria = json.value(QStringLiteral("criteria")).toObject();
    criteria[QStringLiteral("layout")] = 99;
    json[QStringLiteral("criteria")] = criteria;
    Form()->cbbReportNames->UserSelect(2);
    EXPECT_EQ(Form()->ApplyCriteriaJson(TfrmDadosGerRel::CriteriaOfStored(json, QDate(2026, 12, 7))).size(), 2);
    EXPECT_EQ(Form()->cbbReportNames->ItemIndex(), 2);
    expected.Layout = 2;
    EXPECT_EQ(Form()->CurrentCriteria(), expected);
}

TEST_F(SavedCriteriaTest, AScheduledRunWritesTheSameCsvAsTheScreen)
{
    QTemporaryDir dir;
    ASSERT_TRUE(Open());
    // The due range of the screen's defaults, kept relative to today, and a typed value range.
    Type("nedValor1", QStringLiteral("100"));
    Type("nedValor2", QStringLiteral("900000"));
    Leave("nedValor2");
    Save(QStringLiteral("Agendado"));
    const QString screenFile = dir.filePath(QStringLiteral("tela.csv"));
    Form()->ReportOutput = screenFile;
    Click("sbtSalvarComo");
    const QStringList shown = TakeMessages();
    ASSERT_TRUE(shown.isEmpty()) << shown.join(QLatin1Char('\n')).toStdString();
    QFile screenCsv(screenFile);
    ASSERT_TRUE(screenCsv.open(QIODevice::ReadOnly));
    const QByteArray expected = screenCsv.readAll();
    ASSERT_GT(expected.count('\n'), 1);

    // The password comes from the settings file, never the command line.
    const QString settings = dir.filePath(QStringLiteral("host.ini"));
    {
        QSettings ini(settings, QSettings::IniFormat);
        ini.setValue(QStringLiteral("login/password"), DemoPassword(QStringLiteral("MARIA")));
    }
    auto run = [&](QStringList extra, QString &err, bool withPassword = true) {
        if (withPassword)
            extra << QStringLiteral("--settings") << settings;
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("REC_REPORT_DIR"), BinDir() + QStringLiteral("/../reports"));
        p.setProcessEnvironment(env);
        p.start(BinDir() + QStringLiteral("/rec-host"),
                QStringList{QStringLiteral("--run"), QStringLiteral("REC11001"), QStringLiteral("--operator"), QStringLiteral("MARIA"), QStringLiteral("--branch"),
                            QStringLiteral("0101"), QStringLiteral("--server"), QStringLiteral("127.0.0.1:%1").arg(s_server->Port()), QStringLiteral("--database"),
                            s_db->Target(), QStringLiteral("--today"), QStringLiteral("2026-12-07")} +
                    extra);
        EXPECT_TRUE(p.waitForFinished(60000));
        err = QString::fromUtf8(p.readAllStandardError());
        return p.exitCode();
    };
    QString err;
    const QString runFile = dir.filePath(QStringLiteral("agendado.csv"));
    ASSERT_EQ(run({QStringLiteral("--criteria"), QStringLiteral("Agendado"), QStringLiteral("--layout"), QStringLiteral("0"), QStringLiteral("--output"), runFile}, err), 0)
        << err.toStdString();
    QFile runCsv(runFile);
    ASSERT_TRUE(runCsv.open(QIODevice::ReadOnly));
    EXPECT_EQ(runCsv.readAll(), expected);

    const QString none = dir.filePath(QStringLiteral("nada.csv"));
    EXPECT_EQ(run({QStringLiteral("--criteria"), QStringLiteral("Inexistente"), QStringLiteral("--output"), none}, err), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("\"Inexistente\""))) << err.toStdString();
    EXPECT_TRUE(err.contains(QStringLiteral("Agendado"))) << err.toStdString();
    EXPECT_FALSE(QFile::exists(none));
    EXPECT_EQ(run({QStringLiteral("--criteria"), QStringLiteral("Agendado"), QStringLiteral("--layout"), QStringLiteral("99"), QStringLiteral("--output"), none}, err), 2);
    EXPECT_FALSE(QFile::exists(none));
    // Without a password nothing runs.
    EXPECT_EQ(run({QStringLiteral("--criteria"), QStringLiteral("Agendado"), QStringLiteral("--output"), none}, err, false), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("login/password"))) << err.toStdString();
    EXPECT_FALSE(QFile::exists(none));

    // The position at a closing date: --param answers what the layout asks, as a person at the screen does.
    const QString closingScreen = dir.filePath(QStringLiteral("posicao-tela.csv"));
    TLayoutAskScript::Push({{QStringLiteral("P_DTBASE"), QStringLiteral("31/10/2026")}, {QStringLiteral("P_FAIXAS"), QStringLiteral("30,60")}});
    Form()->cbbReportNames->UserSelect(19);
    Form()->ReportOutput = closingScreen;
    Click("sbtSalvarComo");
    ASSERT_EQ(TakeMessages(), QStringList());
    QFile closingCsv(closingScreen);
    ASSERT_TRUE(closingCsv.open(QIODevice::ReadOnly));
    const QByteArray closing = closingCsv.readAll();
    ASSERT_GT(closing.count('\n'), 1);
    const QString closingRun = dir.filePath(QStringLiteral("posicao.csv"));
    const QStringList position{QStringLiteral("--criteria"), QStringLiteral("Agendado"), QStringLiteral("--layout"), QStringLiteral("19")};
    ASSERT_EQ(run(position + QStringList{QStringLiteral("--param"), QStringLiteral("P_DTBASE=2026-10-31"), QStringLiteral("--param"),
                                         QStringLiteral("P_FAIXAS=30,60"), QStringLiteral("--output"), closingRun},
                  err),
              0)
        << err.toStdString();
    QFile closingRunCsv(closingRun);
    ASSERT_TRUE(closingRunCsv.open(QIODevice::ReadOnly));
    EXPECT_EQ(closingRunCsv.readAll(), closing);
    // A bad answer fails the run naming the field; a malformed --param is refused before anything runs.
    EXPECT_EQ(run(position + QStringList{QStringLiteral("--param"), QStringLiteral("P_FAIXAS=60,30"), QStringLiteral("--output"), none}, err), 3);
    EXPECT_TRUE(err.contains(QStringLiteral("Faixas de atraso (dias): os valores devem ser crescentes"))) << err.toStdString();
    EXPECT_FALSE(QFile::exists(none));
    EXPECT_EQ(run(position + QStringList{QStringLiteral("--param"), QStringLiteral("P_DTBASE"), QStringLiteral("--output"), none}, err), 2);
    EXPECT_TRUE(err.contains(QStringLiteral("NOME=VALOR"))) << err.toStdString();
    EXPECT_FALSE(QFile::exists(none));
}
