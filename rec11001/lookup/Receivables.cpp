#include "lookup/Receivables.h"
#include "data/Query.h"
#include "lookup/Lookups.h"
#include "report/ReportRows.h"
#include "services/HostContext.h"
#include <algorithm>
#include <cmath>
#include <limits>

namespace {
constexpr auto S = TFieldType::String;
constexpr auto I = TFieldType::Integer;
constexpr auto FL = TFieldType::Float;
constexpr auto DT = TFieldType::DateTime;
constexpr auto STR = TParamType::String;
constexpr auto INT = TParamType::Integer;

// Every statement keeps to the operator's companies.
#define REC_OPERATOR_COMPANIES "R.CDEMPRESA IN (SELECT OE.CDEMPRESA FROM OPEREMPRESA OE WHERE OE.CDOPERADOR = :CDOPERADOR)"

const char *const kReceivableSql =
    "SELECT R.NRLANCTOREC, R.CDEMPRESA, E.NMEMPRESA, R.CDFILIAL, FO.NMFILIAL, R.CDFILILANC, FL.NMFILIAL AS NMFILILANC, R.CDFILIEMIT, "
    "R.CDCLIENTE, C.NMRAZSOCCLIE, C.NMFANTCLIE, C.NRINSJURCLIE, R.CDTPCTRECEB, T.DSTPCTRECEB, R.CDCLASSFINA, CF.DSCLASSFINA, "
    "R.CDVENDEDOR, V.NMRAZSOCVEN, R.NRORCAMENTO, R.IDSTATREC, R.IDTPLANCREC, R.DTEMISSAO, R.DTENTRSAID, R.DTORIGVENREC, R.DTATUAVENREC, "
    "R.DTREFEFAT, R.VRORIGREC, R.VRATUAREC, R.VRLIQREC, R.DSCONTAREC, R.NRLANBOLREC, R.IDTPIJURNF, R.NRINSJURNF, R.CDSERIE, R.NRLANCTONF "
    "FROM CONTARECEBER R JOIN EMPRESA E ON E.CDEMPRESA = R.CDEMPRESA JOIN CLIENTE C ON C.CDCLIENTE = R.CDCLIENTE "
    "JOIN TIPOCTRECEBER T ON T.CDTPCTRECEB = R.CDTPCTRECEB LEFT JOIN FILIAL FO ON FO.CDFILIAL = R.CDFILIAL "
    "LEFT JOIN FILIAL FL ON FL.CDFILIAL = R.CDFILILANC LEFT JOIN CLASSFINANC CF ON CF.CDCLASSFINA = R.CDCLASSFINA "
    "LEFT JOIN VENDEDOR V ON V.CDVENDEDOR = R.CDVENDEDOR "
    "WHERE R.NRLANCTOREC = :NRLANCTOREC AND " REC_OPERATOR_COMPANIES;

const char *const kSettlementsSql =
    "SELECT B.NRBAIXAREC, B.DTBAIXAREC, B.VRBAIXAREC, B.CDTPBAIXAREC, TB.NMTPBAIXAREC, B.CDREDUCONT, CC.DSCONTCORR, BC.NMBANCO "
    "FROM BAIXAREC B JOIN CONTARECEBER R ON R.NRLANCTOREC = B.NRLANCTOREC JOIN TIPOBAIXAREC TB ON TB.CDTPBAIXAREC = B.CDTPBAIXAREC "
    "LEFT JOIN CONTCORR CC ON CC.CDREDUCONT = B.CDREDUCONT LEFT JOIN BANCO BC ON BC.CDBANCO = CC.CDBANCO "
    "WHERE B.NRLANCTOREC = :NRLANCTOREC AND " REC_OPERATOR_COMPANIES " ORDER BY B.DTBAIXAREC, B.NRBAIXAREC";

// Receivables by a list of numbers within a range of them, or a client's open ones: the list and the
// client each with their all flag, as the screen's other lists.
const char *const kLinesSql =
    "SELECT R.NRLANCTOREC, R.CDEMPRESA, R.CDCLIENTE, C.NMRAZSOCCLIE, R.NRLANBOLREC, R.DTATUAVENREC, R.IDSTATREC, R.VRATUAREC, "
    "COALESCE((SELECT SUM(B.VRBAIXAREC) FROM BAIXAREC B WHERE B.NRLANCTOREC = R.NRLANCTOREC), 0) AS VRBAIXADO "
    "FROM CONTARECEBER R JOIN CLIENTE C ON C.CDCLIENTE = R.CDCLIENTE "
    "WHERE R.NRLANCTOREC BETWEEN :MENOR AND :MAIOR AND (:TLANCAMENTOS = 'T' OR INSTR(:LANCAMENTOS, '_' || R.NRLANCTOREC || '_') <> 0) "
    "AND (:TCLIENTE = 'T' OR (R.CDCLIENTE = :CDCLIENTE AND R.IDSTATREC = 'A')) AND R.NRLANCTOREC <> :EXCETO AND " REC_OPERATOR_COMPANIES
    " ORDER BY R.DTATUAVENREC, R.NRLANCTOREC";

const char *const kDocumentSql =
    "SELECT R.NRLANCTOREC FROM CONTARECEBER R WHERE R.CDEMPRESA = :CDEMPRESA AND R.CDCLIENTE = :CDCLIENTE "
    "AND COALESCE(R.NRLANBOLREC, ' ') = COALESCE(:NRLANBOLREC, ' ') AND R.DTATUAVENREC = DATE(:DTATUAVENREC) AND " REC_OPERATOR_COMPANIES
    " ORDER BY R.NRLANCTOREC";
#undef REC_OPERATOR_COMPANIES

// A list chunk holds at most this many numbers, over a range of at most 4 numbers per receivable
// asked plus this slack, so each read stays on few rows of the table.
constexpr int kChunk = 200;
constexpr qint64 kSlack = 2000;

// To the cent, without a negative zero.
double cents(double v)
{
    const double c = std::round(v * 100) / 100;
    return c == 0 ? 0.0 : c;
}

QString joined(const QString &code, const QString &name) { return name.isEmpty() ? code : code + QStringLiteral(" - ") + name; }

QString dateText(const TField &f) { return f.IsNull() ? QString() : DateTimeToDate(f.AsDateTime()).toString(QStringLiteral("dd/MM/yyyy")); }

void each(TDataSet &rows, const std::function<void()> &fn)
{
    for (rows.First(); !rows.Eof(); rows.Next())
        fn();
}
} // namespace

