#include "services/Dbgeral.h"
#include "data/Database.h"
#include "data/Exceptions.h"
#include <QSqlQuery>

QString Dbgeral::ListaEmpresaOper(const QString &operatorCode)
{
    TdtmDBGeral *db = TdtmDBGeral::Current();
    if (!db)
        throw EDatabaseError(QStringLiteral("Nenhum banco de dados conectado para ler as empresas do operador."));
    TParams params;
    params.CreateParam(TParamType::String, QStringLiteral("CDOPERADOR")).SetAsString(operatorCode);
    QSqlQuery q = RunStatement(db->Database(),
                               QStringLiteral("SELECT OE.CDEMPRESA FROM OPEREMPRESA OE WHERE OE.CDOPERADOR = :CDOPERADOR ORDER BY OE.CDEMPRESA"),
                               params, QStringLiteral("ListaEmpresaOper"));
    QString list;
    while (q.next())
        list += QLatin1Char('_') + q.value(0).toString() + QLatin1Char('_');
    return list;
}
