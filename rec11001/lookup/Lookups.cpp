#include "lookup/Lookups.h"
#include <QRegularExpression>

QString DeriveMssql(const QString &sql)
{
    QString out = sql;
    out.replace(QStringLiteral(" || "), QStringLiteral(" + "));
    static const QRegularExpression instr(QStringLiteral(R"(INSTR\(\s*(:\w+)\s*,\s*([\w.]+)\s*\))"));
    out.replace(instr, QStringLiteral("CHARINDEX(\\2, \\1)"));
    return out;
}

QString DeriveInterBase(const QString &sql, const QVector<TListAlias> &aliases)
{
    if (aliases.isEmpty())
        return sql;
    QString out = sql;
    QString joins;
    for (const TListAlias &a : aliases) {
        joins += QStringLiteral(", PARAM(:%1) %2").arg(a.Param, a.Alias);
        const QRegularExpression instr(QStringLiteral(R"(INSTR\(\s*:%1\s*,)").arg(a.Param));
        out.replace(instr, QStringLiteral("INSTR(%1.PARAM,").arg(a.Alias));
    }
    const qsizetype where = out.indexOf(QStringLiteral(" WHERE "));
    out.insert(where < 0 ? out.size() : where, joins);
    return out;
}

void Reopen(TADOIBQuery &query, std::initializer_list<std::pair<const char *, std::optional<QString>>> values)
{
    query.Close();
    for (const auto &[name, value] : values) {
        TParam &p = query.ParamByName(QLatin1String(name));
        if (value)
            p.SetAsString(*value);
        else
            p.Clear();
    }
    query.Open();
}

QStringList StatementLines(const QString &sql)
{
    QStringList lines;
    QString rest = sql;
    static const QRegularExpression keyword(QStringLiteral(R"(\s+(?=(?:FROM|WHERE|ORDER BY|AND)\s))"));
    const QStringList parts = rest.split(keyword);
    for (const QString &part : parts) {
        if (part.startsWith(QStringLiteral("SELECT "))) {
            // One select item per line.
            const QStringList items = part.mid(7).split(QStringLiteral(", "));
            for (qsizetype i = 0; i < items.size(); ++i)
                lines << (i == 0 ? QStringLiteral("SELECT ") : QStringLiteral("       ")) + items[i] + (i + 1 < items.size() ? QStringLiteral(",") : QString());
        } else {
            lines << part;
        }
    }
    return lines;
}

void SetStatements(TADOIBQuery &query, const QString &sql, const QVector<TListAlias> &aliases)
{
    query.SetSQL(0, StatementLines(sql));
    query.SetSQL(1, StatementLines(sql));
    query.SetSQL(2, StatementLines(DeriveMssql(sql)));
    query.SetSQL(3, StatementLines(DeriveInterBase(sql, aliases)));
}

namespace {
using FieldDef = TLookupField;
constexpr auto S = TFieldType::String;
constexpr auto FX = TFieldType::FixedChar;
constexpr auto FL = TFieldType::Float;
constexpr auto DT = TFieldType::DateTime;

void addFields(TDataSet &ds, std::initializer_list<FieldDef> defs)
{
    for (const FieldDef &d : defs) {
        TField &f = ds.AddField(QString::fromLatin1(d.Name), d.Type, d.Size);
        f.DisplayLabel = QString::fromUtf8(d.Label);
        f.Visible = d.Visible;
        f.Required = d.Required;
        f.DisplayWidth = d.DisplayWidth;
    }
}
} // namespace

TADOIBQuery *CreateQuery(QObject *owner, const char *name, const QString &sql, const QVector<TListAlias> &aliases,
                         std::initializer_list<std::pair<const char *, TParamType>> params, std::initializer_list<TLookupField> fields)
{
    auto *q = new TADOIBQuery(QString::fromLatin1(name), owner);
    SetStatements(*q, sql, aliases);
    for (const auto &[p, t] : params)
        q->Params().CreateParam(t, QString::fromLatin1(p));
    addFields(q->Query(), fields);
    return q;
}