double TReceivableLine::Balance() const { return cents(Value - Settled); }

QString TReceivableReader::StatusText(const QString &status)
{
    static const QHash<QString, QString> names = {{QStringLiteral("A"), QStringLiteral("Em Aberto")},
                                                  {QStringLiteral("B"), QStringLiteral("Baixada")},
                                                  {QStringLiteral("D"), QStringLiteral("Descontada")},
                                                  {QStringLiteral("P"), QStringLiteral("Planejada")}};
    return joined(status, names.value(status));
}

TReceivableReader::TReceivableReader(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("rdrContaReceber"));
    qryContaReceber = CreateQuery(this, "qryContaReceber", QString::fromLatin1(kReceivableSql), {}, {{"NRLANCTOREC", INT}, {"CDOPERADOR", STR}},
                                  {{"NRLANCTOREC", I, 0, "Número", true, true, 0},
                                   {"CDEMPRESA", S, 2, "Empresa", true, true, 0},
                                   {"NMEMPRESA", S, 40, "", false, false, 0},
                                   {"CDFILIAL", S, 4, "Filial de origem", true, true, 0},
                                   {"NMFILIAL", S, 30, "", false, false, 0},
                                   {"CDFILILANC", S, 4, "Filial de lançamento", true, true, 0},
                                   {"NMFILILANC", S, 30, "", false, false, 0},
                                   {"CDFILIEMIT", S, 4, "Filial emitente", true, false, 0},
                                   {"CDCLIENTE", S, 21, "Cliente", true, true, 0},
                                   {"NMRAZSOCCLIE", S, 100, "", false, false, 0},
                                   {"NMFANTCLIE", S, 50, "Nome fantasia", true, false, 0},
                                   {"NRINSJURCLIE", S, 20, "Inscrição do cliente", true, false, 0},
                                   {"CDTPCTRECEB", S, 6, "Tipo de conta", true, true, 0},
                                   {"DSTPCTRECEB", S, 40, "", false, false, 0},
                                   {"CDCLASSFINA", S, 6, "Classificação financeira", true, false, 0},
                                   {"DSCLASSFINA", S, 30, "", false, false, 0},
                                   {"CDVENDEDOR", S, 4, "Vendedor", true, false, 0},
                                   {"NMRAZSOCVEN", S, 50, "", false, false, 0},
                                   {"NRORCAMENTO", S, 10, "Orçamento", true, false, 0},
                                   {"IDSTATREC", S, 1, "Situação", true, true, 0},
                                   {"IDTPLANCREC", S, 1, "Tipo de lançamento", true, true, 0},
                                   {"DTEMISSAO", DT, 0, "Emissão", true, true, 0},
                                   {"DTENTRSAID", DT, 0, "Entrada/Saída", true, false, 0},
                                   {"DTORIGVENREC", DT, 0, "Vencimento original", true, true, 0},
                                   {"DTATUAVENREC", DT, 0, "Vencimento", true, true, 0},
                                   {"DTREFEFAT", DT, 0, "Referência de faturamento", true, false, 0},
                                   {"VRORIGREC", FL, 0, "Valor original", true, true, 0},
                                   {"VRATUAREC", FL, 0, "Valor atualizado", true, true, 0},
                                   {"VRLIQREC", FL, 0, "Valor líquido", true, true, 0},
                                   {"DSCONTAREC", S, 100, "Descrição", true, false, 0},
                                   {"NRLANBOLREC", S, 10, "Documento", true, false, 0},
                                   {"IDTPIJURNF", S, 1, "", false, false, 0},
                                   {"NRINSJURNF", S, 20, "Inscrição na nota", true, false, 0},
                                   {"CDSERIE", S, 5, "", false, false, 0},
                                   {"NRLANCTONF", S, 10, "Nota fiscal", true, false, 0}});
    qryBaixaRec = CreateQuery(this, "qryBaixaRec", QString::fromLatin1(kSettlementsSql), {}, {{"NRLANCTOREC", INT}, {"CDOPERADOR", STR}},
                              {{"NRBAIXAREC", S, 10, "Baixa", true, true, 0},
                               {"DTBAIXAREC", DT, 0, "Data", true, true, 0},
                               {"VRBAIXAREC", FL, 0, "Valor", true, true, 0},
                               {"CDTPBAIXAREC", S, 2, "Forma", true, true, 0},
                               {"NMTPBAIXAREC", S, 50, "", false, false, 0},
                               {"CDREDUCONT", S, 3, "Conta corrente", true, false, 0},
                               {"DSCONTCORR", S, 20, "", false, false, 0},
                               {"NMBANCO", S, 30, "", false, false, 0}});
    const std::initializer_list<TLookupField> lineFields = {{"NRLANCTOREC", I, 0, "Número", true, true, 0},
                                                            {"CDEMPRESA", S, 2, "Empresa", true, true, 0},
                                                            {"CDCLIENTE", S, 21, "Cliente", true, true, 0},
                                                            {"NMRAZSOCCLIE", S, 100, "Razão Social", true, false, 0},
                                                            {"NRLANBOLREC", S, 10, "Documento", true, false, 0},
                                                            {"DTATUAVENREC", DT, 0, "Vencimento", true, true, 0},
                                                            {"IDSTATREC", S, 1, "St", true, true, 0},
                                                            {"VRATUAREC", FL, 0, "Valor atualizado", true, true, 0},
                                                            {"VRBAIXADO", FL, 0, "Baixado", true, false, 0}};
    qryContasReceber = CreateQuery(this, "qryContasReceber", QString::fromLatin1(kLinesSql), {{QStringLiteral("LANCAMENTOS"), QStringLiteral("LANCAMENTOS")}},
                                   {{"MENOR", INT}, {"MAIOR", INT}, {"LANCAMENTOS", STR}, {"TLANCAMENTOS", STR}, {"CDCLIENTE", STR}, {"TCLIENTE", STR},
                                    {"EXCETO", INT}, {"CDOPERADOR", STR}},
                                   lineFields);
    qryContaDocumento = CreateQuery(this, "qryContaDocumento", QString::fromLatin1(kDocumentSql), {},
                                    {{"CDEMPRESA", STR}, {"CDCLIENTE", STR}, {"NRLANBOLREC", STR}, {"DTATUAVENREC", STR}, {"CDOPERADOR", STR}},
                                    {{"NRLANCTOREC", I, 0, "Número", true, true, 0}});
}

