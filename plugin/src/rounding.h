// Snapping component values to preferred-number series. The API calls the
// choice of series "smoothing" (SmoothingMode, QVZ_SetSmoothing, stored as
// SessionState::smoothing); this is where a smoothing mode takes effect.
#ifndef QVZ_ROUNDING_H
#define QVZ_ROUNDING_H

#include <cstdint>

namespace qvz {

// Rounds `value` to the nearest E6 (QVZ_E6), E12 (QVZ_E12) or E24 (QVZ_E24)
// value, or to three significant digits (QVZ_SMOOTH and any other `mode`, a
// port's smoothing setting). Never negative, never NaN: values below 1e-14
// give +0, a NaN gives 1e-14. Pure and re-entrant.
double RoundToStandardValue(double value, std::int32_t mode);

}  // namespace qvz

#endif
