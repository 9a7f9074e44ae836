#include "session_slot.h"

#include "platform/thread_slot.h"

namespace qvz {

SessionState* CreateThreadSession() {
    SessionState* state = AllocateSessionState();
    if (state == nullptr) {
        return nullptr;
    }
    InitialiseSessionState(*state);
    if (!ThreadSlotSet(state)) {
        FreeSessionState(state);
        return nullptr;
    }
    return state;
}

void EndThreadSession(SessionState* state) {
    ThreadSlotSet(nullptr);
    FreeSessionState(state);
}

}  // namespace qvz
