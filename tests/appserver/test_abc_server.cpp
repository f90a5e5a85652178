#include "data/ClientDataSet.h"
#include "data/Database.h"
#include "data/DataPacket.h"
#include "data/Query.h"
#include "data/RemoteResult.h"
#include "net/NetConnection.h"
#include "net/ReplyReader.h"
#include "net/Wire.h"
#include "server/AbcRequest.h"
#include "TestSupport.h"
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QSqlError>
#include <algorithm>
#include <QRegularExpression>
#include <QThread>
#include <arpa/inet.h>
#include <map>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString kAll = QStringLiteral("T");

// One set of ABC criteria, as the screen sends them; "T" flags select everything.
struct TAbcCriteria {
    QString Clientes, TClientes = kAll, Classes, TClasses = kAll, Empresas, TEmpresas = kAll, Filiais, TFiliais = kAll;
    QString Tipos, TTipos = kAll, Lancs, TLancs = kAll, Formas, TFormas = kAll, StatusWord, StatusAll = kAll;
    QString CCorr, TCCorr = kAll, TipoLanc, TTipoLanc = kAll;
    double Valor1 = 0, Valor2 = 0;
    QString TPriPub = kAll, PriPub, Ativ, TAtiv = kAll, Seg, TSeg = kAll, UtlOpc = QStringLiteral("N");
    QString EmisIni, EmisFin, SaidaIni, SaidaFin, VencIni, VencFin, BaixaIni, BaixaFin;
    QString Grupos, TGrupos = kAll, Regioes, TRegioes = kAll, RefIni, RefFin, Adiant = kAll;
    QString Vendedores, TVendedores = kAll, OrcaIni, OrcaFin, TOrca = kAll;

    TAbcRequest Request(bool sellerAndBudget = true) const
    {
        TAbcRequest r;
        r.Cliente = {Clientes, TClientes};
        r.ClassFinanc = {Classes, TClasses};
        r.Empresa = {Empresas, TEmpresas};
        r.Filial = {Filiais, TFiliais};
        r.TipoConta = {Tipos, TTipos};
        r.FiliLanca = {Lancs, TLancs};
        r.FormaPaga = {Formas, TFormas};
        r.Status = StatusWord;
        r.StatusTodos = StatusAll;
        r.ContaCorrente = {CCorr, TCCorr};
        r.Tipo = {TipoLanc, TTipoLanc};
        r.ValorIni = Valor1;
        r.ValorFin = Valor2;
        r.TipoClienteTodos = TPriPub;
        r.PriPub = PriPub;
        r.AtivClie = {Ativ, TAtiv};
        r.SegMerc = {Seg, TSeg};
        r.OpEmissao = UtlOpc;
        r.Emissao = r.EmissaoCopia = {EmisIni, EmisFin};
        r.Saida = r.SaidaCopia = {SaidaIni, SaidaFin};
        r.Vencimento = r.VencimentoCopia = {VencIni, VencFin};
        r.Baixa = r.BaixaCopia = {BaixaIni, BaixaFin};
        r.GrupClie = {Grupos, TGrupos};
        r.Regiao = {Regioes, TRegioes};
        r.BaixaTodas = BaixaIni.isEmpty() && BaixaFin.isEmpty() ? kAll : QString();
        r.RefeFat = {RefIni, RefFin};
        r.Adiantamento = Adiant;
        r.Vendedor = {Vendedores, TVendedores};
        r.OrcaIni = OrcaIni;
        r.OrcaFin = OrcaFin;
        r.OrcaTodos = TOrca;
        r.HasSellerAndBudget = sellerAndBudget;
        return r;
    }
    QVariantList Curve() const { return Request().CurveArgs(); }
    // GetTotal's values, with the salesperson and budget when asked.
    QVariantList Total(bool trailing) const { return Request(trailing).TotalArgs(); }
};

QDate dmy(const QString &text) { return QDate::fromString(text, QStringLiteral("dd/MM/yyyy")); }

class AbcServer : public ::testing::TestWithParam<TBackend> {
protected:
    void SetUp() override
    {
        if (GetParam() == TBackend::PostgreSQL && !PostgresAvailable())
            GTEST_SKIP() << "no PostgreSQL server (REC_TEST_PG_URL) for this run";
        m_db = std::make_unique<TTestDatabase>(GetParam(), 600);
        m_server = std::make_unique<TServerProcess>(m_db->Target());
        m_net = std::make_unique<TNetConnection>(QStringLiteral("netRelLancContReceber"));
        m_net->ServerName = QLatin1String(kServerObject);
        m_net->Host = QStringLiteral("127.0.0.1");
        m_net->Port = m_server->Port();
        // ADMIN may see every company, so the curve is compared with the whole table.
        m_net->Operator = QStringLiteral("ADMIN");
        m_net->Password = DemoPassword(m_net->Operator);
        m_direct.Open(m_db->Target());
    }
    QVariant call(const QString &method, const QVariantList &args)
    {
        std::vector<TCallArg> wire;
        for (const QVariant &v : args)
            wire.emplace_back(v);
        return m_net->Call(method, std::move(wire));
    }
    TDataPacket packet(const QString &method, const QVariantList &args)
    {
        const QVariant r = call(method, args);
        if (IsRemoteFailure(r)) {
            ADD_FAILURE() << method.toStdString() << ": " << ToRemoteFailure(r).Message.toStdString();
            return {};
        }
        return TDataPacket::Decode(r.toByteArray());
    }
    QStringList codes(const QString &sql)
    {
        QSqlQuery q(m_direct.Database());
        EXPECT_TRUE(q.exec(sql)) << sql.toStdString();
        QStringList out;
        while (q.next())
            out << q.value(0).toString();
        return out;
    }
    static QString list(const QStringList &codes)
    {
        QString s;
        for (const QString &c : codes)
            s += QLatin1Char('_') + c + QLatin1Char('_');
        return s;
    }

