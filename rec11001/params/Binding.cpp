// The criteria of the screen bound to the parameters of the chosen layout,
// with the refresh of the lookups that layouts print beside the figures.
#include "Cli_rec11001.h"
#include "Consiste.h"
#include "HostContext.h"
#include "ServerCalls.h"
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

// An all-or-list group: all gives the empty list and "T"; a list gives the codes and `listFlag`.
void bindGroup(TParams &params, const TCriteriaGroup &g, const QString &listFlag = {})
{
    const QString list = QLatin1String(g.ListParam), flag = QLatin1String(g.FlagParam);
    if (g.All->Checked()) {
        setText(params, list, QString());
        setText(params, flag, kAll);
    } else if (g.List->Checked()) {
        setText(params, list, *g.Codes);
        setText(params, flag, listFlag);
    }
}

// The names of a date range: first date and its text, second date and its text.
struct RangeNames {
    const char *FirstDate, *FirstText, *SecondDate, *SecondText;
};

void bindDateRange(TParams &params, TDateTime first, TDateTime second, const RangeNames &n)
{
    for (const char *name : {n.FirstDate, n.FirstText, n.SecondDate, n.SecondText})
        setNull(params, QLatin1String(name));
    if (first != 0) {
        setDate(params, QLatin1String(n.FirstDate), first);
        setText(params, QLatin1String(n.FirstText), DateToStr(first));
    }
    if (second != 0) {
        setDate(params, QLatin1String(n.SecondDate), second);
        setText(params, QLatin1String(n.SecondText), DateToStr(second));
    }
}
} // namespace

const TCriteriaGroup &TfrmRelLancContReceber::Group(const char *name) const
{
    const TCriteriaGroup *g = GroupNamed(QLatin1String(name));
    Q_ASSERT(g);
    return *g;
}

void TfrmRelLancContReceber::RefreshLookup(const TRadioButton *all, const TRadioButton *list, TADOIBQuery &query, const char *listParam,
                                           const char *flagParam, const QString &codes, const std::optional<QString> &unused)
{
    if (all->Checked())
        Reopen(query, {{listParam, unused}, {flagParam, kAll}});
    else if (list->Checked())
        Reopen(query, {{listParam, codes}, {flagParam, unused}});
}

void TfrmRelLancContReceber::Reopen(TADOIBQuery &query, std::initializer_list<std::pair<const char *, std::optional<QString>>> values)
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

