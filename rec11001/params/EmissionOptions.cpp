// The "Opções de Emissão" block: the criteria that differ from the screen's
// defaults, in words, with the names of the chosen codes from the lookups.
#include "Cli_rec11001.h"
#include "Consiste.h"
#include "HostContext.h"
#include "ReportRows.h"

namespace {
constexpr int kNamesShown = 5;

QStringList splitCodes(const QString &list)
{
    QStringList codes;
    for (const QString &c : list.split(QLatin1Char('_'), Qt::SkipEmptyParts))
        codes << c;
    return codes;
}

// "code name" of each chosen code, in the list's order; long lists end in "e mais N".
QString namesOf(const QString &list, const TDataSet *data, const char *key, const char *name)
{
    int keyAt = -1, nameAt = -1;
    if (data && data->Active())
        for (int f = 0; f < data->FieldCount(); ++f) {
            if (data->Fields(f).FieldName.compare(QLatin1String(key), Qt::CaseInsensitive) == 0)
                keyAt = f;
            if (data->Fields(f).FieldName.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
                nameAt = f;
        }
    const QStringList codes = splitCodes(list);
    QStringList shown;
    for (int i = 0; i < codes.size() && i < kNamesShown; ++i) {
        QString text = codes[i];
        if (keyAt >= 0 && nameAt >= 0)
            for (const TRecord &row : data->Rows())
                if (row[static_cast<size_t>(keyAt)].toString() == codes[i]) {
                    text += QLatin1Char(' ') + row[static_cast<size_t>(nameAt)].toString();
                    break;
                }
        shown << text;
    }
    QString out = shown.join(QStringLiteral(", "));
    if (codes.size() > kNamesShown)
        out += QStringLiteral(" e mais %1").arg(codes.size() - kNamesShown);
    return out;
}

QString range(const QString &caption, TDateTime first, TDateTime second)
{
    if (first != 0 && second != 0)
        return QStringLiteral("%1: de %2 a %3").arg(caption, DateToStr(first), DateToStr(second));
    if (first != 0)
        return QStringLiteral("%1: a partir de %2").arg(caption, DateToStr(first));
    return QStringLiteral("%1: até %2").arg(caption, DateToStr(second));
}
} // namespace

QStringList TfrmRelLancContReceber::EmissionOptionLines()
{
    QStringList lines;
    auto group = [&](const QString &caption, const TRadioButton *listButton, const QString &list, const TDataSet *data, const char *key,
                     const char *name) {
        if (listButton->Checked() && !EmptyString(list))
            lines << caption + QStringLiteral(": ") + namesOf(list, data, key, name);
    };
    const TDataSet *clients = rbtTodasReg->Checked() ? static_cast<const TDataSet *>(qryCliente) : &qryCliente1->Query();
    group(QStringLiteral("Região"), rbtListaReg, lstRegiao, nullptr, "", "");
    group(QStringLiteral("Cliente"), rbtListaClie, lstCliente, clients, "CDCLIENTE", "NMRAZSOCCLIE");
    group(QStringLiteral("Grupo de cliente"), rbtListaGrupC, lstGrupClie, nullptr, "", "");
    group(QStringLiteral("Empresa"), rbtListaEmp, lstEmpresa, &qryEmpresa->Query(), "CDEMPRESA", "NMEMPRESA");
    if (!ModuFili())
        group(QStringLiteral("Filial"), rbtListaFilial, lstFilial, &qryFilial->Query(), "CDFILIAL", "NMFILIAL");
    group(QStringLiteral("Tipo de conta"), rbtListaTipo, lstTipoConta, qryTipoConta, "CDTPCTRECEB", "DSTPCTRECEB");
    group(QStringLiteral("Filial de lançamento"), rbtListaLanca, lstLancamento, cdsFiliLanca, "CDFILIAL", "NMFILIAL");
    group(QStringLiteral("Tipo de baixa"), rbtFormaLista, lstFormaPaga, &qryFormaRec->Query(), "CDTPBAIXAREC", "NMTPBAIXAREC");
    group(QStringLiteral("Conta corrente"), rbtCCorrLista, lstCCorr, &qryContCorr->Query(), "CDREDUCONT", "DSCONTCORR");
    group(QStringLiteral("Classificação financeira"), rdgLClassFinanc, lstClass, qryClassFinanc, "CDCLASSFINA", "DSCLASSFINA");
    group(QStringLiteral("Ramo de atividade"), rdbListaAtivClie, lstAtivClie, nullptr, "", "");
    group(QStringLiteral("Segmento de mercado"), rdbListaSegMerc, lstSegMerc, nullptr, "", "");
    group(QStringLiteral("Vendedor"), rbtListaVend, lstVendedor, nullptr, "", "");

    if (rdgTipo->ItemIndex() != 1 && rdgTipo->ItemIndex() >= 0)
        lines << QStringLiteral("Lançamentos: ") + rdgTipo->Items().value(rdgTipo->ItemIndex());
    if (chbConAdian->Checked())
        lines << QStringLiteral("Considera adiantamento");
    if (chkPrivado->Checked() != chkPublico->Checked())
        lines << QStringLiteral("Tipo de cliente: ") + (chkPrivado->Checked() ? QStringLiteral("Privado") : QStringLiteral("Público"));
    if (!chkTodos->Checked()) {
        QStringList st;
        for (const TCheckBox *c : {chkAberto, chkBaixada, chkDescontada, chkPlanejada})
            if (c->Checked())
                st << c->text();
        lines << QStringLiteral("Status: ") + st.join(QStringLiteral(", "));
    }
    // Only what the binding applies: the billing reference filters only as a whole range.
    const struct {
        const char *Caption;
        TDateEditPlus *First, *Second;
        bool WholeRangeOnly;
    } dates[] = {{"Emissão", depEmissaoDE, depEmissaoATE, false},
                 {"Saída", depSaidaDe, depSaidaAte, false},
                 {"Baixa", depBaixaEntr, depBaixaSaid, false},
                 {"Referência de faturamento", depDtIniRefeFat, depDtFinRefeFat, true}};
    for (const auto &d : dates) {
        const TDateTime first = d.First->GetDate(), second = d.Second->GetDate();
        if (d.WholeRangeOnly ? first != 0 && second != 0 : first != 0 || second != 0)
            lines << range(QString::fromUtf8(d.Caption), first, second);
    }
    const double v1 = nedValor1->GetNumber(), v2 = nedValor2->GetNumber();
    if (v1 != 0 && v2 != 0)
        lines << QStringLiteral("Valor líquido: de %1 a %2").arg(AmountText(v1), AmountText(v2));
    else if (v1 != 0)
        lines << QStringLiteral("Valor líquido: a partir de %1").arg(AmountText(v1));
    else if (v2 != 0)
        lines << QStringLiteral("Valor líquido: até %1").arg(AmountText(v2));
    if (!EmptyString(medNrOrcaIni->Text()) && !EmptyString(medNrOrcaFin->Text()))
        lines << QStringLiteral("Orçamento: de %1 a %2").arg(medNrOrcaIni->Text(), medNrOrcaFin->Text());
    return lines;
}
