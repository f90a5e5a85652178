#pragma once
#include "report/ReportLayout.h"
#include <QDialog>
#include <QVector>

class QLineEdit;

// The small dialog in which a person answers the parameters a layout asks for, with the
// answers in force filled in. A date shows its day in the host's format; left as shown it
// keeps its relative word ("endOfPreviousMonth"), typed over it becomes that fixed day.
class TLayoutAskDialog : public QDialog {
    Q_OBJECT
public:
    TLayoutAskDialog(const TReportLayout &layout, const TLayoutAnswers &inForce, const QDate &today, QWidget *parent = nullptr);

    // Types a text into the field of a parameter, as a person does.
    void Type(const QString &name, const QString &text);
    // Reads and checks every field; the first fault's message, naming the field, or empty.
    QString Check();
    // The answers as last checked.
    const TLayoutAnswers &Answers() const { return m_answers; }

    void accept() override;

private:
    struct Field {
        TLayoutAsk Ask;
        QLineEdit *Edit;
        QString Shown;  // a date's text as first shown
        QString Answer; // the answer it was shown from
    };
    QVector<Field> m_fields;
    QDate m_today;
    TLayoutAnswers m_answers;
};

// The layout's answers checked before a run: a person answers in the dialog (EAbort when
// cancelled); with nobody at the dialogs a scripted answer is typed into it, or the answers
// in force stand. A fault nobody can correct raises EHostError naming the field.
TLayoutAnswers AskLayoutParams(const TReportLayout &layout, const TLayoutAnswers &inForce, const QDate &today, QWidget *parent);

// Answers for the dialogs that open next, kept in the session in force; tests and batch runs.
struct TLayoutAskScript {
    static void Push(const QMap<QString, QString> &typed);
    static void PushCancel();
};