    // Document numbers per company that the due-date layout's own statement selects
    // for the same criteria, bound the way the screen binds that layout.
    std::map<QString, QStringList> layoutSelection(const TAbcCriteria &c)
    {
        QFile f(BinDir() + QStringLiteral("/../reports/REC110/00_contas_a_receber_por_vencimento.json"));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << f.fileName().toStdString();
        const QJsonObject layout = QJsonDocument::fromJson(f.readAll()).object();
        QStringList lines;
        for (const QJsonValue &l : layout.value(QStringLiteral("statement")).toArray())
            lines << l.toString();
        TParams p;
        auto text = [&](const char *name, const QString &v) {
            p.CreateParam(TParamType::String, QString::fromLatin1(name)).SetAsString(v.isEmpty() ? QStringLiteral(" ") : v);
        };
        auto date = [&](const char *name, const QString &v) {
            TParam &d = p.CreateParam(TParamType::Date, QString::fromLatin1(name));
            if (!v.isEmpty())
                d.SetAsDate(DateToDateTime(dmy(v)));
        };
        auto value = [&](const char *name, double v) {
            TParam &d = p.CreateParam(TParamType::Float, QString::fromLatin1(name));
            if (v != 0)
                d.SetAsFloat(v);
        };
        text("CLIENTE", c.Clientes);
        text("TCLIENTE", c.TClientes);
        text("P_CDREGIAOPED", c.Regioes);
        text("P_TCDREGIAOPED", c.TRegioes);
        text("GRUPCLIE", c.Grupos);
        text("TGRUPCLIE", c.TGrupos);
        text("CODEMPRESA", c.Empresas);
        text("TCODEMPRESA", c.TEmpresas);
        text("CODFILIAL", c.Filiais);
        text("TCODFILIAL", c.TFiliais);
        text("TIPOCONTA", c.Tipos);
        text("TTIPOCONTA", c.TTipos);
        text("IDTPCTRECEBER", c.Adiant == kAll ? QStringLiteral("1_2") : QStringLiteral("1"));
        text("CODFILILANC", c.Lancs);
        text("TCODFILILANC", c.TLancs);
        text("TIPO", c.TipoLanc);
        text("TTIPO", c.TTipoLanc);
        text("P_CDCLASSFINA", c.Classes);
        text("P_TCDCLASSFINA", c.TClasses);
        date("DATEMISINI", c.EmisIni);
        date("DATEMIFIN", c.EmisFin);
        date("DATENTR", c.SaidaIni);
        date("DATSAID", c.SaidaFin);
        date("DATVENIN", c.VencIni);
        date("DATVENFIN", c.VencFin);
        value("VALORINI", c.Valor1);
        value("VALORFIN", c.Valor2);
        text("P_TODOS", c.TPriPub);
        text("P_PRIPUB", c.PriPub);
        text("P_ATIVCLI", c.Ativ);
        text("P_TATIVCLI", c.TAtiv);
        text("P_SEGMERC", c.Seg);
        text("P_TSEGMERC", c.TSeg);
        text("TSTATUS", c.StatusAll);
        for (const char *s : {"A", "B", "D", "P"})
            text((QByteArray("STATUS") + s).constData(), c.StatusWord.split(QLatin1Char('_')).contains(QLatin1String(s)) ? QString::fromLatin1(s) : QString());
        const bool ref = !c.RefIni.isEmpty() && !c.RefFin.isEmpty();
        date("P_DTINIREFEFAT", ref ? c.RefIni : QString());
        date("P_DTFINREFEFAT", ref ? c.RefFin : QString());
        text("P_VENDEDOR", c.Vendedores);
        text("P_TVENDEDOR", c.TVendedores);
        const bool budget = c.TOrca != kAll && !c.OrcaIni.isEmpty() && !c.OrcaFin.isEmpty();
        text("P_ORCAINI", budget ? c.OrcaIni : QString());
        text("P_ORCAFIN", budget ? c.OrcaFin : QString());
        text("P_ORCA", budget ? QString() : kAll);
        // Date texts of the layout reach its statement as dates.
        date("DTBAIXAINI", c.BaixaIni);
        date("DTBAIXAFIN", c.BaixaFin);
        text("TDTBAIXA", c.BaixaIni.isEmpty() && c.BaixaFin.isEmpty() ? kAll : QString());
        text("P_FORMA", c.Formas);
        text("P_TFORMA", c.TFormas);
        text("P_CCORR", c.CCorr);
        text("P_TCCORR", c.TCCorr);
        QSqlQuery q = RunStatement(m_direct.Database(), lines.join(QLatin1Char('\n')), p, QStringLiteral("layout"));
        std::map<QString, QStringList> out;
        while (q.next())
            out[q.value(QStringLiteral("CDEMPRESA")).toString()] << q.value(QStringLiteral("NRLANBOLREC")).toString();
        for (auto &[company, docs] : out)
            docs.sort();
        return out;
    }

    // Checks the curve of one criteria set against the layout and the totals; returns its row count.
    size_t checkCurve(const TAbcCriteria &c, const char *label)
    {
        SCOPED_TRACE(label);
        const TDataPacket curve = packet(QStringLiteral("GetCurvaABC"), c.Curve());
        const TDataPacket totals = packet(QStringLiteral("GetTotal"), c.Total(true));
        const int emp = curve.FieldIndex(QStringLiteral("CDEMPRESA")), own = curve.FieldIndex(QStringLiteral("VRORIGREC")),
                  run = curve.FieldIndex(QStringLiteral("VRATUAREC")), doc = curve.FieldIndex(QStringLiteral("NRLANBOLREC")),
                  cli = curve.FieldIndex(QStringLiteral("CDCLIENTE"));
        std::map<QString, QStringList> docs;
        std::map<QString, double> last;
        QStringList order;
        for (size_t i = 0; i < curve.Rows.size(); ++i) {
            const TRecord &r = curve.Rows[i];
            const QString company = r[static_cast<size_t>(emp)].toString();
            docs[company] << r[static_cast<size_t>(doc)].toString();
            const bool first = i == 0 || curve.Rows[i - 1][static_cast<size_t>(emp)].toString() != company;
            if (first) {
                EXPECT_TRUE(order.isEmpty() || order.last() < company) << "companies out of order at " << company.toStdString();
                order << company;
                EXPECT_DOUBLE_EQ(r[static_cast<size_t>(run)].toDouble(), r[static_cast<size_t>(own)].toDouble());
            } else {
                const TRecord &prev = curve.Rows[i - 1];
                const double pv = prev[static_cast<size_t>(own)].toDouble(), v = r[static_cast<size_t>(own)].toDouble();
                EXPECT_TRUE(pv > v || (pv == v && prev[static_cast<size_t>(cli)].toString() <= r[static_cast<size_t>(cli)].toString()))
                    << "row " << i << " out of order";
                // Added one by one in the curve's order, as the database's own SUM adds them.
                EXPECT_EQ(r[static_cast<size_t>(run)].toDouble(), prev[static_cast<size_t>(run)].toDouble() + v) << "row " << i;
            }
            last[company] = r[static_cast<size_t>(run)].toDouble();
        }
        for (auto &[company, list] : docs)
            list.sort();
        EXPECT_EQ(docs, layoutSelection(c));
        // One totals row per company of the curve, same order, equal to its last running total.
        EXPECT_EQ(totals.Rows.size(), order.size());
        for (size_t i = 0; i < totals.Rows.size() && i < static_cast<size_t>(order.size()); ++i) {
            EXPECT_EQ(totals.Rows[i][0].toString(), order[static_cast<qsizetype>(i)]);
            EXPECT_EQ(totals.Rows[i][1].toDouble(), last[order[static_cast<qsizetype>(i)]]) << order[static_cast<qsizetype>(i)].toStdString();
        }
        return curve.Rows.size();
    }

    std::unique_ptr<TTestDatabase> m_db;
    std::unique_ptr<TServerProcess> m_server;
    std::unique_ptr<TNetConnection> m_net;
    TdtmDBGeral m_direct;
};

} // namespace

TEST_P(AbcServer, PercentagesAndStatusList)
{
    const TDataPacket pct = packet(QStringLiteral("GetPercentual"), {});
    ASSERT_EQ(pct.Rows.size(), 1u);
    ASSERT_EQ(pct.Fields.size(), 3u);
    EXPECT_EQ(pct.Fields[0].Name, QStringLiteral("VRPECURVAA"));
    EXPECT_EQ(pct.Fields[2].Type, TFieldType::Float);
    EXPECT_DOUBLE_EQ(pct.Rows[0][0].toDouble(), 80.0);
    EXPECT_DOUBLE_EQ(pct.Rows[0][1].toDouble(), 15.0);
    EXPECT_DOUBLE_EQ(pct.Rows[0][2].toDouble(), 5.0);

    auto statuses = [&](const QVariantList &args) {
        QStringList out;
        const TDataPacket p = packet(QStringLiteral("GetStatus"), args);
        EXPECT_EQ(p.Fields.size(), 1u);
        for (const TRecord &r : p.Rows)
            out << r[0].toString();
        return out.join(QLatin1Char(','));
    };
    const QString e;
    EXPECT_EQ(statuses({kAll, e, e, e, e, e}), QStringLiteral("A,B,D,P"));
    EXPECT_EQ(statuses({e, e, e, e, e, QStringLiteral("A_B_D_P")}), QStringLiteral("A,B,D,P"));
    EXPECT_EQ(statuses({e, e, QStringLiteral("B"), e, QStringLiteral("P"), e}), QStringLiteral("B,P"));
    EXPECT_EQ(statuses({e, QStringLiteral("A"), e, QStringLiteral("D"), e, e}), QStringLiteral("A,D"));
    EXPECT_EQ(statuses({e, e, e, e, e, e}), QString());
    EXPECT_TRUE(IsRemoteFailure(call(QStringLiteral("GetStatus"), {e, QStringLiteral("B"), e, e, e, e})));
}

