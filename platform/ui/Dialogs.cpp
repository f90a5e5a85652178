#include "ui/Dialogs.h"
#include "services/Showavi.h"
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QVBoxLayout>

void TDialogPresenter::ShowError(const QString &text)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Erro"), text, QMessageBox::Ok, m_parent);
    box.setObjectName(QStringLiteral("MessageDlg"));
    box.exec();
}

TBusyAnimation::TBusyAnimation(QWidget *mainForm) : QWidget(mainForm, Qt::Tool | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("ShowAvi"));
    auto *layout = new QVBoxLayout(this);
    auto *label = new QLabel(QStringLiteral("Aguarde, processando..."), this);
    auto *bar = new QProgressBar(this);
    bar->setRange(0, 0);
    layout->addWidget(label);
    layout->addWidget(bar);
    resize(260, 70);
    SetShowAviView({[this](QWidget *form, int) {
                        QWidget *over = form ? form : parentWidget();
                        if (over)
                            move(over->mapToGlobal(over->rect().center()) - rect().center());
                        show();
                        raise();
                        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
                    },
                    [this] { hide(); }});
}

TBusyAnimation::~TBusyAnimation() { SetShowAviView({}); }
