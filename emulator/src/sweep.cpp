#include "qvzsim/sweep.h"

#include <cstddef>

namespace qvzsim {

std::vector<double> SweepFrequencies(const SweepSettings& sweep) {
    std::vector<double> frequencies;
    if (sweep.points <= 0) {
        return frequencies;
    }
    const std::size_t n = static_cast<std::size_t>(sweep.points);
    frequencies.resize(n);
    frequencies[0] = sweep.startHz;
    if (n == 1) {
        return frequencies;
    }
    const double span = sweep.stopHz - sweep.startHz;
    const double divisor = static_cast<double>(n - 1);
    for (std::size_t i = 1; i + 1 < n; ++i) {
        frequencies[i] = sweep.startHz + static_cast<double>(i) * span / divisor;
    }
    // The last point is the stop frequency exactly, whatever the rounding.
    frequencies[n - 1] = sweep.stopHz;
    return frequencies;
}

}  // namespace qvzsim
