#include "criteria/GroupRules.h"
#include <stdexcept>

const std::vector<TGroupRule> &GroupRules()
{
    using R = TAbcRequest;
    static const std::vector<TGroupRule> rules = {
        {"Class", "P_CDCLASSFINA", "P_TCDCLASSFINA", "", &R::ClassFinanc},
        {"AtivClie", "P_ATIVCLI", "P_TATIVCLI", "", &R::AtivClie},
        {"SegMerc", "P_SEGMERC", "P_TSEGMERC", "", &R::SegMerc},
        {"TipoConta", "TIPOCONTA", "TTIPOCONTA", "", &R::TipoConta},
        {"Regiao", "P_CDREGIAOPED", "P_TCDREGIAOPED", "", &R::Regiao},
        {"Cliente", "CLIENTE", "TCLIENTE", "", &R::Cliente},
        {"GrupClie", "GRUPCLIE", "TGRUPCLIE", "", &R::GrupClie},
        {"Empresa", "CODEMPRESA", "TCODEMPRESA", "", &R::Empresa},
        {"Filial", "CODFILIAL", "TCODFILIAL", "", &R::Filial},
        {"Lancamento", "CODFILILANC", "TCODFILILANC", " ", &R::FiliLanca},
        {"Vendedor", "P_VENDEDOR", "P_TVENDEDOR", "", &R::Vendedor},
        {"FormaPaga", "P_FORMA", "P_TFORMA", "", &R::FormaPaga},
        {"CCorr", "P_CCORR", "P_TCCORR", "", &R::ContaCorrente},
    };
    return rules;
}

const TGroupRule &GroupRule(QStringView name)
{
    for (const TGroupRule &rule : GroupRules())
        if (name == QLatin1String(rule.Name))
            return rule;
    throw std::out_of_range("no criteria group " + name.toString().toStdString());
}

TAbcChoice ChoiceFor(const TGroupRule &rule, const TCriteriaChoice &choice)
{
    if (!choice.List)
        return {QString(), QStringLiteral("T")};
    return {choice.Codes, *rule.ListFlag ? QString::fromLatin1(rule.ListFlag) : QString()};
}
