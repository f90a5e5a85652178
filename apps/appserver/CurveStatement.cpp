#include "appserver/CurveStatement.h"
#include "appserver/RemoteDataModule.h"
#include "data/DateTime.h"

namespace {
const QString kAll = QStringLiteral("T");
using TArg = TAbcRequest::TArg;
using TCall = TAbcRequest::TCall;

bool isAll(const QString &flag) { return flag == kAll; }
QString s(const QString &text) { return text.isNull() ? QStringLiteral("") : text; }

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

// The request of one call, with the positions that call gives its values for messages.
struct TCurveCall {
    const TAbcRequest &R;
    TCall Call;
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

// A code list with its flag: "T" selects everything and adds nothing.
void codes(TSqlBuilder &b, TSqlText column, TSqlText param, const TAbcChoice &choice)
{
    if (!isAll(s(choice.Flag)))
        b.AndIn(column, param, CodesOfList(s(choice.Codes)));
}

// One bound of a date range, when given.
void dateBound(TSqlBuilder &b, const QString &iso, TSqlText condition, TSqlText param)
{
    if (!iso.isEmpty())
        b.Add(condition).Bind(param, TParamType::String, iso);
}

// The filter both the curve and the totals apply, as the due-date layout applies its
// criteria. Only the companies the logged-in operator may see (OPEREMPRESA) count.
// The curve reads the first copy of the exit and settlement dates, the totals the
// second, the only one they carry.
TSqlBuilder filter(const TCurveCall &c, TDBKind kind, const QString &op, QString &letters)
{
    const TAbcRequest &r = c.R;
    const bool curve = c.Call == TCall::Curve;
    // Every date is checked, given or not, used or not.
    const QString emisIni = c.IsoDate(TArg::EmissaoFrom), emisFin = c.IsoDate(TArg::EmissaoTo);
    const QString saidaIni = c.IsoDate(curve ? TArg::SaidaFrom : TArg::SaidaCopiaFrom), saidaFin = c.IsoDate(curve ? TArg::SaidaTo : TArg::SaidaCopiaTo);
    const QString vencIni = c.IsoDate(TArg::VencimentoFrom), vencFin = c.IsoDate(TArg::VencimentoTo);
    const QString baixaIni = c.IsoDate(curve ? TArg::BaixaFrom : TArg::BaixaCopiaFrom), baixaFin = c.IsoDate(curve ? TArg::BaixaTo : TArg::BaixaCopiaTo);
    const QString refIni = c.IsoDate(TArg::RefeFatFrom), refFin = c.IsoDate(TArg::RefeFatTo);
    const QString allStatus = s(r.StatusTodos);
    if (!allStatus.isEmpty() && !isAll(allStatus))
        throw EMethodError(QStringLiteral("o argumento %1 (todas as situações) deve ser 'T' ou vazio, recebido '%2'.")
                               .arg(c.Position(TArg::StatusTodos))
                               .arg(allStatus));
    letters = statusLetters(c);
    const QString adv = s(r.Adiantamento);
    if (adv != kAll && adv != QStringLiteral("1"))
        throw EMethodError(QStringLiteral("o argumento %1 (adiantamentos) deve ser 'T' ou '1', recebido '%2'.").arg(c.Position(TArg::Adiantamento)).arg(adv));

    TSqlBuilder b(kind);
    // The company and the account type must exist, as the layouts' joins to them require;
    // their names are looked up, not joined to every row.
    b.Add("WHERE R.CDEMPRESA IN (SELECT OE.CDEMPRESA FROM OPEREMPRESA OE JOIN EMPRESA E ON E.CDEMPRESA = OE.CDEMPRESA WHERE OE.CDOPERADOR = :OPERADOR)")
        .Bind("OPERADOR", TParamType::String, op);
    // Advances too selects both kinds of account type, the only two there are.
    if (isAll(adv))
        b.Add("AND R.CDTPCTRECEB IN (SELECT T.CDTPCTRECEB FROM TIPOCTRECEBER T)");
    else
        b.Add("AND R.CDTPCTRECEB IN (SELECT T.CDTPCTRECEB FROM TIPOCTRECEBER T WHERE T.IDTPCTRECEBER = :IDTPCTRECEBER)")
            .Bind("IDTPCTRECEBER", TParamType::String, adv);
    codes(b, "R.CDCLIENTE", "CLIENTE", r.Cliente);
    codes(b, "R.CDCLASSFINA", "CLASSFINA", r.ClassFinanc);
    codes(b, "R.CDEMPRESA", "EMPRESA", r.Empresa);
    codes(b, "R.CDFILIAL", "FILIAL", r.Filial);
    codes(b, "R.CDTPCTRECEB", "TIPOCONTA", r.TipoConta);
    codes(b, "R.CDFILILANC", "FILILANC", r.FiliLanca);
    if (!isAll(allStatus)) {
        QStringList chosen;
        for (QChar letter : letters)
            chosen << QString(letter);
        chosen.removeDuplicates();
        b.AndIn("R.IDSTATREC", "STATUS", chosen);
    }
    // An entry kind is one letter; the kind word lists the letters chosen.
    if (!isAll(s(r.Tipo.Flag))) {
        QStringList kinds;
        for (QChar letter : s(r.Tipo.Codes))
            kinds << QString(letter);
        kinds.removeDuplicates();
        b.AndIn("R.IDTPLANCREC", "TIPO", kinds);
    }
    if (r.ValorIni != 0)
        b.Add("AND R.VRLIQREC >= :VALORINI").Bind("VALORINI", TParamType::Float, r.ValorIni);
    if (r.ValorFin != 0)
        b.Add("AND R.VRLIQREC <= :VALORFIN").Bind("VALORFIN", TParamType::Float, r.ValorFin);
    const QString priPub = s(r.PriPub).trimmed();
    if (!isAll(r.TipoClienteTodos) && !priPub.isEmpty())
        b.Add("AND C.IDPUBPRIVCLIE = :PRIPUB").Bind("PRIPUB", TParamType::String, priPub);
    codes(b, "C.CDATIVCLI", "ATIVCLI", r.AtivClie);
    codes(b, "C.CDSEGMER", "SEGMERC", r.SegMerc);
    dateBound(b, emisIni, "AND R.DTEMISSAO >= DATE(:EMISINI)", "EMISINI");
    dateBound(b, emisFin, "AND R.DTEMISSAO <= DATE(:EMISFIN)", "EMISFIN");
    dateBound(b, saidaIni, "AND R.DTENTRSAID >= DATE(:SAIDAINI)", "SAIDAINI");
    dateBound(b, saidaFin, "AND R.DTENTRSAID <= DATE(:SAIDAFIN)", "SAIDAFIN");
    dateBound(b, vencIni, "AND R.DTATUAVENREC >= DATE(:VENCINI)", "VENCINI");
    dateBound(b, vencFin, "AND R.DTATUAVENREC <= DATE(:VENCFIN)", "VENCFIN");
    codes(b, "C.CDGRUPCLIE", "GRUPCLIE", r.GrupClie);
    // A region list left blank selects every region.
    if (!isAll(s(r.Regiao.Flag)) && !r.Regiao.Codes.trimmed().isEmpty())
        b.AndIn("C.CDREGIAOPED", "REGIAO", CodesOfList(r.Regiao.Codes));
    // Billing reference, only as a whole range.
    if (!refIni.isEmpty() && !refFin.isEmpty())
        b.Add("AND R.DTREFEFAT >= DATE(:REFINI) AND R.DTREFEFAT <= DATE(:REFFIN)")
            .Bind("REFINI", TParamType::String, refIni)
            .Bind("REFFIN", TParamType::String, refFin);
    // Salesperson and budget: a caller that leaves them off selects every one.
    if (r.HasSellerAndBudget) {
        codes(b, "R.CDVENDEDOR", "VENDEDOR", r.Vendedor);
        if (!isAll(r.OrcaTodos) && !r.OrcaIni.trimmed().isEmpty() && !r.OrcaFin.trimmed().isEmpty())
            b.Add("AND R.NRORCAMENTO BETWEEN :ORCAINI AND :ORCAFIN")
                .Bind("ORCAINI", TParamType::String, r.OrcaIni)
                .Bind("ORCAFIN", TParamType::String, r.OrcaFin);
    }
    // Settlement dates count only when given; form and account select by the settlements too.
    const bool anyDate = !isAll(r.BaixaTodas) && !(baixaIni.isEmpty() && baixaFin.isEmpty());
    if (anyDate || !isAll(s(r.FormaPaga.Flag)) || !isAll(s(r.ContaCorrente.Flag))) {
        b.Add("AND EXISTS (SELECT 1 FROM BAIXAREC BX WHERE BX.NRLANCTOREC = R.NRLANCTOREC");
        if (anyDate) {
            dateBound(b, baixaIni, "AND BX.DTBAIXAREC >= DATE(:BAIXAINI)", "BAIXAINI");
            dateBound(b, baixaFin, "AND BX.DTBAIXAREC <= DATE(:BAIXAFIN)", "BAIXAFIN");
        }
        codes(b, "BX.CDTPBAIXAREC", "FORMA", r.FormaPaga);
        codes(b, "BX.CDREDUCONT", "CCORR", r.ContaCorrente);
        b.Add(")");
    }
    return b;
}

const TSqlText kFrom = "FROM CONTARECEBER R\n"
                       "JOIN CLIENTE C ON C.CDCLIENTE = R.CDCLIENTE";

// Company by company, and a company's rows by updated value from the largest down,
// then client and receivable, so that equal values always come out the same way: the
// order the running total adds them in.
const TSqlText kOrder = "ORDER BY R.CDEMPRESA, R.VRATUAREC DESC, R.CDCLIENTE, R.NRLANCTOREC";

// A database's window over the ordered rows would keep every wide row of a company
// once more; the server adds the values as it reads them, in the same order.
TRunningSum runningTotal(const char *field) { return {QString::fromLatin1(field), QStringLiteral("CDEMPRESA")}; }
} // namespace

TCurveStatement CurveStatement(const TAbcRequest &request, TDBKind kind, const QString &dateFormat, const QString &op, const QDate &today)
{
    const TCurveCall c{request, TCall::Curve, dateFormat};
    TCurveStatement out{TSqlBuilder(kind), TSqlBuilder(kind), {}, {}, {}, {}};
    out.Filter = filter(c, kind, op, out.StatusLetters);
    // The second copies of each date range must be dates too.
    for (TArg copy : {TArg::EmissaoCopiaFrom, TArg::EmissaoCopiaTo, TArg::SaidaCopiaFrom, TArg::SaidaCopiaTo, TArg::VencimentoCopiaFrom,
                      TArg::VencimentoCopiaTo, TArg::BaixaCopiaFrom, TArg::BaixaCopiaTo})
        c.IsoDate(copy);
    TSqlBuilder &b = out.Statement;
    // The sort keys come first: PostgreSQL's sort finds them at the start of each wide
    // row instead of walking forty columns to them on every comparison.
    b.Add("SELECT R.VRATUAREC AS VRATUAREC, R.CDEMPRESA, R.CDCLIENTE, R.CDFILIAL, R.CDFILIEMIT, C.NMFANTCLIE, C.NMRAZSOCCLIE, "
          "C.IDTPIJURCLIE, B.CDTPBAIXAREC, B.DTBAIXAREC, B.NRBAIXAREC, B.VRBAIXAREC, R.CDTPCTRECEB, R.DTORIGVENREC, "
          "R.DTATUAVENREC, R.DSCONTAREC, R.NRLANBOLREC, R.IDSTATREC, R.IDTPIJURNF, R.NRINSJURNF, R.NRLANCTONF, R.DTEMISSAO, R.DTENTRSAID, "
          "R.CDSERIE, B.CDREDUCONT AS CDREDUBAIXA");
    // The names of the company, branch and account type, and the settlement's account with
    // its bank, come from tables of a few rows each, read once (a left join's fields:
    // null where the row is missing).
    out.Lookups = {{QStringLiteral("SELECT CDEMPRESA, NMEMPRESA FROM EMPRESA"), QStringLiteral("CDEMPRESA"), {QStringLiteral("NMEMPRESA")}},
                   {QStringLiteral("SELECT CDFILIAL, NMFILIAL FROM FILIAL"), QStringLiteral("CDFILIAL"), {QStringLiteral("NMFILIAL")}},
                   {QStringLiteral("SELECT CDTPCTRECEB, DSTPCTRECEB FROM TIPOCTRECEBER"), QStringLiteral("CDTPCTRECEB"), {QStringLiteral("DSTPCTRECEB")}},
                   {QStringLiteral("SELECT CC.CDREDUCONT, CC.CDAGENCIA, CC.CDCONTCORR, CC.NMAGENCIA, CC.DSCONTCORR, "
                                   "CC.CDREDUCONT || ' ' || COALESCE(CC.CDCONTCORR, '') AS REDUZIDO, BC.CDBANCO, BC.NMBANCO, BC.CDPICTCONT "
                                   "FROM CONTCORR CC LEFT JOIN BANCO BC ON BC.CDBANCO = CC.CDBANCO"),
                    QStringLiteral("CDREDUBAIXA"),
                    {QStringLiteral("CDREDUCONT"), QStringLiteral("CDAGENCIA"), QStringLiteral("CDCONTCORR"), QStringLiteral("NMAGENCIA"),
                     QStringLiteral("DSCONTCORR"), QStringLiteral("REDUZIDO"), QStringLiteral("CDBANCO"), QStringLiteral("NMBANCO"),
                     QStringLiteral("CDPICTCONT")}}};
    // The fields that repeat or join the columns above are made by the server as it
    // reads each row. Days overdue count from the host's date, the one its report
    // header prints: on PostgreSQL a due date is a whole day; SQLite keeps its own
    // reading of whatever the column holds.
    using D = TDerivedField;
    out.Derived = {D::Same(QStringLiteral("IDSTATBREC"), QStringLiteral("IDSTATREC")), D::Same(QStringLiteral("IDSTATUS"), QStringLiteral("IDSTATREC")),
                   D::Same(QStringLiteral("VRORIGREC"), QStringLiteral("VRATUAREC")),
                   // NRLANCTONF || COALESCE('/' || CDSERIE, '')
                   D::Joined(QStringLiteral("NOTASERIE"), QStringLiteral("NRLANCTONF"), QStringLiteral("/"), QStringLiteral("CDSERIE"), false)};
    if (kind == TDBKind::PostgreSQL)
        out.Derived.push_back(D::DaysTo(QStringLiteral("DIAS"), QStringLiteral("DTATUAVENREC"), today));
    else
        b.Add(", JULIANDAY(:HOJE) - JULIANDAY(R.DTATUAVENREC) AS DIAS").Bind("HOJE", TParamType::String, today.toString(Qt::ISODate));
    b.Add(kFrom)
        // One settlement per receivable for its columns: the latest by date, then by
        // number, the one no other settlement of the receivable comes after. SQLite
        // looks it up in the index for each row; PostgreSQL finds them all in one
        // anti-join that its workers share (one pass per worker with DISTINCT ON was
        // faster at 100,000 receivables and slower at 1,000,000).
        .Add("LEFT JOIN BAIXAREC B ON B.NRLANCTOREC = R.NRLANCTOREC AND NOT EXISTS (SELECT 1 FROM BAIXAREC B2 "
             "WHERE B2.NRLANCTOREC = B.NRLANCTOREC AND (B2.DTBAIXAREC > B.DTBAIXAREC OR (B2.DTBAIXAREC = B.DTBAIXAREC AND B2.NRBAIXAREC > B.NRBAIXAREC)))")
        .Append(out.Filter)
        .Add(kOrder);
    out.Running = runningTotal("VRATUAREC");
    return out;
}

TCurveStatement TotalStatement(const TAbcRequest &request, TDBKind kind, const QString &dateFormat, const QString &op)
{
    const TCurveCall c{request, TCall::Total, dateFormat};
    TCurveStatement out{TSqlBuilder(kind), TSqlBuilder(kind), {}, {}, {}, {}};
    out.Filter = filter(c, kind, op, out.StatusLetters);
    // The company total is the last running total of the curve's own order, so the two
    // agree to the last digit.
    out.Statement.Add("SELECT R.CDEMPRESA AS CDEMPRESA, R.VRATUAREC AS SUMCRVRATUAREC").Add(kFrom).Append(out.Filter).Add(kOrder);
    out.Running = runningTotal("SUMCRVRATUAREC");
    return out;
}

QStringList ConnectionSettings(TDBKind kind)
{
    if (kind == TDBKind::PostgreSQL)
        return {QStringLiteral("SET parallel_tuple_cost = 0.05")};
    return {};
}

std::vector<TSetting> CurveSortSettings(TDBKind kind)
{
    // SQLite, 64 MiB: a sort of 100,000 curve rows stays in memory, and one of 1,000,000
    // is written out in a few large runs rather than hundreds of 2 MiB ones.
    // PostgreSQL, 128 MB a process: each of three processes sorts its third of
    // 1,000,000 curve rows in memory, about a fifth faster than merging it on disk. Without
    // the just-in-time compiler: compiling the plan's expressions in each process costs more
    // than it saves on this statement (3.74 to 3.94 s against 4.06 to 4.12 s at 1,000,000).
    if (kind == TDBKind::SQLite)
        return {{"cache_size", QStringLiteral("-65536")}, {"threads", QStringLiteral("1")}};
    return {{"work_mem", QStringLiteral("128MB")}, {"jit", QStringLiteral("off")}};
}