void TfrmRelLancContReceber::rpddPadraoBeforeGetQueryParams(TParams &params, bool &)
{
    // The ABC curve takes its data from the server and binds only the final steps.
    if (IsCurveLayout())
        CurvaABC();
    else
        BindMainPath(params);
    BindFinalSteps(params);
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

void TfrmRelLancContReceber::BindMainPath(TParams &params)
{
    // Region and client, then the client lookup.
    if (rbtTodasReg->Checked() || rbtListaReg->Checked()) {
        if (rbtTodasReg->Checked()) {
            setText(params, QStringLiteral("P_CDREGIAOPED"), QString());
            setText(params, QStringLiteral("P_TCDREGIAOPED"), kAll);
        } else if (!EmptyString(lstRegiao)) {
            setText(params, QStringLiteral("P_CDREGIAOPED"), lstRegiao);
            setText(params, QStringLiteral("P_TCDREGIAOPED"), QString());
        }
        bindGroup(params, Group("Cliente"));
    }
    RefreshClients();

    bindGroup(params, Group("GrupClie"));

    // All companies are the operator's companies; the company flag is never "T".
    if (rbtTodosEmpr->Checked() || rbtListaEmp->Checked()) {
        const QString &codes = rbtTodosEmpr->Checked() ? lstEmpresaOper : lstEmpresa;
        setText(params, QStringLiteral("CODEMPRESA"), codes);
        setText(params, QStringLiteral("TCODEMPRESA"), QString());
        Reopen(*qryEmpresa, {{"CODEMPRESA", codes}, {"TCODEMPRESA", std::nullopt}});
    }

    bindGroup(params, Group("Filial"));
    RefreshLookup(rbtTodosFilial, rbtListaFilial, *qryFilial, "P_CDFILIAL", "P_TODOS", lstFilial, std::nullopt);

    bindGroup(params, Group("TipoConta"));
    if (rbtTodosTipo->Checked())
        Reopen(*qryTipoConta1, {{"TIPOCONTA", QString()}, {"TTIPOCONTA", kAll}});
    else if (rbtListaTipo->Checked())
        ServerCalls::GetConsultaServ(*netRelLancContReceber, QStringLiteral("TipoConta"), lstTipoConta, *qryTipoConta);

    setText(params, QStringLiteral("IDTPCTRECEBER"), chbConAdian->Checked() ? QStringLiteral("1_2") : QStringLiteral("1"));

    // A posting-branch list gets one space as its flag.
    bindGroup(params, Group("Lancamento"), kSpace);
    if (rbtTodosLanca->Checked()) {
        QString none;
        ServerCalls::GetFiliLanca(*netRelLancContReceber, none, kAll, *cdsFiliLanca);
    } else if (rbtListaLanca->Checked()) {
        ServerCalls::GetFiliLanca(*netRelLancContReceber, lstLancamento, QString(), *cdsFiliLanca);
    }

    bindGroup(params, Group("FormaPaga"));
    RefreshLookup(rbtFormaTodos, rbtFormaLista, *qryFormaRec, "P_CODIGO", "P_TCODIGO", lstFormaPaga);

    bindGroup(params, Group("CCorr"));
    RefreshLookup(rbtCCorrTodas, rbtCCorrLista, *qryContCorr, "P_CDREDUCONT", "P_TCDREDUCONT", lstCCorr);

    switch (rdgTipo->ItemIndex()) {
    case 0:
        setText(params, QStringLiteral("TIPO"), QString());
        setText(params, QStringLiteral("TTIPO"), kAll);
        break;
    case 1:
        setText(params, QStringLiteral("TIPO"), QStringLiteral("A_E"));
        setText(params, QStringLiteral("TTIPO"), QString());
        break;
    case 2:
        setText(params, QStringLiteral("TIPO"), QStringLiteral("V"));
        setText(params, QStringLiteral("TTIPO"), QString());
        break;
    default: break;
    }

    bindGroup(params, Group("Class"));
    if (rdgTClassFinanc->Checked())
        Reopen(*qryClassFinanc1, {{"P_CDCLASSFINA", QString()}, {"P_TCDCLASSFINA", kAll}});
    else if (rdgLClassFinanc->Checked())
        ServerCalls::GetConsultaServ(*netRelLancContReceber, QStringLiteral("ClassFinanceira"), lstClass, *qryClassFinanc);

    BindDates(params);

    // Client type: both boxes, or a client list, mean every type.
    if (chkPrivado->Checked() && chkPublico->Checked())
        setText(params, QStringLiteral("P_TODOS"), kAll);
    else if (rbtTodosClie->Checked()) {
        if (chkPrivado->Checked())
            setText(params, QStringLiteral("P_PRIPUB"), QStringLiteral("V"));
        else if (chkPublico->Checked())
            setText(params, QStringLiteral("P_PRIPUB"), QStringLiteral("B"));
    } else {
        setText(params, QStringLiteral("P_TODOS"), kAll);
    }

    // The activity and segment flags ride on the guard of their lists.
    if (ExistParam(params, QStringLiteral("P_ATIVCLI"))) {
        const bool all = rdbTodosAtivClie->Checked();
        params.ParamByName(QStringLiteral("P_ATIVCLI")).SetAsString(all ? QString() : lstAtivClie);
        params.ParamByName(QStringLiteral("P_TATIVCLI")).SetAsString(all ? kAll : QString());
    }
    if (ExistParam(params, QStringLiteral("P_SEGMERC"))) {
        const bool all = rdbTodosSegMerc->Checked();
        params.ParamByName(QStringLiteral("P_SEGMERC")).SetAsString(all ? QString() : lstSegMerc);
        params.ParamByName(QStringLiteral("P_TSEGMERC")).SetAsString(all ? kAll : QString());
    }

    const QString option = RefreshEmissionOption(ExistParam(params, QStringLiteral("P_UTLOPC")));
    setText(params, QStringLiteral("P_UTLOPC"), option);
    // A layout that takes the option prints the criteria under its header when it is "S".
    if (ExistParam(params, QStringLiteral("P_UTLOPC")) && option == QStringLiteral("S"))
        rpddPadrao->Header.CriteriaLines = EmissionOptionLines();

    // Every parameter still blank gets one space, whatever its type.
    for (int i = 0; i < params.Count(); ++i)
        if (EmptyString(params[i].AsString()))
            params[i].SetAsString(kSpace);
}

void TfrmRelLancContReceber::BindDates(TParams &params)
{
    // Emission, and exit (group "Saída"): reset to null, then each date given as a date and as its text.
    bindDateRange(params, depEmissaoDE->GetDate(), depEmissaoATE->GetDate(), {"DATEMISINI", "DTINIEMIS", "DATEMIFIN", "DTFINEMIS"});
    bindDateRange(params, depSaidaDe->GetDate(), depSaidaAte->GetDate(), {"DATENTR", "DTINIENTR", "DATSAID", "DTFINSAID"});

    // Due dates, always, as dates and as texts.
    const TDateTime venIni = depVenIni->GetDate(), venFin = depVenFin->GetDate();
    setDate(params, QStringLiteral("DATVENIN"), venIni);
    setDate(params, QStringLiteral("DATVENFIN"), venFin);
    setText(params, QStringLiteral("DTINIVEN"), DateToStr(venIni));
    setText(params, QStringLiteral("DTFINVEN"), DateToStr(venFin));
    setDate(params, QStringLiteral("P_DTVENIN"), venIni);
    setDate(params, QStringLiteral("P_DTVENFIN"), venFin);
    setText(params, QStringLiteral("DATINIVEN"), DateToStr(venIni));
    setText(params, QStringLiteral("DATFINVEN"), DateToStr(venFin));

    // Settlement, group "Baixa": texts only; "T" while no date is given.
    const TDateTime baixaIni = depBaixaEntr->GetDate(), baixaFin = depBaixaSaid->GetDate();
    for (const char *n : {"DTINIBAIXA", "DTFINBAIXA", "DTBAIXAINI", "DTBAIXAFIN"})
        setText(params, QLatin1String(n), QString());
    setText(params, QStringLiteral("TDTBAIXA"), kAll);
    if (baixaIni != 0) {
        setText(params, QStringLiteral("DTBAIXAINI"), DateToStr(baixaIni));
        setText(params, QStringLiteral("DTINIBAIXA"), DateToStr(baixaIni));
        setText(params, QStringLiteral("TDTBAIXA"), QString());
    }
    if (baixaFin != 0) {
        setText(params, QStringLiteral("DTBAIXAFIN"), DateToStr(baixaFin));
        setText(params, QStringLiteral("DTFINBAIXA"), DateToStr(baixaFin));
        setText(params, QStringLiteral("TDTBAIXA"), QString());
    }

    // Net value, group "Valor Líquido": 0 is not given.
    const double valor1 = nedValor1->GetNumber(), valor2 = nedValor2->GetNumber();
    setNull(params, QStringLiteral("VALORINI"));
    setNull(params, QStringLiteral("VALORFIN"));
    if (valor1 != 0)
        setNumber(params, QStringLiteral("VALORINI"), valor1);
    if (valor2 != 0)
        setNumber(params, QStringLiteral("VALORFIN"), valor2);
}

void TfrmRelLancContReceber::BindFinalSteps(TParams &params)
{
    const bool aberto = chkAberto->Checked(), baixada = chkBaixada->Checked(), descontada = chkDescontada->Checked(),
               planejada = chkPlanejada->Checked(), todos = chkTodos->Checked();
    setText(params, QStringLiteral("STATUSA"), aberto ? QStringLiteral("A") : QString());
    setText(params, QStringLiteral("STATUSB"), baixada ? QStringLiteral("B") : QString());
    setText(params, QStringLiteral("STATUSD"), descontada ? QStringLiteral("D") : QString());
    setText(params, QStringLiteral("STATUSP"), planejada ? QStringLiteral("P") : QString());
    setText(params, QStringLiteral("TSTATUS"), todos ? kAll : QString());
    if (baixada || descontada || aberto || planejada) {
        QString status;
        if (baixada)
            status += QStringLiteral("B");
        if (descontada)
            status += QStringLiteral("_D");
        if (aberto)
            status += QStringLiteral("_A");
        if (planejada)
            status += QStringLiteral("_P");
        setText(params, QStringLiteral("STATUS"), status);
    }
    setText(params, QStringLiteral("STATUST"), todos ? kAll : QString());

    // Billing reference: only a whole range is given to the layout.
    setText(params, QStringLiteral("P_DTINIREFEFAT"), QString());
    setText(params, QStringLiteral("P_DTFINREFEFAT"), QString());
    const TDateTime refIni = depDtIniRefeFat->GetDate(), refFin = depDtFinRefeFat->GetDate();
    if (refIni != 0 && refFin != 0) {
        setDate(params, QStringLiteral("P_DTINIREFEFAT"), refIni);
        setDate(params, QStringLiteral("P_DTFINREFEFAT"), refFin);
    }

    const bool allSellers = rbtTodosVend->Checked();
    setText(params, QStringLiteral("P_VENDEDOR"), allSellers ? QString() : lstVendedor);
    setText(params, QStringLiteral("P_TVENDEDOR"), allSellers ? kAll : QString());

    const bool budget = !EmptyString(medNrOrcaIni->Text()) && !EmptyString(medNrOrcaFin->Text());
    setText(params, QStringLiteral("P_ORCAINI"), budget ? medNrOrcaIni->Text() : QString());
    setText(params, QStringLiteral("P_ORCAFIN"), budget ? medNrOrcaFin->Text() : QString());
    setText(params, QStringLiteral("P_ORCA"), budget ? QString() : kAll);
}

void TfrmRelLancContReceber::RefreshClients()
{
    if (rbtTodasReg->Checked()) {
        CopyClientStatement(*qryClienteAux);
        if (rbtTodosClie->Checked())
            Reopen(*qryCliente1, {{"P_CLIENTE", QString()}, {"TCLIENTE", kAll}});
        else if (rbtListaClie->Checked())
            ServerCalls::GetConsultaServ(*netRelLancContReceber, QStringLiteral("Cliente"), lstCliente, *qryCliente);
    } else if (rbtListaReg->Checked() && (rbtTodosClie->Checked() || rbtListaClie->Checked())) {
        const bool all = rbtTodosClie->Checked();
        CopyClientStatement(*qryClienteRegiao);
        Reopen(*qryCliente1, {{"CLIENTE", all ? QString() : lstCliente},
                              {"TCLIENTE", all ? kAll : QString()},
                              {"P_CDREGIAOPED", lstRegiao},
                              {"TREGIAO", QString()}});
    }
}

QString TfrmRelLancContReceber::RefreshEmissionOption(bool rewrite)
{
    ServerCalls::GetOpEmissao(*netRelLancContReceber, QLatin1String(kScreenCode), Operador(), *cdsOpEmissao);
    if (cdsOpEmissao->IsEmpty()) {
        cdsOpEmissao->Insert();
        cdsOpEmissao->FieldByName(QStringLiteral("CDTELAPROG")).SetAsString(QLatin1String(kScreenCode));
        cdsOpEmissao->FieldByName(QStringLiteral("CDOPERADOR")).SetAsString(Operador());
    }
    const QString letter = rdbUtiliza->Checked() ? QStringLiteral("S") : QStringLiteral("N");
    if (rewrite) {
        if (cdsOpEmissao->State() != TDataSetState::Insert)
            cdsOpEmissao->Edit();
        cdsOpEmissao->FieldByName(QStringLiteral("IDUTOPEMIFIN")).SetAsString(letter);
        cdsOpEmissao->Post();
    }
    return letter;
}
