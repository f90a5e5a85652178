#pragma once
#include "data/Params.h"
#include <QDate>
#include <QJsonArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

// A parameter a layout asks the person for before it runs, which the screen does not bind.
struct TLayoutAsk {
    enum class TType { Date, Integer, Text, IntegerList };
    QString Name;
    QString Caption;
    TType Type = TType::Text;
    // Dates: a relative word (RelativeDateWords) or AAAA-MM-DD; the others as typed.
    QString Default;
    // Whole numbers and list items within [Min, Max]; lists of at most MaxItems, increasing
    // when asked; texts of at most MaxLength characters (0: any), not blank when required.
    std::optional<int> Min, Max;
    int MaxItems = 0;
    bool Increasing = false;
    int MaxLength = 0;
    bool Required = false;

    // The parameter type the statement receives the answer as.
    TParamType ParamType() const;
};

// The answers by parameter name, as texts: dates as a relative word or AAAA-MM-DD, whole
// numbers and lists as typed ("30,60,90"). They belong to the screen's criteria value.
using TLayoutAnswers = QMap<QString, QString>;

// The relative date words and what they stand for, in the order a person is offered them.
QStringList RelativeDateWords();
QString RelativeDateCaption(const QString &word);
// A date answer's day: a relative word against today, or the ISO date; null when neither.
QDate ResolveDate(const QString &text, const QDate &today);
// A list answer's whole numbers; none when an item is not a whole number.
std::optional<QVector<int>> IntegerItems(const QString &text);

// The answer in force for each ask: the given one, or the ask's default.
TLayoutAnswers AnswersInForce(const QVector<TLayoutAsk> &asks, const TLayoutAnswers &given);
// What is wrong with an answer, naming the field ("Data-base: ..."); empty when it is good.
QString CheckAnswer(const TLayoutAsk &ask, const QString &text, const QDate &today);
// The answers in force given to the layout's parameters of their names; EHostError with the
// first bad answer's message, before any parameter changes.
void BindAnswers(const QVector<TLayoutAsk> &asks, const TLayoutAnswers &given, const QDate &today, TParams &params);

// The asks of a layout file's "ask" list; EHostError naming the fault ("where" names the file).
QVector<TLayoutAsk> AsksFromJson(const QJsonArray &list, const QString &where);
QJsonArray AsksToJson(const QVector<TLayoutAsk> &asks);
