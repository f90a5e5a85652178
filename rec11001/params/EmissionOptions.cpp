// The "Opções de Emissão" block: the criteria that differ from the screen's
// defaults, in words, with the names of the chosen codes from the lookups.
#include "params/EmissionOptions.h"
#include "module/Cli_rec11001.h"
#include "report/ReportRows.h"
#include "services/Consiste.h"
#include "services/HostContext.h"
#include "ui/SearchList.h"

namespace {
constexpr int kNamesShown = 5;

// "code name" of each chosen code, in the list's order; long lists end in "e mais N".
QString namesOf(const QString &list, const TDataSet *data, const char *key, const char *name)
{
    const TField *keyField = data && data->Active() ? data->FindField(QLatin1String(key)) : nullptr;
    const TField *nameField = data && data->Active() ? data->FindField(QLatin1String(name)) : nullptr;
    const QStringList codes = CodeListKeys(list);
    QStringList shown;
    for (int i = 0; i < codes.size() && i < kNamesShown; ++i) {
        QString text = codes[i];
        if (keyField && nameField)
            for (const TRecord &row : data->Rows())
                if (row[static_cast<size_t>(keyField->Index())].toString() == codes[i]) {
                    text += QLatin1Char(' ') + row[static_cast<size_t>(nameField->Index())].toString();
                    break;
                }
        shown << text;
    }
    QString out = shown.join(QStringLiteral(", "));
    if (codes.size() > kNamesShown)
        out += QStringLiteral(" e mais %1").arg(codes.size() - kNamesShown);
    return out;
}

QString range(const QString &caption, const TDateRange &r)
{
    const auto text = [](const QDate &d) { return DateToStr(DateToDateTime(d)); };
    if (!r.From.isNull() && !r.To.isNull())
        return QStringLiteral("%1: de %2 a %3").arg(caption, text(r.From), text(r.To));
    if (!r.From.isNull())
        return QStringLiteral("%1: a partir de %2").arg(caption, text(r.From));
    return QStringLiteral("%1: até %2").arg(caption, text(r.To));
}

// The groups in the order the block prints them, with the lookup columns that name a code.
const struct {
    const char *Group, *Caption, *Key, *Name;
} kGroupLines[] = {{"Regiao", "Região", "", ""},
                   {"Cliente", "Cliente", "CDCLIENTE", "NMRAZSOCCLIE"},
                   {"GrupClie", "Grupo de cliente", "", ""},
                   {"Empresa", "Empresa", "CDEMPRESA", "NMEMPRESA"},
                   {"Filial", "Filial", "CDFILIAL", "NMFILIAL"},
                   {"TipoConta", "Tipo de conta", "CDTPCTRECEB", "DSTPCTRECEB"},
                   {"Lancamento", "Filial de lançamento", "CDFILIAL", "NMFILIAL"},
                   {"FormaPaga", "Tipo de baixa", "CDTPBAIXAREC", "NMTPBAIXAREC"},
                   {"CCorr", "Conta corrente", "CDREDUCONT", "DSCONTCORR"},
                   {"Class", "Classificação financeira", "CDCLASSFINA", "DSCLASSFINA"},
                   {"AtivClie", "Ramo de atividade", "", ""},
                   {"SegMerc", "Segmento de mercado", "", ""},
                   {"Vendedor", "Vendedor", "", ""}};
} // namespace

QStringList EmissionOptionLines(const TCriteria &c, const TEmissionSources &sources)
{
    QStringList lines;
    for (const auto &g : kGroupLines) {
        const TCriteriaChoice choice = c.Groups.value(QLatin1String(g.Group));
        if (!choice.List || EmptyString(choice.Codes) || (sources.BranchFixed && qstrcmp(g.Group, "Filial") == 0))
            continue;
        lines << QString::fromUtf8(g.Caption) + QStringLiteral(": ") + namesOf(choice.Codes, sources.Names.value(QLatin1String(g.Group)), g.Key, g.Name);
    }

    if (c.Tipo != 1 && c.Tipo >= 0)
        lines << QStringLiteral("Lançamentos: ") + sources.KindCaptions.value(c.Tipo);
    if (c.ConAdian)
        lines << QStringLiteral("Considera adiantamento");
    if (c.Privado != c.Publico)
        lines << QStringLiteral("Tipo de cliente: ") + (c.Privado ? QStringLiteral("Privado") : QStringLiteral("Público"));
    if (!c.StatusTodos) {
        QStringList st;
        const bool chosen[] = {c.Aberto, c.Baixada, c.Descontada, c.Planejada};
        for (int i = 0; i < 4; ++i)
            if (chosen[i])
                st << sources.StatusCaptions.value(i);
        lines << QStringLiteral("Status: ") + st.join(QStringLiteral(", "));
    }
    // Only what the binding applies: the billing reference filters only as a whole range.
    const struct {
        const char *Caption;
        const TDateRange &Range;
        bool WholeRangeOnly;
    } dates[] = {{"Emissão", c.Emissao, false}, {"Saída", c.Saida, false}, {"Baixa", c.Baixa, false}, {"Referência de faturamento", c.RefeFat, true}};
    for (const auto &d : dates) {
        const bool from = !d.Range.From.isNull(), to = !d.Range.To.isNull();
        if (d.WholeRangeOnly ? from && to : from || to)
            lines << range(QString::fromUtf8(d.Caption), d.Range);
    }
    const double v1 = c.ValorIni.value_or(0), v2 = c.ValorFin.value_or(0);
    if (v1 != 0 && v2 != 0)
        lines << QStringLiteral("Valor líquido: de %1 a %2").arg(AmountText(v1), AmountText(v2));
    else if (v1 != 0)
        lines << QStringLiteral("Valor líquido: a partir de %1").arg(AmountText(v1));
    else if (v2 != 0)
        lines << QStringLiteral("Valor líquido: até %1").arg(AmountText(v2));
    if (!EmptyString(c.OrcaIni) && !EmptyString(c.OrcaFin))
        lines << QStringLiteral("Orçamento: de %1 a %2").arg(c.OrcaIni, c.OrcaFin);
    return lines;
}

QStringList TfrmRelLancContReceber::EmissionOptionLines()
{
    const TCriteria criteria = CurrentCriteria();
    return ::EmissionOptionLines(criteria, EmissionSources(criteria));
}

TEmissionSources TfrmRelLancContReceber::EmissionSources(const TCriteria &c) const
{
    TEmissionSources sources;
    sources.Names = {{QStringLiteral("Cliente"), !c.Groups.value(QStringLiteral("Regiao")).List ? static_cast<const TDataSet *>(qryCliente) : &qryCliente1->Query()},
                     {QStringLiteral("Empresa"), &qryEmpresa->Query()},
                     {QStringLiteral("Filial"), &qryFilial->Query()},
                     {QStringLiteral("TipoConta"), qryTipoConta},
                     {QStringLiteral("Lancamento"), cdsFiliLanca},
                     {QStringLiteral("FormaPaga"), &qryFormaRec->Query()},
                     {QStringLiteral("CCorr"), &qryContCorr->Query()},
                     {QStringLiteral("Class"), qryClassFinanc}};
    sources.KindCaptions = rdgTipo->Items();
    for (const TCheckBox *box : {chkAberto, chkBaixada, chkDescontada, chkPlanejada})
        sources.StatusCaptions << box->text();
    sources.BranchFixed = ModuFili();
    return sources;
}
