#include "ReportDialog.h"

TReportDesignerDialog::TReportDesignerDialog(const QString &name, QObject *parent) : QObject(parent) { setObjectName(name); }

TParams TReportDesignerDialog::BuildParams(const TReportLayout &layout)
{
    TParams params;
    for (const auto &p : layout.Params)
        params.CreateParam(p.Type, p.Name);
    return params;
}

void TReportDesignerDialog::Execute(const TReportLayout &layout, TReportAction, const QString &)
{
    m_hasLast = false;
    TParams params = BuildParams(layout);
    bool flag = false;
    if (BeforeGetQueryParams)
        BeforeGetQueryParams(params, flag);
    m_lastParams = params;
    m_hasLast = true;
}
