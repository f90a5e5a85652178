#pragma once
#include "Params.h"
#include "ReportLayout.h"
#include <QObject>
#include <functional>

enum class TReportAction { Print, Preview, SaveAs, Edit };

// The report engine's dialog: it builds the chosen layout's parameter
// collection and asks the form for the values before it runs the layout.
class TReportDesignerDialog : public QObject {
    Q_OBJECT
public:
    explicit TReportDesignerDialog(const QString &name, QObject *parent = nullptr);

    // Raised before the layout's query is opened; the form fills the parameters.
    std::function<void(TParams &params, bool &flag)> BeforeGetQueryParams;

    // The layout's declared parameters, each of its type and null.
    static TParams BuildParams(const TReportLayout &layout);
    // Runs an action over a layout: builds its parameters and raises BeforeGetQueryParams.
    void Execute(const TReportLayout &layout, TReportAction action, const QString &output = {});

    // The parameters as the last layout's query received them.
    const TParams &LastParams() const { return m_lastParams; }
    bool HasLastParams() const { return m_hasLast; }
    void ClearLastParams() { m_hasLast = false; m_lastParams.Clear(); }

private:
    TParams m_lastParams;
    bool m_hasLast = false;
};
