#include "Events.h"
#include "MessagePresenter.h"

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