namespace {
TClientDataSet *cds(QObject *owner, const char *name, std::initializer_list<FieldDef> fields)
{
    auto *d = new TClientDataSet(QString::fromLatin1(name), owner);
    addFields(*d, fields);
    return d;
}

constexpr auto STR = TParamType::String;
const char *const kClientSql =
    "SELECT CLI.CDCLIENTE, CLI.NMFANTCLIE, CLI.NMRAZSOCCLIE, CLI.NRINSJURCLIE, CLI.IDTPIJURCLIE FROM CLIENTE CLI "
    "WHERE ((INSTR(:P_CLIENTE , CLI.CDCLIENTE)<> 0) OR (:TCLIENTE = 'T')) ORDER BY CLI.NRINSJURCLIE";
} // namespace

void TLookupData::CreateLookups(QObject *owner)
{
    qryEmpresa = CreateQuery(owner, "qryEmpresa",
                       QStringLiteral("SELECT CDEMPRESA, NMEMPRESA, CDEMPRESA || ' ' || NMEMPRESA as NOME FROM EMPRESA "
                                      "WHERE (INSTR(:CODEMPRESA, CDEMPRESA)<>0 OR :TCODEMPRESA = 'T') ORDER BY CDEMPRESA"),
                       {{QStringLiteral("CODEMPRESA"), QStringLiteral("CODEMPRESA")}}, {{"CODEMPRESA", STR}, {"TCODEMPRESA", STR}},
                       {{"CDEMPRESA", S, 2, "Código", true, true, 0}, {"NMEMPRESA", S, 40, "Nome", true, false, 0}, {"NOME", S, 43, "", false, false, 0}});
    qryTipoConta1 = CreateQuery(owner, "qryTipoConta1",
                          QStringLiteral("SELECT CDTPCTRECEB, DSTPCTRECEB, CDTPCTRECEB || ' ' || DSTPCTRECEB AS NOME FROM TIPOCTRECEBER "
                                         "WHERE (INSTR(:TIPOCONTA, CDTPCTRECEB)<>0 OR (:TTIPOCONTA = 'T')) ORDER BY CDTPCTRECEB"),
                          {{QStringLiteral("TIPOCONTA"), QStringLiteral("TIPOCONTA")}}, {{"TIPOCONTA", STR}, {"TTIPOCONTA", STR}},
                          {{"CDTPCTRECEB", S, 6, "Código", true, true, 8}, {"DSTPCTRECEB", S, 40, "Descrição", true, false, 0},
                           {"NOME", S, 47, "", false, false, 0}});
    qryClassFinanc1 = CreateQuery(owner, "qryClassFinanc1",
                            QStringLiteral("SELECT CDCLASSFINA, DSCLASSFINA, CDCLASSFINA || ' ' || DSCLASSFINA as NOME FROM CLASSFINANC CL "
                                           "WHERE (INSTR(:P_CDCLASSFINA , CDCLASSFINA )<>0 OR :P_TCDCLASSFINA = 'T') ORDER BY CDCLASSFINA"),
                            {{QStringLiteral("P_CDCLASSFINA"), QStringLiteral("CDCLASSFINA")}}, {{"P_CDCLASSFINA", STR}, {"P_TCDCLASSFINA", STR}},
                            {{"CDCLASSFINA", S, 6, "Código", true, true, 8}, {"DSCLASSFINA", S, 30, "Descrição", true, false, 40},
                             {"NOME", S, 37, "", false, false, 0}});
    qryFilial = CreateQuery(owner, "qryFilial",
                      QStringLiteral("SELECT CDFILIAL, NMFILIAL, CDFILIAL || ' ' || NMFILIAL AS NOME FROM FILIAL "
                                     "WHERE ((INSTR(:P_CDFILIAL, CDFILIAL) <> 0) OR (:P_TODOS = 'T')) ORDER BY CDFILIAL"),
                      {{QStringLiteral("P_CDFILIAL"), QStringLiteral("P_CDFILIAL")}}, {{"P_CDFILIAL", STR}, {"P_TODOS", STR}},
                      {{"CDFILIAL", S, 4, "Código", true, true, 0}, {"NMFILIAL", S, 30, "Nome", true, false, 0}, {"NOME", S, 35, "", false, false, 0}});
    qryFormaRec = CreateQuery(owner, "qryFormaRec",
                        QStringLiteral("SELECT CDTPBAIXAREC, NMTPBAIXAREC, CDTPBAIXAREC || ' ' || NMTPBAIXAREC AS FORMA FROM TIPOBAIXAREC "
                                       "WHERE (INSTR(:P_CODIGO, CDTPBAIXAREC) <> 0 OR :P_TCODIGO = 'T')"),
                        {{QStringLiteral("P_CODIGO"), QStringLiteral("P_CODIGO")}}, {{"P_CODIGO", STR}, {"P_TCODIGO", STR}},
                        {{"CDTPBAIXAREC", S, 2, "Código", true, true, 0}, {"NMTPBAIXAREC", S, 50, "Nome", true, false, 0},
                         {"FORMA", S, 53, "", false, false, 0}});
    qryContCorr = CreateQuery(owner, "qryContCorr",
                        QStringLiteral("SELECT CC.CDREDUCONT, CC.CDBANCO, CC.CDAGENCIA, CC.CDCONTCORR, BC.CDPICTCONT, CC.DSCONTCORR, BC.CDPICTAGEN "
                                       "FROM CONTCORR CC, BANCO BC WHERE (CC.CDBANCO = BC.CDBANCO) AND "
                                       "((INSTR(:P_CDREDUCONT, CDREDUCONT) <> 0) OR (:P_TCDREDUCONT = 'T')) ORDER BY CC.CDREDUCONT"),
                        {{QStringLiteral("P_CDREDUCONT"), QStringLiteral("CDREDUCONT")}}, {{"P_CDREDUCONT", STR}, {"P_TCDREDUCONT", STR}},
                        {{"CDREDUCONT", S, 3, "Código", true, true, 0},
                         {"CDBANCO", S, 3, "Banco", true, false, 0},
                         {"CDAGENCIA", S, 5, "Agencia", true, false, 0},
                         {"CDCONTCORR", S, 10, "Conta Corrente", true, false, 0},
                         {"CDPICTCONT", S, 20, "", false, false, 0},
                         {"DSCONTCORR", S, 20, "Descrição", true, false, 0},
                         {"CDPICTAGEN", S, 10, "", false, false, 0}});
    qryContCorr->FieldByName(QStringLiteral("CDAGENCIA")).EditMask = QStringLiteral("9999-9;0; ");
    qrySegMerc = CreateQuery(owner, "qrySegMerc", QStringLiteral("SELECT CDSEGMER, DSSEGMER FROM SEGMERCADO ORDER BY CDSEGMER"), {}, {},
                       {{"CDSEGMER", S, 5, "Código", true, true, 0}, {"DSSEGMER", S, 40, "Nome", true, false, 45}});
    qryGrupClie = CreateQuery(owner, "qryGrupClie", QStringLiteral("SELECT CDGRUPCLIE, NMGRUPCLIE FROM GRUPCLIE ORDER BY CDGRUPCLIE"), {}, {},
                        {{"CDGRUPCLIE", S, 10, "Código", true, false, 12}, {"NMGRUPCLIE", S, 50, "Nome", true, false, 0}});
    qryRegiao = CreateQuery(owner, "qryRegiao",
                      QStringLiteral("SELECT CDREGIAOPED, NMREGIAOPED FROM REGIAOPED "
                                     "WHERE ((INSTR(:P_CDREGIAOPED, CDREGIAOPED) <> 0) OR (:P_TODOS = 'T')) ORDER BY CDREGIAOPED"),
                      {{QStringLiteral("P_CDREGIAOPED"), QStringLiteral("P_CDREGIAOPED")}}, {{"P_CDREGIAOPED", STR}, {"P_TODOS", STR}},
                      {{"CDREGIAOPED", S, 3, "Código", true, false, 0}, {"NMREGIAOPED", S, 50, "Nome", true, false, 0}});
    qryVendedor = CreateQuery(owner, "qryVendedor",
                        QStringLiteral("SELECT CDVENDEDOR, NRINSJURVEN, NMRAZSOCVEN, NMFANVEN FROM VENDEDOR "
                                       "WHERE (:P_TCDVENDEDOR = 'T' OR INSTR(:P_CDVENDEDOR,CDVENDEDOR)<>0) ORDER BY CDVENDEDOR"),
                        {{QStringLiteral("P_CDVENDEDOR"), QStringLiteral("P_CDVENDEDOR")}},
                        {{"P_CDVENDEDOR", TParamType::Unknown}, {"P_TCDVENDEDOR", TParamType::Unknown}},
                        {{"CDVENDEDOR", S, 4, "Código", true, true, 0},
                         {"NRINSJURVEN", S, 20, "Inscrição", true, false, 0},
                         {"NMRAZSOCVEN", S, 50, "Razão Social", true, false, 0},
                         {"NMFANVEN", S, 50, "Nome", true, false, 0}});
    const std::initializer_list<FieldDef> clientFields = {{"NRINSJURCLIE", S, 20, "Inscrição", true, false, 0},
                                                          {"NMRAZSOCCLIE", S, 50, "Razão Social", true, false, 0},
                                                          {"NMFANTCLIE", S, 50, "Nome", true, false, 0},
                                                          {"CDCLIENTE", S, 21, "", false, false, 0},
                                                          {"IDTPIJURCLIE", S, 1, "", false, false, 0}};
    qryCliente1 = CreateQuery(owner, "qryCliente1", QString::fromLatin1(kClientSql), {{QStringLiteral("P_CLIENTE"), QStringLiteral("P_CLIENTE")}},
                        {{"P_CLIENTE", STR}, {"TCLIENTE", STR}}, clientFields);
    qryClienteAux = CreateQuery(owner, "qryClienteAux", QString::fromLatin1(kClientSql), {{QStringLiteral("P_CLIENTE"), QStringLiteral("P_CLIENTE")}},
                          {{"P_CLIENTE", STR}, {"TCLIENTE", STR}}, clientFields);
    qryClienteRegiao = CreateQuery(owner, "qryClienteRegiao",
                             QStringLiteral("SELECT CLI.CDCLIENTE, CLI.NMFANTCLIE, CLI.NMRAZSOCCLIE, CLI.NRINSJURCLIE, CLI.IDTPIJURCLIE, CLI.CDREGIAOPED "
                                            "FROM CLIENTE CLI, REGIAOPED REG WHERE ((INSTR(:CLIENTE, CLI.CDCLIENTE)<> 0) OR (:TCLIENTE = 'T')) "
                                            "AND (CLI.CDREGIAOPED = REG.CDREGIAOPED) AND ((INSTR(:P_CDREGIAOPED, CLI.CDREGIAOPED)<> 0) OR (:TREGIAO = 'T')) "
                                            "ORDER BY CLI.NRINSJURCLIE"),
                             {{QStringLiteral("CLIENTE"), QStringLiteral("P_CLIENTE")}, {QStringLiteral("P_CDREGIAOPED"), QStringLiteral("P_CDREGIAOPED")}},
                             {{"CLIENTE", STR}, {"P_CDREGIAOPED", STR}, {"TCLIENTE", STR}, {"TREGIAO", STR}},
                             {{"NRINSJURCLIE", S, 20, "Inscrição", true, false, 0},
                              {"NMRAZSOCCLIE", S, 50, "Razão Social", true, false, 0},
                              {"NMFANTCLIE", S, 50, "Nome", true, false, 0},
                              {"CDCLIENTE", S, 21, "", false, true, 0},
                              {"IDTPIJURCLIE", S, 1, "", false, false, 0},
                              {"CDREGIAOPED", S, 3, "", true, false, 0}});

    cdsDtVenc = cds(owner, "cdsDtVenc", {{"QTDIAANTLANR", FL, 0, "", true, false, 0}, {"CDGERALREC", S, 1, "", true, false, 0}, {"QTDIAAPOLANR", FL, 0, "", true, false, 0}});
    cdsParamGeralOrca = cds(owner, "cdsParamGeralOrca", {{"IDEXIBDADORC", FX, 1, "", true, false, 0}});
    cdsOpEmissao = cds(owner, "cdsOpEmissao",
                       {{"CDTELAPROG", S, 10, "", true, false, 0}, {"CDOPERADOR", S, 12, "", true, false, 0}, {"IDUTOPEMIFIN", S, 1, "", true, false, 0}});
    cdsHoraServidor = cds(owner, "cdsHoraServidor", {{"DTATUA", DT, 0, "", true, false, 0}});
    cdsFiliLanca = cds(owner, "cdsFiliLanca",
                       {{"IDMARCADO", FX, 1, "", true, false, 0}, {"CDFILIAL", S, 4, "Código", true, false, 0},
                        {"NMFILIAL", S, 30, "Nome", true, false, 0}, {"NOME", S, 35, "", false, false, 0}});
    cdsPercentual = cds(owner, "cdsPercentual",
                        {{"VRPECURVAA", FL, 0, "", true, false, 0}, {"VRPECURVAB", FL, 0, "", true, false, 0}, {"VRPECURVAC", FL, 0, "", true, false, 0}});
    cdsStatus = cds(owner, "cdsStatus", {{"STATUS", S, 10, "", true, false, 0}});
    qryTotal = cds(owner, "qryTotal", {{"CDEMPRESA", S, 2, "", true, false, 0}, {"SUMCRVRATUAREC", FL, 0, "", true, false, 0}});
    qryAtivClie = cds(owner, "qryAtivClie",
                      {{"IDMARCADO", FX, 1, "", true, false, 0}, {"CDARVATIVCLI", S, 20, "Código", true, false, 5},
                       {"DSATIVCLI", S, 50, "Descrição", true, false, 45}, {"CDATIVCLI", S, 5, "Código", false, false, 0}});
    qryAtivClie->FieldByName(QStringLiteral("CDARVATIVCLI")).Origin = QStringLiteral("DBQUARVEL.ATIVCLIENTE.CDARVATIVCLI");
    qryAtivClie->FieldByName(QStringLiteral("DSATIVCLI")).Origin = QStringLiteral("DBQUARVEL.ATIVCLIENTE.DSATIVCLI");
    qryCliente = cds(owner, "qryCliente",
                     {{"CDCLIENTE", S, 21, "", true, false, 0}, {"NMFANTCLIE", S, 50, "", true, false, 0}, {"NMRAZSOCCLIE", S, 100, "", true, false, 0},
                      {"NRINSJURCLIE", S, 20, "", true, false, 0}, {"IDTPIJURCLIE", S, 1, "", true, false, 0}});
    qryTipoConta = cds(owner, "qryTipoConta",
                       {{"CDTPCTRECEB", S, 6, "", true, false, 0}, {"DSTPCTRECEB", S, 40, "", true, false, 0}, {"NOME", S, 47, "", true, false, 0}});
    qryClassFinanc = cds(owner, "qryClassFinanc",
                         {{"CDCLASSFINA", S, 6, "", true, false, 0}, {"DSCLASSFINA", S, 30, "", true, false, 0}, {"NOME", S, 37, "", true, false, 0}});
    qryCurvaABC = cds(owner, "qryCurvaABC",
                      {{"CDFILIAL", S, 4, "", true, false, 0},      {"CDFILIEMIT", S, 4, "", true, false, 0},   {"NMFILIAL", S, 30, "", true, false, 0},
                       {"CDCLIENTE", S, 21, "", true, false, 0},    {"NMFANTCLIE", S, 50, "", true, false, 0},  {"NMRAZSOCCLIE", S, 50, "", true, false, 0},
                       {"IDTPIJURCLIE", S, 1, "", true, false, 0},  {"CDEMPRESA", S, 2, "", true, false, 0},    {"NMEMPRESA", S, 40, "", true, false, 0},
                       {"IDSTATBREC", S, 1, "", true, false, 0},    {"IDSTATUS", S, 1, "", true, false, 0},     {"CDTPBAIXAREC", S, 2, "", true, false, 0},
                       {"DTBAIXAREC", DT, 0, "", true, false, 0},   {"NRBAIXAREC", S, 10, "", true, false, 0},  {"VRBAIXAREC", FL, 0, "", true, false, 0},
                       {"DSTPCTRECEB", S, 40, "", true, false, 0},  {"CDTPCTRECEB", S, 6, "", true, false, 0},  {"DTORIGVENREC", DT, 0, "", true, false, 0},
                       {"DTATUAVENREC", DT, 0, "", true, false, 0}, {"VRORIGREC", FL, 0, "", true, false, 0},   {"VRATUAREC", FL, 0, "", true, false, 0},
                       {"DSCONTAREC", S, 100, "", true, false, 0},  {"NRLANBOLREC", S, 10, "", true, false, 0}, {"IDSTATREC", S, 1, "", true, false, 0},
                       {"IDTPIJURNF", S, 1, "", true, false, 0},    {"NRINSJURNF", S, 20, "", true, false, 0},  {"NOTASERIE", S, 26, "", true, false, 0},
                       {"NRLANCTONF", S, 10, "", true, false, 0},   {"DTEMISSAO", DT, 0, "", true, false, 0},   {"DTENTRSAID", DT, 0, "", true, false, 0},
                       {"CDSERIE", S, 5, "", true, false, 0},       {"CDBANCO", S, 3, "", true, false, 0},      {"NMBANCO", S, 30, "", true, false, 0},
                       {"CDPICTCONT", S, 20, "", true, false, 0},   {"CDAGENCIA", S, 5, "", true, false, 0},    {"CDCONTCORR", S, 10, "", true, false, 0},
                       {"NMAGENCIA", S, 20, "", true, false, 0},    {"DSCONTCORR", S, 20, "", true, false, 0},  {"CDREDUCONT", S, 3, "", true, false, 0},
                       {"REDUZIDO", S, 17, "", true, false, 0},     {"DIAS", FL, 0, "", true, false, 0},        {"IDCURVA", FX, 1, "", true, false, 0},
                       {"DATVENIN", S, 20, "", true, false, 0},     {"DATVENFIN", S, 20, "", true, false, 0},   {"DATEMISINI", S, 20, "", true, false, 0},
                       {"DATEMIFIN", S, 20, "", true, false, 0},    {"DATENTR", S, 20, "", true, false, 0},     {"DATSAID", S, 20, "", true, false, 0},
                       {"DTBAIXAINI", S, 20, "", true, false, 0},   {"DTBAIXAFIN", S, 20, "", true, false, 0},  {"VALORINI", FL, 0, "", true, false, 0},
                       {"VALORFIN", FL, 0, "", true, false, 0},     {"SELFILIAL", S, 255, "", true, false, 0},  {"SELSTATUS", S, 1, "", true, false, 0},
                       {"SELTIPO", S, 1, "", true, false, 0},       {"SELTIPOCONTA", S, 255, "", true, false, 0}, {"SELEMPRESA", S, 255, "", true, false, 0},
                       {"SELCLIENTE", S, 255, "", true, false, 0},  {"SELFILILANC", S, 255, "", true, false, 0}, {"CDCLASSFINA", S, 6, "", true, false, 0},
                       {"SELFORMREC", S, 255, "", true, false, 0},  {"SELCCORR", S, 255, "", true, false, 0},   {"UTLOPC", S, 1, "", true, false, 0},
                       {"TSTATUS", S, 2000, "", true, false, 0}});

    auto src = [owner](const char *name, TDataSet *ds) { return new TDataSource(QString::fromLatin1(name), ds, owner); };
    dtsCliente__ = src("dtsCliente__", &qryCliente1->Query());
    dtsFilial__ = src("dtsFilial__", &qryFilial->Query());
    dtsEmpresa__ = src("dtsEmpresa__", &qryEmpresa->Query());
    dtsTipoConta__ = src("dtsTipoConta__", &qryTipoConta1->Query());
    dtsFiliLanca__ = src("dtsFiliLanca__", cdsFiliLanca);
    dtsFormaRec__ = src("dtsFormaRec__", &qryFormaRec->Query());
    dtsCurvaABC = src("dtsCurvaABC", qryCurvaABC);
    dtsTotal__ = src("dtsTotal__", qryTotal);
    dtsContCorr__ = src("dtsContCorr__", &qryContCorr->Query());
    dtsAtivClie__ = src("dtsAtivClie__", qryAtivClie);
    dtsSegMerc__ = src("dtsSegMerc__", &qrySegMerc->Query());
    dtsClassFinanc__ = src("dtsClassFinanc__", &qryClassFinanc1->Query());
    dtsGrupClie__ = src("dtsGrupClie__", &qryGrupClie->Query());
    dtsRegiao__ = src("dtsRegiao__", &qryRegiao->Query());
    dtsVendedor__ = src("dtsVendedor__", &qryVendedor->Query());
}

QVector<TDataSet *> TLookupData::DataSets() const
{
    QVector<TDataSet *> sets = {cdsDtVenc,    cdsParamGeralOrca, cdsOpEmissao, cdsHoraServidor, cdsFiliLanca,  cdsPercentual, cdsStatus,
                                qryTotal,     qryAtivClie,       qryCliente,   qryTipoConta,    qryClassFinanc, qryCurvaABC};
    for (TADOIBQuery *q : Queries())
        sets << &q->Query();
    return sets;
}

QVector<TADOIBQuery *> TLookupData::Queries() const
{
    return {qryEmpresa, qryTipoConta1, qryClassFinanc1, qryFilial,  qryFormaRec, qryContCorr,     qrySegMerc,
            qryGrupClie, qryRegiao,    qryVendedor,     qryCliente1, qryClienteAux, qryClienteRegiao};
}
