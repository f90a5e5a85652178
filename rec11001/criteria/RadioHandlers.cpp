// The radio pairs of the all-or-list criteria: the search button follows "Lista".
#include "module/Cli_rec11001.h"

using F = TfrmRelLancContReceber;

void F::rbtTodosTipoClick(QObject *) { SyncSearchButton(gTipoConta); }
void F::rbtListaTipoClick(QObject *) { SyncSearchButton(gTipoConta); }
void F::rdbTodosAtivClieClick(QObject *) { SyncSearchButton(gAtivClie); }
void F::rdbListaAtivClieClick(QObject *) { SyncSearchButton(gAtivClie); }
void F::rdbTodosSegMercClick(QObject *) { SyncSearchButton(gSegMerc); }
void F::rdbListaSegMercClick(QObject *) { SyncSearchButton(gSegMerc); }
void F::rbtTodasRegClick(QObject *) { SyncSearchButton(gRegiao); }
void F::rbtListaRegClick(QObject *) { SyncSearchButton(gRegiao); }
void F::rbtListaGrupCClick(QObject *) { SyncSearchButton(gGrupClie); }
void F::rbtListaEmpClick(QObject *) { SyncSearchButton(gEmpresa); }
void F::rbtListaFilialClick(QObject *) { SyncSearchButton(gFilial); }
void F::rbtListaLancaClick(QObject *) { SyncSearchButton(gLanca); } // follows its radio as every other pair's does
void F::rbtTodosVendClick(QObject *) { SyncSearchButton(gVendedor); }
void F::rbtListaVendClick(QObject *) { SyncSearchButton(gVendedor); }
void F::rbtFormaListaClick(QObject *) { SyncSearchButton(gForma); }
void F::rbtCCorrListaClick(QObject *) { SyncSearchButton(gCCorr); }

// The classification pair decides from whichever radio was clicked (neither is checked as designed).
void F::rdgTClassFinancClick(QObject *) { sbtListaClass->setEnabled(!rdgTClassFinanc->Checked()); }
void F::rdgLClassFinancClick(QObject *) { sbtListaClass->setEnabled(rdgLClassFinanc->Checked()); }

// A client list always covers both client types; the type choice is open only for all clients.
void F::rbtListaClieClick(QObject *)
{
    sbtCliente->setEnabled(rbtListaClie->Checked());
    chkPrivado->setEnabled(rbtTodosClie->Checked());
    chkPublico->setEnabled(rbtTodosClie->Checked());
    chkPrivado->SetChecked(true);
    chkPublico->SetChecked(true);
}
