#pragma once
#include "data/Params.h"
#include <QStringList>

class TDataSet;

// What the report engine asks of the screen whose layouts it runs and checks.
class TReportSource {
public:
    // Fills the chosen layout's parameters, each declared and null, with the screen's values.
    virtual void GetQueryParams(TParams &params, bool &flag) = 0;
    // Every parameter name GetQueryParams gives a value to.
    virtual QStringList QueryParamNames() const = 0;
    // A data set a layout names (its rows, a chart's totals or limits); null when the screen has none.
    virtual TDataSet *DataSetNamed(const QString &name) const = 0;

protected:
    ~TReportSource() = default;
};
