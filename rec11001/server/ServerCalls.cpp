#include "server/ServerCalls.h"
#include "data/Exceptions.h"
#include "services/Consiste.h"

namespace ServerCalls {

QVariant CallServer(TNetConnection &net, const QString &method, std::vector<TCallArg> args)
{
    return CheckResultServ(net.AppServer().Call(method, std::move(args)));
}

void LoadFromServer(TNetConnection &net, const QString &method, std::vector<TCallArg> args, TClientDataSet &target)
{
    QVariant result = net.AppServer().CallForRows(method, std::move(args));
    CheckResultServ(result);
    target.SetData(std::move(result));
}

void GetDtVenc(TNetConnection &net, TClientDataSet &cdsDtVenc, TClientDataSet &cdsParamGeralOrca)
{
    const QVariantList packets = CallServer(net, QStringLiteral("GetDtVenc")).toList();
    if (packets.size() != 2)
        throw EPacketError(QStringLiteral("GetDtVenc: eram esperados dois pacotes de dados, vieram %1.").arg(packets.size()));
    cdsDtVenc.SetData(packets[0]);
    cdsParamGeralOrca.SetData(packets[1]);
}

void GetOpEmissao(TNetConnection &net, const QString &screen, const QString &operador, TClientDataSet &cdsOpEmissao)
{
    LoadFromServer(net, QStringLiteral("GetOpEmissao"), {TCallArg(screen), TCallArg(operador)}, cdsOpEmissao);
}

void SetOpEmissao(TNetConnection &net, const TClientDataSet &cdsOpEmissao)
{
    CallServer(net, QStringLiteral("SetOpEmissao"), {TCallArg(cdsOpEmissao.Delta())});
}

void GetFiliLanca(TNetConnection &net, QString &list, const QString &flag, TClientDataSet &cdsFiliLanca)
{
    LoadFromServer(net, QStringLiteral("GetFiliLanca"), {TCallArg::ByRef(list), TCallArg(flag)}, cdsFiliLanca);
}

void GetConsultaServ(TNetConnection &net, const QString &name, QString &list, TClientDataSet &target)
{
    LoadFromServer(net, QStringLiteral("GetConsultaServ"), {TCallArg(name), TCallArg::ByRef(list)}, target);
}

void GetAtivClie(TNetConnection &net, int levels, TClientDataSet &qryAtivClie)
{
    LoadFromServer(net, QStringLiteral("GetAtivClie"), {TCallArg(QVariant(levels))}, qryAtivClie);
}

TDateTime GetTimeServ(TNetConnection &net, TClientDataSet &cdsHoraServidor)
{
    LoadFromServer(net, QStringLiteral("getTimeServ"), {}, cdsHoraServidor);
    cdsHoraServidor.First();
    return cdsHoraServidor.FieldByName(QStringLiteral("DTATUA")).AsDateTime();
}

} // namespace ServerCalls
