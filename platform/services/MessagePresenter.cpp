#include "services/MessagePresenter.h"
#include "data/Exceptions.h"
#include "services/Session.h"
#include <cstdio>

namespace {
class StdErrPresenter : public TMessagePresenter {
public:
    void ShowError(const QString &text) override { std::fprintf(stderr, "%s\n", text.toUtf8().constData()); }
};

} // namespace

TMessagePresenter &MessagePresenter()
{
    static StdErrPresenter standardError;
    TMessagePresenter *presenter = SessionState().Presenter;
    return presenter ? *presenter : standardError;
}

TPresenterScope::TPresenterScope(TMessagePresenter &presenter) : m_previous(SessionState().Presenter) { SessionState().Presenter = &presenter; }
TPresenterScope::~TPresenterScope() { SessionState().Presenter = m_previous; }

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
