// The criteria of the screen bound to the parameters of the chosen layout,
// with the refresh of the lookups that layouts print beside the figures.
#include "params/Binding.h"
#include "criteria/GroupRules.h"
#include "lookup/Lookups.h"
#include "module/Cli_rec11001.h"
#include "params/EmissionOptions.h"
#include "server/ServerCalls.h"
#include "services/Consiste.h"
#include "services/HostContext.h"
#include <optional>

namespace {
const QString kAll = QStringLiteral("T");
const QString kSpace = QStringLiteral(" ");

void setText(TParams &params, const QString &name, const QString &value)
{
    if (ExistParam(params, name))
        params.ParamByName(name).SetAsString(value);
}

void setDate(TParams &params, const QString &name, TDateTime value)
{
    if (ExistParam(params, name))
        params.ParamByName(name).SetAsDate(value);
}

void setNumber(TParams &params, const QString &name, double value)
{
    if (ExistParam(params, name))
        params.ParamByName(name).SetAsFloat(value);
}

void setNull(TParams &params, const QString &name)
{
    if (ExistParam(params, name))
        params.ParamByName(name).Clear();
}

TDateTime dateTimeOf(const QDate &date) { return date.isNull() ? 0 : DateToDateTime(date); }

// A group's list and flag parameters.
void bindList(TParams &params, const TGroupRule &rule, const TAbcChoice &pair)
{
    setText(params, QLatin1String(rule.ListParam), pair.Codes);
    setText(params, QLatin1String(rule.FlagParam), pair.Flag);
}

// A pair set whenever its list is declared: a layout that declares only the list stops on the missing flag.
void bindGuarded(TParams &params, const TGroupRule &rule, const TAbcChoice &pair)
{
    if (!ExistParam(params, QLatin1String(rule.ListParam)))
        return;
    params.ParamByName(QLatin1String(rule.ListParam)).SetAsString(pair.Codes);
    params.ParamByName(QLatin1String(rule.FlagParam)).SetAsString(pair.Flag);
}

// The names of a date range: first date and its text, second date and its text.
struct RangeNames {
    const char *FirstDate, *FirstText, *SecondDate, *SecondText;
};

// Reset to null, then each date given as a date and as its text.
void bindDateRange(TParams &params, const TDateRange &range, const RangeNames &n)
{
    for (const char *name : {n.FirstDate, n.FirstText, n.SecondDate, n.SecondText})
        setNull(params, QLatin1String(name));
    if (!range.From.isNull()) {
        setDate(params, QLatin1String(n.FirstDate), dateTimeOf(range.From));
        setText(params, QLatin1String(n.FirstText), DateToStr(dateTimeOf(range.From)));
    }
    if (!range.To.isNull()) {
        setDate(params, QLatin1String(n.SecondDate), dateTimeOf(range.To));
        setText(params, QLatin1String(n.SecondText), DateToStr(dateTimeOf(range.To)));
    }
}

void bindDates(const TCriteria &c, TParams &params)
{
    // Emission, and exit (group "Saída").
    bindDateRange(params, c.Emissao, {"DATEMISINI", "DTINIEMIS", "DATEMIFIN", "DTFINEMIS"});
    bindDateRange(params, c.Saida, {"DATENTR", "DTINIENTR", "DATSAID", "DTFINSAID"});

    // Due dates, always, as dates and as texts.
    const TDateTime venIni = dateTimeOf(c.Vencimento.From), venFin = dateTimeOf(c.Vencimento.To);
    for (const char *name : {"DATVENIN", "P_DTVENIN"})
        setDate(params, QLatin1String(name), venIni);
    for (const char *name : {"DATVENFIN", "P_DTVENFIN"})
        setDate(params, QLatin1String(name), venFin);
    for (const char *name : {"DTINIVEN", "DATINIVEN"})
        setText(params, QLatin1String(name), DateToStr(venIni));
    for (const char *name : {"DTFINVEN", "DATFINVEN"})
        setText(params, QLatin1String(name), DateToStr(venFin));

    // Settlement, group "Baixa": texts only; "T" while no date is given.
    for (const char *n : {"DTINIBAIXA", "DTFINBAIXA", "DTBAIXAINI", "DTBAIXAFIN"})
        setText(params, QLatin1String(n), QString());
    setText(params, QStringLiteral("TDTBAIXA"), kAll);
    const struct {
        QDate Date;
        const char *Names[2];
    } settlement[] = {{c.Baixa.From, {"DTBAIXAINI", "DTINIBAIXA"}}, {c.Baixa.To, {"DTBAIXAFIN", "DTFINBAIXA"}}};
    for (const auto &s : settlement)
        if (!s.Date.isNull()) {
            for (const char *name : s.Names)
                setText(params, QLatin1String(name), DateToStr(dateTimeOf(s.Date)));
            setText(params, QStringLiteral("TDTBAIXA"), QString());
        }

    // Net value, group "Valor Líquido": 0 is not given.
    for (const auto &[name, value] : {std::pair{"VALORINI", c.ValorIni.value_or(0)}, std::pair{"VALORFIN", c.ValorFin.value_or(0)}}) {
        setNull(params, QLatin1String(name));
        if (value != 0)
            setNumber(params, QLatin1String(name), value);
    }
}
} // namespace

