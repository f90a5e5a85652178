#include "services/Showavi.h"

namespace {
struct State {
    int depth = 0;
    TShowAviView view;
};
State &state()
{
    static State s;
    return s;
}
} // namespace

void ActiveShowAvi(QWidget *mainForm, int kind)
{
    State &s = state();
    if (s.depth++ == 0 && s.view.Show)
        s.view.Show(mainForm, kind);
}

void DeactiveShowAvi()
{
    State &s = state();
    if (s.depth == 0)
        return;
    if (--s.depth == 0 && s.view.Hide)
        s.view.Hide();
}

int ShowAviDepth() { return state().depth; }
bool ShowAviVisible() { return state().depth > 0; }
void SetShowAviView(TShowAviView view) { state().view = std::move(view); }
