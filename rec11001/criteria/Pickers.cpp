// The multi-selection pickers of the all-or-list criteria.
#include "Cli_rec11001.h"
#include "Consiste.h"
#include "Picture.h"
#include "SearchList.h"
#include "ServerCalls.h"

void TfrmRelLancContReceber::QueryPicker(TADOIBQuery &query, const std::function<void(TADOIBQuery &)> &setParams, const char *emptyKey,
                                         const char *titleKey, TDataSource *source, const char *keyField, QString &codes)
{
    query.Close();
    if (setParams)
        setParams(query);
    query.Open();
    if (query.IsEmpty())
        MensErro(msgPadrao->Msg(QLatin1String(emptyKey)), true);
    ListaPicker(source, titleKey, keyField, codes);
}

void TfrmRelLancContReceber::ListaPicker(TDataSource *source, const char *titleKey, const char *keyField, QString &codes)
{
    PesquisaLista(source, QLatin1String(keyField), msgPadrao->Msg(QLatin1String(titleKey)), false, codes);
}

void TfrmRelLancContReceber::CopyClientStatement(TADOIBQuery &from)
{
    qryCliente1->Close();
    for (int i = 0; i < 4; ++i)
        qryCliente1->SetSQL(i, from.GetSQL(i));
    qryCliente1->SetIBParams(from.GetIBParams());
}

void TfrmRelLancContReceber::sbtClienteClick(QObject *)
{
    if (rbtTodasReg->Checked()) {
        if (qryCliente1->SQL != qryClienteAux->SQL)
            CopyClientStatement(*qryClienteAux);
        QueryPicker(
            *qryCliente1,
            [](TADOIBQuery &q) {
                q.ParamByName(QStringLiteral("P_CLIENTE")).Clear();
                q.ParamByName(QStringLiteral("TCLIENTE")).SetAsString(QStringLiteral("T"));
            },
            "Cliente_Empty", "Cliente", dtsCliente__, "CDCLIENTE", lstCliente);
        return;
    }
    CopyClientStatement(*qryClienteRegiao);
    QueryPicker(
        *qryCliente1,
        [this](TADOIBQuery &q) {
            q.ParamByName(QStringLiteral("CLIENTE")).Clear();
            q.ParamByName(QStringLiteral("TCLIENTE")).SetAsString(QStringLiteral("T"));
            q.ParamByName(QStringLiteral("P_CDREGIAOPED")).SetAsString(lstRegiao);
            q.ParamByName(QStringLiteral("TREGIAO")).Clear();
        },
        "Cliente_Empty", "Cliente", dtsCliente__, "CDCLIENTE", lstCliente);
}

void TfrmRelLancContReceber::sbtFilialClick(QObject *)
{
    QueryPicker(
        *qryFilial,
        [](TADOIBQuery &q) {
            q.ParamByName(QStringLiteral("P_CDFILIAL")).Clear();
            q.ParamByName(QStringLiteral("P_TODOS")).SetAsString(QStringLiteral("T"));
        },
        "Filial_Empty", "FilialOr", dtsFilial__, "CDFILIAL", lstFilial);
}

void TfrmRelLancContReceber::sbtLancamentoClick(QObject *)
{
    QString all;
    ServerCalls::GetFiliLanca(*netRelLancContReceber, all, QStringLiteral("T"), *cdsFiliLanca);
    if (cdsFiliLanca->IsEmpty())
        MensErro(msgPadrao->Msg(QStringLiteral("Filial_Empty")), true);
    ListaPicker(dtsFiliLanca__, "FiliLanca", "CDFILIAL", lstLancamento);
}

// Only the companies the operator may see are offered.
void TfrmRelLancContReceber::sbtEmpresaClick(QObject *)
{
    QueryPicker(
        *qryEmpresa,
        [this](TADOIBQuery &q) {
            q.ParamByName(QStringLiteral("CODEMPRESA")).SetAsString(lstEmpresaOper);
            q.ParamByName(QStringLiteral("TCODEMPRESA")).Clear();
        },
        "Empresa_Empty", "Empresa", dtsEmpresa__, "CDEMPRESA", lstEmpresa);
}

void TfrmRelLancContReceber::sbtPesqListaClick(QObject *)
{
    QueryPicker(
        *qryTipoConta1,
        [](TADOIBQuery &q) {
            q.ParamByName(QStringLiteral("TIPOCONTA")).SetAsString(QString());
            q.ParamByName(QStringLiteral("TTIPOCONTA")).SetAsString(QStringLiteral("T"));
        },
        "TipoConta_Empty", "Tipo", dtsTipoConta__, "CDTPCTRECEB", lstTipoConta);
}

// The query goes to the search list closed, which opens it; no empty-list test.
void TfrmRelLancContReceber::sbtFormaPagaClick(QObject *)
{
    qryFormaRec->Close();
    qryFormaRec->ParamByName(QStringLiteral("P_CODIGO")).SetValue(QVariant(QString(QLatin1String(""))));
    qryFormaRec->ParamByName(QStringLiteral("P_TCODIGO")).SetValue(QVariant(QStringLiteral("T")));
    ListaPicker(dtsFormaRec__, "TipoBaixa", "CDTPBAIXAREC", lstFormaPaga);
}

