// The all-or-list criteria as one table, and the whole screen as one criteria value.
#include "data/Exceptions.h"
#include "module/Cli_rec11001.h"
#include "services/Consiste.h"

using F = TfrmRelLancContReceber;

QVector<TCriteriaGroup> F::BuildGroups()
{
    TTabSheet *const p1 = tshDadosCntReceb, *const p2 = tshDadosDocu, *const p3 = tshDadosBaixa;
    QVector<TCriteriaGroup> groups = {
        {.Name = "Class", .Group = grbClassFinanc, .All = rdgTClassFinanc, .List = rdgLClassFinanc, .Search = sbtListaClass, .Page = p1, .Codes = &lstClass, .MissingKey = "Class_ni",
         .Source = dtsClassFinanc__, .KeyField = "CDCLASSFINA", .TitleKey = "Class", .Lookup = qryClassFinanc1, .LookupParams = {{"P_CDCLASSFINA", &kEmptyList}, {"P_TCDCLASSFINA", &kAllFlag}}, .EmptyKey = "Class_nCad", .NameField = "DSCLASSFINA", .Chosen = {"classificação financeira escolhida", "classificações financeiras escolhidas", "Nenhuma classificação financeira escolhida"},
         .AllClick = &F::rdgTClassFinancClick, .ListClick = &F::rdgLClassFinancClick, .SearchClick = &F::sbtListaClassClick, .KeyDown = &F::rdgLClassFinancKeyDown},
        {.Name = "AtivClie", .Group = grbAtivClie, .All = rdbTodosAtivClie, .List = rdbListaAtivClie, .Search = sbtAtivClie, .Page = p1, .Codes = &lstAtivClie, .MissingKey = "Ramo_ni",
         .Source = dtsAtivClie__, .KeyField = "CDATIVCLI", .TitleKey = "ATIVCLIE", .NameField = "DSATIVCLI", .Chosen = {"ramo de atividade escolhido", "ramos de atividade escolhidos", "Nenhum ramo de atividade escolhido"},
         .AllClick = &F::rdbTodosAtivClieClick, .ListClick = &F::rdbListaAtivClieClick, .SearchClick = &F::sbtAtivClieClick, .KeyDown = &F::rdbListaAtivClieKeyDown},
        {.Name = "SegMerc", .Group = grbSegMerc, .All = rdbTodosSegMerc, .List = rdbListaSegMerc, .Search = sbtSegMerc, .Page = p1, .Codes = &lstSegMerc, .MissingKey = "Seg_ni",
         .Source = dtsSegMerc__, .KeyField = "CDSEGMER", .TitleKey = "SegMerc", .NameField = "DSSEGMER", .Chosen = {"segmento de mercado escolhido", "segmentos de mercado escolhidos", "Nenhum segmento de mercado escolhido"},
         .AllClick = &F::rdbTodosSegMercClick, .ListClick = &F::rdbListaSegMercClick, .SearchClick = &F::sbtSegMercClick, .KeyDown = &F::rdbListaSegMercKeyDown},
        {.Name = "TipoConta", .Group = grbTipoConta, .All = rbtTodosTipo, .List = rbtListaTipo, .Search = sbtTipoConta, .Page = p1, .Codes = &lstTipoConta, .MissingKey = "Tipo_ni",
         .Source = dtsTipoConta__, .KeyField = "CDTPCTRECEB", .TitleKey = "Tipo", .Lookup = qryTipoConta1, .LookupParams = {{"TIPOCONTA", &kEmptyList}, {"TTIPOCONTA", &kAllFlag}}, .EmptyKey = "TipoConta_Empty", .NameField = "DSTPCTRECEB", .Chosen = {"tipo de conta escolhido", "tipos de conta escolhidos", "Nenhum tipo de conta escolhido"},
         .AllClick = &F::rbtTodosTipoClick, .ListClick = &F::rbtListaTipoClick, .SearchClick = &F::sbtPesqListaClick, .KeyDown = &F::rbtListaTipoKeyDown},
        {.Name = "Regiao", .Group = grbRegiao, .All = rbtTodasReg, .List = rbtListaReg, .Search = sbtRegiao, .Page = p2, .Codes = &lstRegiao, .MissingKey = "Regiao_ni",
         .Source = dtsRegiao__, .KeyField = "CDREGIAOPED", .TitleKey = "Regiao", .Lookup = qryRegiao, .LookupParams = {{"P_CDREGIAOPED", nullptr}, {"P_TODOS", &kAllFlag}}, .EmptyKey = "Regiao_Empty", .NameField = "NMREGIAOPED", .Chosen = {"região escolhida", "regiões escolhidas", "Nenhuma região escolhida"},
         .AllClick = &F::rbtTodasRegClick, .ListClick = &F::rbtListaRegClick, .SearchClick = &F::sbtRegiaoClick, .KeyDown = &F::rbtListaRegKeyDown},
        {.Name = "Cliente", .Group = grbCliente, .All = rbtTodosClie, .List = rbtListaClie, .Search = sbtCliente, .Page = p2, .Codes = &lstCliente, .MissingKey = "Cliente_ni",
         .Source = dtsCliente__, .KeyField = "CDCLIENTE", .TitleKey = "Cliente", .Lookup = qryCliente1, .LookupParams = {{"P_CLIENTE", nullptr}, {"TCLIENTE", &kAllFlag}}, .EmptyKey = "Cliente_Empty", .NameField = "NMFANTCLIE", .Chosen = {"cliente escolhido", "clientes escolhidos", "Nenhum cliente escolhido"},
         .AllClick = &F::rbtListaClieClick, .ListClick = &F::rbtListaClieClick, .SearchClick = &F::sbtClienteClick, .KeyDown = &F::rbtListaClieKeyDown},
        {.Name = "GrupClie", .Group = grbGrupClie, .All = rbtTodosGrupC, .List = rbtListaGrupC, .Search = sbtGrupClie, .Page = p2, .Codes = &lstGrupClie, .MissingKey = "GrupoClie_ni",
         .Source = dtsGrupClie__, .KeyField = "CDGRUPCLIE", .TitleKey = "GrupClie", .Lookup = qryGrupClie, .EmptyKey = "GrupClie_Empty", .NameField = "NMGRUPCLIE", .Chosen = {"grupo de cliente escolhido", "grupos de cliente escolhidos", "Nenhum grupo de cliente escolhido"},
         .AllClick = &F::rbtListaGrupCClick, .ListClick = &F::rbtListaGrupCClick, .SearchClick = &F::sbtGrupClieClick, .KeyDown = &F::rbtListaGrupCKeyDown},
        {.Name = "Empresa", .Group = grbEmpresa, .All = rbtTodosEmpr, .List = rbtListaEmp, .Search = sbtEmpresa, .Page = p2, .Codes = &lstEmpresa, .MissingKey = "Empresa_ni",
         .Source = dtsEmpresa__, .KeyField = "CDEMPRESA", .TitleKey = "Empresa", .Lookup = qryEmpresa, .LookupParams = {{"CODEMPRESA", &lstEmpresaOper}, {"TCODEMPRESA", nullptr}}, .EmptyKey = "Empresa_Empty", .NameField = "NMEMPRESA", .Chosen = {"empresa escolhida", "empresas escolhidas", "Nenhuma empresa escolhida"},
         .AllClick = &F::rbtListaEmpClick, .ListClick = &F::rbtListaEmpClick, .SearchClick = &F::sbtEmpresaClick, .KeyDown = &F::rbtListaEmpKeyDown},
        {.Name = "Filial", .Group = grbFilial, .All = rbtTodosFilial, .List = rbtListaFilial, .Search = sbtFilial, .Page = p2, .Codes = &lstFilial, .MissingKey = "FilialOri_ni",
         .Source = dtsFilial__, .KeyField = "CDFILIAL", .TitleKey = "FilialOr", .Lookup = qryFilial, .LookupParams = {{"P_CDFILIAL", nullptr}, {"P_TODOS", &kAllFlag}}, .EmptyKey = "Filial_Empty", .NameField = "NMFILIAL", .Chosen = {"filial escolhida", "filiais escolhidas", "Nenhuma filial escolhida"},
         .AllClick = &F::rbtListaFilialClick, .ListClick = &F::rbtListaFilialClick, .SearchClick = &F::sbtFilialClick, .KeyDown = &F::rbtListaFilialKeyDown},
        {.Name = "Lancamento", .Group = grbLanca, .All = rbtTodosLanca, .List = rbtListaLanca, .Search = sbtLancamento, .Page = p2, .Codes = &lstLancamento, .MissingKey = "FiliLanca_ni",
         .Source = dtsFiliLanca__, .KeyField = "CDFILIAL", .TitleKey = "FiliLanca", .EmptyKey = "Filial_Empty", .NameField = "NMFILIAL", .Chosen = {"filial escolhida", "filiais escolhidas", "Nenhuma filial escolhida"},
         .AllClick = &F::rbtListaLancaClick, .ListClick = &F::rbtListaLancaClick, .SearchClick = &F::sbtLancamentoClick, .KeyDown = &F::rbtListaLancaKeyDown},
        {.Name = "Vendedor", .Group = grbVendedor, .All = rbtTodosVend, .List = rbtListaVend, .Search = sbtVendedor, .Page = p2, .Codes = &lstVendedor, .MissingKey = "Vendedor_ni",
         .Source = dtsVendedor__, .KeyField = "CDVENDEDOR", .TitleKey = "Vendedor", .Lookup = qryVendedor, .LookupParams = {{"P_CDVENDEDOR", &kEmptyList}, {"P_TCDVENDEDOR", &kAllFlag}}, .EmptyKey = "Vendedor_Empty", .NameField = "NMFANVEN", .Chosen = {"vendedor escolhido", "vendedores escolhidos", "Nenhum vendedor escolhido"},
         .AllClick = &F::rbtTodosVendClick, .ListClick = &F::rbtListaVendClick, .SearchClick = &F::sbtVendedorClick, .KeyDown = &F::rbtListaVendKeyDown},
        {.Name = "FormaPaga", .Group = grbFormaRecebida, .All = rbtFormaTodos, .List = rbtFormaLista, .Search = sbtFormaPaga, .Page = p3, .Codes = &lstFormaPaga, .MissingKey = "TBaixa_ni",
         .Source = dtsFormaRec__, .KeyField = "CDTPBAIXAREC", .TitleKey = "TipoBaixa", .Lookup = qryFormaRec, .LookupParams = {{"P_CODIGO", &kEmptyList}, {"P_TCODIGO", &kAllFlag}}, .NameField = "NMTPBAIXAREC", .Chosen = {"tipo de baixa escolhido", "tipos de baixa escolhidos", "Nenhum tipo de baixa escolhido"},
         .AllClick = &F::rbtFormaListaClick, .ListClick = &F::rbtFormaListaClick, .SearchClick = &F::sbtFormaPagaClick, .KeyDown = &F::rbtFormaListaKeyDown},
        {.Name = "CCorr", .Group = grbCCorr, .All = rbtCCorrTodas, .List = rbtCCorrLista, .Search = sbtCCorr, .Page = p3, .Codes = &lstCCorr, .MissingKey = "CCorr_ni",
         .Source = dtsContCorr__, .KeyField = "CDREDUCONT", .TitleKey = "CCorr", .Lookup = qryContCorr, .LookupParams = {{"P_CDREDUCONT", &kEmptyList}, {"P_TCDREDUCONT", &kAllFlag}}, .EmptyKey = "ContaCorr_Empty", .NameField = "DSCONTCORR", .Chosen = {"conta corrente escolhida", "contas correntes escolhidas", "Nenhuma conta corrente escolhida"},
         .AllClick = &F::rbtCCorrListaClick, .ListClick = &F::rbtCCorrListaClick, .SearchClick = &F::sbtCCorrClick, .KeyDown = &F::rbtCCorrListaKeyDown},
    };
    for (TCriteriaGroup &g : groups)
        g.Rule = &GroupRule(QString::fromLatin1(g.Name));
    return groups;
}

