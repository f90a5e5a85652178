#include "report/LayoutAsk.h"
#include "data/DateTime.h"
#include "data/Exceptions.h"
#include <QJsonObject>

namespace {

const struct {
    const char *Word, *Caption;
} kRelative[] = {{"today", "Hoje"},
                 {"yesterday", "Ontem"},
                 {"startOfMonth", "Primeiro dia do mês"},
                 {"startOfPreviousMonth", "Primeiro dia do mês anterior"},
                 {"endOfPreviousMonth", "Último dia do mês anterior"},
                 {"startOfYear", "Primeiro dia do ano"},
                 {"endOfPreviousYear", "Último dia do ano anterior"}};

const struct {
    const char *Name;
    TLayoutAsk::TType Type;
} kTypes[] = {{"date", TLayoutAsk::TType::Date},
              {"integer", TLayoutAsk::TType::Integer},
              {"text", TLayoutAsk::TType::Text},
              {"integerList", TLayoutAsk::TType::IntegerList}};

QString typeName(TLayoutAsk::TType type)
{
    for (const auto &t : kTypes)
        if (t.Type == type)
            return QLatin1String(t.Name);
    return {};
}

QString inRange(const TLayoutAsk &ask, int value)
{
    if (ask.Min && ask.Max && (value < *ask.Min || value > *ask.Max))
        return QStringLiteral("%1: %2 está fora do intervalo de %3 a %4.").arg(ask.Caption).arg(value).arg(*ask.Min).arg(*ask.Max);
    if (ask.Min && value < *ask.Min)
        return QStringLiteral("%1: %2 é menor que %3.").arg(ask.Caption).arg(value).arg(*ask.Min);
    if (ask.Max && value > *ask.Max)
        return QStringLiteral("%1: %2 é maior que %3.").arg(ask.Caption).arg(value).arg(*ask.Max);
    return {};
}

std::optional<int> wholeNumber(const QString &text)
{
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok ? std::optional<int>(n) : std::nullopt;
}

} // namespace

TParamType TLayoutAsk::ParamType() const
{
    switch (Type) {
    case TType::Date:
        return TParamType::Date;
    case TType::Integer:
        return TParamType::Integer;
    default:
        return TParamType::String;
    }
}

QStringList RelativeDateWords()
{
    QStringList words;
    for (const auto &r : kRelative)
        words << QLatin1String(r.Word);
    return words;
}

QString RelativeDateCaption(const QString &word)
{
    for (const auto &r : kRelative)
        if (word == QLatin1String(r.Word))
            return QString::fromUtf8(r.Caption);
    return {};
}

QDate ResolveDate(const QString &text, const QDate &today)
{
    const QString t = text.trimmed();
    const QDate month(today.year(), today.month(), 1);
    if (t == QLatin1String("today"))
        return today;
    if (t == QLatin1String("yesterday"))
        return today.addDays(-1);
    if (t == QLatin1String("startOfMonth"))
        return month;
    if (t == QLatin1String("startOfPreviousMonth"))
        return month.addMonths(-1);
    if (t == QLatin1String("endOfPreviousMonth"))
        return month.addDays(-1);
    if (t == QLatin1String("startOfYear"))
        return QDate(today.year(), 1, 1);
    if (t == QLatin1String("endOfPreviousYear"))
        return QDate(today.year() - 1, 12, 31);
    const QDate iso = QDate::fromString(t, Qt::ISODate);
    return iso.isValid() && t.size() == 10 ? iso : QDate();
}

std::optional<QVector<int>> IntegerItems(const QString &text)
{
    QVector<int> items;
    for (const QString &part : text.split(QLatin1Char(','))) {
        const std::optional<int> n = wholeNumber(part);
        if (!n)
            return std::nullopt;
        items << *n;
    }
    return items;
}

TLayoutAnswers AnswersInForce(const QVector<TLayoutAsk> &asks, const TLayoutAnswers &given)
{
    TLayoutAnswers answers;
    for (const TLayoutAsk &a : asks)
        answers.insert(a.Name, given.contains(a.Name) ? given.value(a.Name) : a.Default);
    return answers;
}

QString CheckAnswer(const TLayoutAsk &ask, const QString &text, const QDate &today)
{
    switch (ask.Type) {
    case TLayoutAsk::TType::Date:
        if (ResolveDate(text, today).isNull())
            return QStringLiteral("%1: '%2' não é uma data.").arg(ask.Caption, text);
        return {};
    case TLayoutAsk::TType::Integer: {
        const std::optional<int> n = wholeNumber(text);
        if (!n)
            return QStringLiteral("%1: '%2' não é um número inteiro.").arg(ask.Caption, text);
        return inRange(ask, *n);
    }
    case TLayoutAsk::TType::IntegerList: {
        if (text.trimmed().isEmpty())
            return QStringLiteral("%1: informe ao menos um número.").arg(ask.Caption);
        const std::optional<QVector<int>> items = IntegerItems(text);
        if (!items)
            return QStringLiteral("%1: '%2' não é uma lista de números inteiros separados por vírgula.").arg(ask.Caption, text);
        if (ask.MaxItems > 0 && items->size() > ask.MaxItems)
            return QStringLiteral("%1: no máximo %2 valores.").arg(ask.Caption).arg(ask.MaxItems);
        for (qsizetype i = 0; i < items->size(); ++i) {
            if (const QString out = inRange(ask, (*items)[i]); !out.isEmpty())
                return out;
            if (ask.Increasing && i > 0 && (*items)[i] <= (*items)[i - 1])
                return QStringLiteral("%1: os valores devem ser crescentes (%2 não é maior que %3).").arg(ask.Caption).arg((*items)[i]).arg((*items)[i - 1]);
        }
        return {};
    }
    case TLayoutAsk::TType::Text:
        if (ask.Required && text.trimmed().isEmpty())
            return QStringLiteral("%1: informe um valor.").arg(ask.Caption);
        if (ask.MaxLength > 0 && text.size() > ask.MaxLength)
            return QStringLiteral("%1: no máximo %2 caracteres.").arg(ask.Caption).arg(ask.MaxLength);
        return {};
    }
    return {};
}

