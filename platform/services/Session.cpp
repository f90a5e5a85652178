#include "services/Session.h"

namespace {
TSessionState *&inForce()
{
    static TSessionState outside = [] {
        TSessionState s;
        s.PersonAtDialogs = false; // outside a session nobody answers the report dialogs
        return s;
    }();
    static TSessionState *state = &outside;
    return state;
}
} // namespace

TSessionState &SessionState() { return *inForce(); }

TSessionStateScope::TSessionStateScope(TSessionState &state) : m_previous(inForce())
{
    inForce() = &state;
    SetHostContext(state.Context);
}

TSessionStateScope::~TSessionStateScope()
{
    inForce() = m_previous;
    SetHostContext(m_previous->Context);
}
