#include "Cli_rec11001.h"
#include "Consiste.h"
#include "Dbgeral.h"
#include "Exceptions.h"
#include "HostContext.h"
#include "MessageTable.h"
#include "Package.h"
#include "ServerCalls.h"
#include "MessagePresenter.h"
#include "Showavi.h"

TfrmRelLancContReceber::TfrmRelLancContReceber(QWidget *parent)
    : TfrmDadosGerRel(QStringLiteral("frmRelLancContReceber"), QLatin1String(kScreenCode), QLatin1String(kReportCode), parent)
{
    setWindowTitle(QStringLiteral("Contas a Receber/Recebidas"));
    setFixedSize(676, 353);
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    DesignPosition = QPoint(620, 192);
    HelpFile = QStringLiteral("Rechelp.hlp");
    HelpContext = 12611001;
    msgPadrao->Messages = MensagensPadrao();
    CreateCriteriaScreen(grbDadosRel);
    CreateLookups(this);
    netRelLancContReceber = new TNetConnection(QStringLiteral("netRelLancContReceber"), this);
    netRelLancContReceber->ThrowException = false;
    BindEvents();
}

TfrmRelLancContReceber::~TfrmRelLancContReceber() { *m_alive = false; }

QList<std::pair<QString, QString *>> TfrmRelLancContReceber::CodeLists()
{
    return {{QStringLiteral("lstVendedor"), &lstVendedor},   {QStringLiteral("lstCliente"), &lstCliente},
            {QStringLiteral("lstGrupClie"), &lstGrupClie},   {QStringLiteral("lstEmpresa"), &lstEmpresa},
            {QStringLiteral("lstEmpresaOper"), &lstEmpresaOper}, {QStringLiteral("lstTipoConta"), &lstTipoConta},
            {QStringLiteral("lstLancamento"), &lstLancamento}, {QStringLiteral("lstFilial"), &lstFilial},
            {QStringLiteral("lstFormaPaga"), &lstFormaPaga}, {QStringLiteral("lstCCorr"), &lstCCorr},
            {QStringLiteral("lstAtivClie"), &lstAtivClie},   {QStringLiteral("lstSegMerc"), &lstSegMerc},
            {QStringLiteral("lstClass"), &lstClass},         {QStringLiteral("lstRegiao"), &lstRegiao}};
}

QList<std::pair<QString, QString>> TfrmRelLancContReceber::CodeListValues()
{
    QList<std::pair<QString, QString>> out;
    for (const auto &[name, list] : CodeLists())
        out.push_back({name, *list});
    return out;
}

