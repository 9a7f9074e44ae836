// The calling thread's session: a SessionState held in the thread slot from
// the thread's first QVZ_init until its QVZ_close (or its end, which the slot
// itself handles).
#ifndef QVZ_SESSION_SLOT_H
#define QVZ_SESSION_SLOT_H

#include "session_state.h"

namespace qvz {

// Gives the calling thread, which has no session, a state with the factory
// settings. Null when memory or the thread slot fails; nothing is kept then.
SessionState* CreateThreadSession();

// Takes `state`, the calling thread's, out of the slot and frees it.
void EndThreadSession(SessionState* state);

}  // namespace qvz

#endif
