#pragma once
#include "abc/Classification.h"
#include "criteria/Criteria.h"
#include "criteria/Screen.h"
#include "forms/HostApplication.h"
#include "forms/ReportBaseForm.h"
#include "lookup/Lookups.h"
#include "lookup/Receivables.h"
#include "net/NetConnection.h"
#include "params/EmissionOptions.h"
#include "params/ParamNames.h"
#include "server/ServerObject.h"
#include <QSet>
#include <memory>
#include <optional>

// The accounts-receivable report criteria window, screen REC11001.
// Its controls and components are private: batch runs and tests reach them by name (Control<T>).
class TfrmRelLancContReceber : public TfrmDadosGerRel, private TCriteriaControls, private TLookupData {
    Q_OBJECT
public:
    static constexpr const char *kScreenCode = kServerScreen;
    static constexpr const char *kReportCode = "REC110";

    Q_INVOKABLE explicit TfrmRelLancContReceber(QWidget *parent = nullptr);
    ~TfrmRelLancContReceber() override;

    // The code lists by their names ("lstCliente", "lstEmpresaOper"), as tests read and set them;
    // EHostError for a name the screen has not.
    QString &CodeList(const QString &name);
    QString &CodeList(const char *name) { return CodeList(QString::fromLatin1(name)); }
    QList<std::pair<QString, QString>> CodeListValues() override;
    // The engine's questions: the binding's parameters and the data sets layouts read.
    void GetQueryParams(TParams &params, bool &flag) override { rpddPadraoBeforeGetQueryParams(params, flag); }
    QStringList QueryParamNames() const override { return BindingParamNames(); }
    TDataSet *DataSetNamed(const QString &name) const override;
    // A printed row opens its receivable: a layout's row by its number (NRLANCTOREC), a curve row by
    // its company, client, document and due date, which the curve's rows carry.
    QStringList RowKeyFields(const TReportLayout &layout) const override;
    // "Conta a Receber" for a row, the list of receivables for a group or the total.
    QJsonObject OpenRows(const TReportDrill &drill, QWidget *over) override;

    // The thirteen all-or-list criteria, in the order ValidaCampos checks them.
    const QVector<TCriteriaGroup> &AllOrListGroups() const { return m_groups; }
    // Every criterion of the screen as one value, and back: applying clicks the radios and boxes
    // through their controls, so their handlers run as for a user; a group or box the user cannot
    // reach (the branch lock, a client list's types) keeps its state. An unknown group, layout or
    // entry kind throws EHostError before anything changes.
    TCriteria CurrentCriteria() const;
    void ApplyCriteria(const TCriteria &criteria);
    QJsonObject CriteriaJson() override { return CurrentCriteria().ToJson(); }
    // Saved criteria: a "Lista" code its lookup no longer offers, a layout or an entry kind the screen
    // no longer has is left out and named; everything else is applied as ApplyCriteria does.
    QStringList ApplyCriteriaJson(const QJsonObject &json) override;
    TNetConnection *CriteriaServer() override { return netRelLancContReceber; }

    // Lifecycle and report actions.
    void FormCreate(QObject *sender) override;
    void FormShow(QObject *sender) override;
    void FormActivate(QObject *sender) override;
    void FormClose(QObject *sender, TCloseAction &action) override;
    void sbtPrintClick(QObject *sender) override;
    void sbtPreviewClick(QObject *sender) override;
    void sbtSalvarComoClick(QObject *sender) override;
    void sbtReportEditClick(QObject *sender) override;
    // The server's clock, read through the screen's connection.
    TDateTime GetTimeSever();

    // The criteria that differ from the defaults and that the report applies, in words, for the
    // "Opções de Emissão" block.
    QStringList EmissionOptionLines() override;

private:
    TNetConnection *netRelLancContReceber;
    // Code lists of the all-or-list criteria ("_01__03_"), and the companies the operator may see.
    QString lstVendedor, lstCliente, lstGrupClie, lstEmpresa, lstEmpresaOper, lstTipoConta, lstLancamento;
    QString lstFilial, lstFormaPaga, lstCCorr, lstAtivClie, lstSegMerc, lstClass, lstRegiao;

