#include "module/Cli_rec11001.h"
#include "data/Exceptions.h"
#include "host/MessageTable.h"
#include "module/Package.h"
#include "server/ServerCalls.h"
#include "services/Consiste.h"
#include "services/Dbgeral.h"
#include "services/HostContext.h"
#include "services/MessagePresenter.h"
#include "services/Showavi.h"

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
    netRelLancContReceber->ServerName = QLatin1String(kServerObject);
    netRelLancContReceber->ThrowException = false;
    m_receivables = new TReceivableReader(this);
    m_groups = BuildGroups();
    m_chosenNames.resize(m_groups.size());
    BindEvents();
}

TfrmRelLancContReceber::~TfrmRelLancContReceber() { *m_alive = false; }

void TfrmRelLancContReceber::BindEvents()
{
    using F = TfrmRelLancContReceber;
    // Every control event reaches its handler only while the form is whole.
    auto guard = [this]<class... A>(void (F::*m)(A...)) {
        return [this, m, alive = m_alive](A... args) {
            if (*alive)
                (this->*m)(std::forward<A>(args)...);
        };
    };
    pgcRelatorio->OnChanging = guard(&F::pgcRelatorioChanging);
    cbbReportNames->OnChange = guard(&F::cbbReportNamesChange);
    netRelLancContReceber->BeforeConnect = [this](TNetConnection &c) { netRelLancContReceberBeforeConnect(&c); };
    cdsOpEmissao->AfterPost = [this](TDataSet &ds) { cdsOpEmissaoAfterPost(ds); };

    depVenIni->OnExit = guard(&F::depVenIniExit);
    depVenFin->OnExit = guard(&F::depVenFinExit);
    depEmissaoDE->OnExit = guard(&F::depEmissaoDEExit);
    depEmissaoATE->OnExit = guard(&F::depEmissaoATEExit);
    depSaidaDe->OnExit = guard(&F::depSaidaDeExit);
    depSaidaAte->OnExit = guard(&F::depSaidaAteExit);
    depBaixaEntr->OnExit = guard(&F::depBaixaEntrExit);
    depBaixaSaid->OnExit = guard(&F::depBaixaSaidExit);
    depDtIniRefeFat->OnExit = guard(&F::depDtIniRefeFatExit);
    depDtFinRefeFat->OnExit = guard(&F::depDtFinRefeFatExit);
    nedValor1->OnKeyPress = guard(&F::nedValor1KeyPress);
    nedValor2->OnKeyPress = guard(&F::nedValor2KeyPress);
    medNrOrcaIni->OnKeyPress = guard(&F::medNrOrcaIniKeyPress);
    medNrOrcaFin->OnKeyPress = guard(&F::medNrOrcaFinKeyPress);
    medNrOrcaIni->OnExit = guard(&F::medNrOrcaIniExit);
    medNrOrcaFin->OnExit = guard(&F::medNrOrcaFinExit);
    chkTodos->OnClick = guard(&F::chkTodosClick);
    chkBaixada->OnClick = guard(&F::chkBaixadaClick);
    tshDadosBaixa->OnEnter = guard(&F::tshDadosBaixaEnter);

    qryContCorr->FieldByName(QStringLiteral("CDCONTCORR")).OnGetText = guard(&F::qryContCorrCDCONTCORRGetText);
    qryContCorr->FieldByName(QStringLiteral("CDAGENCIA")).OnGetText = guard(&F::qryContCorrCDAGENCIAGetText);
    qryAtivClie->FieldByName(QStringLiteral("CDARVATIVCLI")).OnGetText = guard(&F::qryAtivClieCDARVATIVCLIGetText);
    qryCliente1->FieldByName(QStringLiteral("NRINSJURCLIE")).OnGetText = guard(&F::qryCliente1NRINSJURCLIEGetText);
    qryClienteRegiao->FieldByName(QStringLiteral("NRINSJURCLIE")).OnGetText = guard(&F::qryClienteRegiaoNRINSJURCLIEGetText);
    qryCliente1->FieldByName(QStringLiteral("CDCLIENTE")).OnGetText = guard(&F::qryCliente1CDCLIENTEGetText);
    qryClienteRegiao->FieldByName(QStringLiteral("CDCLIENTE")).OnGetText = guard(&F::qryClienteRegiaoCDCLIENTEGetText);

    for (const TCriteriaGroup &g : m_groups) {
        g.All->OnClick = guard(g.AllClick);
        g.List->OnClick = guard(g.ListClick);
        g.List->OnKeyDown = guard(g.KeyDown);
        g.Search->OnClick = guard(g.SearchClick);
    }
    // The tooltips follow the radios however they change: a click, a handler, applied criteria.
    for (int i = 0; i < m_groups.size(); ++i)
        for (TRadioButton *radio : {m_groups[i].All, m_groups[i].List})
            connect(radio, &QAbstractButton::toggled, this, [this, i, alive = m_alive] {
                if (*alive)
                    ShowChosen(i);
            });
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
    if (ModuFili()) {
        rbtListaFilial->SetChecked(true);
        rbtListaFilial->setEnabled(false);
        rbtTodosFilial->setEnabled(false);
        sbtFilial->setEnabled(false);
        grbFilial->setEnabled(false);
        lstFilial = FiliProc();
    }
    ShowAllChosen();
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
    ShowAllChosen();
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

void TfrmRelLancContReceber::sbtPrintClick(QObject *sender) { RunChecked(true, [&] { TfrmDadosGerRel::sbtPrintClick(sender); }); }
void TfrmRelLancContReceber::sbtPreviewClick(QObject *sender) { RunChecked(true, [&] { TfrmDadosGerRel::sbtPreviewClick(sender); }); }
void TfrmRelLancContReceber::sbtSalvarComoClick(QObject *sender) { RunChecked(true, [&] { TfrmDadosGerRel::sbtSalvarComoClick(sender); }); }
void TfrmRelLancContReceber::sbtReportEditClick(QObject *sender) { RunChecked(false, [&] { TfrmDadosGerRel::sbtReportEditClick(sender); }); }

void TfrmRelLancContReceber::netRelLancContReceberBeforeConnect(QObject *)
{
    netRelLancContReceber->Port = WebPort();
    netRelLancContReceber->Host = WebURL();
    netRelLancContReceber->Operator = Operador();
    netRelLancContReceber->DateFormat = FormatSettings().ShortDateFormat;
    netRelLancContReceber->Today = [] { return DateTimeToDate(Date()); };
    netRelLancContReceber->Password = HostContext().Password;
    if (netRelLancContReceber->SessionTicket.isEmpty())
        netRelLancContReceber->SessionTicket = HostContext().SessionTicket;
}

void TfrmRelLancContReceber::cdsOpEmissaoAfterPost(TDataSet &)
{
    if (cdsOpEmissao->ChangeCount() <= 0)
        return;
    try {
        const TShowAviGuard busy(THostApplication::MainFormInForce(), 1);
        ServerCalls::SetOpEmissao(*netRelLancContReceber, *cdsOpEmissao);
        cdsOpEmissao->MergeChangeLog();
    } catch (...) {
        cdsOpEmissao->CancelUpdates();
        throw;
    }
}

TDateTime TfrmRelLancContReceber::GetTimeSever()
{
    const TShowAviGuard busy(THostApplication::MainFormInForce(), 1);
    return ServerCalls::GetTimeServ(*netRelLancContReceber, *cdsHoraServidor);
}

void TfrmRelLancContReceber::FormClose(QObject *sender, TCloseAction &action)
{
    SetFormCriado(false);
    netRelLancContReceber->Close();
    TfrmDadosGerRel::FormClose(sender, action);
}

TDataSet *TfrmRelLancContReceber::DataSetNamed(const QString &name) const
{
    for (TDataSet *d : DataSets())
        if (d->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return d;
    return nullptr;
}
