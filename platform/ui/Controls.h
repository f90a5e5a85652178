#pragma once
#include "data/DateTime.h"
#include "ui/Events.h"
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStringList>
#include <QTabWidget>
#include <QToolButton>
#include <vector>

// Enter and exit events of a focusable control. A window losing activation is
// not an exit: only a focus move inside the window is.
template <class Base> class TFocusEvents : public Base {
public:
    using Base::Base;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;
    TKeyEvent OnKeyDown;

protected:
    void focusInEvent(QFocusEvent *e) override
    {
        Base::focusInEvent(e);
        if (e->reason() != Qt::ActiveWindowFocusReason && e->reason() != Qt::PopupFocusReason && OnEnter)
            FireEvent([this] { OnEnter(this); });
    }
    void focusOutEvent(QFocusEvent *e) override
    {
        Base::focusOutEvent(e);
        if (e->reason() != Qt::ActiveWindowFocusReason && e->reason() != Qt::PopupFocusReason && OnExit)
            FireEvent([this] { OnExit(this); });
    }
    // Returns false when a handler swallowed the key.
    bool keyDown(QKeyEvent *e)
    {
        if (!OnKeyDown)
            return true;
        int key = VirtualKey(e->key());
        FireEvent([&] { OnKeyDown(this, key, e->modifiers()); });
        return key != 0;
    }
    void keyPressEvent(QKeyEvent *e) override
    {
        if (keyDown(e))
            Base::keyPressEvent(e);
    }
};

// Radio button: OnClick fires whenever it becomes checked, by a click or in code.
class TRadioButton : public TFocusEvents<QRadioButton> {
public:
    TRadioButton(const QString &name, const QString &caption, QWidget *parent);
    TNotifyEvent OnClick;
    bool Checked() const { return isChecked(); }
    void SetChecked(bool checked);

private:
    bool m_inCode = false;
};

// Check box: OnClick fires on every change of state, by a click or in code.
class TCheckBox : public TFocusEvents<QCheckBox> {
public:
    TCheckBox(const QString &name, const QString &caption, QWidget *parent);
    TNotifyEvent OnClick;
    bool Checked() const { return isChecked(); }
    void SetChecked(bool checked);

private:
    bool m_inCode = false;
};

class TGroupBox : public QGroupBox {
public:
    TGroupBox(const QString &name, const QString &caption, QWidget *parent, bool boldCaption = true);
};

// A group of radio buttons; ItemIndex -1 means none. OnClick fires when the choice changes.
class TRadioGroup : public TGroupBox {
public:
    TRadioGroup(const QString &name, const QString &caption, const QStringList &items, QWidget *parent);
    TNotifyEvent OnClick;
    int ItemIndex() const;
    void SetItemIndex(int index);
    QStringList Items() const;
    QRadioButton *Button(int index) const { return m_buttons.at(static_cast<size_t>(index)); }
    int Count() const { return static_cast<int>(m_buttons.size()); }

private:
    std::vector<QRadioButton *> m_buttons;
    bool m_inCode = false;
};

// Flat button with a hint and a glyph.
class TButtonFlat : public TFocusEvents<QToolButton> {
public:
    TButtonFlat(const QString &name, QWidget *parent, const QString &hint = {}, const QString &glyph = {});
    TNotifyEvent OnClick;
    // Runs OnClick as a click of the user does; a disabled button does nothing.
    void Click();
};

// Plain edit with a maximum length and key events.
class TMaskEdit : public TFocusEvents<QLineEdit> {
public:
    TMaskEdit(const QString &name, QWidget *parent, int maxLength = 32767);
    TKeyPressEvent OnKeyPress;
    QString Text() const { return text(); }
    void SetText(const QString &t) { setText(t); }
    int MaxLength() const { return maxLength(); }

protected:
    void keyPressEvent(QKeyEvent *e) override;
};

// Numeric edit: two decimals, thousands separators when the focus leaves it.
class TNumberEdit : public TFocusEvents<QLineEdit> {
public:
    TNumberEdit(const QString &name, QWidget *parent, int decimals = 2);
    TKeyPressEvent OnKeyPress;
    int Decimals;
    double GetNumber() const;
    void SetNumber(double value);
    QString Text() const { return text(); }
    void SetText(const QString &t) { setText(t); }

protected:
    void keyPressEvent(QKeyEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;
};

// Date edit: date only, valid dates in blue, weekday name as hint, calendar button.
class TDateEditPlus : public TFocusEvents<QLineEdit> {
public:
    TDateEditPlus(const QString &name, QWidget *parent);
    QStringList NomeSemana;
    // The date of the text; 0 when blank or not a date.
    TDateTime GetDate() const;
    // 0 empties the edit.
    void SetDate(TDateTime value);
    QString Text() const;
    void SetText(const QString &text);
    bool IsBlank() const;
    // Raises the edit's own error when the text is not a valid date; blank passes.
    void CheckValidDate();
    QToolButton *CalendarButton() const { return m_button; }

protected:
    void resizeEvent(QResizeEvent *e) override;

private:
    void Refresh();
    void ShowCalendar();
    QToolButton *m_button;
};

// Page of a page control; OnEnter fires when the focus enters the page.
class TTabSheet : public QWidget {
public:
    TTabSheet(const QString &name, const QString &caption, QWidget *parent = nullptr);
    QString Caption;
    TNotifyEvent OnEnter;
};

// Page control: a user's page change first asks OnChanging, which may refuse it.
class TPageControl : public QTabWidget {
public:
    TPageControl(const QString &name, QWidget *parent);
    TChangingEvent OnChanging;
    TNotifyEvent OnChange;
    void AddPage(TTabSheet *page);
    TTabSheet *ActivePage() const;
    // A change made in code asks nobody.
    void SetActivePage(TTabSheet *page);
    // A change as the user makes it by clicking a tab.
    bool UserSelect(int index);
    TTabSheet *Page(int index) const;

protected:
    // A click on a tab asks before the page changes, while the focus is still where it was.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Asks OnChanging and, when allowed, changes the page; true when it changed.
    bool RequestChange(int target);
    void OnCurrentChanged(int index);
    void OnFocusChanged(QWidget *old, QWidget *now);
    // OnEnter once each time the page is entered, by a page change or by the focus.
    void EnterPage(TTabSheet *page);
    TTabSheet *m_entered = nullptr;
    int m_current = -1;
    bool m_programmatic = false;
};

// Combo box: OnChange fires when the user picks an item, not when code sets it.
class TComboBox : public TFocusEvents<QComboBox> {
public:
    TComboBox(const QString &name, QWidget *parent);
    TNotifyEvent OnChange;
    int ItemIndex() const { return currentIndex(); }
    void SetItemIndex(int index);
    // As the user picks an item.
    void UserSelect(int index);
};

class TLabel : public QLabel {
public:
    TLabel(const QString &name, const QString &caption, QWidget *parent) : QLabel(caption, parent) { setObjectName(name); }
};

class TPanel : public QFrame {
public:
    TPanel(const QString &name, QWidget *parent, bool lowered = false);
};

// Sets a control's position and size in the coordinates of its parent.
void Place(QWidget *w, int left, int top, int width, int height);