    // The handlers, checks and computations, in the order the screen runs them; only the form
    // binds and calls them.
    void pgcRelatorioChanging(QObject *sender, bool &allowChange);
    void cbbReportNamesChange(QObject *sender);
    void netRelLancContReceberBeforeConnect(QObject *sender);
    void cdsOpEmissaoAfterPost(TDataSet &dataSet);

    // Criteria checks.
    void ValidaCampos();
    void TipoCliente();
    void ValidaStatus();

    // Field entry handlers.
    void depVenIniExit(QObject *sender); void depVenFinExit(QObject *sender);
    void depEmissaoDEExit(QObject *sender); void depEmissaoATEExit(QObject *sender);
    void depSaidaDeExit(QObject *sender); void depSaidaAteExit(QObject *sender);
    void depBaixaEntrExit(QObject *sender); void depBaixaSaidExit(QObject *sender);
    void depDtIniRefeFatExit(QObject *sender); void depDtFinRefeFatExit(QObject *sender);
    void nedValor1KeyPress(QObject *sender, QChar &key); void nedValor2KeyPress(QObject *sender, QChar &key);
    void medNrOrcaIniKeyPress(QObject *sender, QChar &key); void medNrOrcaFinKeyPress(QObject *sender, QChar &key);
    void medNrOrcaIniExit(QObject *sender); void medNrOrcaFinExit(QObject *sender);
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

