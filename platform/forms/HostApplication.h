#pragma once
#include "forms/ReportBaseForm.h"
#include <QPointer>
#include <memory>

class QMdiArea;
class QMdiSubWindow;

// Screen cursors of the host: the hourglass and the default.
constexpr int crHourGlass = -11;
constexpr int crDefault = 0;

// The host application's form services that a module uses.
class THostApplication {
public:
    virtual ~THostApplication() = default;

    virtual QWidget *MainForm() const = 0;
    // Shows a form as a child window of the main form, without waiting.
    virtual void ShowMdiChild(TfrmDadosGerRel &form) = 0;
    // Shows a form on its own and waits until it closes.
    virtual void ShowModal(TfrmDadosGerRel &form) = 0;
    // Restores a minimised or maximised form.
    virtual void SetWindowStateNormal(TfrmDadosGerRel &form) = 0;
    virtual void SetScreenCursor(int cursor) = 0;
    virtual int ScreenCursor() const = 0;

    // Creates a form owned by the application: runs its creation handler and,
    // when the form is designed visible, shows it. A form whose creation or
    // first showing fails is destroyed before the failure passes on.
    template <class T, class... Args> T *CreateForm(Args &&...args)
    {
        std::unique_ptr<T> form(new T(std::forward<Args>(args)...));
        form->DoCreate();
        T *raw = form.release();
        Adopt(*raw);
        if (raw->DesignVisible) {
            try {
                Show(*raw);
            } catch (...) {
                Discard(*raw);
                throw;
            }
        }
        return raw;
    }
    // Destroys a form of the application at once, with its window, without
    // running its close handling: for a form whose opening failed.
    virtual void Discard(TfrmDadosGerRel &form) = 0;

    static THostApplication *Application();
    // The main form of the application in force; none outside the host (a test without one).
    static QWidget *MainFormInForce() { return Application() ? Application()->MainForm() : nullptr; }
    static void SetApplication(THostApplication *app);

protected:
    // Takes ownership of a created form.
    virtual void Adopt(TfrmDadosGerRel &form) = 0;
    void Show(TfrmDadosGerRel &form);
};

// The host application over a main window's MDI area.
class TMdiApplication : public QObject, public THostApplication {
    Q_OBJECT
public:
    TMdiApplication(QWidget *mainForm, QMdiArea *area);
    ~TMdiApplication() override;

    QWidget *MainForm() const override { return m_mainForm; }
    void ShowMdiChild(TfrmDadosGerRel &form) override;
    void ShowModal(TfrmDadosGerRel &form) override;
    void SetWindowStateNormal(TfrmDadosGerRel &form) override;
    void SetScreenCursor(int cursor) override;
    int ScreenCursor() const override { return m_cursor; }
    void Discard(TfrmDadosGerRel &form) override;
    QMdiArea *Area() const { return m_area; }
    QMdiSubWindow *FrameOf(const TfrmDadosGerRel &form) const;

protected:
    void Adopt(TfrmDadosGerRel &form) override;

private:
    void OnSubWindowActivated(QMdiSubWindow *window);
    QWidget *m_mainForm;
    QMdiArea *m_area;
    int m_cursor = crDefault;
    bool m_showing = false;
    QPointer<TfrmDadosGerRel> m_active;
};
