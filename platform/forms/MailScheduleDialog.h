#pragma once
#include "forms/MailSchedule.h"
#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTimeEdit;
class QTreeWidget;

// "Agendar envio": a saved criteria set's report by e-mail on a schedule, and the schedules made.
// Its controls are public for scripted runs, which reach them by name as a person does.
class TMailScheduleDialog : public QDialog {
    Q_OBJECT
public:
    TMailScheduleDialog(const QString &screen, const QStringList &criteria, const QString &chosen, const THostContext &context, QWidget *parent);

    QComboBox *cbbCriterios, *cbbFrequencia, *cbbDiaSemana, *cbbFormato;
    QSpinBox *spnDiaMes;
    QTimeEdit *tedHorario;
    QLineEdit *edtDestinatarios;
    QCheckBox *chkSemLinhas;
    QLabel *lblSenhas, *lblSituacao;
    QPlainTextEdit *txtCrontab;
    QPushButton *btnAgendar, *btnRemover;
    QTreeWidget *tvwAgendamentos;

    // The schedule as the controls give it.
    TMailSchedule Chosen() const;
    // "Agendar": installs the schedule, or shows its crontab line where systemd is not there.
    void Schedule();
    // "Remover agendamento": the schedule selected in the list.
    void RemoveSelected();
    // Lists the screen's schedules of the operator again.
    void Refresh();

private:
    void FrequencyChanged();
    QString m_screen;
    THostContext m_context;
    TMailSchedules m_schedules;
};
