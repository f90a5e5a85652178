#pragma once
#include "HostApplication.h"
#include "Lookups.h"
#include "NetConnection.h"
#include "ParamNames.h"
#include "ReportBaseForm.h"
#include "Screen.h"
#include <memory>

// The accounts-receivable report criteria window, screen REC11001.
class TfrmRelLancContReceber : public TfrmDadosGerRel, public TCriteriaControls, public TLookupData {
    Q_OBJECT
public:
    static constexpr const char *kScreenCode = "REC11001";
    static constexpr const char *kReportCode = "REC110";

    Q_INVOKABLE explicit TfrmRelLancContReceber(QWidget *parent = nullptr);
    ~TfrmRelLancContReceber() override;

    TNetConnection *netRelLancContReceber;

    // Code lists of the all-or-list criteria ("_01__03_").
    QString lstVendedor;
    QString lstCliente;
    QString lstGrupClie;
    QString lstEmpresa;
    QString lstEmpresaOper;
    QString lstTipoConta;
    QString lstLancamento;
    QString lstFilial;
    QString lstFormaPaga;
    QString lstCCorr;
    QString lstAtivClie;
    QString lstSegMerc;
    QString lstClass;
    QString lstRegiao;
    // Every code list by its name, in declaration order.
    QList<std::pair<QString, QString *>> CodeLists();
    QList<std::pair<QString, QString>> CodeListValues() override;
    QStringList ReportParamNames() override { return BindingParamNames(); }

    // Lifecycle and report actions.
    void FormCreate(QObject *sender) override;
    void FormShow(QObject *sender) override;
    void FormActivate(QObject *sender) override;
    void FormClose(QObject *sender, TCloseAction &action) override;
    void pgcRelatorioChanging(QObject *sender, bool &allowChange);
    void cbbReportNamesChange(QObject *sender);
    void sbtPrintClick(QObject *sender) override;
    void sbtPreviewClick(QObject *sender) override;
    void sbtSalvarComoClick(QObject *sender) override;
    void sbtReportEditClick(QObject *sender) override;
    void netRelLancContReceberBeforeConnect(QObject *sender);
    void cdsOpEmissaoAfterPost(TDataSet &dataSet);
    TDateTime GetTimeSever();

    // Criteria checks.
    void ValidaCampos();
    void TipoCliente();
    void ValidaStatus();

    // Field entry handlers.
    void depVenIniExit(QObject *sender);
    void depVenFinExit(QObject *sender);
    void depEmissaoDEExit(QObject *sender);
    void depEmissaoATEExit(QObject *sender);
    void depSaidaDeExit(QObject *sender);
    void depSaidaAteExit(QObject *sender);
    void depBaixaEntrExit(QObject *sender);
    void depBaixaSaidExit(QObject *sender);
    void depDtIniRefeFatExit(QObject *sender);
    void depDtFinRefeFatExit(QObject *sender);
    void nedValor1KeyPress(QObject *sender, QChar &key);
    void nedValor2KeyPress(QObject *sender, QChar &key);
    void medNrOrcaIniKeyPress(QObject *sender, QChar &key);
    void medNrOrcaFinKeyPress(QObject *sender, QChar &key);
    void medNrOrcaIniExit(QObject *sender);
    void medNrOrcaFinExit(QObject *sender);
    void chkTodosClick(QObject *sender);
    void chkBaixadaClick(QObject *sender);
    void tshDadosBaixaEnter(QObject *sender);

    // Display formatters.
    void qryContCorrCDCONTCORRGetText(TField &sender, QString &text, bool displayText);
    void qryContCorrCDAGENCIAGetText(TField &sender, QString &text, bool displayText);
    void qryAtivClieCDARVATIVCLIGetText(TField &sender, QString &text, bool displayText);
    void qryCliente1NRINSJURCLIEGetText(TField &sender, QString &text, bool displayText);
    void qryClienteRegiaoNRINSJURCLIEGetText(TField &sender, QString &text, bool displayText);
    void qryCliente1CDCLIENTEGetText(TField &sender, QString &text, bool displayText);
    void qryClienteRegiaoCDCLIENTEGetText(TField &sender, QString &text, bool displayText);