TEST_P(AbcServer, CurveRowsMatchTheDueDateLayoutAndTheirTotals)
{
    const QStringList companies = codes(QStringLiteral("SELECT CDEMPRESA FROM EMPRESA ORDER BY CDEMPRESA"));
    const QStringList sellers = codes(QStringLiteral("SELECT CDVENDEDOR FROM VENDEDOR ORDER BY CDVENDEDOR"));
    const QStringList regions = codes(QStringLiteral("SELECT CDREGIAOPED FROM REGIAOPED ORDER BY CDREGIAOPED"));
    const QStringList forms = codes(QStringLiteral("SELECT CDTPBAIXAREC FROM TIPOBAIXAREC ORDER BY CDTPBAIXAREC"));
    const QStringList budgets = codes(QStringLiteral("SELECT NRORCAMENTO FROM CONTARECEBER WHERE NRORCAMENTO IS NOT NULL ORDER BY NRORCAMENTO"));
    QStringList settled;
    for (const QString &d : codes(QStringLiteral("SELECT DTBAIXAREC FROM BAIXAREC ORDER BY DTBAIXAREC")))
        settled << QDate::fromString(d.left(10), Qt::ISODate).toString(QStringLiteral("dd/MM/yyyy"));
    ASSERT_GE(companies.size(), 2);
    ASSERT_GE(sellers.size(), 4);
    ASSERT_GE(budgets.size(), 20);
    ASSERT_GE(settled.size(), 20);

    TAbcCriteria all;
    const size_t everything = checkCurve(all, "all criteria open");
    EXPECT_EQ(everything, static_cast<size_t>(QueryInt(m_db->Target(), QStringLiteral("SELECT count(*) FROM CONTARECEBER"))));

    // A region list left blank selects every region.
    TAbcCriteria blankRegion;
    blankRegion.TRegioes.clear();
    EXPECT_EQ(packet(QStringLiteral("GetCurvaABC"), blankRegion.Curve()).Rows.size(), everything);

    TAbcCriteria narrow;
    narrow.Empresas = list(companies.mid(0, 2));
    narrow.TEmpresas.clear();
    narrow.StatusWord = QStringLiteral("B_D_A");
    narrow.StatusAll.clear();
    narrow.TipoLanc = QStringLiteral("A_E");
    narrow.TTipoLanc.clear();
    narrow.Valor1 = 2000;
    narrow.Valor2 = 40000;
    narrow.TPriPub.clear();
    narrow.PriPub = QStringLiteral("V");
    narrow.Adiant = QStringLiteral("1");
    narrow.EmisIni = QDate::currentDate().addDays(-400).toString(QStringLiteral("dd/MM/yyyy"));
    narrow.VencFin = QDate::currentDate().addDays(10).toString(QStringLiteral("dd/MM/yyyy"));
    const size_t n = checkCurve(narrow, "companies, status, kind, amounts, private clients, dates");
    EXPECT_GT(n, 10u);
    EXPECT_LT(n, everything);

    // Salesperson and budget filter the totals too.
    TAbcCriteria sold;
    sold.Vendedores = list(sellers.mid(0, sellers.size() / 2));
    sold.TVendedores.clear();
    sold.OrcaIni = budgets[budgets.size() / 5];
    sold.OrcaFin = budgets[budgets.size() * 4 / 5];
    sold.TOrca.clear();
    sold.Valor2 = 30000;
    const size_t s = checkCurve(sold, "salesperson list and budget range");
    EXPECT_GT(s, 2u);
    // Without the trailing values the totals are the unfiltered ones, and larger.
    const TDataPacket plain = packet(QStringLiteral("GetTotal"), sold.Total(false));
    const TDataPacket filtered = packet(QStringLiteral("GetTotal"), sold.Total(true));
    EXPECT_GE(plain.Rows.size(), filtered.Rows.size());
    double plainSum = 0, filteredSum = 0;
    for (const TRecord &r : plain.Rows)
        plainSum += r[1].toDouble();
    for (const TRecord &r : filtered.Rows)
        filteredSum += r[1].toDouble();
    EXPECT_GT(plainSum, filteredSum);
    // A budget start alone is no budget filter, as on the layouts.
    TAbcCriteria startOnly = sold;
    startOnly.OrcaFin.clear();
    checkCurve(startOnly, "budget start alone");

    TAbcCriteria settledSet;
    settledSet.StatusWord = QStringLiteral("B");
    settledSet.StatusAll.clear();
    settledSet.BaixaIni = settled[settled.size() / 4];
    settledSet.BaixaFin = settled[settled.size() * 3 / 4];
    settledSet.Formas = list(forms.mid(0, 2));
    settledSet.TFormas.clear();
    settledSet.Regioes = list(regions.mid(0, regions.size() / 2));
    settledSet.TRegioes.clear();
    settledSet.RefIni = QDate::currentDate().addDays(-500).toString(QStringLiteral("dd/MM/yyyy"));
    settledSet.RefFin = QDate::currentDate().addDays(-30).toString(QStringLiteral("dd/MM/yyyy"));
    EXPECT_GT(checkCurve(settledSet, "settlement dates and forms, regions, billing reference"), 0u);
    // Only one billing date is no billing filter.
    TAbcCriteria oneRef = settledSet;
    oneRef.RefFin.clear();
    checkCurve(oneRef, "one billing date");
}

