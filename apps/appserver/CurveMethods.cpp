// The ABC curve methods of the remote data module: percentages, the status
// list, the curve rows with their running totals, and the totals per company.
#include "appserver/RemoteDataModule.h"
#include "data/DateTime.h"
#include "data/Query.h"
#include "server/AbcRequest.h"
#include <QDate>
#include <QSqlQuery>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace {
TPacketField Str(const char *name, int size) { return {QString::fromLatin1(name), TFieldType::String, size, false}; }
TPacketField Fix(const char *name, int size) { return {QString::fromLatin1(name), TFieldType::FixedChar, size, false}; }
TPacketField Num(const char *name) { return {QString::fromLatin1(name), TFieldType::Float, 0, false}; }
TPacketField Dat(const char *name) { return {QString::fromLatin1(name), TFieldType::DateTime, 0, false}; }

const QString kAll = QStringLiteral("T");

using TArg = TAbcRequest::TArg;

// Meaning of a date or status value, for messages.
QString argumentMeaning(TArg arg)
{
    switch (arg) {
    case TArg::EmissaoFrom: case TArg::EmissaoCopiaFrom: return QStringLiteral("emissão inicial");
    case TArg::EmissaoTo: case TArg::EmissaoCopiaTo: return QStringLiteral("emissão final");
    case TArg::SaidaFrom: case TArg::SaidaCopiaFrom: return QStringLiteral("saída inicial");
    case TArg::SaidaTo: case TArg::SaidaCopiaTo: return QStringLiteral("saída final");
    case TArg::VencimentoFrom: case TArg::VencimentoCopiaFrom: return QStringLiteral("vencimento inicial");
    case TArg::VencimentoTo: case TArg::VencimentoCopiaTo: return QStringLiteral("vencimento final");
    case TArg::BaixaFrom: case TArg::BaixaCopiaFrom: return QStringLiteral("baixa inicial");
    case TArg::BaixaTo: case TArg::BaixaCopiaTo: return QStringLiteral("baixa final");
    case TArg::RefeFatFrom: return QStringLiteral("referência de faturamento inicial");
    case TArg::RefeFatTo: return QStringLiteral("referência de faturamento final");
    case TArg::Status: return QStringLiteral("situações");
    case TArg::StatusTodos: return QStringLiteral("todas as situações");
    case TArg::Adiantamento: return QStringLiteral("adiantamentos");
    }
    return QStringLiteral("critério");
}

// A text as the statements take it: never null.
QString s(const QString &text) { return text.isNull() ? QStringLiteral("") : text; }

// The request of one call, with the positions that call gives its values for messages.
struct TCurveCall {
    TAbcRequest R;
    TAbcRequest::TCall Call;
    QString DateFormat;

    int Position(TArg arg) const { return TAbcRequest::Position(arg, Call); }
    // The ISO text of a short-date text; empty when the text is blank.
    QString IsoDate(TArg arg) const
    {
        const QString text = R.Text(arg).trimmed();
        if (text.isEmpty())
            return QStringLiteral("");
        TDateTime d = 0;
        if (!TryStrToDate(text, d, DateFormat))
            throw EMethodError(QStringLiteral("o argumento %1 (%2) não é uma data válida no formato %3: '%4'.")
                                   .arg(Position(arg))
                                   .arg(argumentMeaning(arg), DateFormat, R.Text(arg)));
        return DateTimeToDate(d).toString(Qt::ISODate);
    }
};

QString statusName(QChar letter)
{
    switch (letter.unicode()) {
    case 'A': return QStringLiteral("Em Aberto");
    case 'B': return QStringLiteral("Baixada");
    case 'D': return QStringLiteral("Descontada");
    case 'P': return QStringLiteral("Planejada");
    default: return QString(letter);
    }
}

bool isAll(const QString &flag) { return flag == kAll; }

void text(TParams &p, const char *name, const QString &value) { p.CreateParam(TParamType::String, QString::fromLatin1(name)).SetAsString(value); }

// A code list with its flag: "T" selects everything, otherwise the list decides.
void listParams(TParams &p, const char *listName, const char *flagName, const QString &list, const QString &flag)
{
    text(p, listName, list);
    text(p, flagName, isAll(flag) ? kAll : QStringLiteral(""));
}