void TfrmRelLancContReceber::sbtCCorrClick(QObject *)
{
    QueryPicker(
        *qryContCorr,
        [](TADOIBQuery &q) {
            q.ParamByName(QStringLiteral("P_CDREDUCONT")).SetAsString(QString());
            q.ParamByName(QStringLiteral("P_TCDREDUCONT")).SetAsString(QStringLiteral("T"));
        },
        "ContaCorr_Empty", "CCorr", dtsContCorr__, "CDREDUCONT", lstCCorr);
}

// The tree shows CDARVATIVCLI in its picture while the list collects CDATIVCLI.
void TfrmRelLancContReceber::sbtAtivClieClick(QObject *)
{
    ServerCalls::GetAtivClie(*netRelLancContReceber, DBPictObj(16).GetTtNiveis(), *qryAtivClie);
    ListaPicker(dtsAtivClie__, "ATIVCLIE", "CDATIVCLI", lstAtivClie);
}

// The segment query goes to the search list in whatever state it is in.
void TfrmRelLancContReceber::sbtSegMercClick(QObject *) { ListaPicker(dtsSegMerc__, "SegMerc", "CDSEGMER", lstSegMerc); }

void TfrmRelLancContReceber::sbtListaClassClick(QObject *)
{
    try {
        QueryPicker(
            *qryClassFinanc1,
            [](TADOIBQuery &q) {
                q.ParamByName(QStringLiteral("P_CDCLASSFINA")).SetAsString(QString());
                q.ParamByName(QStringLiteral("P_TCDCLASSFINA")).SetAsString(QStringLiteral("T"));
            },
            "Class_nCad", "Class", dtsClassFinanc__, "CDCLASSFINA", lstClass);
    } catch (...) {
        rdgLClassFinanc->setFocus(Qt::OtherFocusReason);
        throw;
    }
}

void TfrmRelLancContReceber::sbtGrupClieClick(QObject *)
{
    QueryPicker(*qryGrupClie, {}, "GrupClie_Empty", "GrupClie", dtsGrupClie__, "CDGRUPCLIE", lstGrupClie);
}

// After the regions are chosen the clients go back to all.
void TfrmRelLancContReceber::sbtRegiaoClick(QObject *)
{
    QueryPicker(
        *qryRegiao,
        [](TADOIBQuery &q) {
            q.ParamByName(QStringLiteral("P_CDREGIAOPED")).Clear();
            q.ParamByName(QStringLiteral("P_TODOS")).SetAsString(QStringLiteral("T"));
        },
        "Regiao_Empty", "Regiao", dtsRegiao__, "CDREGIAOPED", lstRegiao);
    rbtTodosClie->SetChecked(true);
}

void TfrmRelLancContReceber::sbtVendedorClick(QObject *)
{
    QueryPicker(
        *qryVendedor,
        [](TADOIBQuery &q) {
            q.ParamByName(QStringLiteral("P_CDVENDEDOR")).SetAsString(QString());
            q.ParamByName(QStringLiteral("P_TCDVENDEDOR")).SetAsString(QStringLiteral("T"));
        },
        "Vendedor_Empty", "Vendedor", dtsVendedor__, "CDVENDEDOR", lstVendedor);
}

// ---- F9 on the "Lista" radios

void TfrmRelLancContReceber::F9Picker(int key, void (TfrmRelLancContReceber::*picker)(QObject *), QObject *sender)
{
    if (key == 120)
        (this->*picker)(sender);
}

void TfrmRelLancContReceber::rbtListaClieKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, &TfrmRelLancContReceber::sbtClienteClick, s); }
void TfrmRelLancContReceber::rbtListaFilialKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, &TfrmRelLancContReceber::sbtFilialClick, s); }
void TfrmRelLancContReceber::rbtListaLancaKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, &TfrmRelLancContReceber::sbtLancamentoClick, s); }
void TfrmRelLancContReceber::rbtListaEmpKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, &TfrmRelLancContReceber::sbtEmpresaClick, s); }
void TfrmRelLancContReceber::rbtListaTipoKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, &TfrmRelLancContReceber::sbtPesqListaClick, s); }
void TfrmRelLancContReceber::rbtFormaListaKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, &TfrmRelLancContReceber::sbtFormaPagaClick, s); }
void TfrmRelLancContReceber::rbtCCorrListaKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, &TfrmRelLancContReceber::sbtCCorrClick, s); }
void TfrmRelLancContReceber::rdbListaAtivClieKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, &TfrmRelLancContReceber::sbtAtivClieClick, s); }
void TfrmRelLancContReceber::rdbListaSegMercKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, &TfrmRelLancContReceber::sbtSegMercClick, s); }
void TfrmRelLancContReceber::rdgLClassFinancKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, &TfrmRelLancContReceber::sbtListaClassClick, s); }
void TfrmRelLancContReceber::rbtListaGrupCKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, &TfrmRelLancContReceber::sbtGrupClieClick, s); }
void TfrmRelLancContReceber::rbtListaRegKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, &TfrmRelLancContReceber::sbtRegiaoClick, s); }
void TfrmRelLancContReceber::rbtListaVendKeyDown(QObject *s, int &key, Qt::KeyboardModifiers) { F9Picker(key, &TfrmRelLancContReceber::sbtVendedorClick, s); }