std::optional<TReceivable> TReceivableReader::Read(qint64 number)
{
    TADOIBQuery &q = *qryContaReceber;
    q.Close();
    q.ParamByName(QStringLiteral("NRLANCTOREC")).SetValue(number);
    q.ParamByName(QStringLiteral("CDOPERADOR")).SetAsString(Operador());
    q.Open();
    if (q.IsEmpty())
        return std::nullopt;
    TDataSet &row = q.Query();
    auto text = [&](const char *name) { return row.FieldByName(QLatin1String(name)).AsString(); };
    TReceivable r;
    r.Line.Number = row.FieldByName(QStringLiteral("NRLANCTOREC")).AsInteger();
    r.Line.Company = text("CDEMPRESA");
    r.Line.Client = text("CDCLIENTE");
    r.Line.ClientName = text("NMRAZSOCCLIE");
    r.Line.Document = text("NRLANBOLREC");
    r.Line.Status = text("IDSTATREC");
    r.Line.Due = DateTimeToDate(row.FieldByName(QStringLiteral("DTATUAVENREC")).AsDateTime());
    r.Line.Value = row.FieldByName(QStringLiteral("VRATUAREC")).AsFloat();
    // The visible fields in their order, a code with the name it stands for.
    const QHash<QString, QString> names = {{QStringLiteral("CDEMPRESA"), text("NMEMPRESA")},     {QStringLiteral("CDFILIAL"), text("NMFILIAL")},
                                           {QStringLiteral("CDFILILANC"), text("NMFILILANC")},   {QStringLiteral("CDCLIENTE"), text("NMRAZSOCCLIE")},
                                           {QStringLiteral("CDTPCTRECEB"), text("DSTPCTRECEB")}, {QStringLiteral("CDCLASSFINA"), text("DSCLASSFINA")},
                                           {QStringLiteral("CDVENDEDOR"), text("NMRAZSOCVEN")}};
    for (int i = 0; i < row.FieldCount(); ++i) {
        TField &f = row.Fields(i);
        if (!f.Visible)
            continue;
        QString shown;
        if (f.DataType == TFieldType::DateTime)
            shown = dateText(f);
        else if (f.DataType == TFieldType::Float)
            shown = f.IsNull() ? QString() : AmountText(f.AsFloat());
        else if (f.FieldName == QStringLiteral("IDSTATREC"))
            shown = StatusText(f.AsString());
        else if (f.FieldName == QStringLiteral("IDTPLANCREC"))
            shown = joined(f.AsString(), f.AsString() == QStringLiteral("V") ? QStringLiteral("Prevista") : QStringLiteral("Real"));
        else if (f.FieldName == QStringLiteral("NRLANCTONF") && !text("CDSERIE").isEmpty() && !f.IsNull())
            shown = f.AsString() + QStringLiteral(" / série ") + text("CDSERIE");
        else if (f.FieldName == QStringLiteral("NRINSJURNF") && !f.IsNull())
            shown = f.AsString() + (text("IDTPIJURNF") == QStringLiteral("F") ? QStringLiteral(" (CPF)") : QStringLiteral(" (CNPJ)"));
        else
            shown = f.IsNull() || names.value(f.FieldName).isEmpty() ? f.AsString() : joined(f.AsString(), names.value(f.FieldName));
        r.Fields.push_back({f.FieldName, f.DisplayLabel, shown});
    }

    TADOIBQuery &b = *qryBaixaRec;
    b.Close();
    b.ParamByName(QStringLiteral("NRLANCTOREC")).SetValue(number);
    b.ParamByName(QStringLiteral("CDOPERADOR")).SetAsString(Operador());
    b.Open();
    TDataSet &s = b.Query();
    each(s, [&] {
        auto field = [&](const char *name) -> TField & { return s.FieldByName(QLatin1String(name)); };
        TSettlement st;
        st.Number = field("NRBAIXAREC").AsString();
        st.Date = DateTimeToDate(field("DTBAIXAREC").AsDateTime());
        st.Value = field("VRBAIXAREC").AsFloat();
        st.Form = joined(field("CDTPBAIXAREC").AsString(), field("NMTPBAIXAREC").AsString());
        if (!field("CDREDUCONT").IsNull()) {
            st.Account = joined(field("CDREDUCONT").AsString(), field("DSCONTCORR").AsString());
            if (!field("NMBANCO").IsNull())
                st.Account += QStringLiteral(" (") + field("NMBANCO").AsString() + QLatin1Char(')');
        }
        r.Line.Settled += st.Value;
        r.Settlements.push_back(st);
    });
    b.Close();
    q.Close();
    return r;
}