// The filter both the curve and the totals apply; tested in the same way as the
// due-date layout tests its criteria. All companies or a list, only the companies
// the logged-in operator may see (OPEREMPRESA) count.
const char *const kFromWhere = R"(
FROM CONTARECEBER R
JOIN CLIENTE C ON C.CDCLIENTE = R.CDCLIENTE
JOIN EMPRESA E ON E.CDEMPRESA = R.CDEMPRESA
JOIN TIPOCTRECEBER T ON T.CDTPCTRECEB = R.CDTPCTRECEB
%1
WHERE (:TCLIENTE = 'T' OR INSTR(:CLIENTE, '_' || R.CDCLIENTE || '_') <> 0)
AND (:TCLASSFINA = 'T' OR INSTR(:CLASSFINA, '_' || R.CDCLASSFINA || '_') <> 0)
AND (:TEMPRESA = 'T' OR INSTR(:EMPRESA, '_' || R.CDEMPRESA || '_') <> 0)
AND R.CDEMPRESA IN (SELECT OE.CDEMPRESA FROM OPEREMPRESA OE WHERE OE.CDOPERADOR = :OPERADOR)
AND (:TFILIAL = 'T' OR INSTR(:FILIAL, '_' || R.CDFILIAL || '_') <> 0)
AND (:TTIPOCONTA = 'T' OR INSTR(:TIPOCONTA, '_' || R.CDTPCTRECEB || '_') <> 0)
AND (:TFILILANC = 'T' OR INSTR(:FILILANC, '_' || R.CDFILILANC || '_') <> 0)
AND (:TSTATUS = 'T' OR INSTR(:STATUS, '_' || R.IDSTATREC || '_') <> 0)
AND (:TTIPO = 'T' OR INSTR(:TIPO, R.IDTPLANCREC) <> 0)
AND (:VALORINI = 0 OR R.VRLIQREC >= :VALORINI)
AND (:VALORFIN = 0 OR R.VRLIQREC <= :VALORFIN)
AND (:TPRIPUB = 'T' OR :PRIPUB = '' OR C.IDPUBPRIVCLIE = :PRIPUB)
AND (:TATIVCLI = 'T' OR INSTR(:ATIVCLI, '_' || C.CDATIVCLI || '_') <> 0)
AND (:TSEGMERC = 'T' OR INSTR(:SEGMERC, '_' || C.CDSEGMER || '_') <> 0)
AND (DATE(:EMISINI) IS NULL OR R.DTEMISSAO >= DATE(:EMISINI))
AND (DATE(:EMISFIN) IS NULL OR R.DTEMISSAO <= DATE(:EMISFIN))
AND (DATE(:SAIDAINI) IS NULL OR R.DTENTRSAID >= DATE(:SAIDAINI))
AND (DATE(:SAIDAFIN) IS NULL OR R.DTENTRSAID <= DATE(:SAIDAFIN))
AND (DATE(:VENCINI) IS NULL OR R.DTATUAVENREC >= DATE(:VENCINI))
AND (DATE(:VENCFIN) IS NULL OR R.DTATUAVENREC <= DATE(:VENCFIN))
AND (:TGRUPCLIE = 'T' OR INSTR(:GRUPCLIE, '_' || C.CDGRUPCLIE || '_') <> 0)
AND (:TREGIAO = 'T' OR INSTR(:REGIAO, '_' || C.CDREGIAOPED || '_') <> 0)
AND (DATE(:REFINI) IS NULL OR DATE(:REFFIN) IS NULL OR (R.DTREFEFAT >= DATE(:REFINI) AND R.DTREFEFAT <= DATE(:REFFIN)))
AND INSTR(:IDTPCTRECEBER, T.IDTPCTRECEBER) <> 0
AND (:TVENDEDOR = 'T' OR INSTR(:VENDEDOR, '_' || R.CDVENDEDOR || '_') <> 0)
AND (:TORCA = 'T' OR R.NRORCAMENTO BETWEEN :ORCAINI AND :ORCAFIN)
AND ((:TDTBAIXA = 'T' AND :TFORMA = 'T' AND :TCCORR = 'T') OR EXISTS (
     SELECT 1 FROM BAIXAREC BX WHERE BX.NRLANCTOREC = R.NRLANCTOREC
     AND (:TDTBAIXA = 'T' OR ((DATE(:BAIXAINI) IS NULL OR BX.DTBAIXAREC >= DATE(:BAIXAINI))
                          AND (DATE(:BAIXAFIN) IS NULL OR BX.DTBAIXAREC <= DATE(:BAIXAFIN))))
     AND (:TFORMA = 'T' OR INSTR(:FORMA, '_' || BX.CDTPBAIXAREC || '_') <> 0)
     AND (:TCCORR = 'T' OR INSTR(:CCORR, '_' || BX.CDREDUCONT || '_') <> 0)))
)";