void Binding::MainPath(const TCriteria &c, const TInputs &in, TParams &params)
{
    // The groups alike: all gives the empty list and "T", a list its codes and the rule's list flag.
    for (const TGroupRule &rule : GroupRules()) {
        const TCriteriaChoice choice = c.Groups.value(QLatin1String(rule.Name));
        if (rule.Abc == &TAbcRequest::Empresa) // "Todas" is the operator's companies; the flag is never "T"
            bindList(params, rule, {choice.List ? choice.Codes : in.OperatorCompanies, QString()});
        else if (rule.Abc == &TAbcRequest::Vendedor) // bound in the final steps, after the blank fill
            continue;
        else if (rule.Abc == &TAbcRequest::AtivClie || rule.Abc == &TAbcRequest::SegMerc) // the flag rides on the list's guard
            bindGuarded(params, rule, ChoiceFor(rule, choice));
        else
            bindList(params, rule, ChoiceFor(rule, choice));
    }

    setText(params, QStringLiteral("IDTPCTRECEBER"), c.ConAdian ? QStringLiteral("1_2") : QStringLiteral("1"));

    // Entry kind: "Todas", "Reais", "Previstas".
    static const std::pair<const char *, const char *> kinds[] = {{"", "T"}, {"A_E", ""}, {"V", ""}};
    if (c.Tipo >= 0 && c.Tipo < 3) {
        setText(params, QStringLiteral("TIPO"), QLatin1String(kinds[c.Tipo].first));
        setText(params, QStringLiteral("TTIPO"), QLatin1String(kinds[c.Tipo].second));
    }

    bindDates(c, params);

    // Client type: both boxes, or a client list, mean every type.
    if ((c.Privado && c.Publico) || c.Groups.value(QStringLiteral("Cliente")).List)
        setText(params, QStringLiteral("P_TODOS"), kAll);
    else if (c.Privado)
        setText(params, QStringLiteral("P_PRIPUB"), QStringLiteral("V"));
    else if (c.Publico)
        setText(params, QStringLiteral("P_PRIPUB"), QStringLiteral("B"));

    setText(params, QStringLiteral("P_UTLOPC"), in.EmissionOption);

    for (int i = 0; i < params.Count(); ++i)
        if (EmptyString(params[i].AsString()))
            params[i].SetAsString(kSpace);
}