QVector<TReceivableLine> TReceivableReader::ReadLines(TDataSet &rows)
{
    QVector<TReceivableLine> lines;
    each(rows, [&] {
        auto field = [&](const char *name) -> TField & { return rows.FieldByName(QLatin1String(name)); };
        TReceivableLine l;
        l.Number = field("NRLANCTOREC").AsInteger();
        l.Company = field("CDEMPRESA").AsString();
        l.Client = field("CDCLIENTE").AsString();
        l.ClientName = field("NMRAZSOCCLIE").AsString();
        l.Document = field("NRLANBOLREC").AsString();
        l.Due = DateTimeToDate(field("DTATUAVENREC").AsDateTime());
        l.Status = field("IDSTATREC").AsString();
        l.Value = field("VRATUAREC").AsFloat();
        l.Settled = field("VRBAIXADO").AsFloat();
        lines.push_back(l);
    });
    return lines;
}

QVector<TReceivableLine> TReceivableReader::Lines(const QVector<qint64> &numbers)
{
    QVector<qint64> sorted = numbers;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    QHash<qint64, TReceivableLine> found;
    TADOIBQuery &q = *qryContasReceber;
    for (qsizetype from = 0; from < sorted.size();) {
        // Neighbouring numbers go together while their range stays narrow.
        qsizetype to = from + 1;
        while (to < sorted.size() && to - from < kChunk && sorted[to] - sorted[from] <= 4 * (to - from + 1) + kSlack)
            ++to;
        QString list;
        for (qsizetype i = from; i < to; ++i)
            list += QLatin1Char('_') + QString::number(sorted[i]) + QLatin1Char('_');
        q.Close();
        q.ParamByName(QStringLiteral("MENOR")).SetValue(sorted[from]);
        q.ParamByName(QStringLiteral("MAIOR")).SetValue(sorted[to - 1]);
        q.ParamByName(QStringLiteral("LANCAMENTOS")).SetAsString(list);
        q.ParamByName(QStringLiteral("TLANCAMENTOS")).SetAsString(QString());
        q.ParamByName(QStringLiteral("CDCLIENTE")).SetAsString(QString());
        q.ParamByName(QStringLiteral("TCLIENTE")).SetAsString(QStringLiteral("T"));
        q.ParamByName(QStringLiteral("EXCETO")).SetValue(qint64(-1));
        q.ParamByName(QStringLiteral("CDOPERADOR")).SetAsString(Operador());
        q.Open();
        for (const TReceivableLine &l : ReadLines(q.Query()))
            found.insert(l.Number, l);
        from = to;
    }
    q.Close();
    QVector<TReceivableLine> lines;
    QSet<qint64> seen;
    for (qint64 n : numbers)
        if (found.contains(n) && !seen.contains(n)) {
            seen.insert(n);
            lines.push_back(found.value(n));
        }
    return lines;
}

