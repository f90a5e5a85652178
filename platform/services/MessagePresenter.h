#pragma once
#include <QString>
#include <QStringList>
#include <functional>

// Where the host shows error messages: a dialog in the program, a recorder in tests.
class TMessagePresenter {
public:
    virtual ~TMessagePresenter() = default;
    virtual void ShowError(const QString &text) = 0;
};

// Keeps every message shown, in order.
class TRecordingPresenter : public TMessagePresenter {
public:
    void ShowError(const QString &text) override
    {
        Messages << text;
        if (OnMessage)
            OnMessage(text);
    }
    QStringList Messages;
    std::function<void(const QString &)> OnMessage;
};

// The presenter in force; without one, messages go to standard error.
TMessagePresenter &MessagePresenter();
// Installs a presenter for the scope of the returned guard's life.
class TPresenterScope {
public:
    explicit TPresenterScope(TMessagePresenter &presenter);
    ~TPresenterScope();
    TPresenterScope(const TPresenterScope &) = delete;
    TPresenterScope &operator=(const TPresenterScope &) = delete;

private:
    TMessagePresenter *m_previous;
};

// Runs one user action the way the host does: a silent abort ends it
// quietly, any other error shows its message. Returns true when it completed.
bool RunAction(const std::function<void()> &action);
