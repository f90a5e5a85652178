#pragma once
#include "data/Params.h"
#include "report/LayoutAsk.h"
#include <QJsonObject>
#include <QPageLayout>
#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

// How a column's values are shown.
enum class TColumnFormat { Text, Date, Amount, Integer, Percent };

// One report layout: a JSON file of the screen's report directory.
struct TReportLayout {
    struct Param {
        QString Name;
        TParamType Type = TParamType::String;
        // A text holding a date in the host's short-date format: the screen binds the
        // text, the statement receives its date (null when blank).
        bool DateText = false;
    };
    struct Column {
        QString Field;
        QString Caption;
        double Width = 10;                   // relative to the other columns
        Qt::Alignment Align = Qt::AlignLeft;
        TColumnFormat Format = TColumnFormat::Text;
        bool Total = false;                  // summed in subtotals and totals
        // A share in percent of Field's value in a total looked up by key in another data set.
        struct {
            QString DataSet, Key, Field;
        } ShareOf;
        // The name the rows give this column's value by.
        QString Source() const { return ShareOf.DataSet.isEmpty() ? Field : QStringLiteral("=") + Field + QStringLiteral("/") + ShareOf.DataSet; }
    };
    // A Pareto section closing each outer group: count, value and share per class, and a chart of
    // the values with their cumulative share and the class limits.
    struct Pareto {
        QString Class, Value, Cumulative;  // fields of the rows
        QString Totals, TotalsKey, TotalsField;  // the group totals by key
        QString Limits;                     // data set whose first row holds the class percentages
        QStringList LimitFields;
    };
    Pareto Chart;
    struct Group {
        QString Field;                       // the rows break when this value changes
        QString Caption;                     // the key's column heading in CSV and XLSX
        QString Header;                      // "{FIELD}" markers are replaced by the row's values
        QString Footer;                      // caption of the group's subtotal line
        QString Blank;                       // what header and footer show for a blank key ("sem referência")
    };
    QString File;
    // Why the file could not be read; such a layout is listed and fails when run.
    QString LoadError;
    QString Code;
    QString Title;
    // Line under the title; "{:NAME}" markers take parameter texts, and a
    // "[...]" part is left out when a marker inside it is blank.
    QString Subtitle;
    bool Landscape = false;
    QVector<Param> Params;
    // Parameters the person answers before a run; each is also a declared parameter.
    QVector<TLayoutAsk> Asks;
    // Default statement and the PostgreSQL text where it must differ.
    QString Statement;
    QString StatementPostgreSQL;
    // Fields the rows are sorted by, appended to the statement; the groups' fields lead it.
    QStringList OrderBy;
    // A layout may read a data set the screen prepares instead of a statement.
    QString DataSet;
    QVector<Column> Columns;
    // Aging bands from an asked list of upper limits in days ("30,60,90"): the statement's
    // {BANDS} marker becomes one amount per band, from the Days and Value columns of the rows
    // (summed when Sum), named Field1, Field2...; their columns follow the column After.
    struct Bands {
        QString Param, Days, Value, Field, After;
        bool Sum = false;
        double Width = 20;
    };
    std::optional<Bands> AgingBands;
    QVector<Group> Groups;
    QString TotalCaption;                    // caption of the grand-total line; empty: none
    QString ShareCaption;                    // caption of the line of each total's share of ShareOf
    QString ShareOf;
    QJsonObject Definition;

    // Set for one run by whoever runs the layout, never read from its file: the fields each row
    // is known by, kept per row so a printed row can be opened (a field the rows lack reads as
    // null), and the page the person chose for the layout (none: the layout's own).
    QStringList KeyFields;
    std::optional<QPageLayout> Page;

    // Reads a layout file; raises EHostError naming the file and the fault.
    static TReportLayout Load(const QString &path);
    // Parses a layout's JSON; `where` names it in messages.
    static TReportLayout FromJson(const QJsonObject &definition, const QString &where);
    // The layout as JSON, as Load reads it.
    QJsonObject ToJson() const;

    bool DeclaresParam(const QString &name) const;
    // Whether the person answers the parameter of that name.
    bool IsAsked(const QString &name) const;
    // The bound parameters as the statement receives them: date texts become dates.
    // Raises EHostError naming a date text that is not a date.
    TParams StatementParams(const TParams &bound) const;
    int ColumnIndex(const QString &field) const;
    bool HasTotals() const;
    // The statement for a database driver ("QSQLITE", "QPSQL") with its sort appended.
    QString StatementFor(const QString &driver) const;
};

// The layouts of a report code in its folder (<dir>/<code>/*.json), in file-name order.
QVector<TReportLayout> LoadReportLayouts(const QString &reportDir, const QString &code);
// The folder that holds a report code's layouts.
QString ReportCodeDir(const QString &reportDir, const QString &code);