void BindAnswers(const QVector<TLayoutAsk> &asks, const TLayoutAnswers &given, const QDate &today, TParams &params)
{
    const TLayoutAnswers answers = AnswersInForce(asks, given);
    for (const TLayoutAsk &a : asks)
        if (const QString fault = CheckAnswer(a, answers.value(a.Name), today); !fault.isEmpty())
            throw EHostError(fault);
    for (const TLayoutAsk &a : asks) {
        TParam *p = params.FindParam(a.Name);
        if (!p)
            p = &params.CreateParam(a.ParamType(), a.Name);
        const QString text = answers.value(a.Name).trimmed();
        switch (a.Type) {
        case TLayoutAsk::TType::Date:
            p->SetAsDate(DateToDateTime(ResolveDate(text, today)));
            break;
        case TLayoutAsk::TType::Integer:
            p->SetValue(*wholeNumber(text));
            break;
        case TLayoutAsk::TType::IntegerList: {
            QStringList items;
            const QVector<int> numbers = IntegerItems(text).value();
            for (int n : numbers)
                items << QString::number(n);
            p->SetAsString(items.join(QLatin1Char(',')));
            break;
        }
        case TLayoutAsk::TType::Text:
            p->SetAsString(answers.value(a.Name));
            break;
        }
    }
}

QVector<TLayoutAsk> AsksFromJson(const QJsonArray &list, const QString &where)
{
    const auto fault = [&where](const QString &what) { throw EHostError(QStringLiteral("O layout '%1' está com defeito: %2").arg(where, what)); };
    QVector<TLayoutAsk> asks;
    for (const QJsonValue &v : list) {
        if (!v.isObject())
            fault(QStringLiteral("cada item de \"ask\" deve ser um objeto."));
        const QJsonObject o = v.toObject();
        TLayoutAsk a;
        a.Name = o.value(QStringLiteral("name")).toString();
        if (a.Name.isEmpty())
            fault(QStringLiteral("um parâmetro de \"ask\" não tem nome."));
        for (const TLayoutAsk &other : asks)
            if (other.Name.compare(a.Name, Qt::CaseInsensitive) == 0)
                fault(QStringLiteral("o parâmetro '%1' é perguntado duas vezes.").arg(a.Name));
        a.Caption = o.value(QStringLiteral("caption")).toString(a.Name);
        const QString type = o.value(QStringLiteral("type")).toString(QStringLiteral("text"));
        bool known = false;
        for (const auto &t : kTypes)
            if (type == QLatin1String(t.Name)) {
                a.Type = t.Type;
                known = true;
            }
        if (!known)
            fault(QStringLiteral("o parâmetro '%1' tem o tipo desconhecido '%2'.").arg(a.Name, type));
        a.Default = o.value(QStringLiteral("default")).toString();
        for (auto [key, bound] : {std::pair{"min", &a.Min}, std::pair{"max", &a.Max}})
            if (const QJsonValue b = o.value(QLatin1String(key)); b.isDouble())
                *bound = b.toInt();
        a.MaxItems = o.value(QStringLiteral("maxItems")).toInt();
        a.Increasing = o.value(QStringLiteral("increasing")).toBool();
        a.MaxLength = o.value(QStringLiteral("maxLength")).toInt();
        a.Required = o.value(QStringLiteral("required")).toBool();
        // The default must pass the checks on any day, or every run would stop on it.
        if (const QString bad = CheckAnswer(a, a.Default, QDate(2000, 1, 31)); !bad.isEmpty())
            fault(QStringLiteral("o valor padrão do parâmetro '%1' não serve: %2").arg(a.Name, bad));
        asks << a;
    }
    return asks;
}

QJsonArray AsksToJson(const QVector<TLayoutAsk> &asks)
{
    QJsonArray list;
    for (const TLayoutAsk &a : asks) {
        QJsonObject o{{QStringLiteral("name"), a.Name}, {QStringLiteral("caption"), a.Caption}, {QStringLiteral("type"), typeName(a.Type)},
                      {QStringLiteral("default"), a.Default}};
        if (a.Min)
            o[QStringLiteral("min")] = *a.Min;
        if (a.Max)
            o[QStringLiteral("max")] = *a.Max;
        if (a.MaxItems > 0)
            o[QStringLiteral("maxItems")] = a.MaxItems;
        if (a.Increasing)
            o[QStringLiteral("increasing")] = true;
        if (a.MaxLength > 0)
            o[QStringLiteral("maxLength")] = a.MaxLength;
        if (a.Required)
            o[QStringLiteral("required")] = true;
        list.append(o);
    }
    return list;
}