void TfrmRelLancContReceber::BindEvents()
{
    using F = TfrmRelLancContReceber;
    // Every control event reaches its handler only while the form is whole.
    auto notify = [this](void (F::*m)(QObject *)) {
        return [this, m, alive = m_alive](QObject *s) {
            if (*alive)
                (this->*m)(s);
        };
    };
    auto keyPress = [this](void (F::*m)(QObject *, QChar &)) {
        return [this, m, alive = m_alive](QObject *s, QChar &k) {
            if (*alive)
                (this->*m)(s, k);
        };
    };
    auto getText = [this](void (F::*m)(TField &, QString &, bool)) {
        return [this, m, alive = m_alive](TField &f, QString &t, bool d) {
            if (*alive)
                (this->*m)(f, t, d);
        };
    };

    pgcRelatorio->OnChanging = [this, alive = m_alive](QObject *s, bool &allow) {
        if (*alive)
            pgcRelatorioChanging(s, allow);
    };
    cbbReportNames->OnChange = notify(&F::cbbReportNamesChange);
    netRelLancContReceber->BeforeConnect = [this](TNetConnection &c) { netRelLancContReceberBeforeConnect(&c); };
    cdsOpEmissao->AfterPost = [this](TDataSet &ds) { cdsOpEmissaoAfterPost(ds); };
    rpddPadrao->BeforeGetQueryParams = [this](TParams &params, bool &flag) { rpddPadraoBeforeGetQueryParams(params, flag); };

    depVenIni->OnExit = notify(&F::depVenIniExit);
    depVenFin->OnExit = notify(&F::depVenFinExit);
    depEmissaoDE->OnExit = notify(&F::depEmissaoDEExit);
    depEmissaoATE->OnExit = notify(&F::depEmissaoATEExit);
    depSaidaDe->OnExit = notify(&F::depSaidaDeExit);
    depSaidaAte->OnExit = notify(&F::depSaidaAteExit);
    depBaixaEntr->OnExit = notify(&F::depBaixaEntrExit);
    depBaixaSaid->OnExit = notify(&F::depBaixaSaidExit);
    depDtIniRefeFat->OnExit = notify(&F::depDtIniRefeFatExit);
    depDtFinRefeFat->OnExit = notify(&F::depDtFinRefeFatExit);
    nedValor1->OnKeyPress = keyPress(&F::nedValor1KeyPress);
    nedValor2->OnKeyPress = keyPress(&F::nedValor2KeyPress);
    medNrOrcaIni->OnKeyPress = keyPress(&F::medNrOrcaIniKeyPress);
    medNrOrcaFin->OnKeyPress = keyPress(&F::medNrOrcaFinKeyPress);
    medNrOrcaIni->OnExit = notify(&F::medNrOrcaIniExit);
    medNrOrcaFin->OnExit = notify(&F::medNrOrcaFinExit);
    chkTodos->OnClick = notify(&F::chkTodosClick);
    chkBaixada->OnClick = notify(&F::chkBaixadaClick);
    tshDadosBaixa->OnEnter = notify(&F::tshDadosBaixaEnter);

    qryContCorr->FieldByName(QStringLiteral("CDCONTCORR")).OnGetText = getText(&F::qryContCorrCDCONTCORRGetText);
    qryContCorr->FieldByName(QStringLiteral("CDAGENCIA")).OnGetText = getText(&F::qryContCorrCDAGENCIAGetText);
    qryAtivClie->FieldByName(QStringLiteral("CDARVATIVCLI")).OnGetText = getText(&F::qryAtivClieCDARVATIVCLIGetText);
    qryCliente1->FieldByName(QStringLiteral("NRINSJURCLIE")).OnGetText = getText(&F::qryCliente1NRINSJURCLIEGetText);
    qryClienteRegiao->FieldByName(QStringLiteral("NRINSJURCLIE")).OnGetText = getText(&F::qryClienteRegiaoNRINSJURCLIEGetText);
    qryCliente1->FieldByName(QStringLiteral("CDCLIENTE")).OnGetText = getText(&F::qryCliente1CDCLIENTEGetText);
    qryClienteRegiao->FieldByName(QStringLiteral("CDCLIENTE")).OnGetText = getText(&F::qryClienteRegiaoCDCLIENTEGetText);

    rbtTodosTipo->OnClick = notify(&F::rbtTodosTipoClick);
    rbtListaTipo->OnClick = notify(&F::rbtListaTipoClick);
    rdbTodosAtivClie->OnClick = notify(&F::rdbTodosAtivClieClick);
    rdbListaAtivClie->OnClick = notify(&F::rdbListaAtivClieClick);
    rdbTodosSegMerc->OnClick = notify(&F::rdbTodosSegMercClick);
    rdbListaSegMerc->OnClick = notify(&F::rdbListaSegMercClick);
    rdgTClassFinanc->OnClick = notify(&F::rdgTClassFinancClick);
    rdgLClassFinanc->OnClick = notify(&F::rdgLClassFinancClick);
    rbtTodasReg->OnClick = notify(&F::rbtTodasRegClick);
    rbtListaReg->OnClick = notify(&F::rbtListaRegClick);
    rbtTodosClie->OnClick = rbtListaClie->OnClick = notify(&F::rbtListaClieClick);
    rbtTodosGrupC->OnClick = rbtListaGrupC->OnClick = notify(&F::rbtListaGrupCClick);
    rbtTodosEmpr->OnClick = rbtListaEmp->OnClick = notify(&F::rbtListaEmpClick);
    rbtTodosFilial->OnClick = rbtListaFilial->OnClick = notify(&F::rbtListaFilialClick);
    rbtTodosLanca->OnClick = rbtListaLanca->OnClick = notify(&F::rbtListaLancaClick);
    rbtTodosVend->OnClick = notify(&F::rbtTodosVendClick);
    rbtListaVend->OnClick = notify(&F::rbtListaVendClick);
    rbtFormaTodos->OnClick = rbtFormaLista->OnClick = notify(&F::rbtFormaListaClick);
    rbtCCorrTodas->OnClick = rbtCCorrLista->OnClick = notify(&F::rbtCCorrListaClick);

    auto keyDown = [this](void (F::*m)(QObject *, int &, Qt::KeyboardModifiers)) {
        return [this, m, alive = m_alive](QObject *s, int &k, Qt::KeyboardModifiers sh) {
            if (*alive)
                (this->*m)(s, k, sh);
        };
    };
    sbtCliente->OnClick = notify(&F::sbtClienteClick);
    sbtFilial->OnClick = notify(&F::sbtFilialClick);
    sbtLancamento->OnClick = notify(&F::sbtLancamentoClick);
    sbtEmpresa->OnClick = notify(&F::sbtEmpresaClick);
    sbtTipoConta->OnClick = notify(&F::sbtPesqListaClick);
    sbtFormaPaga->OnClick = notify(&F::sbtFormaPagaClick);
    sbtCCorr->OnClick = notify(&F::sbtCCorrClick);
    sbtAtivClie->OnClick = notify(&F::sbtAtivClieClick);
    sbtSegMerc->OnClick = notify(&F::sbtSegMercClick);
    sbtListaClass->OnClick = notify(&F::sbtListaClassClick);
    sbtGrupClie->OnClick = notify(&F::sbtGrupClieClick);
    sbtRegiao->OnClick = notify(&F::sbtRegiaoClick);
    sbtVendedor->OnClick = notify(&F::sbtVendedorClick);
    rbtListaClie->OnKeyDown = keyDown(&F::rbtListaClieKeyDown);
    rbtListaFilial->OnKeyDown = keyDown(&F::rbtListaFilialKeyDown);
    rbtListaLanca->OnKeyDown = keyDown(&F::rbtListaLancaKeyDown);
    rbtListaEmp->OnKeyDown = keyDown(&F::rbtListaEmpKeyDown);
    rbtListaTipo->OnKeyDown = keyDown(&F::rbtListaTipoKeyDown);
    rbtFormaLista->OnKeyDown = keyDown(&F::rbtFormaListaKeyDown);
    rbtCCorrLista->OnKeyDown = keyDown(&F::rbtCCorrListaKeyDown);
    rdbListaAtivClie->OnKeyDown = keyDown(&F::rdbListaAtivClieKeyDown);
    rdbListaSegMerc->OnKeyDown = keyDown(&F::rdbListaSegMercKeyDown);
    rdgLClassFinanc->OnKeyDown = keyDown(&F::rdgLClassFinancKeyDown);
    rbtListaGrupC->OnKeyDown = keyDown(&F::rbtListaGrupCKeyDown);
    rbtListaReg->OnKeyDown = keyDown(&F::rbtListaRegKeyDown);
    rbtListaVend->OnKeyDown = keyDown(&F::rbtListaVendKeyDown);
}

