// Saved criteria back on the screen: what no longer fits (a code gone from its lookup, a
// layout or entry kind the screen no longer has) is left out and named; the rest is applied.
#include "data/Exceptions.h"
#include "module/Cli_rec11001.h"
#include "server/ServerCalls.h"
#include "services/Consiste.h"
#include "services/Picture.h"

using F = TfrmRelLancContReceber;

QSet<QString> F::LookupCodes(const TCriteriaGroup &g)
{
    if (g.Lookup) {
        // The client lookup offers every client, whatever statement a region choice left in it.
        if (g.Lookup == qryCliente1 && qryCliente1->SQL != qryClienteAux->SQL)
            CopyClientStatement(*qryClienteAux);
        g.Lookup->Close();
        for (const TLookupParam &p : g.LookupParams) {
            TParam &param = g.Lookup->ParamByName(QLatin1String(p.Name));
            p.Text ? param.SetAsString(*p.Text) : param.Clear();
        }
        g.Lookup->Open();
    } else if (g.Source->DataSet == cdsFiliLanca) {
        QString all;
        ServerCalls::GetFiliLanca(*netRelLancContReceber, all, kAllFlag, *cdsFiliLanca);
    } else if (g.Source->DataSet == qryAtivClie) {
        ServerCalls::GetAtivClie(*netRelLancContReceber, DBPictObj(16).GetTtNiveis(), *qryAtivClie);
    } else if (!g.Source->DataSet->Active()) {
        g.Source->DataSet->Open();
    }
    QSet<QString> codes;
    TDataSet &data = *g.Source->DataSet;
    for (data.First(); !data.Eof(); data.Next())
        codes.insert(data.FieldByName(QLatin1String(g.KeyField)).AsString());
    return codes;
}

QStringList F::ApplyCriteriaJson(const QJsonObject &json)
{
    TCriteria c = TCriteria::FromJson(json);
    QStringList missed;
    for (const QString &name : c.Groups.keys())
        if (!GroupNamed(name)) {
            missed << QStringLiteral("o critério \"%1\", que a tela não tem mais").arg(name);
            c.Groups.remove(name);
        }
    if (c.Layout < 0 || c.Layout >= cbbReportNames->count()) {
        missed << QStringLiteral("o relatório %1 (a lista tem %2 relatórios; ficou o relatório \"%3\")")
                      .arg(c.Layout + 1)
                      .arg(cbbReportNames->count())
                      .arg(cbbReportNames->currentText());
        c.Layout = cbbReportNames->ItemIndex();
    }
    if (c.Tipo < 0 || c.Tipo >= rdgTipo->Count()) {
        missed << QStringLiteral("o tipo de conta %1, que a tela não tem").arg(c.Tipo);
        c.Tipo = rdgTipo->ItemIndex();
    }
    for (const TCriteriaGroup &g : m_groups) {
        auto choice = c.Groups.find(QLatin1String(g.Name));
        if (choice == c.Groups.end() || !choice->List || !g.Group->isEnabled())
            continue;
        const QSet<QString> known = LookupCodes(g);
        QString kept;
        QStringList gone;
        for (const QString &code : choice->Codes.split(QLatin1Char('_'), Qt::SkipEmptyParts)) {
            if (known.contains(code))
                kept += QLatin1Char('_') + code + QLatin1Char('_');
            else
                gone << code;
        }
        if (!gone.isEmpty()) {
            missed << QStringLiteral("%1: %2 %3, que não existe(m) mais na lista").arg(g.Group->title(), gone.size() == 1 ? QStringLiteral("o código") : QStringLiteral("os códigos"), gone.join(QStringLiteral(", ")));
            choice->Codes = kept;
        }
    }
    ApplyCriteria(c);
    return missed;
}
