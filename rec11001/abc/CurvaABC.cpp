// The ABC curve: the criteria sent to the application server, the curve rows
// and company totals loaded, and each row's class letter.
#include "abc/CurveRequest.h"
#include "forms/HostApplication.h"
#include "module/Cli_rec11001.h"
#include "server/ServerCalls.h"
#include "services/Consiste.h"
#include "services/HostContext.h"
#include "services/Showavi.h"

namespace {
std::vector<TCallArg> byRef(QVariantList &values)
{
    std::vector<TCallArg> args;
    args.reserve(static_cast<size_t>(values.size()));
    for (QVariant &v : values)
        args.push_back(TCallArg::ByRef(v));
    return args;
}

// The rows of a curve or totals packet become the data set's base state.
void loadMerged(TNetConnection &net, const QString &method, QVariantList values, TClientDataSet &target)
{
    ServerCalls::LoadFromServer(net, method, byRef(values), target);
    target.MergeChangeLog();
}
} // namespace

TCriteria TfrmRelLancContReceber::CurvaABC()
{
    // 1. Percentages.
    cdsPercentual->Close();
    ServerCalls::LoadFromServer(*netRelLancContReceber, QStringLiteral("GetPercentual"), {}, *cdsPercentual);

    // 2. Settlement fields follow the statuses.
    AjustaBaixa();

    // 3. The criteria as they stand now, the lookups the curve names its rows from, and the
    // emission option stored with the screen's choice.
    const TCriteria criteria = CurrentCriteria();
    RefreshLookups(criteria, true);
    TAbcRequest request = CurveRequest(criteria);
    request.OpEmissao = RefreshEmissionOption(criteria, true);

    // 4. Server data under the busy animation, hidden on every path.
    {
        const TShowAviGuard busy(THostApplication::MainFormInForce(), 1);
        QVariantList status = StatusArgs(criteria);
        ServerCalls::LoadFromServer(*netRelLancContReceber, QStringLiteral("GetStatus"), byRef(status), *cdsStatus);
        // The last curve's rows go before the new ones come, so that the two are never held at once.
        qryCurvaABC->Close();
        loadMerged(*netRelLancContReceber, QStringLiteral("GetCurvaABC"), request.CurveArgs(), *qryCurvaABC);
        loadMerged(*netRelLancContReceber, QStringLiteral("GetTotal"), request.TotalArgs(), *qryTotal);
    }

    // 5. Classification.
    ClassificaCurva(*qryCurvaABC, *qryTotal, *cdsPercentual);
    return criteria;
}