// The order of a company's rows: updated value from the largest down, then
// client and receivable, so that equal values always come out the same way.
const char *const kRunningTotal =
    "SUM(R.VRATUAREC) OVER (PARTITION BY R.CDEMPRESA ORDER BY R.VRATUAREC DESC, R.CDCLIENTE, R.NRLANCTOREC ROWS UNBOUNDED PRECEDING)";

// The letters of a status word ("B_D_A_P"), checked.
QString statusLetters(const TCurveCall &c)
{
    QString letters;
    for (const QString &part : c.R.Status.split(QLatin1Char('_'), Qt::SkipEmptyParts)) {
        const QString st = part.trimmed();
        if (st != QStringLiteral("A") && st != QStringLiteral("B") && st != QStringLiteral("D") && st != QStringLiteral("P"))
            throw EMethodError(QStringLiteral("o argumento %1 (situações) tem a situação '%2'; use A, B, D e P separadas por '_'.")
                                   .arg(c.Position(TArg::Status))
                                   .arg(part));
        letters += st;
    }
    return letters;
}

struct TCurveFilter {
    TParams Params;
    QString StatusLetters; // the statuses chosen, in the order of the status word
};

void listParams(TParams &p, const char *listName, const char *flagName, const TAbcChoice &choice)
{
    listParams(p, listName, flagName, s(choice.Codes), s(choice.Flag));
}