const TCriteriaGroup *F::GroupNamed(const QString &name) const
{
    auto g = std::find_if(m_groups.cbegin(), m_groups.cend(), [&](const TCriteriaGroup &g) { return name == QLatin1String(g.Name); });
    return g == m_groups.cend() ? nullptr : &*g;
}

QString &F::CodeList(const QString &name)
{
    if (name == QLatin1String("lstEmpresaOper"))
        return lstEmpresaOper;
    for (const TCriteriaGroup &g : m_groups)
        if (name == QLatin1String("lst") + QLatin1String(g.Name))
            return *g.Codes;
    throw EHostError(QStringLiteral("A tela não tem a lista de códigos %1.").arg(name));
}

QList<std::pair<QString, QString>> F::CodeListValues()
{
    QList<std::pair<QString, QString>> out{{QStringLiteral("lstEmpresaOper"), lstEmpresaOper}};
    for (const TCriteriaGroup &g : m_groups)
        out.push_back({QStringLiteral("lst") + QLatin1String(g.Name), *g.Codes});
    return out;
}

void F::SyncSearchButton(TGroupId id) { m_groups[id].Search->setEnabled(m_groups[id].List->Checked()); }

// ---- the criteria value

namespace {

using TDateEdits = std::vector<std::tuple<TDateRange TCriteria::*, TDateEditPlus *, TDateEditPlus *>>;
TDateEdits dateEdits(const TCriteriaControls &f)
{
    return {{&TCriteria::Vencimento, f.depVenIni, f.depVenFin},       {&TCriteria::Emissao, f.depEmissaoDE, f.depEmissaoATE},
            {&TCriteria::Saida, f.depSaidaDe, f.depSaidaAte},         {&TCriteria::RefeFat, f.depDtIniRefeFat, f.depDtFinRefeFat},
            {&TCriteria::Baixa, f.depBaixaEntr, f.depBaixaSaid}};
}
// The check boxes: the statuses and the advance, applied before the groups, then the client types, applied after them.
using TBoxes = std::vector<std::pair<bool TCriteria::*, TCheckBox *>>;
TBoxes beforeGroups(const TCriteriaControls &f)
{
    return {{&TCriteria::StatusTodos, f.chkTodos}, {&TCriteria::Baixada, f.chkBaixada}, {&TCriteria::Descontada, f.chkDescontada},
            {&TCriteria::Aberto, f.chkAberto},     {&TCriteria::Planejada, f.chkPlanejada}, {&TCriteria::ConAdian, f.chbConAdian}};
}
TBoxes afterGroups(const TCriteriaControls &f) { return {{&TCriteria::Privado, f.chkPrivado}, {&TCriteria::Publico, f.chkPublico}}; }

QDate dateOf(const TDateEditPlus *edit) { return edit->GetDate() == 0 ? QDate() : DateTimeToDate(edit->GetDate()); }
TDateTime dateTimeOf(const QDate &date) { return date.isNull() ? 0 : DateToDateTime(date); }

} // namespace

