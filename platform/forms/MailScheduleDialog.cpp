#include "forms/MailScheduleDialog.h"
#include "data/Exceptions.h"
#include "forms/ReportBaseForm.h"
#include "services/MailAddress.h"
#include "ui/Events.h"
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QSpinBox>
#include <QTimeEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
template <class T> T *named(T *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}
} // namespace

TMailScheduleDialog::TMailScheduleDialog(const QString &screen, const QStringList &criteria, const QString &chosen, const THostContext &context,
                                         QWidget *parent)
    : QDialog(parent), m_screen(screen), m_context(context)
{
    setObjectName(QStringLiteral("dlgAgendarEnvio"));
    setWindowTitle(QStringLiteral("Agendar envio"));
    auto *layout = new QVBoxLayout(this);

    auto *novo = named(new QGroupBox(QStringLiteral("Novo envio por e-mail"), this), "grbNovoEnvio");
    auto *form = new QFormLayout(novo);
    cbbCriterios = named(new QComboBox(novo), "cbbCriterios");
    cbbCriterios->addItems(criteria);
    cbbCriterios->setCurrentIndex(std::max(0, static_cast<int>(criteria.indexOf(chosen))));
    cbbFrequencia = named(new QComboBox(novo), "cbbFrequencia");
    cbbFrequencia->addItems({QStringLiteral("Todos os dias"), QStringLiteral("Dias úteis (segunda a sexta)"), QStringLiteral("Toda semana, no dia"),
                             QStringLiteral("Todo mês, no dia")});
    cbbDiaSemana = named(new QComboBox(novo), "cbbDiaSemana");
    cbbDiaSemana->addItems({QStringLiteral("Segunda-feira"), QStringLiteral("Terça-feira"), QStringLiteral("Quarta-feira"), QStringLiteral("Quinta-feira"),
                            QStringLiteral("Sexta-feira"), QStringLiteral("Sábado"), QStringLiteral("Domingo")});
    spnDiaMes = named(new QSpinBox(novo), "spnDiaMes");
    spnDiaMes->setRange(1, 28);
    spnDiaMes->setToolTip(QStringLiteral("De 1 a 28, que todo mês tem."));
    tedHorario = named(new QTimeEdit(QTime(7, 0), novo), "tedHorario");
    tedHorario->setDisplayFormat(QStringLiteral("HH:mm"));
    cbbFormato = named(new QComboBox(novo), "cbbFormato");
    cbbFormato->addItems({QStringLiteral("PDF"), QStringLiteral("CSV"), QStringLiteral("XLSX"), QStringLiteral("HTML")});
    edtDestinatarios = named(new QLineEdit(novo), "edtDestinatarios");
    edtDestinatarios->setPlaceholderText(QStringLiteral("nome@empresa.com.br, outro@empresa.com.br"));
    chkSemLinhas = named(new QCheckBox(QStringLiteral("Não enviar quando o relatório não tiver linhas"), novo), "chkSemLinhas");
    form->addRow(QStringLiteral("Critérios salvos:"), cbbCriterios);
    form->addRow(QStringLiteral("Frequência:"), cbbFrequencia);
    form->addRow(QStringLiteral("Dia da semana:"), cbbDiaSemana);
    form->addRow(QStringLiteral("Dia do mês:"), spnDiaMes);
    form->addRow(QStringLiteral("Horário:"), tedHorario);
    form->addRow(QStringLiteral("Formato:"), cbbFormato);
    form->addRow(QStringLiteral("Destinatários:"), edtDestinatarios);
    form->addRow(chkSemLinhas);

    const QString settings = m_schedules.SettingsFile();
    QString note = QStringLiteral("As senhas não ficam no agendamento: cada envio lê a senha do operador (login/password) e a do servidor de "
                                  "e-mail (mail/password) do arquivo %1, como rec-host --run faz; mantenha-o legível só por você (chmod 600).")
                       .arg(settings);
    if (!QSettings(settings, QSettings::IniFormat).contains(QStringLiteral("login/password")))
        note += QStringLiteral(" Esse arquivo ainda não tem login/password: acrescente-a antes do primeiro envio.");
    lblSenhas = named(new QLabel(note, novo), "lblSenhas");
    lblSenhas->setWordWrap(true);
    form->addRow(lblSenhas);
    btnAgendar = named(new QPushButton(QStringLiteral("Agendar"), novo), "btnAgendar");
    form->addRow(btnAgendar);
    layout->addWidget(novo);

    lblSituacao = named(new QLabel(this), "lblSituacao");
    lblSituacao->setWordWrap(true);
    lblSituacao->hide();
    layout->addWidget(lblSituacao);
    txtCrontab = named(new QPlainTextEdit(this), "txtCrontab");
    txtCrontab->setReadOnly(true);
    txtCrontab->hide();
    layout->addWidget(txtCrontab);

    auto *agendados = named(new QGroupBox(QStringLiteral("Envios agendados"), this), "grbAgendados");
    auto *list = new QVBoxLayout(agendados);
    tvwAgendamentos = named(new QTreeWidget(agendados), "tvwAgendamentos");
    tvwAgendamentos->setHeaderLabels({QStringLiteral("Critérios"), QStringLiteral("Quando"), QStringLiteral("Formato"), QStringLiteral("Destinatários")});
    tvwAgendamentos->setRootIsDecorated(false);
    tvwAgendamentos->header()->setStretchLastSection(true);
    list->addWidget(tvwAgendamentos);
    btnRemover = named(new QPushButton(QStringLiteral("Remover agendamento"), agendados), "btnRemover");
    list->addWidget(btnRemover, 0, Qt::AlignRight);
    layout->addWidget(agendados);
    auto *buttons = named(new QDialogButtonBox(QDialogButtonBox::Close, this), "btnFechar");
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("Fechar"));
    layout->addWidget(buttons);

    connect(cbbFrequencia, &QComboBox::currentIndexChanged, this, [this] { FrequencyChanged(); });
    connect(btnAgendar, &QPushButton::clicked, this, [this] { FireEvent([this] { Schedule(); }); });
    connect(btnRemover, &QPushButton::clicked, this, [this] { FireEvent([this] { RemoveSelected(); }); });
    connect(tvwAgendamentos, &QTreeWidget::itemSelectionChanged, this, [this] { btnRemover->setEnabled(!tvwAgendamentos->selectedItems().isEmpty()); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    FrequencyChanged();
    if (!m_schedules.SystemdAvailable()) {
        agendados->setTitle(QStringLiteral("Envios agendados (sem o systemd, no crontab do operador: crontab -l lista, crontab -e remove)"));
        tvwAgendamentos->setEnabled(false);
    }
    Refresh();
    resize(720, 620);
}

void TMailScheduleDialog::FrequencyChanged()
{
    cbbDiaSemana->setEnabled(cbbFrequencia->currentIndex() == static_cast<int>(TScheduleFrequency::Weekly));
    spnDiaMes->setEnabled(cbbFrequencia->currentIndex() == static_cast<int>(TScheduleFrequency::Monthly));
}

TMailSchedule TMailScheduleDialog::Chosen() const
{
    TMailSchedule s;
    s.Screen = m_screen;
    s.Operator = m_context.Operator;
    s.Criteria = cbbCriterios->currentText();
    s.Frequency = static_cast<TScheduleFrequency>(std::max(0, cbbFrequencia->currentIndex()));
    if (s.Frequency == TScheduleFrequency::Weekly)
        s.Day = cbbDiaSemana->currentIndex() + 1;
    else if (s.Frequency == TScheduleFrequency::Monthly)
        s.Day = spnDiaMes->value();
    s.Time = tedHorario->time();
    s.Format = cbbFormato->currentText().toLower();
    s.SkipEmpty = chkSemLinhas->isChecked();
    return s;
}

void TMailScheduleDialog::Schedule()
{
    TMailSchedule s = Chosen();
    QString error;
    if (!ParseMailAddresses({edtDestinatarios->text()}, s.Recipients, error)) {
        edtDestinatarios->setFocus();
        error[0] = error[0].toUpper();
        throw EHostError(error + QLatin1Char('.'));
    }
    if (!s.Check(error))
        throw EHostError(error);
    if (!m_schedules.SystemdAvailable()) {
        txtCrontab->setPlainText(m_schedules.CrontabLine(s, m_context));
        txtCrontab->show();
        lblSituacao->setText(QStringLiteral("Este computador não roda o systemd: nada foi instalado. Para o envio de \"%1\" %2, acrescente esta linha "
                                            "ao crontab do operador (crontab -e):")
                                 .arg(s.Criteria, s.When()));
        lblSituacao->show();
        return;
    }
    const TMailSchedule made = m_schedules.Install(s, m_context);
    txtCrontab->hide();
    lblSituacao->setText(QStringLiteral("Envio de \"%1\" agendado: %2, %3 para %4 (%5.timer).")
                             .arg(made.Criteria, made.When(), made.Format.toUpper(), made.Recipients.join(QStringLiteral(", ")), made.Name));
    lblSituacao->show();
    Refresh();
}

void TMailScheduleDialog::RemoveSelected()
{
    const QList<QTreeWidgetItem *> selected = tvwAgendamentos->selectedItems();
    if (selected.isEmpty())
        throw EHostError(QStringLiteral("Escolha na lista o envio a remover."));
    const QString name = selected.first()->data(0, Qt::UserRole).toString();
    const QString criteria = selected.first()->text(0);
    const auto relist = qScopeGuard([this] { Refresh(); });
    m_schedules.Remove(name);
    lblSituacao->setText(QStringLiteral("Envio de \"%1\" removido (%2.timer).").arg(criteria, name));
    lblSituacao->show();
}

void TMailScheduleDialog::Refresh()
{
    tvwAgendamentos->clear();
    if (m_schedules.SystemdAvailable())
        for (const TMailSchedule &s : m_schedules.List(m_screen, m_context.Operator)) {
            auto *item = new QTreeWidgetItem(tvwAgendamentos, {s.Criteria, s.When(), s.Format.toUpper(), s.Recipients.join(QStringLiteral(", "))});
            item->setData(0, Qt::UserRole, s.Name);
        }
    for (int column = 0; column < 3; ++column)
        tvwAgendamentos->resizeColumnToContents(column);
    btnRemover->setEnabled(!tvwAgendamentos->selectedItems().isEmpty());
}
