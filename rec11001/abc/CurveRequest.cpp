#include "abc/CurveRequest.h"
#include "criteria/GroupRules.h"
#include "data/DateTime.h"
#include "services/Consiste.h"

namespace {
const QString kAll = QStringLiteral("T");

// A date's text in the host's format; none for a blank date unless `always`.
QString dateText(const QDate &date, bool always = false)
{
    if (date.isNull() && !always)
        return QString();
    return DateToStr(date.isNull() ? 0 : DateToDateTime(date));
}
TAbcDates texts(const TDateRange &range, bool always = false) { return {dateText(range.From, always), dateText(range.To, always)}; }
QString flag(bool on, const char *text) { return on ? QLatin1String(text) : QString(); }
} // namespace

TAbcRequest CurveRequest(const TCriteria &c)
{
    TAbcRequest r;
    for (const TGroupRule &rule : GroupRules())
        r.*rule.Abc = ChoiceFor(rule, c.Groups.value(QLatin1String(rule.Name)));
    r.Adiantamento = c.ConAdian ? kAll : QStringLiteral("1");
    r.Status = StatusWord(c);
    r.StatusTodos = flag(c.StatusTodos, "T");
    switch (c.Tipo) {
    case 0: r.Tipo = {QString(), kAll}; break;
    case 1: r.Tipo = {QStringLiteral("A_E"), QString()}; break;
    case 2: r.Tipo = {QStringLiteral("V"), QString()}; break;
    default: r.Tipo = {}; break;
    }
    // Each range twice; the due dates even when blank.
    r.Emissao = r.EmissaoCopia = texts(c.Emissao);
    r.Saida = r.SaidaCopia = texts(c.Saida);
    r.Vencimento = r.VencimentoCopia = texts(c.Vencimento, true);
    r.Baixa = r.BaixaCopia = texts(c.Baixa);
    r.BaixaTodas = flag(c.Baixa.From.isNull() && c.Baixa.To.isNull(), "T");
    r.ValorIni = c.ValorIni.value_or(0);
    r.ValorFin = c.ValorFin.value_or(0);
    // Client type: both boxes, or a client list, mean every type.
    r.TipoClienteTodos = flag((c.Privado && c.Publico) || c.Groups.value(QStringLiteral("Cliente")).List, "T");
    if (r.TipoClienteTodos.isEmpty())
        r.PriPub = c.Privado ? QStringLiteral("V") : c.Publico ? QStringLiteral("B") : QString();
    // Billing reference, only as a whole range.
    if (!c.RefeFat.From.isNull() && !c.RefeFat.To.isNull())
        r.RefeFat = texts(c.RefeFat);
    if (!EmptyString(c.OrcaIni)) {
        r.OrcaIni = c.OrcaIni;
        r.OrcaFin = c.OrcaFin;
    }
    r.OrcaTodos = flag(EmptyString(c.OrcaIni), "T");
    return r;
}

QVariantList StatusArgs(const TCriteria &c)
{
    return {flag(c.StatusTodos, "T"), flag(c.Aberto, "A"), flag(c.Baixada, "B"), flag(c.Descontada, "D"), flag(c.Planejada, "P"),
            flag(c.StatusTodos, "A_B_D_P")};
}