TEST_P(AbcServer, EveryCodeListSelectsByItsCodesAndEachRowShowsItsLatestSettlement)
{
    const auto used = [&](const char *sql) { return codes(QString::fromLatin1(sql)); };
    const QStringList clients = used("SELECT DISTINCT CDCLIENTE FROM CONTARECEBER ORDER BY 1");
    const QStringList classes = used("SELECT DISTINCT CDCLASSFINA FROM CONTARECEBER WHERE CDCLASSFINA IS NOT NULL ORDER BY 1");
    const QStringList branches = used("SELECT DISTINCT CDFILIAL FROM CONTARECEBER ORDER BY 1");
    const QStringList kinds = used("SELECT DISTINCT CDTPCTRECEB FROM CONTARECEBER ORDER BY 1");
    const QStringList activities = used("SELECT DISTINCT CDATIVCLI FROM CLIENTE WHERE CDATIVCLI IS NOT NULL ORDER BY 1");
    const QStringList segments = used("SELECT DISTINCT CDSEGMER FROM CLIENTE WHERE CDSEGMER IS NOT NULL ORDER BY 1");
    const QStringList groups = used("SELECT DISTINCT CDGRUPCLIE FROM CLIENTE WHERE CDGRUPCLIE IS NOT NULL ORDER BY 1");
    const QStringList accounts = used("SELECT DISTINCT CDREDUCONT FROM BAIXAREC WHERE CDREDUCONT IS NOT NULL ORDER BY 1");
    ASSERT_GE(clients.size(), 10);
    ASSERT_GE(classes.size(), 2);
    ASSERT_GE(branches.size(), 2);
    ASSERT_GE(kinds.size(), 3);
    ASSERT_GE(segments.size(), 2);
    ASSERT_GE(groups.size(), 2);
    ASSERT_GE(accounts.size(), 2);

    TAbcCriteria manyClients; // a list of many codes, with a single class and company
    manyClients.Clientes = list(clients.mid(0, clients.size() / 3));
    manyClients.TClientes.clear();
    manyClients.Classes = list(classes.mid(0, 1));
    manyClients.TClasses.clear();
    EXPECT_GT(checkCurve(manyClients, "a third of the clients, one class"), 0u);

    TAbcCriteria places;
    places.Filiais = list(branches.mid(0, 1));
    places.TFiliais.clear();
    places.Tipos = list(kinds.mid(0, 2));
    places.TTipos.clear();
    places.Lancs = list(branches);
    places.TLancs.clear();
    places.Ativ = list(activities.mid(0, activities.size() / 2 + 1));
    places.TAtiv.clear();
    EXPECT_GT(checkCurve(places, "one branch, account types, entry branches, activities"), 0u);

    TAbcCriteria byClient;
    byClient.Seg = list(segments.mid(0, 2));
    byClient.TSeg.clear();
    byClient.Grupos = list(groups.mid(0, groups.size() / 2 + 1));
    byClient.TGrupos.clear();
    byClient.CCorr = list(accounts.mid(0, 2));
    byClient.TCCorr.clear();
    EXPECT_GT(checkCurve(byClient, "segments, client groups, settlement accounts"), 0u);

    // A code counts only between two separators, and a list that is not "all" but holds no
    // code selects nothing.
    TAbcCriteria halfOpen;
    halfOpen.Empresas = QStringLiteral("01_03_");
    halfOpen.TEmpresas.clear();
    EXPECT_GT(checkCurve(halfOpen, "a list without its leading separator"), 0u);
    TAbcCriteria none;
    none.Clientes.clear();
    none.TClientes.clear();
    EXPECT_EQ(checkCurve(none, "an empty client list"), 0u);

    // Each row shows the receivable's latest settlement: by date, then by number.
    const TDataPacket curve = packet(QStringLiteral("GetCurvaABC"), TAbcCriteria().Curve());
    const size_t doc = static_cast<size_t>(curve.FieldIndex(QStringLiteral("NRLANBOLREC"))),
                 nr = static_cast<size_t>(curve.FieldIndex(QStringLiteral("NRBAIXAREC"))),
                 value = static_cast<size_t>(curve.FieldIndex(QStringLiteral("VRBAIXAREC"))),
                 form = static_cast<size_t>(curve.FieldIndex(QStringLiteral("CDTPBAIXAREC")));
    std::map<QString, std::tuple<QString, double, QString>> latest;
    int parted = 0;
    {
        QSqlQuery q(m_direct.Database());
        ASSERT_TRUE(q.exec(QStringLiteral("SELECT R.NRLANBOLREC, B.NRBAIXAREC, B.VRBAIXAREC, B.CDTPBAIXAREC, "
                                          "(SELECT COUNT(*) FROM BAIXAREC X WHERE X.NRLANCTOREC = R.NRLANCTOREC) "
                                          "FROM CONTARECEBER R JOIN BAIXAREC B ON B.NRLANCTOREC = R.NRLANCTOREC "
                                          "ORDER BY R.NRLANCTOREC, B.DTBAIXAREC, B.NRBAIXAREC")));
        while (q.next()) {
            latest[q.value(0).toString()] = {q.value(1).toString(), q.value(2).toDouble(), q.value(3).toString()};
            parted += q.value(4).toInt() > 1 ? 1 : 0;
        }
    }
    ASSERT_GT(parted, 0) << "the demo data has no receivable settled in parts";
    size_t settled = 0;
    for (const TRecord &r : curve.Rows) {
        const auto it = latest.find(r[doc].toString());
        if (it == latest.end()) {
            EXPECT_TRUE(r[nr].isNull() || r[nr].toString().isEmpty()) << r[doc].toString().toStdString();
            continue;
        }
        ++settled;
        EXPECT_EQ(r[nr].toString(), std::get<0>(it->second)) << r[doc].toString().toStdString();
        EXPECT_DOUBLE_EQ(r[value].toDouble(), std::get<1>(it->second));
        EXPECT_EQ(r[form].toString(), std::get<2>(it->second));
    }
    EXPECT_EQ(settled, latest.size());
}

TEST_P(AbcServer, RowsDecodedAsTheyArriveAreThePacketsRowsAndOtherRepliesComeAsBefore)
{
    const auto args = [](const QVariantList &values) {
        std::vector<TCallArg> wire;
        for (const QVariant &v : values)
            wire.emplace_back(v);
        return wire;
    };
    TAbcCriteria all;
    const QVariant bytes = m_net->Call(QStringLiteral("GetCurvaABC"), args(all.Curve()));
    QVariant rows = m_net->CallForRows(QStringLiteral("GetCurvaABC"), args(all.Curve()));
    ASSERT_EQ(rows.metaType(), QMetaType::fromType<TReceivedPacket>()) << rows.typeName();
    EXPECT_EQ(rows.value<TReceivedPacket>().Bytes, bytes.toByteArray().size());
    TClientDataSet viaBytes(QStringLiteral("qryBytes")), viaRows(QStringLiteral("qryCurvaABC"));
    viaBytes.SetData(bytes);
    viaRows.SetData(std::move(rows));
    EXPECT_FALSE(rows.isValid()) << "the rows were handed over, not copied";
    ASSERT_EQ(viaRows.RecordCount(), QueryInt(m_db->Target(), QStringLiteral("SELECT count(*) FROM CONTARECEBER")));
    ASSERT_EQ(viaRows.RecordCount(), viaBytes.RecordCount());
    for (int r = 0; r < viaRows.RecordCount(); ++r)
        ASSERT_TRUE(viaRows.Rows()[static_cast<size_t>(r)] == viaBytes.Rows()[static_cast<size_t>(r)]) << "row " << r;

    // A failure, and a result that is not one packet, come back as Call gives them.
    const QVariant failed = m_net->CallForRows(QStringLiteral("GetCurvaABC"), {});
    ASSERT_TRUE(IsRemoteFailure(failed));
    EXPECT_EQ(ToRemoteFailure(failed).Message, ToRemoteFailure(m_net->Call(QStringLiteral("GetCurvaABC"), {})).Message);
    const QVariant two = m_net->CallForRows(QStringLiteral("GetDtVenc"));
    ASSERT_EQ(two.toList().size(), 2);
    EXPECT_EQ(two.toList()[0].typeId(), QMetaType::QByteArray);
    // The connection is still in step with its calls.
    TClientDataSet percent(QStringLiteral("cdsPercentual"));
    percent.SetData(m_net->CallForRows(QStringLiteral("GetPercentual")));
    ASSERT_EQ(percent.RecordCount(), 1);
    QSqlQuery q(m_direct.Database());
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT VRPECURVAA FROM PARAMGERALREC ORDER BY CDGERALREC LIMIT 1")) && q.next());
    EXPECT_DOUBLE_EQ(percent.Rows()[0][0].toDouble(), q.value(0).toDouble());
}

