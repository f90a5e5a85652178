#pragma once
#include "services/MessagePresenter.h"
#include <QWidget>

// Shows each error in a message dialog with a single OK button.
class TDialogPresenter : public TMessagePresenter {
public:
    explicit TDialogPresenter(QWidget *parent = nullptr) : m_parent(parent) {}
    void ShowError(const QString &text) override;

private:
    QWidget *m_parent;
};

// The busy animation drawn over the main form; installs itself as the view of ActiveShowAvi.
class TBusyAnimation : public QWidget {
public:
    explicit TBusyAnimation(QWidget *mainForm);
    ~TBusyAnimation() override;
};