void Binding::FinalSteps(const TCriteria &c, TParams &params)
{
    setText(params, QStringLiteral("STATUSA"), c.Aberto ? QStringLiteral("A") : QString());
    setText(params, QStringLiteral("STATUSB"), c.Baixada ? QStringLiteral("B") : QString());
    setText(params, QStringLiteral("STATUSD"), c.Descontada ? QStringLiteral("D") : QString());
    setText(params, QStringLiteral("STATUSP"), c.Planejada ? QStringLiteral("P") : QString());
    setText(params, QStringLiteral("TSTATUS"), c.StatusTodos ? kAll : QString());
    if (c.Baixada || c.Descontada || c.Aberto || c.Planejada)
        setText(params, QStringLiteral("STATUS"), StatusWord(c));
    setText(params, QStringLiteral("STATUST"), c.StatusTodos ? kAll : QString());

    // Billing reference: only a whole range is given to the layout.
    setText(params, QStringLiteral("P_DTINIREFEFAT"), QString());
    setText(params, QStringLiteral("P_DTFINREFEFAT"), QString());
    if (!c.RefeFat.From.isNull() && !c.RefeFat.To.isNull()) {
        setDate(params, QStringLiteral("P_DTINIREFEFAT"), dateTimeOf(c.RefeFat.From));
        setDate(params, QStringLiteral("P_DTFINREFEFAT"), dateTimeOf(c.RefeFat.To));
    }

    const TGroupRule &sellers = GroupRule(u"Vendedor");
    bindList(params, sellers, ChoiceFor(sellers, c.Groups.value(QLatin1String(sellers.Name))));

    const bool budget = !EmptyString(c.OrcaIni) && !EmptyString(c.OrcaFin);
    setText(params, QStringLiteral("P_ORCAINI"), budget ? c.OrcaIni : QString());
    setText(params, QStringLiteral("P_ORCAFIN"), budget ? c.OrcaFin : QString());
    setText(params, QStringLiteral("P_ORCA"), budget ? QString() : kAll);
}

void TfrmRelLancContReceber::RefreshLookup(bool list, TADOIBQuery &query, const char *listParam, const char *flagParam, const QString &codes,
                                           const std::optional<QString> &unused)
{
    if (list)
        Reopen(query, {{listParam, codes}, {flagParam, unused}});
    else
        Reopen(query, {{listParam, unused}, {flagParam, kAll}});
}

void TfrmRelLancContReceber::rpddPadraoBeforeGetQueryParams(TParams &params, bool &)
{
    // The ABC curve takes its data from the server and binds only the final steps, with the
    // criteria it read; the other layouts read the screen once here.
    if (IsCurveLayout()) {
        Binding::FinalSteps(CurvaABC(), params);
    } else {
        const TCriteria criteria = CurrentCriteria();
        BindMainPath(criteria, params);
        Binding::FinalSteps(criteria, params);
    }
}

bool TfrmRelLancContReceber::IsCurveLayout() const
{
    // Index 18 is the curve; a layout saved from it elsewhere in the list reads the curve's data set too.
    const int index = cbbReportNames->ItemIndex();
    if (index == 18)
        return true;
    return index >= 0 && index < Layouts().size() &&
           Layouts()[index].DataSet.compare(qryCurvaABC->objectName(), Qt::CaseInsensitive) == 0;
}

void TfrmRelLancContReceber::BindMainPath(const TCriteria &criteria, TParams &params)
{
    RefreshLookups(criteria, false);
    const bool optionParam = ExistParam(params, QStringLiteral("P_UTLOPC"));
    const QString option = RefreshEmissionOption(criteria, optionParam);
    Binding::MainPath(criteria, {lstEmpresaOper, option}, params);
    // A layout that takes the option prints the criteria under its header when it is "S".
    if (optionParam && option == QStringLiteral("S"))
        rpddPadrao->Header.CriteriaLines = ::EmissionOptionLines(criteria, EmissionSources(criteria));
}

