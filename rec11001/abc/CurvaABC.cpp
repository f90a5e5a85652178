// The ABC curve: the criteria sent to the application server, the curve rows
// and company totals loaded, and each row's class letter.
#include "Cli_rec11001.h"
#include "Consiste.h"
#include "HostApplication.h"
#include "HostContext.h"
#include "ServerCalls.h"
#include "Showavi.h"
#include <array>

namespace {
const QString kAll = QStringLiteral("T");

// The arguments of GetCurvaABC by their numbers (1 to 58); unassigned ones are empty, the amounts 0.
struct TCurveArgs {
    std::array<QVariant, 59> G;
    bool NoAmounts = true;
    TCurveArgs()
    {
        G.fill(QVariant(QString()));
        G[21] = 0.0;
        G[22] = 0.0;
    }
    QVariant &operator[](int n) { return G[static_cast<size_t>(n)]; }
    void Pair(int n, const TRadioButton *all, const TRadioButton *list, const QString &codes, const QString &listFlag = {})
    {
        if (all->Checked()) {
            G[n] = QString();
            G[n + 1] = kAll;
        } else if (list->Checked()) {
            G[n] = codes;
            G[n + 1] = listFlag;
        }
    }
};

std::vector<TCallArg> byRef(std::vector<QVariant> &values)
{
    std::vector<TCallArg> args;
    args.reserve(values.size());
    for (QVariant &v : values)
        args.push_back(TCallArg::ByRef(v));
    return args;
}

// The rows of a curve or totals packet become the data set's base state.
void loadMerged(TNetConnection &net, const QString &method, std::vector<QVariant> &values, TClientDataSet &target)
{
    ServerCalls::LoadFromServer(net, method, byRef(values), target);
    target.MergeChangeLog();
}
} // namespace