TEST_P(AbcServer, CurveRowsCarryTheirOwnDataAndTheCriteria)
{
    TAbcCriteria c;
    c.Empresas = QStringLiteral("_01_");
    c.TEmpresas.clear();
    c.StatusWord = QStringLiteral("_D_A");
    c.StatusAll.clear();
    c.VencIni = QStringLiteral("01/01/2000");
    c.UtlOpc = QStringLiteral("S");
    const TDataPacket curve = packet(QStringLiteral("GetCurvaABC"), c.Curve());
    ASSERT_FALSE(curve.Rows.empty());
    ASSERT_EQ(curve.Fields.size(), 64u);
    EXPECT_EQ(curve.Fields[0].Name, QStringLiteral("CDFILIAL"));
    const int idc = curve.FieldIndex(QStringLiteral("IDCURVA"));
    EXPECT_EQ(idc, 41);
    EXPECT_EQ(curve.Fields[static_cast<size_t>(idc)].Type, TFieldType::FixedChar);
    EXPECT_EQ(curve.Fields.back().Name, QStringLiteral("TSTATUS"));
    auto at = [&](size_t row, const char *name) { return curve.Rows[row][static_cast<size_t>(curve.FieldIndex(QString::fromLatin1(name)))]; };
    // Each row against its receivable.
    QSqlQuery q(m_direct.Database());
    ASSERT_TRUE(q.prepare(QStringLiteral("SELECT R.VRATUAREC, R.DTATUAVENREC, R.IDSTATREC, E.NMEMPRESA, R.NRLANCTONF || COALESCE('/' || R.CDSERIE, '') "
                                         "FROM CONTARECEBER R JOIN EMPRESA E ON E.CDEMPRESA = R.CDEMPRESA WHERE R.NRLANBOLREC = ?")));
    QSqlQuery account(m_direct.Database());
    ASSERT_TRUE(account.prepare(QStringLiteral("SELECT CDREDUCONT || ' ' || COALESCE(CDCONTCORR, '') FROM CONTCORR WHERE CDREDUCONT = ?")));
    int withSeries = 0;
    for (size_t i = 0; i < curve.Rows.size(); ++i) {
        q.addBindValue(at(i, "NRLANBOLREC").toString());
        ASSERT_TRUE(q.exec() && q.next());
        EXPECT_DOUBLE_EQ(at(i, "VRORIGREC").toDouble(), q.value(0).toDouble());
        const QDate due = QDate::fromString(q.value(1).toString().left(10), Qt::ISODate);
        EXPECT_DOUBLE_EQ(at(i, "DIAS").toDouble(), static_cast<double>(due.daysTo(QDate::currentDate())));
        EXPECT_TRUE(q.value(2).toString() == QStringLiteral("A") || q.value(2).toString() == QStringLiteral("D"));
        EXPECT_EQ(at(i, "NMEMPRESA").toString(), q.value(3).toString());
        EXPECT_EQ(at(i, "IDSTATBREC").toString(), q.value(2).toString());
        EXPECT_EQ(at(i, "IDSTATUS").toString(), q.value(2).toString());
        EXPECT_EQ(at(i, "NOTASERIE").isValid(), !q.value(4).isNull());
        EXPECT_EQ(at(i, "NOTASERIE").toString(), q.value(4).toString());
        withSeries += at(i, "NOTASERIE").toString().contains(QLatin1Char('/'));
        EXPECT_EQ(at(i, "IDCURVA").toString().trimmed(), QString());
        EXPECT_EQ(at(i, "SELEMPRESA").toString(), QStringLiteral("_01_"));
        EXPECT_EQ(at(i, "DATVENIN").toString(), QStringLiteral("01/01/2000"));
        EXPECT_EQ(at(i, "TSTATUS").toString(), QStringLiteral("Descontada, Em Aberto"));
        EXPECT_EQ(at(i, "UTLOPC").toString(), QStringLiteral("S"));
        EXPECT_EQ(at(i, "SELCLIENTE").toString(), QStringLiteral("Todos"));
        q.finish();
    }
    EXPECT_GT(withSeries, 0);
    // Settled rows show their settlement and, where it has one, its bank account.
    TAbcCriteria b;
    b.StatusWord = QStringLiteral("B");
    b.StatusAll.clear();
    const TDataPacket settled = packet(QStringLiteral("GetCurvaABC"), b.Curve());
    const int nr = settled.FieldIndex(QStringLiteral("NRBAIXAREC")), bank = settled.FieldIndex(QStringLiteral("NMBANCO"));
    const size_t reduced = static_cast<size_t>(settled.FieldIndex(QStringLiteral("CDREDUCONT"))),
                 shown = static_cast<size_t>(settled.FieldIndex(QStringLiteral("REDUZIDO")));
    int withBank = 0;
    for (const TRecord &r : settled.Rows) {
        EXPECT_FALSE(r[static_cast<size_t>(nr)].toString().isEmpty());
        withBank += r[static_cast<size_t>(bank)].toString().isEmpty() ? 0 : 1;
        // The account as the report shows it: its short code, a space and its number.
        if (!r[reduced].isValid()) {
            EXPECT_FALSE(r[shown].isValid());
            continue;
        }
        account.addBindValue(r[reduced].toString());
        ASSERT_TRUE(account.exec() && account.next());
        EXPECT_EQ(r[shown].toString(), account.value(0).toString());
        account.finish();
    }
    EXPECT_GT(withBank, 0);
}

// The curve and the totals cover only the companies of the logged-in operator,
// whether the call asks for all companies or names others.
TEST_P(AbcServer, TotalsComeFromTheLastCurveOnlyForItsFilterAndUnchangedData)
{
    using TTotals = std::vector<std::pair<QString, double>>;
    // Each company's last running total in the curve, in the curve's order.
    auto lastOfCurve = [](const TDataPacket &curve) {
        TTotals out;
        const size_t emp = static_cast<size_t>(curve.FieldIndex(QStringLiteral("CDEMPRESA"))),
                     run = static_cast<size_t>(curve.FieldIndex(QStringLiteral("VRATUAREC")));
        for (const TRecord &r : curve.Rows) {
            if (out.empty() || out.back().first != r[emp].toString())
                out.emplace_back(r[emp].toString(), 0);
            out.back().second = r[run].toDouble();
        }
        return out;
    };
    auto totalsOf = [](const TDataPacket &p) {
        TTotals out;
        for (const TRecord &r : p.Rows)
            out.emplace_back(r[0].toString(), r[1].toDouble());
        return out;
    };
    auto fromCurve = [&] { return m_server->Log().count(QStringLiteral("GetTotal ")) - m_server->Log().count(QStringLiteral("totais da última curva")); };
    auto answeredFromCurve = [&] { return m_server->Log().count(QStringLiteral("totais da última curva")); };

    TAbcCriteria c;
    c.Valor1 = 2000;
    const TDataPacket curve = packet(QStringLiteral("GetCurvaABC"), c.Curve());
    ASSERT_GE(lastOfCurve(curve).size(), 2u);
    // Same filter, data untouched: the curve's own totals, to the last digit, again on a second call.
    EXPECT_EQ(totalsOf(packet(QStringLiteral("GetTotal"), c.Total(true))), lastOfCurve(curve));
    EXPECT_EQ(totalsOf(packet(QStringLiteral("GetTotal"), c.Total(false))), lastOfCurve(curve));
    EXPECT_EQ(answeredFromCurve(), 2);
    EXPECT_EQ(fromCurve(), 0);

    // The 47th value drops the amount range: another filter, so the statement answers,
    // with the totals of the curve without the range.
    QVariantList dropped = c.Total(true);
    dropped[46] = true;
    const TTotals unranged = totalsOf(packet(QStringLiteral("GetTotal"), dropped));
    EXPECT_EQ(fromCurve(), 1);
    TAbcCriteria open = c;
    open.Valor1 = 0;
    const TDataPacket openCurve = packet(QStringLiteral("GetCurvaABC"), open.Curve());
    EXPECT_EQ(unranged, lastOfCurve(openCurve));
    EXPECT_NE(unranged, lastOfCurve(curve));

    // Another connection changes a receivable after the curve: the totals see the change.
    RunStatement(m_direct.Database(),
                 QStringLiteral("UPDATE CONTARECEBER SET VRATUAREC = VRATUAREC + 1000 WHERE NRLANCTOREC = (SELECT MIN(NRLANCTOREC) FROM CONTARECEBER)"), {},
                 QStringLiteral("teste"));
    const TTotals changed = totalsOf(packet(QStringLiteral("GetTotal"), open.Total(false)));
    EXPECT_EQ(fromCurve(), 2);
    EXPECT_NE(changed, lastOfCurve(openCurve));
    EXPECT_EQ(changed, lastOfCurve(packet(QStringLiteral("GetCurvaABC"), open.Curve())));

    // A curve that fails forgets the totals of the one before.
    TAbcRequest bad = open.Request();
    bad.Emissao.From = QStringLiteral("31/02/2025");
    EXPECT_TRUE(IsRemoteFailure(call(QStringLiteral("GetCurvaABC"), bad.CurveArgs())));
    EXPECT_EQ(totalsOf(packet(QStringLiteral("GetTotal"), open.Total(false))), changed);
    EXPECT_EQ(fromCurve(), 3);

    // Another operator on another connection runs the statement for its own companies.
    TNetConnection other(QStringLiteral("netOutra"));
    other.ServerName = QLatin1String(kServerObject);
    other.Host = QStringLiteral("127.0.0.1");
    other.Port = m_server->Port();
    other.Operator = QStringLiteral("MARIA");
    other.Password = DemoPassword(other.Operator);
    const QVariant r = other.Call(QStringLiteral("GetTotal"), [&] {
        std::vector<TCallArg> wire;
        for (const QVariant &v : open.Total(false))
            wire.emplace_back(v);
        return wire;
    }());
    ASSERT_FALSE(IsRemoteFailure(r));
    TTotals maria;
    for (const auto &t : changed)
        if (t.first == QStringLiteral("01") || t.first == QStringLiteral("03"))
            maria.push_back(t);
    EXPECT_EQ(totalsOf(TDataPacket::Decode(r.toByteArray())), maria);
    EXPECT_EQ(fromCurve(), 4);

    // On PostgreSQL only the tables the totals read count: a commit to another table leaves
    // the curve's totals standing; a change the curve's snapshot did not see, committed
    // afterwards by a transaction open meanwhile, does not.
    if (GetParam() != TBackend::PostgreSQL)
        return;
    const TDataPacket last = packet(QStringLiteral("GetCurvaABC"), open.Curve());
    RunStatement(m_direct.Database(), QStringLiteral("UPDATE PARAMGERALREC SET VRPECURVAA = VRPECURVAA"), {}, QStringLiteral("teste"));
    EXPECT_EQ(totalsOf(packet(QStringLiteral("GetTotal"), open.Total(false))), lastOfCurve(last));
    EXPECT_EQ(answeredFromCurve(), 3);
    EXPECT_EQ(fromCurve(), 4);
    TdtmDBGeral writer;
    writer.Open(m_db->Target());
    {
        TTransaction tx(writer.Database());
        RunStatement(writer.Database(), QStringLiteral("UPDATE CONTARECEBER SET VRATUAREC = VRATUAREC - 500 WHERE NRLANCTOREC = (SELECT MAX(NRLANCTOREC) FROM CONTARECEBER)"),
                     {}, QStringLiteral("teste"));
        packet(QStringLiteral("GetCurvaABC"), open.Curve());
        tx.Commit();
    }
    const TTotals after = totalsOf(packet(QStringLiteral("GetTotal"), open.Total(false)));
    EXPECT_EQ(fromCurve(), 5);
    EXPECT_EQ(after, lastOfCurve(packet(QStringLiteral("GetCurvaABC"), open.Curve())));
    EXPECT_NE(after, lastOfCurve(last));
}

