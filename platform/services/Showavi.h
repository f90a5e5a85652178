#pragma once
#include <functional>

class QWidget;

// The host's busy animation. Calls nest: the animation shows on the first
// ActiveShowAvi and hides when every one of them has been balanced.
void ActiveShowAvi(QWidget *mainForm, int kind);
void DeactiveShowAvi();
int ShowAviDepth();
bool ShowAviVisible();

// How the animation is drawn; the program installs a widget, tests leave none.
struct TShowAviView {
    std::function<void(QWidget *mainForm, int kind)> Show;
    std::function<void()> Hide;
};
void SetShowAviView(TShowAviView view);

// Shows the animation for the life of the guard, also when an error leaves the scope.
class TShowAviGuard {
public:
    TShowAviGuard(QWidget *mainForm, int kind) { ActiveShowAvi(mainForm, kind); }
    ~TShowAviGuard() { DeactiveShowAvi(); }
    TShowAviGuard(const TShowAviGuard &) = delete;
    TShowAviGuard &operator=(const TShowAviGuard &) = delete;
};
