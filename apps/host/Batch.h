#pragma once
#include "services/HostContext.h"
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

// A batch run: a script of user steps played against the real screen, and a log of what the screen did.
struct ControlIndex;

class TBatchRun {
public:
    enum ExitCode { Ok = 0, HostFailed = 1, BadScript = 2 };

    // Reads and checks the whole script; false with a message naming the step and the problem.
    bool Load(const QString &scriptFile, QString &error);
    // Runs every step and writes the log; returns the program's exit code.
    int Run(const QString &logFile, QString &error);

    const THostContext &Context() const { return m_context; }
    const QJsonArray &Steps() const { return m_steps; }

private:
    // Without controls only the form of the step is checked, not its control names.
    bool CheckStep(int index, const QJsonObject &step, bool &open, const ControlIndex *controls, QString &error) const;
    THostContext m_context;
    QJsonArray m_steps;
    QString m_scriptDir; // relative outputs are taken from here
};