TEST_P(AbcServer, CurveAndTotalsKeepToTheOperatorsCompanies)
{
    m_net->Operator = QStringLiteral("MARIA");
    m_net->Password = DemoPassword(m_net->Operator);
    auto companiesOf = [](const TDataPacket &p) {
        QStringList out;
        const int col = p.FieldIndex(QStringLiteral("CDEMPRESA"));
        for (const TRecord &row : p.Rows)
            if (!out.contains(row[static_cast<size_t>(col)].toString()))
                out << row[static_cast<size_t>(col)].toString();
        return out;
    };
    const QStringList mine = {QStringLiteral("01"), QStringLiteral("03")};
    const int ownRows = QueryInt(m_db->Target(), QStringLiteral("SELECT count(*) FROM CONTARECEBER WHERE CDEMPRESA IN ('01', '03')"));
    ASSERT_GT(ownRows, 0);
    ASSERT_LT(ownRows, QueryInt(m_db->Target(), QStringLiteral("SELECT count(*) FROM CONTARECEBER")));

    TAbcCriteria all; // company flag "T"
    const TDataPacket curve = packet(QStringLiteral("GetCurvaABC"), all.Curve());
    EXPECT_EQ(companiesOf(curve), mine);
    EXPECT_EQ(static_cast<int>(curve.Rows.size()), ownRows);
    EXPECT_EQ(companiesOf(packet(QStringLiteral("GetTotal"), all.Total(false))), mine);

    TAbcCriteria others;
    others.Empresas = QStringLiteral("_01__02__05_");
    others.TEmpresas.clear();
    EXPECT_EQ(companiesOf(packet(QStringLiteral("GetCurvaABC"), others.Curve())), QStringList{QStringLiteral("01")});
    EXPECT_EQ(companiesOf(packet(QStringLiteral("GetTotal"), others.Total(true))), QStringList{QStringLiteral("01")});

    // An operator without companies gets no rows at all.
    m_net->Close();
    m_net->Operator = QStringLiteral("CAIXA");
    m_net->Password = DemoPassword(m_net->Operator);
    EXPECT_TRUE(packet(QStringLiteral("GetCurvaABC"), all.Curve()).Rows.empty());
    EXPECT_TRUE(packet(QStringLiteral("GetTotal"), all.Total(false)).Rows.empty());
}

