#include "services/MessagePresenter.h"
#include "data/Exceptions.h"
#include <cstdio>

namespace {
class StdErrPresenter : public TMessagePresenter {
public:
    void ShowError(const QString &text) override { std::fprintf(stderr, "%s\n", text.toUtf8().constData()); }
};

TMessagePresenter *&current()
{
    static StdErrPresenter fallback;
    static TMessagePresenter *presenter = &fallback;
    return presenter;
}
} // namespace

TMessagePresenter &MessagePresenter() { return *current(); }

TPresenterScope::TPresenterScope(TMessagePresenter &presenter) : m_previous(current()) { current() = &presenter; }
TPresenterScope::~TPresenterScope() { current() = m_previous; }

bool RunAction(const std::function<void()> &action)
{
    try {
        action();
        return true;
    } catch (const EAbort &) {
    } catch (const EHostError &e) {
        MessagePresenter().ShowError(e.Message());
    } catch (const std::exception &e) {
        MessagePresenter().ShowError(QString::fromUtf8(e.what()));
    }
    return false;
}