    // Radio click handlers of the all-or-list pairs.
    void rbtTodosTipoClick(QObject *sender);
    void rbtListaTipoClick(QObject *sender);
    void rdbTodosAtivClieClick(QObject *sender);
    void rdbListaAtivClieClick(QObject *sender);
    void rdbTodosSegMercClick(QObject *sender);
    void rdbListaSegMercClick(QObject *sender);
    void rdgTClassFinancClick(QObject *sender);
    void rdgLClassFinancClick(QObject *sender);
    void rbtTodasRegClick(QObject *sender);
    void rbtListaRegClick(QObject *sender);
    void rbtListaClieClick(QObject *sender);
    void rbtListaGrupCClick(QObject *sender);
    void rbtListaEmpClick(QObject *sender);
    void rbtListaFilialClick(QObject *sender);
    void rbtListaLancaClick(QObject *sender);
    void rbtTodosVendClick(QObject *sender);
    void rbtListaVendClick(QObject *sender);
    void rbtFormaListaClick(QObject *sender);
    void rbtCCorrListaClick(QObject *sender);

    // Pickers: search buttons and F9 on the "Lista" radios.
    void sbtClienteClick(QObject *sender);
    void sbtFilialClick(QObject *sender);
    void sbtLancamentoClick(QObject *sender);
    void sbtEmpresaClick(QObject *sender);
    void sbtPesqListaClick(QObject *sender);
    void sbtFormaPagaClick(QObject *sender);
    void sbtCCorrClick(QObject *sender);
    void sbtAtivClieClick(QObject *sender);
    void sbtSegMercClick(QObject *sender);
    void sbtListaClassClick(QObject *sender);
    void sbtGrupClieClick(QObject *sender);
    void sbtRegiaoClick(QObject *sender);
    void sbtVendedorClick(QObject *sender);
    void rbtListaClieKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void rbtListaFilialKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void rbtListaLancaKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void rbtListaEmpKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void rbtListaTipoKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void rbtFormaListaKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void rbtCCorrListaKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void rdbListaAtivClieKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void rdbListaSegMercKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void rdgLClassFinancKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void rbtListaGrupCKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void rbtListaRegKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void rbtListaVendKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);

    // Gives qryCliente1 the four statement texts and the parameter list of another client query.
    void CopyClientStatement(TADOIBQuery &from);

private:
    void BindEvents();
    // The query picker: reopen the lookup with its parameters, refuse an empty
    // list with its message, then let the user mark codes into the list.
    void QueryPicker(TADOIBQuery &query, const std::function<void(TADOIBQuery &)> &setParams, const char *emptyKey, const char *titleKey,
                     TDataSource *source, const char *keyField, QString &codes);
    void ListaPicker(TDataSource *source, const char *titleKey, const char *keyField, QString &codes);
    // F9 on a "Lista" radio runs its picker, whatever the modifier keys and the button's state.
    void F9Picker(int key, void (TfrmRelLancContReceber::*picker)(QObject *), QObject *sender);
    // Brings the page to the front, focuses the control and ends the action with the message of the key.
    [[noreturn]] void FalhaCampo(TTabSheet *page, QWidget *focus, const char *key);
    [[noreturn]] void Falha(const char *key);
    // A "Lista" radio's search button follows the radio.
    static void SyncSearchButton(const TRadioButton *list, TButtonFlat *search);
    // grbBaixa enabled only while settled or planned receivables are asked for; settlement dates only with settled ones.
    void AjustaBaixa();
    void ShowOrcaGroup();
    // The checks in front of a base report action; the client-type check only when asked.
    void RunChecked(bool clientType, const std::function<void()> &baseAction);
    QString m_pictAtivClie;
    // False from the start of destruction: controls that lose the focus then reach no handler.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
