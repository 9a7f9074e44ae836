// Snapping component values to preferred-number series.
#ifndef QVZ_ROUNDING_H
#define QVZ_ROUNDING_H

#include <cstdint>

namespace qvz {

// Rounds `value` to the nearest E6 (mode 0), E12 (1) or E24 (2) value, or to
// three significant digits (3 and any other mode). Never negative, never NaN:
// values below 1e-14 give +0, a NaN gives 1e-14. Pure and re-entrant.
double RoundToStandardValue(double value, std::int32_t mode);

}  // namespace qvz

#endif
