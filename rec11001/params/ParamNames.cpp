#include "params/ParamNames.h"

QStringList BindingParamNames()
{
    return {
        // Region and client.
        QStringLiteral("P_CDREGIAOPED"), QStringLiteral("P_TCDREGIAOPED"), QStringLiteral("CLIENTE"), QStringLiteral("TCLIENTE"),
        // List groups.
        QStringLiteral("GRUPCLIE"), QStringLiteral("TGRUPCLIE"), QStringLiteral("CODEMPRESA"), QStringLiteral("TCODEMPRESA"),
        QStringLiteral("CODFILIAL"), QStringLiteral("TCODFILIAL"), QStringLiteral("TIPOCONTA"), QStringLiteral("TTIPOCONTA"),
        QStringLiteral("CODFILILANC"), QStringLiteral("TCODFILILANC"), QStringLiteral("P_FORMA"), QStringLiteral("P_TFORMA"),
        QStringLiteral("P_CCORR"), QStringLiteral("P_TCCORR"), QStringLiteral("P_CDCLASSFINA"), QStringLiteral("P_TCDCLASSFINA"),
        // Advance flag and entry kind.
        QStringLiteral("IDTPCTRECEBER"), QStringLiteral("TIPO"), QStringLiteral("TTIPO"),
        // Emission, exit, settlement and due dates; net value.
        QStringLiteral("DTINIEMIS"), QStringLiteral("DTFINEMIS"), QStringLiteral("DATEMISINI"), QStringLiteral("DATEMIFIN"),
        QStringLiteral("DTINIENTR"), QStringLiteral("DTFINSAID"), QStringLiteral("DATENTR"), QStringLiteral("DATSAID"),
        QStringLiteral("DTINIBAIXA"), QStringLiteral("DTFINBAIXA"), QStringLiteral("DTBAIXAINI"), QStringLiteral("DTBAIXAFIN"),
        QStringLiteral("TDTBAIXA"), QStringLiteral("DATVENIN"), QStringLiteral("DATVENFIN"), QStringLiteral("DTINIVEN"),
        QStringLiteral("DTFINVEN"), QStringLiteral("P_DTVENIN"), QStringLiteral("P_DTVENFIN"), QStringLiteral("DATINIVEN"),
        QStringLiteral("DATFINVEN"), QStringLiteral("VALORINI"), QStringLiteral("VALORFIN"),
        // Client type, activity, segment and emission option.
        QStringLiteral("P_TODOS"), QStringLiteral("P_PRIPUB"), QStringLiteral("P_ATIVCLI"), QStringLiteral("P_TATIVCLI"),
        QStringLiteral("P_SEGMERC"), QStringLiteral("P_TSEGMERC"), QStringLiteral("P_UTLOPC"),
        // Status, billing reference, salesperson and budget number.
        QStringLiteral("STATUSA"), QStringLiteral("STATUSB"), QStringLiteral("STATUSD"), QStringLiteral("STATUSP"),
        QStringLiteral("TSTATUS"), QStringLiteral("STATUS"), QStringLiteral("STATUST"), QStringLiteral("P_DTINIREFEFAT"),
        QStringLiteral("P_DTFINREFEFAT"), QStringLiteral("P_VENDEDOR"), QStringLiteral("P_TVENDEDOR"), QStringLiteral("P_ORCAINI"),
        QStringLiteral("P_ORCAFIN"), QStringLiteral("P_ORCA"),
    };
}
