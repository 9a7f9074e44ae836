// The apply sequence: query the sweep, compute, write the file, command the
// analyzer's fixture simulator, read its error queue.
#ifndef QVZ_APPLY_H
#define QVZ_APPLY_H

#include "session_state.h"
#include "status.h"

namespace qvz {

// Carries the active port's settings to the analyzer. Returns 0 or a negative
// status, never a positive one. The state's sweep storage is reused for the
// run's arrays (and kept for the next run, unless the sweep was huge).
Status ApplyToAnalyzer(SessionState& state);

}  // namespace qvz

#endif