QVector<TReceivableLine> TReceivableReader::OpenOfClient(const QString &client, qint64 except)
{
    TADOIBQuery &q = *qryContasReceber;
    q.Close();
    q.ParamByName(QStringLiteral("MENOR")).SetValue(std::numeric_limits<qint64>::min());
    q.ParamByName(QStringLiteral("MAIOR")).SetValue(std::numeric_limits<qint64>::max());
    q.ParamByName(QStringLiteral("LANCAMENTOS")).SetAsString(QString());
    q.ParamByName(QStringLiteral("TLANCAMENTOS")).SetAsString(QStringLiteral("T"));
    q.ParamByName(QStringLiteral("CDCLIENTE")).SetAsString(client);
    q.ParamByName(QStringLiteral("TCLIENTE")).SetAsString(QString());
    q.ParamByName(QStringLiteral("EXCETO")).SetValue(except);
    q.ParamByName(QStringLiteral("CDOPERADOR")).SetAsString(Operador());
    q.Open();
    QVector<TReceivableLine> lines = ReadLines(q.Query());
    q.Close();
    return lines;
}

QVector<qint64> TReceivableReader::NumbersOfDocument(const QString &company, const QString &client, const QString &document, const QDate &due)
{
    TADOIBQuery &q = *qryContaDocumento;
    q.Close();
    q.ParamByName(QStringLiteral("CDEMPRESA")).SetAsString(company);
    q.ParamByName(QStringLiteral("CDCLIENTE")).SetAsString(client);
    if (document.trimmed().isEmpty())
        q.ParamByName(QStringLiteral("NRLANBOLREC")).Clear();
    else
        q.ParamByName(QStringLiteral("NRLANBOLREC")).SetAsString(document);
    q.ParamByName(QStringLiteral("DTATUAVENREC")).SetAsString(due.toString(Qt::ISODate));
    q.ParamByName(QStringLiteral("CDOPERADOR")).SetAsString(Operador());
    q.Open();
    QVector<qint64> numbers;
    TDataSet &rows = q.Query();
    each(rows, [&] { numbers.push_back(rows.FieldByName(QStringLiteral("NRLANCTOREC")).AsInteger()); });
    q.Close();
    return numbers;
}