// ------------------------------------------------------------- lifecycle

void TfrmRelLancContReceber::FormCreate(QObject *sender)
{
    TfrmDadosGerRel::FormCreate(sender);
    pgcRelatorio->SetActivePage(tshDadosCntReceb);
    rdgTipo->SetItemIndex(1);
    netRelLancContReceber->Open();
    ServerCalls::GetDtVenc(*netRelLancContReceber, *cdsDtVenc, *cdsParamGeralOrca);
    const TDateTime today = Date();
    cdsDtVenc->First();
    depVenIni->SetDate(today - cdsDtVenc->FieldByName(QStringLiteral("QTDIAANTLANR")).AsFloat());
    depVenFin->SetDate(today + cdsDtVenc->FieldByName(QStringLiteral("QTDIAAPOLANR")).AsFloat());
    rdgTClassFinanc->SetChecked(true);
    chkTodos->SetChecked(true);
    for (TCheckBox *c : {chkBaixada, chkDescontada, chkAberto, chkPlanejada})
        c->setEnabled(false);
    lstEmpresaOper = Dbgeral::ListaEmpresaOper(Operador());
    if (!ModuFili())
        return;
    rbtListaFilial->SetChecked(true);
    rbtListaFilial->setEnabled(false);
    rbtTodosFilial->setEnabled(false);
    sbtFilial->setEnabled(false);
    grbFilial->setEnabled(false);
    lstFilial = FiliProc();
}

void TfrmRelLancContReceber::FormShow(QObject *sender)
{
    TfrmDadosGerRel::FormShow(sender);
    for (TDateEditPlus *d : {depBaixaEntr, depBaixaSaid, depEmissaoDE, depEmissaoATE, depSaidaDe, depSaidaAte, depDtIniRefeFat, depDtFinRefeFat})
        d->SetDate(0);
}

