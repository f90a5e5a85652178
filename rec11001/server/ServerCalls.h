#pragma once
#include "data/ClientDataSet.h"
#include "data/DateTime.h"
#include "net/NetConnection.h"

// The module's side of the application-server methods: each call passes its
// result through CheckResultServ and loads the payload into the data set named.
namespace ServerCalls {

// Calls a method by name; a failure is reported by CheckResultServ and ends the action.
QVariant CallServer(TNetConnection &net, const QString &method, std::vector<TCallArg> args = {});
// Calls a method by name and makes its payload the data of the target.
void LoadFromServer(TNetConnection &net, const QString &method, std::vector<TCallArg> args, TClientDataSet &target);

// Due-date offsets into cdsDtVenc and the budget display flag into cdsParamGeralOrca.
void GetDtVenc(TNetConnection &net, TClientDataSet &cdsDtVenc, TClientDataSet &cdsParamGeralOrca);
// The operator's emission option for the screen.
void GetOpEmissao(TNetConnection &net, const QString &screen, const QString &operador, TClientDataSet &cdsOpEmissao);
// Sends the pending changes of cdsOpEmissao.
void SetOpEmissao(TNetConnection &net, const TClientDataSet &cdsOpEmissao);
// Posting branches: every one ("" and "T") or those of the list ("list" and "").
void GetFiliLanca(TNetConnection &net, QString &list, const QString &flag, TClientDataSet &cdsFiliLanca);
// Rows of "Cliente", "TipoConta" or "ClassFinanceira" for the codes of the list.
void GetConsultaServ(TNetConnection &net, const QString &name, QString &list, TClientDataSet &target);
// The client-activity tree down to the given number of picture levels.
void GetAtivClie(TNetConnection &net, int levels, TClientDataSet &qryAtivClie);
// The server's clock.
TDateTime GetTimeServ(TNetConnection &net, TClientDataSet &cdsHoraServidor);

} // namespace ServerCalls