// Binds every criterion of the filter. The curve reads the first copy of the exit and
// settlement dates, the totals the second, the only one they carry.
TCurveFilter bindFilter(const TCurveCall &c)
{
    const TAbcRequest &r = c.R;
    const bool curve = c.Call == TAbcRequest::TCall::Curve;
    TCurveFilter f;
    TParams &p = f.Params;
    listParams(p, "CLIENTE", "TCLIENTE", r.Cliente);
    listParams(p, "CLASSFINA", "TCLASSFINA", r.ClassFinanc);
    listParams(p, "EMPRESA", "TEMPRESA", r.Empresa);
    listParams(p, "FILIAL", "TFILIAL", r.Filial);
    listParams(p, "TIPOCONTA", "TTIPOCONTA", r.TipoConta);
    listParams(p, "FILILANC", "TFILILANC", r.FiliLanca);
    listParams(p, "FORMA", "TFORMA", r.FormaPaga);
    const QString allStatus = s(r.StatusTodos);
    if (!allStatus.isEmpty() && !isAll(allStatus))
        throw EMethodError(QStringLiteral("o argumento %1 (todas as situações) deve ser 'T' ou vazio, recebido '%2'.")
                               .arg(c.Position(TArg::StatusTodos))
                               .arg(allStatus));
    f.StatusLetters = statusLetters(c);
    QString statusList;
    for (QChar letter : f.StatusLetters)
        statusList += QLatin1Char('_') + letter + QLatin1Char('_');
    listParams(p, "STATUS", "TSTATUS", statusList, allStatus);
    listParams(p, "CCORR", "TCCORR", r.ContaCorrente);
    listParams(p, "TIPO", "TTIPO", r.Tipo);
    p.CreateParam(TParamType::Float, QStringLiteral("VALORINI")).SetAsFloat(r.ValorIni);
    p.CreateParam(TParamType::Float, QStringLiteral("VALORFIN")).SetAsFloat(r.ValorFin);
    text(p, "TPRIPUB", isAll(r.TipoClienteTodos) ? kAll : QStringLiteral(""));
    text(p, "PRIPUB", s(r.PriPub).trimmed());
    listParams(p, "ATIVCLI", "TATIVCLI", r.AtivClie);
    listParams(p, "SEGMERC", "TSEGMERC", r.SegMerc);
    text(p, "EMISINI", c.IsoDate(TArg::EmissaoFrom));
    text(p, "EMISFIN", c.IsoDate(TArg::EmissaoTo));
    text(p, "SAIDAINI", c.IsoDate(curve ? TArg::SaidaFrom : TArg::SaidaCopiaFrom));
    text(p, "SAIDAFIN", c.IsoDate(curve ? TArg::SaidaTo : TArg::SaidaCopiaTo));
    text(p, "VENCINI", c.IsoDate(TArg::VencimentoFrom));
    text(p, "VENCFIN", c.IsoDate(TArg::VencimentoTo));
    const QString baixaIni = c.IsoDate(curve ? TArg::BaixaFrom : TArg::BaixaCopiaFrom);
    const QString baixaFin = c.IsoDate(curve ? TArg::BaixaTo : TArg::BaixaCopiaTo);
    text(p, "BAIXAINI", baixaIni);
    text(p, "BAIXAFIN", baixaFin);
    // Settlement dates count only when given.
    text(p, "TDTBAIXA", isAll(r.BaixaTodas) || (baixaIni.isEmpty() && baixaFin.isEmpty()) ? kAll : QStringLiteral(""));
    listParams(p, "GRUPCLIE", "TGRUPCLIE", r.GrupClie);
    // A region list left blank selects every region.
    text(p, "REGIAO", s(r.Regiao.Codes));
    text(p, "TREGIAO", isAll(r.Regiao.Flag) || r.Regiao.Codes.trimmed().isEmpty() ? kAll : QStringLiteral(""));
    text(p, "REFINI", c.IsoDate(TArg::RefeFatFrom));
    text(p, "REFFIN", c.IsoDate(TArg::RefeFatTo));
    const QString adv = s(r.Adiantamento);
    if (adv != kAll && adv != QStringLiteral("1"))
        throw EMethodError(QStringLiteral("o argumento %1 (adiantamentos) deve ser 'T' ou '1', recebido '%2'.").arg(c.Position(TArg::Adiantamento)).arg(adv));
    text(p, "IDTPCTRECEBER", isAll(adv) ? QStringLiteral("1_2") : QStringLiteral("1"));
    // Salesperson and budget: a caller that leaves them off selects every one.
    if (r.HasSellerAndBudget)
        listParams(p, "VENDEDOR", "TVENDEDOR", r.Vendedor);
    else
        listParams(p, "VENDEDOR", "TVENDEDOR", QStringLiteral(""), kAll);
    const bool budget = r.HasSellerAndBudget && !isAll(r.OrcaTodos) && !r.OrcaIni.trimmed().isEmpty() && !r.OrcaFin.trimmed().isEmpty();
    text(p, "ORCAINI", s(r.OrcaIni));
    text(p, "ORCAFIN", s(r.OrcaFin));
    text(p, "TORCA", budget ? QStringLiteral("") : kAll);
    return f;
}

// The answer of GetTotal: one row per company with its last running total.
std::vector<TPacketField> totalShape() { return {Str("CDEMPRESA", 2), Num("SUMCRVRATUAREC")}; }

bool sameParams(const TParams &a, const TParams &b)
{
    if (a.Count() != b.Count())
        return false;
    for (int i = 0; i < a.Count(); ++i) {
        const TParam &x = a[i], &y = b[i];
        if (x.Name != y.Name || x.DataType != y.DataType || x.IsNull() != y.IsNull() || x.Value() != y.Value())
            return false;
    }
    return true;
}

size_t fieldIndex(const std::vector<TPacketField> &shape, const char *name)
{
    for (size_t i = 0; i < shape.size(); ++i)
        if (shape[i].Name == QLatin1String(name))
            return i;
    throw EMethodError(QStringLiteral("campo %1 ausente.").arg(QLatin1String(name)));
}

