#pragma once
#include "Params.h"
#include <QJsonObject>
#include <QString>
#include <QVector>

// One report layout: a JSON file of the screen's report directory.
struct TReportLayout {
    struct Param {
        QString Name;
        TParamType Type = TParamType::String;
    };
    QString File;
    QString Code;
    QString Title;
    QVector<Param> Params;
    QJsonObject Definition;

    // Reads a layout file; raises EHostError naming the file and the fault.
    static TReportLayout Load(const QString &path);
};

// The layouts of a report code in its folder (<dir>/<code>/*.json), in file-name order.
QVector<TReportLayout> LoadReportLayouts(const QString &reportDir, const QString &code);
// The folder that holds a report code's layouts.
QString ReportCodeDir(const QString &reportDir, const QString &code);