    // The all-or-list groups, one line each: radio clicks, search button (the picker), F9 on "Lista".
    void rdgTClassFinancClick(QObject *sender); void rdgLClassFinancClick(QObject *sender); void sbtListaClassClick(QObject *sender); void rdgLClassFinancKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void rdbTodosAtivClieClick(QObject *sender); void rdbListaAtivClieClick(QObject *sender); void sbtAtivClieClick(QObject *sender); void rdbListaAtivClieKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void rdbTodosSegMercClick(QObject *sender); void rdbListaSegMercClick(QObject *sender); void sbtSegMercClick(QObject *sender); void rdbListaSegMercKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void rbtTodosTipoClick(QObject *sender); void rbtListaTipoClick(QObject *sender); void sbtPesqListaClick(QObject *sender); void rbtListaTipoKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void rbtTodasRegClick(QObject *sender); void rbtListaRegClick(QObject *sender); void sbtRegiaoClick(QObject *sender); void rbtListaRegKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void rbtListaClieClick(QObject *sender); void sbtClienteClick(QObject *sender); void rbtListaClieKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void rbtListaGrupCClick(QObject *sender); void sbtGrupClieClick(QObject *sender); void rbtListaGrupCKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void rbtListaEmpClick(QObject *sender); void sbtEmpresaClick(QObject *sender); void rbtListaEmpKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void rbtListaFilialClick(QObject *sender); void sbtFilialClick(QObject *sender); void rbtListaFilialKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void rbtListaLancaClick(QObject *sender); void sbtLancamentoClick(QObject *sender); void rbtListaLancaKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void rbtTodosVendClick(QObject *sender); void rbtListaVendClick(QObject *sender); void sbtVendedorClick(QObject *sender); void rbtListaVendKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void rbtFormaListaClick(QObject *sender); void sbtFormaPagaClick(QObject *sender); void rbtFormaListaKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);
    void rbtCCorrListaClick(QObject *sender); void sbtCCorrClick(QObject *sender); void rbtCCorrListaKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers shift);

    // Report parameters: the criteria bound to the chosen layout's parameters.
    void rpddPadraoBeforeGetQueryParams(TParams &params, bool &flag);
    // The ABC curve: criteria to the server, curve rows and totals back, class letters written;
    // returns the criteria it read.
    TCriteria CurvaABC();

    // Gives qryCliente1 the four statement texts and the parameter list of another client query.
    void CopyClientStatement(TADOIBQuery &from);

    enum TGroupId { gClass, gAtivClie, gSegMerc, gTipoConta, gRegiao, gCliente, gGrupClie, gEmpresa, gFilial, gLanca, gVendedor, gForma, gCCorr };
    QVector<TCriteriaGroup> BuildGroups();
    const TCriteriaGroup *GroupNamed(const QString &name) const;
    // The codes a group's lookup offers now, read as its picker reads them.
    QSet<QString> LookupCodes(const TCriteriaGroup &g);
    void BindEvents();
    // Steps of the parameter binding and the lookup refresh that goes with it.
    // Whether the chosen layout is the ABC curve: index 18, or a layout that reads the curve's data set.
    bool IsCurveLayout() const;
    void BindMainPath(const TCriteria &criteria, TParams &params);
    // Named side-effect steps: the lookups the layouts and the curve name their codes from.
    void RefreshLookups(const TCriteria &criteria, bool curve);
    // The curve names its listed clients from the client lookup itself, the layouts from the server.
    void RefreshClients(const TCriteria &criteria, bool curve);
    void RefreshPostingBranches(bool list);
    TEmissionSources EmissionSources(const TCriteria &criteria) const;
    // Loads the operator's emission option (inserting it when missing) and, when asked, stores the screen's choice; returns its letter.
    QString RefreshEmissionOption(const TCriteria &criteria, bool rewrite);
    // Reopens a group's lookup: all gives the unused list value and "T", a list the codes and the unused flag value.
    void RefreshLookup(bool list, TADOIBQuery &query, const char *listParam, const char *flagParam, const QString &codes,
                       const std::optional<QString> &unused = QString());
    // The query picker: reopen the lookup with its parameters, refuse an empty
    // list with its message, then let the user mark codes into the list.
    void QueryPicker(TGroupId id);
    void OpenLookup(const TCriteriaGroup &g);
    void ListaPicker(TGroupId id);
    // F9 on a "Lista" radio runs its picker, whatever the modifier keys and the button's state.
    void F9Picker(int key, TGroupId id, QObject *sender);
    // Brings the page to the front, focuses the control and ends the action with the message of the key.
    [[noreturn]] void FalhaCampo(TTabSheet *page, QWidget *focus, const char *key);
    [[noreturn]] void Falha(const char *key);
    // The "Lista" criteria of a page whose code list is empty are refused, in table order.
    void ValidaListas(TTabSheet *page);
    void ValidaPeriodo(TTabSheet *page, TDateEditPlus *de, TDateEditPlus *ate, const char *deKey, const char *ateKey, const char *orderKey);
    // A "Lista" radio's search button follows the radio.
    void SyncSearchButton(TGroupId id);
    // The search button's tooltip under its hint: the all radio's caption, or how many
    // codes are chosen with the first few names the search list showed for them.
    void ShowChosen(int index);
    void ShowAllChosen();
    // grbBaixa enabled only while settled or planned receivables are asked for; settlement dates only with settled ones.
    void AjustaBaixa();
    void ShowOrcaGroup();
    // The checks in front of a base report action; the client-type check only when asked.
    void RunChecked(bool clientType, const std::function<void()> &baseAction);
    // The receivables behind printed rows, and their windows.
    TReceivableReader *m_receivables;
    QVector<qint64> ReceivableNumbers(const TReportDrill &drill);
    QJsonObject OpenReceivable(qint64 number, QWidget *over);
    QJsonObject OpenReceivableList(const QString &caption, const QVector<qint64> &numbers, QWidget *over);
    QString m_pictAtivClie;
    QVector<TCriteriaGroup> m_groups;
    // Per group, the names the search list showed for the codes picked in it (tooltips only).
    QVector<QHash<QString, QString>> m_chosenNames;
    // False from the start of destruction: controls that lose the focus then reach no handler.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
