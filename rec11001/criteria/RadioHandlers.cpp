// The radio pairs of the all-or-list criteria: the search button follows "Lista".
#include "Cli_rec11001.h"

void TfrmRelLancContReceber::SyncSearchButton(const TRadioButton *list, TButtonFlat *search) { search->setEnabled(list->Checked()); }

void TfrmRelLancContReceber::rbtTodosTipoClick(QObject *) { SyncSearchButton(rbtListaTipo, sbtTipoConta); }
void TfrmRelLancContReceber::rbtListaTipoClick(QObject *) { SyncSearchButton(rbtListaTipo, sbtTipoConta); }
void TfrmRelLancContReceber::rdbTodosAtivClieClick(QObject *) { SyncSearchButton(rdbListaAtivClie, sbtAtivClie); }
void TfrmRelLancContReceber::rdbListaAtivClieClick(QObject *) { SyncSearchButton(rdbListaAtivClie, sbtAtivClie); }
void TfrmRelLancContReceber::rdbTodosSegMercClick(QObject *) { SyncSearchButton(rdbListaSegMerc, sbtSegMerc); }
void TfrmRelLancContReceber::rdbListaSegMercClick(QObject *) { SyncSearchButton(rdbListaSegMerc, sbtSegMerc); }
void TfrmRelLancContReceber::rdgTClassFinancClick(QObject *) { sbtListaClass->setEnabled(!rdgTClassFinanc->Checked()); }
void TfrmRelLancContReceber::rdgLClassFinancClick(QObject *) { sbtListaClass->setEnabled(rdgLClassFinanc->Checked()); }
void TfrmRelLancContReceber::rbtTodasRegClick(QObject *) { SyncSearchButton(rbtListaReg, sbtRegiao); }
void TfrmRelLancContReceber::rbtListaRegClick(QObject *) { SyncSearchButton(rbtListaReg, sbtRegiao); }
void TfrmRelLancContReceber::rbtListaGrupCClick(QObject *) { SyncSearchButton(rbtListaGrupC, sbtGrupClie); }
void TfrmRelLancContReceber::rbtListaEmpClick(QObject *) { SyncSearchButton(rbtListaEmp, sbtEmpresa); }
void TfrmRelLancContReceber::rbtListaFilialClick(QObject *) { SyncSearchButton(rbtListaFilial, sbtFilial); }
// The posting-branch button follows its radio as every other pair's does.
void TfrmRelLancContReceber::rbtListaLancaClick(QObject *) { SyncSearchButton(rbtListaLanca, sbtLancamento); }
void TfrmRelLancContReceber::rbtTodosVendClick(QObject *) { SyncSearchButton(rbtListaVend, sbtVendedor); }
void TfrmRelLancContReceber::rbtListaVendClick(QObject *) { SyncSearchButton(rbtListaVend, sbtVendedor); }
void TfrmRelLancContReceber::rbtFormaListaClick(QObject *) { SyncSearchButton(rbtFormaLista, sbtFormaPaga); }
void TfrmRelLancContReceber::rbtCCorrListaClick(QObject *) { SyncSearchButton(rbtCCorrLista, sbtCCorr); }

// A client list always covers both client types; the type choice is open only for all clients.
void TfrmRelLancContReceber::rbtListaClieClick(QObject *)
{
    sbtCliente->setEnabled(rbtListaClie->Checked());
    chkPrivado->setEnabled(rbtTodosClie->Checked());
    chkPublico->setEnabled(rbtTodosClie->Checked());
    chkPrivado->SetChecked(true);
    chkPublico->SetChecked(true);
}
