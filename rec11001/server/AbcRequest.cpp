#include "server/AbcRequest.h"
#include <array>
#include <variant>

namespace {
using TSlot = std::variant<QString *, double *>;
using TSlots = std::array<TSlot, TAbcRequest::kCurveArgs>;

// Every value of the request in GetCurvaABC's order.
TSlots curveSlots(TAbcRequest &r)
{
    return {&r.Cliente.Codes,       &r.Cliente.Flag,          &r.ClassFinanc.Codes,  &r.ClassFinanc.Flag,  &r.Empresa.Codes,
            &r.Empresa.Flag,        &r.Filial.Codes,          &r.Filial.Flag,        &r.TipoConta.Codes,   &r.TipoConta.Flag,
            &r.FiliLanca.Codes,     &r.FiliLanca.Flag,        &r.FormaPaga.Codes,    &r.FormaPaga.Flag,    &r.Status,
            &r.StatusTodos,         &r.ContaCorrente.Codes,   &r.ContaCorrente.Flag, &r.Tipo.Codes,        &r.Tipo.Flag,
            &r.ValorIni,            &r.ValorFin,              &r.TipoClienteTodos,   &r.PriPub,            &r.AtivClie.Codes,
            &r.AtivClie.Flag,       &r.SegMerc.Codes,         &r.SegMerc.Flag,       &r.OpEmissao,         &r.Emissao.From,
            &r.Emissao.To,          &r.EmissaoCopia.From,     &r.EmissaoCopia.To,    &r.Saida.From,        &r.Saida.To,
            &r.SaidaCopia.From,     &r.SaidaCopia.To,         &r.Vencimento.From,    &r.Vencimento.To,     &r.VencimentoCopia.From,
            &r.VencimentoCopia.To,  &r.Baixa.From,            &r.Baixa.To,           &r.BaixaCopia.From,   &r.BaixaCopia.To,
            &r.GrupClie.Codes,      &r.GrupClie.Flag,         &r.Regiao.Codes,       &r.Regiao.Flag,       &r.BaixaTodas,
            &r.RefeFat.From,        &r.RefeFat.To,            &r.Adiantamento,       &r.Vendedor.Codes,    &r.Vendedor.Flag,
            &r.OrcaIni,             &r.OrcaFin,               &r.OrcaTodos};
}

// Where GetTotal carries the curve's value n: 1-28, 30-33, 36-39 and 44-53 in order,
// the no-amount flag at 47, then 54-58; 0 for the values it leaves off.
int totalPosition(int n)
{
    if (n >= 1 && n <= 28)
        return n;
    if (n >= 30 && n <= 33)
        return n - 1;
    if (n >= 36 && n <= 39)
        return n - 3;
    if (n >= 44 && n <= 53)
        return n - 7;
    if (n >= 54 && n <= 58)
        return n - 6;
    return 0;
}
constexpr int kNoAmountsPosition = 47;

QVariant valueOf(const TSlot &slot)
{
    return std::visit([](auto *v) { return QVariant(*v); }, slot);
}

void assign(const TSlot &slot, const QVariant &value)
{
    std::visit(
        [&](auto *v) {
            using T = std::remove_pointer_t<decltype(v)>;
            if constexpr (std::is_same_v<T, double>)
                *v = value.toDouble();
            else
                *v = value.toString();
        },
        slot);
}
} // namespace

QVariantList TAbcRequest::CurveArgs() const
{
    TAbcRequest copy = *this;
    QVariantList out;
    out.reserve(kCurveArgs);
    for (const TSlot &slot : curveSlots(copy))
        out << valueOf(slot);
    return out;
}

QVariantList TAbcRequest::TotalArgs() const
{
    TAbcRequest copy = *this;
    const TSlots places = curveSlots(copy);
    QVariantList out(HasSellerAndBudget ? kTotalArgs : kShortTotalArgs);
    out[kNoAmountsPosition - 1] = NoAmounts();
    for (int n = 1; n <= kCurveArgs; ++n) {
        const int at = totalPosition(n);
        if (at > 0 && at <= out.size())
            out[at - 1] = valueOf(places[static_cast<size_t>(n - 1)]);
    }
    return out;
}

TAbcRequest TAbcRequest::FromCurveArgs(const QVariantList &args)
{
    TAbcRequest r;
    const TSlots places = curveSlots(r);
    for (int n = 1; n <= kCurveArgs && n <= args.size(); ++n)
        assign(places[static_cast<size_t>(n - 1)], args[n - 1]);
    return r;
}

TAbcRequest TAbcRequest::FromTotalArgs(const QVariantList &args)
{
    TAbcRequest r;
    r.HasSellerAndBudget = args.size() > kShortTotalArgs;
    const TSlots places = curveSlots(r);
    for (int n = 1; n <= kCurveArgs; ++n) {
        const int at = totalPosition(n);
        if (at > 0 && at <= args.size())
            assign(places[static_cast<size_t>(n - 1)], args[at - 1]);
    }
    // The flag decides: with it no value range applies, whatever the amounts say.
    if (args.size() >= kNoAmountsPosition && args[kNoAmountsPosition - 1].toBool())
        r.ValorIni = r.ValorFin = 0;
    return r;
}

int TAbcRequest::Position(TArg arg, TCall call)
{
    const int n = static_cast<int>(arg);
    return call == TCall::Curve ? n : totalPosition(n);
}

const QString &TAbcRequest::Text(TArg arg) const
{
    TAbcRequest &self = const_cast<TAbcRequest &>(*this);
    return *std::get<QString *>(curveSlots(self)[static_cast<size_t>(static_cast<int>(arg) - 1)]);
}