// A code list for the header: "Todos"/"Todas" for all, else the list as chosen.
QString listWords(const QString &list, const QString &flag, const QString &allWord) { return isAll(flag) ? allWord : list; }
} // namespace

void TrdmRelLancContReceber::RegisterCurveMethods()
{
    using K = Kind;
    Register(QStringLiteral("GetPercentual"), {}, [this](const QVariantList &) { return GetPercentual(); });
    Register(QStringLiteral("GetStatus"), std::vector<Kind>(6, K::Text), [this](const QVariantList &a) { return GetStatus(a); });
    // The kinds of the request's values as it encodes them.
    const auto kinds = [](const QVariantList &sample) {
        std::vector<Kind> out;
        for (const QVariant &v : sample)
            out.push_back(v.typeId() == QMetaType::Double ? K::Double : v.typeId() == QMetaType::Bool ? K::Boolean : K::Text);
        return out;
    };
    Register(QStringLiteral("GetCurvaABC"), kinds(TAbcRequest().CurveArgs()), [this](const QVariantList &a) { return GetCurvaABC(a); });
    Register(QStringLiteral("GetTotal"), kinds(TAbcRequest().TotalArgs()), [this](const QVariantList &a) { return GetTotal(a); },
             TAbcRequest::kTotalArgs - TAbcRequest::kShortTotalArgs);
}

QVariant TrdmRelLancContReceber::GetPercentual()
{
    const TDataPacket p = Select(QStringLiteral("SELECT VRPECURVAA, VRPECURVAB, VRPECURVAC FROM PARAMGERALREC ORDER BY CDGERALREC LIMIT 1"), {},
                                 {Num("VRPECURVAA"), Num("VRPECURVAB"), Num("VRPECURVAC")}, QStringLiteral("GetPercentual"));
    if (p.Rows.empty())
        throw EMethodError(QStringLiteral("os percentuais da curva ABC não estão cadastrados nos parâmetros gerais de contas a receber."));
    return PacketToVariant(p);
}

QVariant TrdmRelLancContReceber::GetStatus(const QVariantList &args)
{
    // Arguments: the all flag, then "A", "B", "D", "P" each when chosen, then "A_B_D_P" for all.
    const QString letters = QStringLiteral("ABDP");
    const QString all = args[0].toString(), allWord = args[5].toString();
    if (!all.isEmpty() && !isAll(all))
        throw EMethodError(QStringLiteral("o argumento 1 deve ser 'T' ou vazio, recebido '%1'.").arg(all));
    if (!allWord.isEmpty() && allWord != QStringLiteral("A_B_D_P"))
        throw EMethodError(QStringLiteral("o argumento 6 deve ser 'A_B_D_P' ou vazio, recebido '%1'.").arg(allWord));
    TDataPacket p;
    p.Fields = {Str("STATUS", 10)};
    for (int i = 0; i < 4; ++i) {
        const QString v = args[i + 1].toString();
        if (!v.isEmpty() && v != letters[i])
            throw EMethodError(QStringLiteral("o argumento %1 deve ser '%2' ou vazio, recebido '%3'.").arg(i + 2).arg(letters[i]).arg(v));
        if (isAll(all) || !allWord.isEmpty() || !v.isEmpty())
            p.AddRow({QString(letters[i])});
    }
    return PacketToVariant(p);
}

