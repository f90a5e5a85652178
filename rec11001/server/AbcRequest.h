#pragma once
#include <QString>
#include <QVariantList>

// A code list and its flag as the curve's methods take them: "T" selects every code.
struct TAbcChoice {
    QString Codes, Flag;
    bool operator==(const TAbcChoice &) const = default;
};

// A "de"/"até" pair of short-date texts in the host's format; empty when not given.
struct TAbcDates {
    QString From, To;
    bool operator==(const TAbcDates &) const = default;
};

// The criteria of GetCurvaABC and GetTotal by name. The wire carries them as a list of
// values in a fixed order (58 for the curve; 47, or 52 with the salesperson and budget,
// for the totals); this type alone knows that order.
struct TAbcRequest {
    TAbcChoice Cliente, ClassFinanc, Empresa, Filial, TipoConta, FiliLanca, FormaPaga;
    QString Status;      // the status word, "B_D_A_P"
    QString StatusTodos; // "T" for every status
    TAbcChoice ContaCorrente;
    TAbcChoice Tipo; // entry kind: "A_E" real, "V" planned
    double ValorIni = 0, ValorFin = 0;
    QString TipoClienteTodos; // "T" for every client type
    QString PriPub;           // "V" private or "B" public when one type only
    TAbcChoice AtivClie, SegMerc;
    QString OpEmissao; // "S" or "N"
    // Each date range travels twice; the totals carry the first emission and due-date
    // copies and the second exit and settlement copies.
    TAbcDates Emissao, EmissaoCopia, Saida, SaidaCopia, Vencimento, VencimentoCopia, Baixa, BaixaCopia;
    TAbcChoice GrupClie, Regiao;
    QString BaixaTodas; // "T" while no settlement date is given
    TAbcDates RefeFat;
    QString Adiantamento; // "T" with advances, "1" without
    TAbcChoice Vendedor;
    QString OrcaIni, OrcaFin, OrcaTodos;
    // A GetTotal of 47 values leaves the salesperson and budget off.
    bool HasSellerAndBudget = true;

    bool operator==(const TAbcRequest &) const = default;

    // The totals' flag: no value range applies when neither amount was given.
    bool NoAmounts() const { return ValorIni == 0 && ValorFin == 0; }

    // Which method's list a value comes from, for the position a message names.
    enum class TCall { Curve, Total };
    // The request's values by their place in GetCurvaABC's list (1 to 58).
    enum class TArg : int {
        Status = 15, StatusTodos = 16, EmissaoFrom = 30, EmissaoTo, EmissaoCopiaFrom, EmissaoCopiaTo, SaidaFrom, SaidaTo,
        SaidaCopiaFrom, SaidaCopiaTo, VencimentoFrom, VencimentoTo, VencimentoCopiaFrom, VencimentoCopiaTo, BaixaFrom, BaixaTo,
        BaixaCopiaFrom, BaixaCopiaTo, RefeFatFrom = 51, RefeFatTo = 52, Adiantamento = 53
    };
    static constexpr int kCurveArgs = 58, kTotalArgs = 52, kShortTotalArgs = 47;

    QVariantList CurveArgs() const;
    // GetTotal's values: the curve's without the emission option, the first exit and
    // settlement copies and the second due-date copy, then the no-amount flag, then
    // the salesperson and budget.
    QVariantList TotalArgs() const;
    // The lists as the methods receive them; the caller has checked their count and kinds.
    static TAbcRequest FromCurveArgs(const QVariantList &args);
    static TAbcRequest FromTotalArgs(const QVariantList &args);
    // The value's position in the call's list (1-based); 0 when the call does not carry it.
    static int Position(TArg arg, TCall call);
    // The text at a date or status place, as the request holds it.
    const QString &Text(TArg arg) const;
};