TCriteria F::CurrentCriteria() const
{
    TCriteria c;
    c.Layout = cbbReportNames->ItemIndex();
    for (const auto &[range, from, to] : dateEdits(*this))
        c.*range = {dateOf(from), dateOf(to)};
    for (auto [amount, edit] : {std::pair{&c.ValorIni, nedValor1}, std::pair{&c.ValorFin, nedValor2}})
        *amount = EmptyString(edit->Text()) ? std::nullopt : std::optional<double>(edit->GetNumber());
    c.OrcaIni = medNrOrcaIni->Text();
    c.OrcaFin = medNrOrcaFin->Text();
    for (const TBoxes &boxes : {beforeGroups(*this), afterGroups(*this)})
        for (const auto &[flag, box] : boxes)
            c.*flag = box->Checked();
    c.Tipo = rdgTipo->ItemIndex();
    c.UtilizaOpEmissao = rdbUtiliza->Checked();
    for (const TCriteriaGroup &g : m_groups)
        c.Groups.insert(QLatin1String(g.Name), {g.List->Checked(), *g.Codes});
    c.LayoutParams = rpddPadrao->Answers;
    return c;
}

// Statuses before the groups (a click on "Todos" puts the settlement groups back on all), the
// client types after them (a click on a client radio checks both), the dates last (unticking
// "Baixada" clears the settlement dates). A box or group the user cannot reach keeps its state.
void F::ApplyCriteria(const TCriteria &c)
{
    const auto refuse = [](const QString &what) { throw EHostError(QStringLiteral("Critérios inválidos: ") + what); };
    for (auto g = c.Groups.cbegin(); g != c.Groups.cend(); ++g)
        if (!GroupNamed(g.key()))
            refuse(QStringLiteral("o grupo '%1' não existe nesta tela.").arg(g.key()));
    if (c.Layout < 0 || c.Layout >= cbbReportNames->count())
        refuse(QStringLiteral("a tela não tem o relatório %1.").arg(c.Layout));
    if (c.Tipo < 0 || c.Tipo >= rdgTipo->Count())
        refuse(QStringLiteral("o tipo %1 não existe.").arg(c.Tipo));
    const auto click = [&c](const TBoxes &boxes) {
        for (const auto &[flag, box] : boxes)
            if (box->isEnabled())
                box->SetChecked(c.*flag);
    };

    if (c.Layout != cbbReportNames->ItemIndex())
        cbbReportNames->UserSelect(c.Layout);
    click(beforeGroups(*this));
    rdgTipo->SetItemIndex(c.Tipo);
    (c.UtilizaOpEmissao ? rdbUtiliza : rdbNaoUtiliza)->SetChecked(true);
    for (const TCriteriaGroup &g : m_groups) {
        if (!g.Group->isEnabled())
            continue; // locked by the host on the branch in process
        const TCriteriaChoice choice = c.Groups.value(QLatin1String(g.Name));
        *g.Codes = choice.Codes;
        (choice.List ? g.List : g.All)->SetChecked(true);
    }
    ShowAllChosen(); // a code list may change with its radio staying put
    click(afterGroups(*this));
    for (const auto &[range, from, to] : dateEdits(*this)) {
        from->SetDate(dateTimeOf((c.*range).From));
        to->SetDate(dateTimeOf((c.*range).To));
    }
    for (auto [edit, amount] : {std::pair{nedValor1, c.ValorIni}, std::pair{nedValor2, c.ValorFin}})
        amount ? edit->SetNumber(*amount) : edit->SetText(QString());
    medNrOrcaIni->SetText(c.OrcaIni);
    medNrOrcaFin->SetText(c.OrcaFin);
    rpddPadrao->Answers = c.LayoutParams;
}