// The names of company, branch, account type, account and bank in each row are those
// the joined tables give, also where a reference has no row behind it.
TEST_P(AbcServer, EachRowCarriesTheNamesItsReferencesJoinEvenWhereOneIsMissing)
{
    const bool pg = GetParam() == TBackend::PostgreSQL;
    {
        QSqlQuery q(m_direct.Database());
        const auto run = [&](const QString &sql) { ASSERT_TRUE(q.exec(sql)) << sql.toStdString() << ": " << q.lastError().text().toStdString(); };
        // References are not checked while they are broken on purpose.
        run(pg ? QStringLiteral("SET session_replication_role = replica") : QStringLiteral("PRAGMA foreign_keys = OFF"));
        // A branch without its row, a settlement's account without its row, an account whose
        // bank has no row, an account type and a company without theirs.
        run(QStringLiteral("UPDATE CONTARECEBER SET CDFILIAL = '9999' WHERE NRLANCTOREC IN (SELECT NRLANCTOREC FROM CONTARECEBER ORDER BY NRLANCTOREC LIMIT 7)"));
        run(QStringLiteral("UPDATE BAIXAREC SET CDREDUCONT = 'ZZZ' WHERE NRBAIXAREC IN (SELECT NRBAIXAREC FROM BAIXAREC WHERE CDREDUCONT IS NOT NULL "
                           "ORDER BY NRBAIXAREC LIMIT 9)"));
        run(QStringLiteral("UPDATE CONTCORR SET CDBANCO = '999' WHERE CDREDUCONT = (SELECT MIN(CDREDUCONT) FROM BAIXAREC WHERE CDREDUCONT <> 'ZZZ')"));
        run(QStringLiteral("UPDATE CONTARECEBER SET CDTPCTRECEB = 'ZZZZZZ' WHERE NRLANCTOREC IN (SELECT NRLANCTOREC FROM CONTARECEBER "
                           "ORDER BY NRLANCTOREC DESC LIMIT 5)"));
        run(QStringLiteral("INSERT INTO OPEREMPRESA (CDOPERADOR, CDEMPRESA) VALUES ('ADMIN', '99')"));
        run(QStringLiteral("UPDATE CONTARECEBER SET CDEMPRESA = '99' WHERE NRLANCTOREC IN (SELECT NRLANCTOREC FROM CONTARECEBER "
                           "ORDER BY NRLANCTOREC LIMIT 4 OFFSET 20)"));
        run(pg ? QStringLiteral("SET session_replication_role = origin") : QStringLiteral("PRAGMA foreign_keys = ON"));
    }
    // The rows as the joins give them, the latest settlement found by ordering.
    const QStringList names = {QStringLiteral("NMFILIAL"),  QStringLiteral("NMEMPRESA"), QStringLiteral("DSTPCTRECEB"), QStringLiteral("CDBANCO"),
                               QStringLiteral("NMBANCO"),   QStringLiteral("CDPICTCONT"), QStringLiteral("CDAGENCIA"), QStringLiteral("CDCONTCORR"),
                               QStringLiteral("NMAGENCIA"), QStringLiteral("DSCONTCORR"), QStringLiteral("CDREDUCONT"), QStringLiteral("REDUZIDO")};
    std::map<QString, QStringList> expected;
    std::map<QString, double> sums;
    {
        QSqlQuery q(m_direct.Database());
        ASSERT_TRUE(q.exec(QStringLiteral(
            "SELECT R.NRLANBOLREC, F.NMFILIAL, E.NMEMPRESA, T.DSTPCTRECEB, BC.CDBANCO, BC.NMBANCO, BC.CDPICTCONT, CC.CDAGENCIA, CC.CDCONTCORR, "
            "CC.NMAGENCIA, CC.DSCONTCORR, CC.CDREDUCONT, CC.CDREDUCONT || ' ' || COALESCE(CC.CDCONTCORR, ''), R.CDEMPRESA, R.VRATUAREC "
            "FROM CONTARECEBER R JOIN CLIENTE C ON C.CDCLIENTE = R.CDCLIENTE JOIN EMPRESA E ON E.CDEMPRESA = R.CDEMPRESA "
            "JOIN TIPOCTRECEBER T ON T.CDTPCTRECEB = R.CDTPCTRECEB LEFT JOIN FILIAL F ON F.CDFILIAL = R.CDFILIAL "
            "LEFT JOIN BAIXAREC B ON B.NRBAIXAREC = (SELECT X.NRBAIXAREC FROM BAIXAREC X WHERE X.NRLANCTOREC = R.NRLANCTOREC "
            "ORDER BY X.DTBAIXAREC DESC, X.NRBAIXAREC DESC LIMIT 1) "
            "LEFT JOIN CONTCORR CC ON CC.CDREDUCONT = B.CDREDUCONT LEFT JOIN BANCO BC ON BC.CDBANCO = CC.CDBANCO "
            "WHERE R.CDEMPRESA IN (SELECT CDEMPRESA FROM OPEREMPRESA WHERE CDOPERADOR = 'ADMIN')")))
            << q.lastError().text().toStdString();
        while (q.next()) {
            QStringList row;
            for (int c = 1; c <= names.size(); ++c)
                row << (q.value(c).isNull() ? QStringLiteral("<null>") : q.value(c).toString());
            ASSERT_TRUE(expected.emplace(q.value(0).toString(), row).second) << "a document number twice: " << q.value(0).toString().toStdString();
            sums[q.value(13).toString()] += q.value(14).toDouble();
        }
    }
    const int all = QueryInt(m_db->Target(), QStringLiteral("SELECT count(*) FROM CONTARECEBER"));
    ASSERT_EQ(static_cast<int>(expected.size()), all - 5 - 4) << "the rows without account type or company are left out";
    const auto count = [&](int column, const QString &value) {
        return std::count_if(expected.begin(), expected.end(), [&](const auto &e) { return e.second[column] == value; });
    };
    ASSERT_EQ(count(0, QStringLiteral("<null>")), 7);
    ASSERT_GT(count(3, QStringLiteral("<null>")), count(10, QStringLiteral("<null>"))) << "no account without its bank";

    // GetTotal first runs its own statement, then the curve, whose rows must be those above.
    TAbcCriteria c;
    const TDataPacket totals = packet(QStringLiteral("GetTotal"), c.Total(false));
    ASSERT_EQ(totals.Rows.size(), sums.size());
    for (const TRecord &row : totals.Rows)
        EXPECT_NEAR(row[1].toDouble(), sums[row[0].toString()], 1e-6) << row[0].toString().toStdString();
    const TDataPacket curve = packet(QStringLiteral("GetCurvaABC"), c.Curve());
    ASSERT_EQ(curve.Rows.size(), expected.size());
    const size_t doc = static_cast<size_t>(curve.FieldIndex(QStringLiteral("NRLANBOLREC")));
    std::vector<size_t> at;
    for (const QString &n : names)
        at.push_back(static_cast<size_t>(curve.FieldIndex(n)));
    for (const TRecord &row : curve.Rows) {
        const auto it = expected.find(row[doc].toString());
        ASSERT_NE(it, expected.end()) << row[doc].toString().toStdString();
        QStringList got;
        for (size_t f : at)
            got << (row[f].isValid() ? row[f].toString() : QStringLiteral("<null>"));
        EXPECT_EQ(got, it->second) << row[doc].toString().toStdString();
    }
}

TEST_P(AbcServer, BadArgumentsFailNamingTheArgument)
{
    TAbcCriteria c;
    c.VencIni = QStringLiteral("31/02/2024");
    QVariant r = call(QStringLiteral("GetCurvaABC"), c.Curve());
    ASSERT_TRUE(IsRemoteFailure(r));
    QString m = ToRemoteFailure(r).Message;
    EXPECT_TRUE(m.contains(QStringLiteral("GetCurvaABC")) && m.contains(QStringLiteral("argumento 38")) && m.contains(QStringLiteral("vencimento")))
        << m.toStdString();
    // In GetTotal the same date travels as its 35th value.
    r = call(QStringLiteral("GetTotal"), c.Total(false));
    ASSERT_TRUE(IsRemoteFailure(r));
    m = ToRemoteFailure(r).Message;
    EXPECT_TRUE(m.contains(QStringLiteral("argumento 35"))) << m.toStdString();

    TAbcCriteria settle;
    settle.BaixaFin = QStringLiteral("2024-01-31");
    m = ToRemoteFailure(call(QStringLiteral("GetCurvaABC"), settle.Curve())).Message;
    EXPECT_TRUE(m.contains(QStringLiteral("argumento 43")) && m.contains(QStringLiteral("baixa"))) << m.toStdString();
    TAbcCriteria status;
    status.StatusWord = QStringLiteral("B_X");
    status.StatusAll.clear();
    EXPECT_TRUE(ToRemoteFailure(call(QStringLiteral("GetCurvaABC"), status.Curve())).Message.contains(QStringLiteral("argumento 15")));

    // Wrong counts and kinds are refused before anything runs.
    QVariantList total = TAbcCriteria().Total(true);
    total.removeLast();
    EXPECT_TRUE(IsRemoteFailure(call(QStringLiteral("GetTotal"), total)));
    QVariantList curve = TAbcCriteria().Curve();
    curve[20] = QStringLiteral("0");
    m = ToRemoteFailure(call(QStringLiteral("GetCurvaABC"), curve)).Message;
    EXPECT_TRUE(m.contains(QStringLiteral("argumento 21"))) << m.toStdString();
    QVariantList boolean = TAbcCriteria().Total(false);
    boolean[46] = QStringLiteral("T");
    EXPECT_TRUE(IsRemoteFailure(call(QStringLiteral("GetTotal"), boolean)));
    // Hostile text in a list is only text.
    TAbcCriteria hostile;
    hostile.Clientes = QStringLiteral("_000001_'); DELETE FROM CONTARECEBER; --");
    hostile.TClientes.clear();
    packet(QStringLiteral("GetCurvaABC"), hostile.Curve());
    EXPECT_GT(QueryInt(m_db->Target(), QStringLiteral("SELECT count(*) FROM CONTARECEBER")), 0);
}

