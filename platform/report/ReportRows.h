#pragma once
#include "report/ReportLayout.h"
#include <QDate>
#include <QSqlDatabase>
#include <QVariant>
#include <functional>
#include <memory>

class TDataSet;

// A forward cursor over the rows a layout prints, giving the values of the
// fields the layout reads, in the order of Fields().
class TReportRows {
public:
    virtual ~TReportRows() = default;
    virtual bool Next() = 0;
    virtual QVariant Value(int field) const = 0;
};

// The fields a layout reads: group keys, columns and the header markers, then its key fields.
QStringList ReportFields(const TReportLayout &layout);
// The same without the key fields: those the rows must give.
QStringList LayoutFields(const TReportLayout &layout);

// Runs the layout's statement with the parameters and streams its rows.
// A failure names the layout and the database's reason.
std::unique_ptr<TReportRows> OpenStatementRows(const QSqlDatabase &db, const TReportLayout &layout, const TParams &params);
// Finds a data set of the screen by name; null when there is none.
using TDataSetFinder = std::function<TDataSet *(const QString &name)>;
// Reads the rows of a data set the screen prepared, from the first.
std::unique_ptr<TReportRows> OpenDataSetRows(TDataSet &data, const TReportLayout &layout, const TDataSetFinder &find);

// Value conversions shared by every output: dates come as dates or ISO texts.
QDate ReportDate(const QVariant &v);
double ReportNumber(const QVariant &v);
// The text a person reads: dates dd/MM/yyyy, amounts 1.234,56.
QString DisplayText(TColumnFormat format, const QVariant &v);
QString AmountText(double value, bool grouped = true);
// "{FIELD}" markers replaced by the display texts of the row's values.
// A value without a column format: a date (or its ISO text) as a date, anything else as text.
QString ValueText(const QVariant &v);
// A blank value of blankField shows as blankText (a group without a key value says so).
QString ExpandMarkers(const QString &pattern, const QStringList &fields, const TReportRows &row, const QString &blankField = {},
                      const QString &blankText = {});
