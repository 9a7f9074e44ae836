// The public enums' values as lists, for tests that go through all of them.
#ifndef QVZ_TEST_PUBLIC_SETTINGS_H
#define QVZ_TEST_PUBLIC_SETTINGS_H

#include <cstdint>

#include "qvzfix.h"

namespace qvz_test {

// In the order of their numbers, so that indexed test names stay put.
inline constexpr std::int32_t kEveryCircuitType[] = {
    QVZ_SERIES_L_SHUNT_C, QVZ_SHUNT_C_SERIES_L, QVZ_SHUNT_L_SERIES_C,
    QVZ_SERIES_C_SHUNT_L, QVZ_SHUNT_L_SHUNT_C,  QVZ_SERIES_C_SHUNT_C,
    QVZ_SHUNT_C_SERIES_C, QVZ_SERIES_L_SHUNT_L, QVZ_SHUNT_L_SERIES_L};

inline constexpr std::int32_t kEverySmoothingMode[] = {QVZ_E6, QVZ_E12, QVZ_E24, QVZ_SMOOTH};

constexpr bool NumberedInOrder(const std::int32_t* values, std::int32_t count) {
    for (std::int32_t i = 0; i < count; ++i) {
        if (values[i] != i) {
            return false;
        }
    }
    return true;
}
static_assert(NumberedInOrder(kEveryCircuitType, 9), "circuit types 0..8, in order");
static_assert(NumberedInOrder(kEverySmoothingMode, 4), "smoothing modes 0..3, in order");

}  // namespace qvz_test

#endif
