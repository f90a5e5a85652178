#include "criteria/Criteria.h"
#include "data/Exceptions.h"

namespace {

// The entries of the JSON form, each with the member it carries.
const std::pair<const char *, TDateRange TCriteria::*> kRanges[] = {
    {"dueDate", &TCriteria::Vencimento}, {"issueDate", &TCriteria::Emissao},         {"exitDate", &TCriteria::Saida},
    {"billingReference", &TCriteria::RefeFat}, {"settlementDate", &TCriteria::Baixa}};
const std::pair<const char *, bool TCriteria::*> kFlags[] = {
    {"statusAll", &TCriteria::StatusTodos}, {"statusSettled", &TCriteria::Baixada},   {"statusDiscounted", &TCriteria::Descontada},
    {"statusOpen", &TCriteria::Aberto},     {"statusPlanned", &TCriteria::Planejada}, {"advance", &TCriteria::ConAdian},
    {"clientPrivate", &TCriteria::Privado}, {"clientPublic", &TCriteria::Publico},    {"emissionOption", &TCriteria::UtilizaOpEmissao}};

QJsonValue dateJson(const QDate &d) { return d.isNull() ? QJsonValue() : QJsonValue(d.toString(Qt::ISODate)); }
QJsonValue amountJson(const std::optional<double> &v) { return v ? QJsonValue(*v) : QJsonValue(); }
QJsonObject pair(const QJsonValue &from, const QJsonValue &to) { return {{QStringLiteral("from"), from}, {QStringLiteral("to"), to}}; }

// One entry of the JSON form, refused with its full name when it is missing or of another kind.
QJsonValue entry(const QJsonObject &in, const QString &path, const QString &key, QJsonValue::Type type, bool nullable = false)
{
    static const QHash<int, QString> kinds = {{QJsonValue::Bool, QStringLiteral("verdadeiro ou falso")}, {QJsonValue::Double, QStringLiteral("um número")},
                                              {QJsonValue::String, QStringLiteral("um texto")},          {QJsonValue::Object, QStringLiteral("um objeto")}};
    const QJsonValue v = in.value(key);
    if (v.type() != type && !(nullable && v.isNull()))
        throw EHostError(QStringLiteral("Critérios inválidos: '%1' deve ser %2%3.").arg(path + key, kinds.value(type), nullable ? QStringLiteral(" ou null") : QString()));
    return v;
}
QJsonObject object(const QJsonObject &in, const char *key) { return entry(in, {}, QLatin1String(key), QJsonValue::Object).toObject(); }
int whole(const QJsonObject &in, const char *key)
{
    const QJsonValue v = entry(in, {}, QLatin1String(key), QJsonValue::Double);
    if (v.toDouble() != v.toInt())
        throw EHostError(QStringLiteral("Critérios inválidos: '%1' deve ser um número inteiro.").arg(QLatin1String(key)));
    return v.toInt();
}
QDate date(const QJsonObject &in, const char *range, const char *key)
{
    const QString path = QLatin1String(range) + QLatin1Char('.');
    const QJsonValue v = entry(object(in, range), path, QLatin1String(key), QJsonValue::String, true);
    const QDate d = QDate::fromString(v.toString(), Qt::ISODate);
    if (!v.isNull() && !d.isValid())
        throw EHostError(QStringLiteral("Critérios inválidos: '%1%2' não é uma data AAAA-MM-DD.").arg(path, QLatin1String(key)));
    return d;
}

} // namespace

QJsonObject TCriteria::ToJson() const
{
    QJsonObject json{{QStringLiteral("layout"), Layout}, {QStringLiteral("entryKind"), Tipo},
                     {QStringLiteral("netValue"), pair(amountJson(ValorIni), amountJson(ValorFin))}, {QStringLiteral("budget"), pair(OrcaIni, OrcaFin)}};
    for (const auto &[key, range] : kRanges)
        json[QLatin1String(key)] = pair(dateJson((this->*range).From), dateJson((this->*range).To));
    for (const auto &[key, flag] : kFlags)
        json[QLatin1String(key)] = this->*flag;
    QJsonObject groups;
    for (auto g = Groups.cbegin(); g != Groups.cend(); ++g)
        groups[g.key()] = QJsonObject{{QStringLiteral("list"), g->List}, {QStringLiteral("codes"), g->Codes}};
    json[QStringLiteral("groups")] = groups;
    QJsonObject answers;
    for (auto a = LayoutParams.cbegin(); a != LayoutParams.cend(); ++a)
        answers[a.key()] = a.value();
    json[QStringLiteral("layoutParams")] = answers;
    return json;
}

TCriteria TCriteria::FromJson(const QJsonObject &json)
{
    const QString from = QStringLiteral("from"), to = QStringLiteral("to");
    TCriteria c;
    c.Layout = whole(json, "layout");
    c.Tipo = whole(json, "entryKind");
    const QJsonObject value = object(json, "netValue"), budget = object(json, "budget");
    for (auto [amount, key] : {std::pair{&c.ValorIni, from}, std::pair{&c.ValorFin, to}}) {
        const QJsonValue v = entry(value, QStringLiteral("netValue."), key, QJsonValue::Double, true);
        *amount = v.isNull() ? std::nullopt : std::optional<double>(v.toDouble());
    }
    c.OrcaIni = entry(budget, QStringLiteral("budget."), from, QJsonValue::String).toString();
    c.OrcaFin = entry(budget, QStringLiteral("budget."), to, QJsonValue::String).toString();
    for (const auto &[key, range] : kRanges)
        c.*range = {date(json, key, "from"), date(json, key, "to")};
    for (const auto &[key, flag] : kFlags)
        c.*flag = entry(json, {}, QLatin1String(key), QJsonValue::Bool).toBool();
    const QJsonObject groups = object(json, "groups");
    for (auto g = groups.constBegin(); g != groups.constEnd(); ++g) {
        const QString path = QStringLiteral("groups.") + g.key() + QLatin1Char('.');
        const QJsonObject choice = entry(groups, QStringLiteral("groups."), g.key(), QJsonValue::Object).toObject();
        c.Groups.insert(g.key(), {entry(choice, path, QStringLiteral("list"), QJsonValue::Bool).toBool(),
                                  entry(choice, path, QStringLiteral("codes"), QJsonValue::String).toString()});
    }
    // Criteria saved before layouts asked anything have no answers.
    if (json.contains(QStringLiteral("layoutParams"))) {
        const QJsonObject answers = object(json, "layoutParams");
        for (auto a = answers.constBegin(); a != answers.constEnd(); ++a)
            c.LayoutParams.insert(a.key(), entry(answers, QStringLiteral("layoutParams."), a.key(), QJsonValue::String).toString());
    }
    return c;
}

QString StatusWord(const TCriteria &c)
{
    QString status;
    for (const auto &[on, part] : {std::pair{c.Baixada, "B"}, std::pair{c.Descontada, "_D"}, std::pair{c.Aberto, "_A"}, std::pair{c.Planejada, "_P"}})
        if (on)
            status += QLatin1String(part);
    return status;
}
