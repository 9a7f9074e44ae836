// The apply sequence: query the sweep, compute, write the file, command the
// analyzer's fixture simulator, read its error queue.
#ifndef QVZ_APPLY_H
#define QVZ_APPLY_H

#include "session_state.h"

namespace qvz {

// Carries the active port's settings to the analyzer. Returns 0 or a negative
// status, never a positive one.
Status ApplyToAnalyzer(const SessionState& state);

}  // namespace qvz

#endif