namespace {
// A client on a plain socket that takes at most a few kilobytes at a time.
class TSlowReader {
public:
    explicit TSlowReader(int port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        int small = 2048;
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<quint16>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    }
    ~TSlowReader() { ::close(m_fd); }
    bool Connected() const { return m_connected; }
    void Send(const QString &method, const QVariantList &args)
    {
        Wire::Request r;
        r.Object = QLatin1String(kServerObject);
        r.Method = method;
        r.Args = args;
        r.ByRef = QList<bool>(args.size(), false);
        const QByteArray frame = Wire::Frame(Wire::EncodeRequest(r));
        ASSERT_EQ(::send(m_fd, frame.constData(), static_cast<size_t>(frame.size()), MSG_NOSIGNAL), frame.size());
    }
    // Logs in as ADMIN, asks for pieces and asks for the curve: the reply's first 4 bytes.
    QByteArray StartCurve(const QVariantList &args)
    {
        Send(QStringLiteral("Login"), {QStringLiteral("ADMIN"), DemoPassword(QStringLiteral("ADMIN"))});
        EXPECT_TRUE(Reply().Ok);
        Send(QLatin1String(Wire::kPiecesMethod), {});
        EXPECT_TRUE(Reply().Ok);
        Send(QStringLiteral("GetCurvaABC"), args);
        return Read(4);
    }
    // The whole reply to the last request.
    Wire::Reply Reply()
    {
        TReplyReader reader(false);
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                ADD_FAILURE() << "the server closed the connection";
                return {};
            }
            const auto status = reader.Append(QByteArray(buffer, static_cast<qsizetype>(n)));
            if (status == TReplyReader::Status::Done)
                return reader.TakeReply();
            if (status != TReplyReader::Status::NeedMore) {
                ADD_FAILURE() << reader.Error().toStdString();
                return {};
            }
        }
    }
    QByteArray Read(qsizetype n)
    {
        QByteArray out(n, '\0');
        qsizetype got = 0;
        while (got < n) {
            const ssize_t k = ::recv(m_fd, out.data() + got, static_cast<size_t>(n - got), 0);
            if (k <= 0)
                break;
            got += k;
        }
        out.truncate(got);
        return out;
    }
    // Reads on until the server closes the connection; false when it stays open past the time.
    bool ClosedWithin(int ms)
    {
        timeval t{ms / 1000, (ms % 1000) * 1000};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n == 0 || (n < 0 && errno == ECONNRESET))
                return true;
            if (n < 0)
                return false;
        }
    }

private:
    int m_fd = -1;
    bool m_connected = false;
};
} // namespace

TEST_P(AbcServer, ALargeCurveLeavesWhileItIsReadAndAClientThatStopsTakingItIsLetGo)
{
    // Pieces of 4 KB, so that this curve of 600 receivables leaves in many of them.
    TServerProcess server(m_db->Target(), 0, {QStringLiteral("--piece-bytes"), QStringLiteral("4096"), QStringLiteral("--send-timeout"), QStringLiteral("500")});
    const auto connect = [&](bool pieces) {
        auto net = std::make_unique<TNetConnection>(QStringLiteral("netRelLancContReceber"));
        net->ServerName = QLatin1String(kServerObject);
        net->Host = QStringLiteral("127.0.0.1");
        net->Port = server.Port();
        net->Operator = QStringLiteral("ADMIN");
        net->Password = DemoPassword(net->Operator);
        net->AcceptPieces = pieces;
        return net;
    };
    const auto args = [](const QVariantList &values) {
        std::vector<TCallArg> wire;
        for (const QVariant &v : values)
            wire.emplace_back(v);
        return wire;
    };
    const std::unique_ptr<TNetConnection> inPieces = connect(true), inOneFrame = connect(false);
    TAbcCriteria all;
    const QVariant whole = inOneFrame->Call(QStringLiteral("GetCurvaABC"), args(all.Curve()));
    ASSERT_EQ(whole.typeId(), QMetaType::QByteArray) << (IsRemoteFailure(whole) ? ToRemoteFailure(whole).Message.toStdString() : "");
    const QByteArray bytes = whole.toByteArray();
    ASSERT_GT(bytes.size(), 20 * 4096);
    // The same packet to the byte, as bytes and as rows.
    EXPECT_EQ(inPieces->Call(QStringLiteral("GetCurvaABC"), args(all.Curve())).toByteArray(), bytes);
    const QVariant rows = inPieces->CallForRows(QStringLiteral("GetCurvaABC"), args(all.Curve()));
    ASSERT_EQ(rows.metaType(), QMetaType::fromType<TReceivedPacket>()) << rows.typeName();
    const TReceivedPacket received = rows.value<TReceivedPacket>();
    EXPECT_EQ(received.Bytes, bytes.size());
    EXPECT_EQ(received.Packet->Encode(), bytes);
    ASSERT_EQ(qint64(received.Packet->Rows.size()), QueryInt(m_db->Target(), QStringLiteral("SELECT count(*) FROM CONTARECEBER")));
    // The connection stays in step, and the totals come from the curve it sent.
    const QVariant totals = inPieces->Call(QStringLiteral("GetTotal"), args(all.Total(true)));
    ASSERT_EQ(totals.typeId(), QMetaType::QByteArray);
    EXPECT_EQ(totals.toByteArray(), inOneFrame->Call(QStringLiteral("GetTotal"), args(all.Total(true))).toByteArray());
    EXPECT_EQ(server.Log().count(QStringLiteral("GetCurvaABC ")), 3);
    EXPECT_EQ(server.Log().count(QStringLiteral(" rows=%1 ok").arg(received.Packet->Rows.size())), 3) << server.Log().toStdString();

    // A client that stops reading: the server waits the send timeout, then lets it go and serves others.
    if (GetParam() != TBackend::SQLite)
        return; // the same socket code on either database
    TTestDatabase large(TBackend::SQLite, 40000);
    TServerProcess stalled(large.Target(), 0, {QStringLiteral("--send-timeout"), QStringLiteral("500")});
    TSlowReader slow(stalled.Port());
    ASSERT_TRUE(slow.Connected());
    EXPECT_EQ(slow.StartCurve(all.Curve()), Wire::PieceLength(Wire::kPiecesMark)) << "the curve did not start in pieces";
    for (int i = 0; i < 200 && !stalled.Log().contains(QStringLiteral("conexão perdida ao enviar a resposta")); ++i)
        QThread::msleep(50);
    EXPECT_TRUE(stalled.Log().contains(QStringLiteral("o cliente não recebeu a resposta em 0.5 s"))) << stalled.Log().toStdString();
    EXPECT_TRUE(slow.ClosedWithin(10000)) << "the stalled connection stayed open";
    const QRegularExpression failedCall(QStringLiteral("GetCurvaABC [0-9.]+ ms rows=0 falha"));
    EXPECT_TRUE(failedCall.match(stalled.Log()).hasMatch()) << stalled.Log().toStdString();
    m_net->Port = stalled.Port();
    const QVariant after = m_net->CallForRows(QStringLiteral("GetPercentual"));
    EXPECT_FALSE(IsRemoteFailure(after));

    // Stopping the server does not wait out a long send timeout for such a client.
    TServerProcess patient(large.Target(), 0, {QStringLiteral("--send-timeout"), QStringLiteral("600000")});
    TSlowReader stuck(patient.Port());
    ASSERT_TRUE(stuck.Connected());
    ASSERT_EQ(stuck.StartCurve(all.Curve()), Wire::PieceLength(Wire::kPiecesMark));
    QThread::msleep(300);
    QElapsedTimer stopping;
    stopping.start();
    patient.Stop();
    EXPECT_LT(stopping.elapsed(), 5000);
    EXPECT_EQ(patient.LastExitCode(), 0);
    EXPECT_TRUE(patient.Log().contains(QStringLiteral("o servidor está encerrando"))) << patient.Log().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Backends, AbcServer, ::testing::Values(TBackend::SQLite, TBackend::PostgreSQL),
                         [](const auto &info) { return BackendName(info.param).toStdString(); });
