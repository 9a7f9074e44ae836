#include "sweep_storage.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace qvz {
namespace {

// One frequency and four complex values per point, in five runs of n.
constexpr std::size_t kBytesPerPoint = sizeof(double) + 4 * sizeof(ComplexValue);

static_assert(alignof(ComplexValue) <= alignof(double),
              "the complex runs follow the frequencies without padding");

}  // namespace

bool PrepareSweepArrays(SweepStorage& storage, std::int32_t n, SweepArrays& arrays) {
    const std::size_t points = n > 0 ? static_cast<std::size_t>(n) : 0;
    // Zeroed at every apply, as fresh arrays would be: a short frequency
    // reply leaves zeros, never the last apply's values.
    if (points > storage.capacity || storage.block == nullptr) {
        ReleaseSweepStorage(storage);
        // At least one point, so that an empty sweep still gets real arrays.
        const std::size_t capacity = points > 0 ? points : 1;
        // calloc checks the size's overflow, and a large fresh block comes
        // zeroed from the system without a pass over its pages here.
        storage.block = std::calloc(capacity, kBytesPerPoint);
        if (storage.block == nullptr) {
            return false;
        }
        storage.capacity = capacity;
    } else {
        std::memset(storage.block, 0, points * kBytesPerPoint);
    }
    double* const frequencies = static_cast<double*>(storage.block);
    ComplexValue* const values = reinterpret_cast<ComplexValue*>(frequencies + points);
    arrays.frequencies = frequencies;
    arrays.s11 = values;
    arrays.s21 = values + points;
    arrays.s12 = values + 2 * points;
    arrays.s22 = values + 3 * points;
    return true;
}

void TrimSweepStorage(SweepStorage& storage, std::int32_t n) {
    if (n > kKeptSweepMaxPoints) {
        ReleaseSweepStorage(storage);
    }
}

void ReleaseSweepStorage(SweepStorage& storage) {
    std::free(storage.block);
    storage.block = nullptr;
    storage.capacity = 0;
}

}  // namespace qvz