// The lookups the layouts print beside the figures, reopened for the criteria in the order the
// binding reads them. The curve names its companies, receivable types, classifications and
// listed clients from the lookups themselves; the layouts take "Todas" companies as the
// operator's and the listed types, classifications and clients from the server.
void TfrmRelLancContReceber::RefreshLookups(const TCriteria &c, bool curve)
{
    const auto list = [&c](const char *group) { return c.Groups.value(QLatin1String(group)).List; };
    RefreshClients(c, curve);
    if (curve)
        RefreshLookup(list("Empresa"), *qryEmpresa, "CODEMPRESA", "TCODEMPRESA", lstEmpresa);
    else
        Reopen(*qryEmpresa, {{"CODEMPRESA", list("Empresa") ? lstEmpresa : lstEmpresaOper}, {"TCODEMPRESA", std::nullopt}});
    RefreshLookup(list("Filial"), *qryFilial, "P_CDFILIAL", "P_TODOS", lstFilial, std::nullopt);
    if (list("TipoConta") && !curve)
        ServerCalls::GetConsultaServ(*netRelLancContReceber, QStringLiteral("TipoConta"), lstTipoConta, *qryTipoConta);
    else
        RefreshLookup(list("TipoConta"), *qryTipoConta1, "TIPOCONTA", "TTIPOCONTA", lstTipoConta);
    RefreshPostingBranches(list("Lancamento"));
    RefreshLookup(list("FormaPaga"), *qryFormaRec, "P_CODIGO", "P_TCODIGO", lstFormaPaga);
    RefreshLookup(list("CCorr"), *qryContCorr, "P_CDREDUCONT", "P_TCDREDUCONT", lstCCorr);
    if (list("Class") && !curve)
        ServerCalls::GetConsultaServ(*netRelLancContReceber, QStringLiteral("ClassFinanceira"), lstClass, *qryClassFinanc);
    else
        RefreshLookup(list("Class"), *qryClassFinanc1, "P_CDCLASSFINA", "P_TCDCLASSFINA", lstClass);
}

void TfrmRelLancContReceber::RefreshPostingBranches(bool list)
{
    QString none;
    ServerCalls::GetFiliLanca(*netRelLancContReceber, list ? lstLancamento : none, list ? QString() : kAll, *cdsFiliLanca);
}

void TfrmRelLancContReceber::RefreshClients(const TCriteria &c, bool curve)
{
    const bool clientList = c.Groups.value(QStringLiteral("Cliente")).List;
    if (!c.Groups.value(QStringLiteral("Regiao")).List) {
        CopyClientStatement(*qryClienteAux);
        if (!clientList)
            Reopen(*qryCliente1, {{"P_CLIENTE", QString()}, {"TCLIENTE", kAll}});
        else if (curve) // the curve names its clients from the lookup itself
            Reopen(*qryCliente1, {{"P_CLIENTE", lstCliente}, {"TCLIENTE", QString()}});
        else
            ServerCalls::GetConsultaServ(*netRelLancContReceber, QStringLiteral("Cliente"), lstCliente, *qryCliente);
    } else {
        CopyClientStatement(*qryClienteRegiao);
        Reopen(*qryCliente1, {{"CLIENTE", clientList ? lstCliente : QString()},
                              {"TCLIENTE", clientList ? QString() : kAll},
                              {"P_CDREGIAOPED", lstRegiao},
                              {"TREGIAO", QString()}});
    }
}

QString TfrmRelLancContReceber::RefreshEmissionOption(const TCriteria &criteria, bool rewrite)
{
    ServerCalls::GetOpEmissao(*netRelLancContReceber, QLatin1String(kScreenCode), Operador(), *cdsOpEmissao);
    if (cdsOpEmissao->IsEmpty()) {
        cdsOpEmissao->Insert();
        cdsOpEmissao->FieldByName(QStringLiteral("CDTELAPROG")).SetAsString(QLatin1String(kScreenCode));
        cdsOpEmissao->FieldByName(QStringLiteral("CDOPERADOR")).SetAsString(Operador());
    }
    const QString letter = criteria.UtilizaOpEmissao ? QStringLiteral("S") : QStringLiteral("N");
    if (rewrite) {
        if (cdsOpEmissao->State() != TDataSetState::Insert)
            cdsOpEmissao->Edit();
        cdsOpEmissao->FieldByName(QStringLiteral("IDUTOPEMIFIN")).SetAsString(letter);
        cdsOpEmissao->Post();
    }
    return letter;
}
