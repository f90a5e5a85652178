#include "ui/Events.h"
#include "services/MessagePresenter.h"
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

namespace {
int g_depth = 0;
}

namespace {
struct Depth {
    Depth() { ++g_depth; }
    ~Depth() { --g_depth; }
};
} // namespace

bool FireEvent(const std::function<void()> &event)
{
    if (!event)
        return true;
    Depth d;
    return RunAction(event);
}

void CallEvent(const std::function<void()> &event)
{
    if (!event)
        return;
    Depth d;
    if (g_depth > 1)
        event();
    else
        RunAction(event);
}

int VirtualKey(int qtKey)
{
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return 112 + (qtKey - Qt::Key_F1);
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return qtKey;
    switch (qtKey) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Delete: return 46;
    default: return qtKey & 0xffff;
    }
}

void SendClick(QWidget *control, const QPoint &pos, Qt::KeyboardModifiers modifiers)
{
    if (!control)
        return;
    if (control->isEnabled() && (control->focusPolicy() & Qt::ClickFocus) == Qt::ClickFocus)
        control->setFocus(Qt::MouseFocusReason);
    const QPointF local(pos);
    const QPointF global = control->mapToGlobal(local);
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton, modifiers);
    QCoreApplication::sendEvent(control, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton, modifiers);
    QCoreApplication::sendEvent(control, &release);
}

void SendKey(QWidget *control, int qtKey, Qt::KeyboardModifiers modifiers, const QString &text)
{
    if (!control)
        return;
    QKeyEvent press(QEvent::KeyPress, qtKey, modifiers, text);
    QCoreApplication::sendEvent(control, &press);
    QKeyEvent release(QEvent::KeyRelease, qtKey, modifiers, text);
    QCoreApplication::sendEvent(control, &release);
}

void SendText(QWidget *control, const QString &text)
{
    for (const QChar c : text) {
        // Printable ASCII keys carry the code of their upper-case character.
        const int key = c.unicode() >= 0x20 && c.unicode() < 0x7f ? c.toUpper().unicode() : int(Qt::Key_unknown);
        SendKey(control, key, c.isUpper() ? Qt::ShiftModifier : Qt::NoModifier, QString(c));
    }
}