void TfrmRelLancContReceber::FormActivate(QObject *sender)
{
    TfrmDadosGerRel::FormActivate(sender);
    if (ModuFili()) {
        SetChildEnabled(grbFilial, !ModuFili());
        rbtListaFilial->SetChecked(true);
        sbtFilial->setEnabled(false);
        lstFilial = QLatin1Char('_') + FiliProc() + QLatin1Char('_');
    }
    repaint();
    ServerCalls::GetOpEmissao(*netRelLancContReceber, QLatin1String(kScreenCode), Operador(), *cdsOpEmissao);
    if (cdsOpEmissao->FieldByName(QStringLiteral("IDUTOPEMIFIN")).AsString() == QStringLiteral("S"))
        rdbUtiliza->SetChecked(true);
    else
        rdbNaoUtiliza->SetChecked(true);
    ShowOrcaGroup();
}

void TfrmRelLancContReceber::ShowOrcaGroup()
{
    grbOrca->setVisible(cdsParamGeralOrca->FieldByName(QStringLiteral("IDEXIBDADORC")).AsString() == QStringLiteral("S"));
}

void TfrmRelLancContReceber::cbbReportNamesChange(QObject *) { ShowOrcaGroup(); }

void TfrmRelLancContReceber::pgcRelatorioChanging(QObject *, bool &allowChange)
{
    QVector<TDateEditPlus *> dates;
    TTabSheet *page = pgcRelatorio->ActivePage();
    if (page == tshDadosDocu)
        dates = {depEmissaoDE, depEmissaoATE, depSaidaDe, depSaidaAte, depDtIniRefeFat, depDtFinRefeFat};
    else if (page == tshDadosCntReceb)
        dates = {depVenIni, depVenFin};
    else if (page == tshDadosBaixa)
        dates = {depBaixaEntr, depBaixaSaid};
    try {
        for (TDateEditPlus *d : dates)
            d->CheckValidDate();
    } catch (const EHostError &e) {
        MessagePresenter().ShowError(e.Message());
        allowChange = false;
    }
}

void TfrmRelLancContReceber::RunChecked(bool clientType, const std::function<void()> &baseAction)
{
    ValidaCampos();
    if (clientType)
        TipoCliente();
    ValidaStatus();
    baseAction();
}

void TfrmRelLancContReceber::sbtPrintClick(QObject *sender)
{
    RunChecked(true, [&] { TfrmDadosGerRel::sbtPrintClick(sender); });
}

void TfrmRelLancContReceber::sbtPreviewClick(QObject *sender)
{
    RunChecked(true, [&] { TfrmDadosGerRel::sbtPreviewClick(sender); });
}

void TfrmRelLancContReceber::sbtSalvarComoClick(QObject *sender)
{
    RunChecked(true, [&] { TfrmDadosGerRel::sbtSalvarComoClick(sender); });
}

void TfrmRelLancContReceber::sbtReportEditClick(QObject *sender)
{
    RunChecked(false, [&] { TfrmDadosGerRel::sbtReportEditClick(sender); });
}

void TfrmRelLancContReceber::netRelLancContReceberBeforeConnect(QObject *)
{
    netRelLancContReceber->Port = WebPort();
    netRelLancContReceber->Host = WebURL();
}

void TfrmRelLancContReceber::cdsOpEmissaoAfterPost(TDataSet &)
{
    if (cdsOpEmissao->ChangeCount() <= 0)
        return;
    QWidget *mainForm = THostApplication::Application() ? THostApplication::Application()->MainForm() : nullptr;
    try {
        ActiveShowAvi(mainForm, 1);
        ServerCalls::SetOpEmissao(*netRelLancContReceber, *cdsOpEmissao);
        cdsOpEmissao->MergeChangeLog();
        DeactiveShowAvi();
    } catch (...) {
        cdsOpEmissao->CancelUpdates();
        DeactiveShowAvi();
        throw;
    }
}

TDateTime TfrmRelLancContReceber::GetTimeSever()
{
    QWidget *mainForm = THostApplication::Application() ? THostApplication::Application()->MainForm() : nullptr;
    const TShowAviGuard busy(mainForm, 1);
    return ServerCalls::GetTimeServ(*netRelLancContReceber, *cdsHoraServidor);
}

void TfrmRelLancContReceber::FormClose(QObject *sender, TCloseAction &action)
{
    SetFormCriado(false);
    netRelLancContReceber->Close();
    TfrmDadosGerRel::FormClose(sender, action);
}
