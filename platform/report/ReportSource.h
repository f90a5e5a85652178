#pragma once
#include "data/Params.h"
#include <QJsonObject>
#include <QStringList>
#include <QVariantList>
#include <QVector>

class TDataSet;
class QWidget;
struct TReportLayout;

// Printed rows a person asked to open: one row, or the rows a group header, a group footer or
// the grand total sums; each row given by the values of the layout's key fields.
struct TReportDrill {
    enum TKind { Row, Group, Total };
    TKind Kind = Row;
    QString Caption;           // what the header, footer or total line says; empty for a row
    QStringList KeyFields;
    QVector<QVariantList> Keys; // the rows' keys in printed order, rows without a key left out
};

// What the report engine asks of the screen whose layouts it runs and checks.
class TReportSource {
public:
    // Fills the chosen layout's parameters, each declared and null, with the screen's values.
    virtual void GetQueryParams(TParams &params, bool &flag) = 0;
    // Every parameter name GetQueryParams gives a value to.
    virtual QStringList QueryParamNames() const = 0;
    // A data set a layout names (its rows, a chart's totals or limits); null when the screen has none.
    virtual TDataSet *DataSetNamed(const QString &name) const = 0;
    // The fields of a layout's rows that say what each printed row stands for; none: its rows open nothing.
    virtual QStringList RowKeyFields(const TReportLayout &) const { return {}; }
    // Opens what printed rows stand for, over the preview (a window a person reads; with nobody
    // at the dialogs it is only filled in); returns what it opened, for the batch log.
    virtual QJsonObject OpenRows(const TReportDrill &, QWidget * /*over*/) { return {}; }

protected:
    ~TReportSource() = default;
};
