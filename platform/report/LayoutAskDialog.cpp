#include "report/LayoutAskDialog.h"
#include "data/DateTime.h"
#include "data/Exceptions.h"
#include "services/MessagePresenter.h"
#include "services/Session.h"
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TLayoutAskDialog::TLayoutAskDialog(const TReportLayout &layout, const TLayoutAnswers &inForce, const QDate &today, QWidget *parent)
    : QDialog(parent), m_today(today)
{
    setObjectName(QStringLiteral("dlgParametrosRelatorio"));
    setWindowTitle(QStringLiteral("Parâmetros: ") + layout.Title);
    auto *form = new QFormLayout;
    const TLayoutAnswers answers = AnswersInForce(layout.Asks, inForce);
    for (const TLayoutAsk &a : layout.Asks) {
        Field f{a, new QLineEdit(this), {}, answers.value(a.Name)};
        f.Edit->setObjectName(a.Name);
        f.Shown = f.Answer;
        QString hint;
        if (a.Type == TLayoutAsk::TType::Date) {
            const QDate day = ResolveDate(f.Answer, today);
            f.Shown = day.isNull() ? f.Answer : DateToStr(DateToDateTime(day));
            hint = RelativeDateCaption(f.Answer);
        } else if (a.Type == TLayoutAsk::TType::IntegerList) {
            hint = QStringLiteral("separados por vírgula");
        }
        f.Edit->setText(f.Shown);
        auto *row = new QHBoxLayout;
        row->addWidget(f.Edit);
        if (!hint.isEmpty())
            row->addWidget(new QLabel(hint, this));
        form->addRow(a.Caption + QLatin1Char(':'), row);
        m_fields << f;
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancelar"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layoutBox = new QVBoxLayout(this);
    layoutBox->addLayout(form);
    layoutBox->addWidget(buttons);
}

void TLayoutAskDialog::Type(const QString &name, const QString &text)
{
    for (Field &f : m_fields)
        if (f.Ask.Name.compare(name, Qt::CaseInsensitive) == 0) {
            f.Edit->setText(text);
            return;
        }
    throw EHostError(QStringLiteral("%1 não pergunta o parâmetro '%2'.").arg(windowTitle(), name));
}

QString TLayoutAskDialog::Check()
{
    TLayoutAnswers answers;
    for (const Field &f : m_fields) {
        const QString text = f.Edit->text().trimmed();
        QString answer = text;
        if (f.Ask.Type == TLayoutAsk::TType::Date) {
            // Left as shown, a relative date stays relative; a day typed in the host's format is pinned;
            // anything else goes to the check as typed, which names the field.
            TDateTime day = 0;
            if (text == f.Shown)
                answer = f.Answer;
            else if (TryStrToDate(text, day))
                answer = DateTimeToDate(day).toString(Qt::ISODate);
        }
        if (const QString fault = CheckAnswer(f.Ask, answer, m_today); !fault.isEmpty()) {
            f.Edit->setFocus();
            return fault;
        }
        answers.insert(f.Ask.Name, answer);
    }
    m_answers = answers;
    return {};
}

void TLayoutAskDialog::accept()
{
    // A bad answer is shown and the dialog stays for the person to correct it.
    if (const QString fault = Check(); !fault.isEmpty()) {
        MessagePresenter().ShowError(fault);
        return;
    }
    QDialog::accept();
}

TLayoutAnswers AskLayoutParams(const TReportLayout &layout, const TLayoutAnswers &inForce, const QDate &today, QWidget *parent)
{
    TSessionState &session = SessionState();
    TLayoutAnswers out = inForce;
    const auto merged = [&out](const TLayoutAnswers &answers) {
        for (auto a = answers.cbegin(); a != answers.cend(); ++a)
            out.insert(a.key(), a.value());
        return out;
    };
    TLayoutAskDialog dialog(layout, inForce, today, parent);
    if (!session.PersonAtDialogs && !session.LayoutAskAnswers.empty()) {
        const std::optional<QMap<QString, QString>> typed = session.LayoutAskAnswers.front();
        session.LayoutAskAnswers.pop_front();
        if (!typed)
            throw EAbort();
        for (auto t = typed->cbegin(); t != typed->cend(); ++t)
            dialog.Type(t.key(), t.value());
    } else if (session.PersonAtDialogs) {
        if (dialog.exec() != QDialog::Accepted)
            throw EAbort();
        return merged(dialog.Answers());
    }
    if (const QString fault = dialog.Check(); !fault.isEmpty())
        throw EHostError(fault);
    return merged(dialog.Answers());
}

void TLayoutAskScript::Push(const QMap<QString, QString> &typed) { SessionState().LayoutAskAnswers.push_back(typed); }
void TLayoutAskScript::PushCancel() { SessionState().LayoutAskAnswers.push_back(std::nullopt); }