QVariant TrdmRelLancContReceber::GetCurvaABC(const QVariantList &args)
{
    m_curveTotals.reset();
    const TCurveCall c{TAbcRequest::FromCurveArgs(args), TAbcRequest::TCall::Curve, m_dateFormat};
    const TAbcRequest &r = c.R;
    TCurveFilter f = bindFilter(c);
    text(f.Params, "OPERADOR", m_operator);
    const TParams filter = f.Params;
    // The second copies of each date range must be dates too.
    for (TArg copy : {TArg::EmissaoCopiaFrom, TArg::EmissaoCopiaTo, TArg::SaidaCopiaFrom, TArg::SaidaCopiaTo, TArg::VencimentoCopiaFrom,
                      TArg::VencimentoCopiaTo, TArg::BaixaCopiaFrom, TArg::BaixaCopiaTo})
        c.IsoDate(copy);
    // Days overdue count from the host's date, the one its report header prints.
    text(f.Params, "HOJE", m_hostToday.value_or(QDate::currentDate()).toString(Qt::ISODate));

    // One settlement per receivable for its columns: the latest.
    const QString joins = QStringLiteral(
        "LEFT JOIN FILIAL F ON F.CDFILIAL = R.CDFILIAL\n"
        "LEFT JOIN BAIXAREC B ON B.NRBAIXAREC = (SELECT B2.NRBAIXAREC FROM BAIXAREC B2 WHERE B2.NRLANCTOREC = R.NRLANCTOREC "
        "ORDER BY B2.DTBAIXAREC DESC, B2.NRBAIXAREC DESC LIMIT 1)\n"
        "LEFT JOIN CONTCORR CC ON CC.CDREDUCONT = B.CDREDUCONT\n"
        "LEFT JOIN BANCO BC ON BC.CDBANCO = CC.CDBANCO");
    const QString sql = QStringLiteral(
                            "SELECT R.CDFILIAL, R.CDFILIEMIT, F.NMFILIAL, R.CDCLIENTE, C.NMFANTCLIE, C.NMRAZSOCCLIE, C.IDTPIJURCLIE, "
                            "R.CDEMPRESA, E.NMEMPRESA, R.IDSTATREC AS IDSTATBREC, R.IDSTATREC AS IDSTATUS, B.CDTPBAIXAREC, B.DTBAIXAREC, "
                            "B.NRBAIXAREC, B.VRBAIXAREC, T.DSTPCTRECEB, R.CDTPCTRECEB, R.DTORIGVENREC, R.DTATUAVENREC, "
                            "R.VRATUAREC AS VRORIGREC, %1 AS VRATUAREC, "
                            "R.DSCONTAREC, R.NRLANBOLREC, R.IDSTATREC, R.IDTPIJURNF, R.NRINSJURNF, "
                            "R.NRLANCTONF || COALESCE('/' || R.CDSERIE, '') AS NOTASERIE, R.NRLANCTONF, R.DTEMISSAO, R.DTENTRSAID, R.CDSERIE, "
                            "BC.CDBANCO, BC.NMBANCO, BC.CDPICTCONT, CC.CDAGENCIA, CC.CDCONTCORR, CC.NMAGENCIA, CC.DSCONTCORR, CC.CDREDUCONT, "
                            "CC.CDREDUCONT || ' ' || COALESCE(CC.CDCONTCORR, '') AS REDUZIDO, "
                            "JULIANDAY(:HOJE) - JULIANDAY(R.DTATUAVENREC) AS DIAS")
                            .arg(QLatin1String(kRunningTotal)) +
                        QString::fromLatin1(kFromWhere).arg(joins) + QStringLiteral("ORDER BY R.CDEMPRESA, R.VRATUAREC DESC, R.CDCLIENTE, R.NRLANCTOREC");

    const std::vector<TPacketField> dbShape = {
        Str("CDFILIAL", 4),      Str("CDFILIEMIT", 4),   Str("NMFILIAL", 30),    Str("CDCLIENTE", 21),   Str("NMFANTCLIE", 50),
        Str("NMRAZSOCCLIE", 50), Str("IDTPIJURCLIE", 1), Str("CDEMPRESA", 2),    Str("NMEMPRESA", 40),   Str("IDSTATBREC", 1),
        Str("IDSTATUS", 1),      Str("CDTPBAIXAREC", 2), Dat("DTBAIXAREC"),      Str("NRBAIXAREC", 10),  Num("VRBAIXAREC"),
        Str("DSTPCTRECEB", 40),  Str("CDTPCTRECEB", 6),  Dat("DTORIGVENREC"),    Dat("DTATUAVENREC"),    Num("VRORIGREC"),
        Num("VRATUAREC"),        Str("DSCONTAREC", 100), Str("NRLANBOLREC", 10), Str("IDSTATREC", 1),    Str("IDTPIJURNF", 1),
        Str("NRINSJURNF", 20),   Str("NOTASERIE", 26),   Str("NRLANCTONF", 10),  Dat("DTEMISSAO"),       Dat("DTENTRSAID"),
        Str("CDSERIE", 5),       Str("CDBANCO", 3),      Str("NMBANCO", 30),     Str("CDPICTCONT", 20),  Str("CDAGENCIA", 5),
        Str("CDCONTCORR", 10),   Str("NMAGENCIA", 20),   Str("DSCONTCORR", 20),  Str("CDREDUCONT", 3),   Str("REDUZIDO", 17),
        Num("DIAS")};
    // The criteria in words, the same on every row.
    const std::vector<TPacketField> criteriaShape = {
        Fix("IDCURVA", 1),      Str("DATVENIN", 20),       Str("DATVENFIN", 20),   Str("DATEMISINI", 20), Str("DATEMIFIN", 20),
        Str("DATENTR", 20),     Str("DATSAID", 20),        Str("DTBAIXAINI", 20),  Str("DTBAIXAFIN", 20), Num("VALORINI"),
        Num("VALORFIN"),        Str("SELFILIAL", 255),     Str("SELSTATUS", 1),    Str("SELTIPO", 1),     Str("SELTIPOCONTA", 255),
        Str("SELEMPRESA", 255), Str("SELCLIENTE", 255),    Str("SELFILILANC", 255), Str("CDCLASSFINA", 6), Str("SELFORMREC", 255),
        Str("SELCCORR", 255),   Str("UTLOPC", 1),          Str("TSTATUS", 2000)};
    QStringList statusWords;
    if (isAll(r.StatusTodos))
        statusWords << QStringLiteral("Todos");
    else
        for (QChar letter : f.StatusLetters)
            statusWords << statusName(letter);
    QString kind = QStringLiteral("T");
    if (!isAll(r.Tipo.Flag))
        kind = s(r.Tipo.Codes).left(1);
    const QStringList classes = r.ClassFinanc.Codes.split(QLatin1Char('_'), Qt::SkipEmptyParts);
    QString classe = classes.size() == 1 ? classes[0] : QString();
    if (isAll(r.ClassFinanc.Flag))
        classe = QStringLiteral("Todas");
    const auto words = [](const TAbcChoice &choice, const char *allWord) { return listWords(s(choice.Codes), choice.Flag, QLatin1String(allWord)); };
    const TRecord criteria = {QString(),
                              s(r.Vencimento.From),
                              s(r.Vencimento.To),
                              s(r.Emissao.From),
                              s(r.Emissao.To),
                              s(r.Saida.From),
                              s(r.Saida.To),
                              s(r.Baixa.From),
                              s(r.Baixa.To),
                              r.ValorIni,
                              r.ValorFin,
                              words(r.Filial, "Todas"),
                              s(r.StatusTodos).left(1),
                              kind,
                              words(r.TipoConta, "Todos"),
                              words(r.Empresa, "Todas"),
                              words(r.Cliente, "Todos"),
                              words(r.FiliLanca, "Todas"),
                              classe,
                              words(r.FormaPaga, "Todas"),
                              words(r.ContaCorrente, "Todas"),
                              s(r.OpEmissao).left(1),
                              statusWords.join(QStringLiteral(", "))};

    std::vector<TPacketField> shape = dbShape;
    shape.insert(shape.end(), criteriaShape.begin(), criteriaShape.end());
    // The last running total of each company as the curve writes it: GetTotal's
    // answer for the same filter while the data stays as it was.
    struct TLast {
        std::string Company;
        bool CompanyNull = false;
        bool Null = true;
        double Total = 0;
    };
    std::vector<TLast> last;
    const size_t companyField = fieldIndex(shape, "CDEMPRESA"), totalField = fieldIndex(shape, "VRATUAREC");
    const QString version = DataVersion();
    QVariant curve = SelectPacket(sql, f.Params, shape, QStringLiteral("GetCurvaABC"), criteria, [&](const TPacketWriter &w) {
        const bool companyNull = w.LastIsNull(companyField);
        const QByteArrayView company = w.LastText(companyField);
        const std::string_view key(company.data(), static_cast<size_t>(company.size()));
        if (last.empty() || last.back().CompanyNull != companyNull || last.back().Company != key)
            last.push_back({std::string(key), companyNull});
        last.back().Null = w.LastIsNull(totalField);
        last.back().Total = w.LastNumber(totalField);
    });
    // Kept only when nothing was committed while the curve was read, so that the
    // totals are those of the data as it stood at `version`.
    if (!version.isEmpty() && DataVersion() == version && CompanyCodesDistinct()) {
        TPacketWriter t(totalShape());
        for (const TLast &l : last) {
            t.BeginRow();
            if (l.CompanyNull)
                t.Null();
            else
                t.Text(l.Company.data(), static_cast<qsizetype>(l.Company.size()));
            if (l.Null)
                t.Null();
            else
                t.Number(l.Total);
        }
        m_curveTotals = TCurveTotals{m_db, m_db->Opens(), filter, version, t.Finish()};
    }
    return curve;
}