void TfrmRelLancContReceber::CurvaABC()
{
    TCurveArgs a;
    std::array<QString, 7> s; // table S, 1 to 6

    // 1. Percentages.
    cdsPercentual->Close();
    ServerCalls::LoadFromServer(*netRelLancContReceber, QStringLiteral("GetPercentual"), {}, *cdsPercentual);

    // 2. Settlement fields follow the statuses.
    AjustaBaixa();

    // 3. Region and client, with the client lookup.
    a.Pair(1, rbtTodosClie, rbtListaClie, lstCliente);
    if (rbtTodasReg->Checked()) {
        a[49] = kAll;
    } else if (rbtListaReg->Checked() && !EmptyString(lstRegiao)) {
        a[48] = lstRegiao;
    }
    if (rbtTodasReg->Checked()) {
        CopyClientStatement(*qryClienteAux);
        if (rbtTodosClie->Checked())
            Reopen(*qryCliente1, {{"P_CLIENTE", QString()}, {"TCLIENTE", kAll}});
        else if (rbtListaClie->Checked())
            Reopen(*qryCliente1, {{"P_CLIENTE", lstCliente}, {"TCLIENTE", QString()}});
    } else if (rbtListaReg->Checked()) {
        CopyClientStatement(*qryClienteRegiao);
        if (rbtTodosClie->Checked() || rbtListaClie->Checked()) {
            const bool all = rbtTodosClie->Checked();
            Reopen(*qryCliente1, {{"CLIENTE", all ? QString() : lstCliente},
                                  {"TCLIENTE", all ? kAll : QString()},
                                  {"P_CDREGIAOPED", lstRegiao},
                                  {"TREGIAO", QString()}});
        }
    }

    // 4. Client group.
    a.Pair(46, rbtTodosGrupC, rbtListaGrupC, lstGrupClie);

    // 5. Company: all is every company here.
    a.Pair(5, rbtTodosEmpr, rbtListaEmp, lstEmpresa);
    RefreshLookup(rbtTodosEmpr, rbtListaEmp, *qryEmpresa, "CODEMPRESA", "TCODEMPRESA", lstEmpresa);

    // 6. Origin branch.
    a.Pair(7, rbtTodosFilial, rbtListaFilial, lstFilial);
    RefreshLookup(rbtTodosFilial, rbtListaFilial, *qryFilial, "P_CDFILIAL", "P_TODOS", lstFilial, std::nullopt);

    // 7. Receivable type.
    a.Pair(9, rbtTodosTipo, rbtListaTipo, lstTipoConta);
    RefreshLookup(rbtTodosTipo, rbtListaTipo, *qryTipoConta1, "TIPOCONTA", "TTIPOCONTA", lstTipoConta);

    // 8. Advances.
    a[53] = chbConAdian->Checked() ? kAll : QStringLiteral("1");

    // 9. Posting branch: a list's flag is one space.
    a.Pair(11, rbtTodosLanca, rbtListaLanca, lstLancamento, QStringLiteral(" "));
    if (rbtTodosLanca->Checked()) {
        QString none;
        ServerCalls::GetFiliLanca(*netRelLancContReceber, none, kAll, *cdsFiliLanca);
    } else if (rbtListaLanca->Checked()) {
        ServerCalls::GetFiliLanca(*netRelLancContReceber, lstLancamento, QString(), *cdsFiliLanca);
    }

    // 10. Settlement type.
    a.Pair(13, rbtFormaTodos, rbtFormaLista, lstFormaPaga);
    RefreshLookup(rbtFormaTodos, rbtFormaLista, *qryFormaRec, "P_CODIGO", "P_TCODIGO", lstFormaPaga);

    // 11. Bank account.
    a.Pair(17, rbtCCorrTodas, rbtCCorrLista, lstCCorr);
    RefreshLookup(rbtCCorrTodas, rbtCCorrLista, *qryContCorr, "P_CDREDUCONT", "P_TCDREDUCONT", lstCCorr);

    // 12. Status: table S, then the status word and its flag.
    s[2] = chkAberto->Checked() ? QStringLiteral("A") : QString();
    s[3] = chkBaixada->Checked() ? QStringLiteral("B") : QString();
    s[4] = chkDescontada->Checked() ? QStringLiteral("D") : QString();
    s[5] = chkPlanejada->Checked() ? QStringLiteral("P") : QString();
    s[6] = chkTodos->Checked() ? QStringLiteral("A_B_D_P") : QString();
    QString status;
    if (chkBaixada->Checked())
        status += QStringLiteral("B");
    if (chkDescontada->Checked())
        status += QStringLiteral("_D");
    if (chkAberto->Checked())
        status += QStringLiteral("_A");
    if (chkPlanejada->Checked())
        status += QStringLiteral("_P");
    a[15] = status;
    a[16] = chkTodos->Checked() ? kAll : QString();
    s[1] = a[16].toString();

    // 13. Entry kind.
    switch (rdgTipo->ItemIndex()) {
    case 0: a[20] = kAll; break;
    case 1: a[19] = QStringLiteral("A_E"); break;
    case 2: a[19] = QStringLiteral("V"); break;
    default: break;
    }

    // 14. Financial classification.
    a.Pair(3, rdgTClassFinanc, rdgLClassFinanc, lstClass);
    RefreshLookup(rdgTClassFinanc, rdgLClassFinanc, *qryClassFinanc1, "P_CDCLASSFINA", "P_TCDCLASSFINA", lstClass);

    // 15. Dates, each range twice; the due dates even when empty.
    auto dateText = [](TDateEditPlus *e) { return e->GetDate() != 0 ? DateToStr(e->GetDate()) : QString(); };
    const struct {
        int First;
        TDateEditPlus *From, *To;
        bool Always;
    } ranges[] = {{30, depEmissaoDE, depEmissaoATE, false},
                  {34, depSaidaDe, depSaidaAte, false},
                  {38, depVenIni, depVenFin, true},
                  {42, depBaixaEntr, depBaixaSaid, false}};
    for (const auto &r : ranges) {
        const QString from = r.Always ? DateToStr(r.From->GetDate()) : dateText(r.From);
        const QString to = r.Always ? DateToStr(r.To->GetDate()) : dateText(r.To);
        a[r.First] = from;
        a[r.First + 2] = from;
        a[r.First + 1] = to;
        a[r.First + 3] = to;
    }
    a[50] = EmptyString(depBaixaEntr->Text()) && EmptyString(depBaixaSaid->Text()) ? kAll : QString();

    // 16. Amounts; the totals learn whether any was given.
    a[21] = nedValor1->GetNumber();
    a[22] = nedValor2->GetNumber();
    a.NoAmounts = a[21].toDouble() == 0 && a[22].toDouble() == 0;

    // 17. Client type.
    a[23] = (chkPrivado->Checked() && chkPublico->Checked()) || !rbtTodosClie->Checked() ? kAll : QString();
    if (a[23].toString() != kAll)
        a[24] = chkPrivado->Checked() ? QStringLiteral("V") : chkPublico->Checked() ? QStringLiteral("B") : QString();

    // 18. Client activity and market segment.
    a[25] = rdbTodosAtivClie->Checked() ? QString() : lstAtivClie;
    a[26] = rdbTodosAtivClie->Checked() ? kAll : QString();
    a[27] = rdbTodosSegMerc->Checked() ? QString() : lstSegMerc;
    a[28] = rdbTodosSegMerc->Checked() ? kAll : QString();

    // 19. Emission option, stored with the screen's choice.
    a[29] = RefreshEmissionOption(true);

    // 20. Billing reference, only as a whole range.
    if (depDtIniRefeFat->GetDate() != 0 && depDtFinRefeFat->GetDate() != 0) {
        a[51] = DateToStr(depDtIniRefeFat->GetDate());
        a[52] = DateToStr(depDtFinRefeFat->GetDate());
    }

    // 21. Salesperson.
    a[54] = rbtTodosVend->Checked() ? QString() : lstVendedor;
    a[55] = rbtTodosVend->Checked() ? kAll : QString();

    // 22. Budget numbers.
    if (!EmptyString(medNrOrcaIni->Text())) {
        a[56] = medNrOrcaIni->Text();
        a[57] = medNrOrcaFin->Text();
    }
    a[58] = EmptyString(medNrOrcaIni->Text()) ? kAll : QString();

    // 23. Server data under the busy animation, hidden on every path.
    std::vector<QVariant> statusArgs(s.begin() + 1, s.end());
    std::vector<QVariant> curveArgs(a.G.begin() + 1, a.G.end());
    // GetTotal: table G's 1-28, 30-33, 36-39, 44-53, the no-amount flag, and the
    // salesperson and budget range so that the totals cover the curve's rows.
    std::vector<QVariant> totalArgs;
    for (int n = 1; n <= 53; ++n)
        if (n != 29 && !(n >= 34 && n <= 35) && !(n >= 40 && n <= 43))
            totalArgs.push_back(a[n]);
    totalArgs.push_back(a.NoAmounts);
    for (int n = 54; n <= 58; ++n)
        totalArgs.push_back(a[n]);
    {
        QWidget *mainForm = THostApplication::Application() ? THostApplication::Application()->MainForm() : nullptr;
        TShowAviGuard busy(mainForm, 1);
        ServerCalls::LoadFromServer(*netRelLancContReceber, QStringLiteral("GetStatus"), byRef(statusArgs), *cdsStatus);
        loadMerged(*netRelLancContReceber, QStringLiteral("GetCurvaABC"), curveArgs, *qryCurvaABC);
        loadMerged(*netRelLancContReceber, QStringLiteral("GetTotal"), totalArgs, *qryTotal);
    }

    // 24. Classification.
    ClassificaCurva(*qryCurvaABC, *qryTotal, *cdsPercentual);
}
