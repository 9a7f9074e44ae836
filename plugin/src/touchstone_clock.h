// Where the Touchstone writer reads "now" for its date line. Tests replace the
// clock so that they can check any date without waiting for it.
#ifndef QVZ_TOUCHSTONE_CLOCK_H
#define QVZ_TOUCHSTONE_CLOCK_H

#include <ctime>

namespace qvz {

using TouchstoneClockFunction = std::time_t (*)();

// The current calendar time from the installed clock (the system clock unless
// a test installed another). (std::time_t)-1 when the time is unavailable.
std::time_t TouchstoneClockNow();

// Installs `clock` for every later write; null restores the system clock.
// Safe to call while other threads write.
void SetTouchstoneClockForTesting(TouchstoneClockFunction clock);

}  // namespace qvz

#endif