QString TrdmRelLancContReceber::DataVersion()
{
    if (!m_db)
        return {};
    // PostgreSQL: the snapshot changes with every transaction that ends, on any
    // connection. SQLite: data_version counts other connections' commits,
    // total_changes this connection's own changes.
    QString sql;
    switch (m_db->Kind()) {
    case TDBKind::PostgreSQL: sql = QStringLiteral("SELECT CAST(pg_current_snapshot() AS text)"); break;
    case TDBKind::SQLite: sql = QStringLiteral("SELECT (SELECT data_version FROM pragma_data_version) || '/' || total_changes()"); break;
    default: return {};
    }
    // A database that cannot tell (an older server) only means no totals are kept.
    try {
        QSqlQuery q = RunStatement(Db(), sql, {}, QStringLiteral("versão dos dados"));
        return q.next() ? q.value(0).toString() : QString();
    } catch (const EDatabaseError &) {
        return {};
    }
}

bool TrdmRelLancContReceber::CompanyCodesDistinct()
{
    // The curve tells companies apart by their code as written in the packet; that
    // must be the company itself, not a shortened code two companies share.
    QSqlQuery q = RunStatement(Db(), QStringLiteral("SELECT CDEMPRESA FROM EMPRESA"), {}, QStringLiteral("GetCurvaABC"));
    TPacketWriter w({totalShape()[0]});
    std::set<std::string> seen;
    bool distinct = true;
    FetchIntoPacket(q, w, QStringLiteral("GetCurvaABC"), {}, [&] {
        const QByteArrayView code = w.LastText(0);
        distinct = distinct && !w.LastIsNull(0) && seen.insert(std::string(code.data(), static_cast<size_t>(code.size()))).second;
    });
    return distinct;
}

