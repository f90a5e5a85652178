#pragma once
#include <QDate>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <optional>

// One all-or-list choice: "Lista" or all, and the code list, kept on all as the screen keeps it.
struct TCriteriaChoice {
    bool List = false;
    QString Codes;
    // The codes count only in list mode, as they do for the report.
    bool operator==(const TCriteriaChoice &o) const { return List == o.List && (!List || Codes == o.Codes); }
};

// A "de"/"até" pair; a null date is a blank edit.
struct TDateRange {
    QDate From, To;
    bool operator==(const TDateRange &) const = default;
};

// Every criterion of the screen as one value: what the form shows, the batch log writes
// and saved criteria keep. Equal values print the same report.
struct TCriteria {
    int Layout = 0; // index in cbbReportNames
    TDateRange Vencimento, Emissao, Saida, RefeFat, Baixa;
    std::optional<double> ValorIni, ValorFin; // blank edits have none
    QString OrcaIni, OrcaFin;                 // budget numbers as the edits hold them
    bool StatusTodos = true, Baixada = true, Descontada = true, Aberto = true, Planejada = true;
    int Tipo = 1; // rdgTipo: 0 "Todas", 1 "Reais", 2 "Previstas"
    bool ConAdian = false, Privado = true, Publico = true; // advance; client types
    bool UtilizaOpEmissao = true;
    QMap<QString, TCriteriaChoice> Groups; // by the group's name ("Cliente")
    // The answers to the parameters layouts ask for, by parameter name: dates as a relative
    // word ("endOfPreviousMonth") or AAAA-MM-DD, numbers and lists as typed ("30,60,90").
    QMap<QString, QString> LayoutParams;

    bool operator==(const TCriteria &) const = default;

    // Dates as ISO text (null when blank), amounts as numbers (null when blank).
    QJsonObject ToJson() const;
    // Throws EHostError naming the entry that is missing or of the wrong kind.
    static TCriteria FromJson(const QJsonObject &json);
};

// The chosen statuses as the layouts and the curve take them: "B", "_D", "_A", "_P" in that order.
QString StatusWord(const TCriteria &c);