QVariant TrdmRelLancContReceber::GetTotal(const QVariantList &args)
{
    TCurveFilter f = bindFilter({TAbcRequest::FromTotalArgs(args), TAbcRequest::TCall::Total, m_dateFormat});
    text(f.Params, "OPERADOR", m_operator);
    if (m_curveTotals && m_curveTotals->Db == m_db && m_db && m_curveTotals->Opens == m_db->Opens() && sameParams(m_curveTotals->Filter, f.Params) &&
        DataVersion() == m_curveTotals->Version) {
        m_lastNote = QStringLiteral("totais da última curva; dados inalterados");
        return QVariant(m_curveTotals->Packet);
    }
    // The company total is the last running total of the curve's own order, so the
    // two agree to the last digit; that row comes first in the reversed order.
    const QString sql = QStringLiteral("SELECT CDEMPRESA, SUMCRVRATUAREC FROM (SELECT R.CDEMPRESA AS CDEMPRESA, %1 AS SUMCRVRATUAREC, "
                                       "ROW_NUMBER() OVER (PARTITION BY R.CDEMPRESA ORDER BY R.VRATUAREC, R.CDCLIENTE DESC, R.NRLANCTOREC DESC) AS NRFIM")
                            .arg(QLatin1String(kRunningTotal)) +
                        QString::fromLatin1(kFromWhere).arg(QString()) + QStringLiteral(") TOTAIS WHERE NRFIM = 1 ORDER BY CDEMPRESA");
    return SelectPacket(sql, f.Params, totalShape(), QStringLiteral("GetTotal"));
}
