#include "qvzsim/fixture_math.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace qvzsim {
namespace {

const Complex kNotANumber(std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::quiet_NaN());

Complex FiniteOrNaN(Complex value) {
    return std::isfinite(value.real()) && std::isfinite(value.imag()) ? value : kNotANumber;
}

// Where `target` falls among `frequencies`: between points lower and lower+1
// at fraction t (t = 0 at and below the first point, lower = last point at
// and above the last).
struct Bracket {
    std::size_t lower;
    double t;
};

Bracket Locate(const std::vector<double>& frequencies, double target) {
    if (target <= frequencies.front()) {
        return {0, 0.0};
    }
    if (target >= frequencies.back()) {
        return {frequencies.size() - 1, 0.0};
    }
    const std::size_t upper = static_cast<std::size_t>(
        std::upper_bound(frequencies.begin(), frequencies.end(), target) - frequencies.begin());
    const std::size_t lower = upper - 1;
    return {lower, (target - frequencies[lower]) / (frequencies[upper] - frequencies[lower])};
}

// The value at the bracket; `column` picks the value of point i.
template <typename Pick>
Complex At(const Bracket& where, Pick column) {
    const Complex a = column(where.lower);
    if (where.t == 0.0) {
        return a;
    }
    return a + (column(where.lower + 1) - a) * where.t;
}

}  // namespace

Complex Embed(const TwoPort& network, Complex gamma) {
    const Complex denominator = 1.0 - network.s22 * gamma;
    if (denominator == 0.0) {
        return kNotANumber;
    }
    return FiniteOrNaN(network.s11 + network.s12 * network.s21 * gamma / denominator);
}

Complex Deembed(const TwoPort& network, Complex measured) {
    // Without transmission every device gives the same measurement: there is
    // nothing to recover.
    const Complex transmission = network.s12 * network.s21;
    const Complex offset = measured - network.s11;
    const Complex denominator = transmission + network.s22 * offset;
    if (transmission == 0.0 || denominator == 0.0) {
        return kNotANumber;
    }
    return FiniteOrNaN(offset / denominator);
}

std::vector<Complex> InterpolateOnto(const std::vector<double>& frequencies,
                                     const std::vector<Complex>& values,
                                     const std::vector<double>& targets) {
    std::vector<Complex> out;
    out.reserve(targets.size());
    if (frequencies.empty() || values.size() < frequencies.size()) {
        out.assign(targets.size(), kNotANumber);
        return out;
    }
    for (double target : targets) {
        out.push_back(At(Locate(frequencies, target), [&](std::size_t i) { return values[i]; }));
    }
    return out;
}

std::vector<TwoPort> NetworkOnto(const TouchstoneData& data, const std::vector<double>& targets) {
    std::vector<TwoPort> out;
    out.reserve(targets.size());
    const std::size_t points = data.GetPoints();
    if (points == 0 || data.sParameters.size() < points * 4) {
        out.assign(targets.size(), TwoPort{kNotANumber, kNotANumber, kNotANumber, kNotANumber});
        return out;
    }
    // File order per point: S11, S21, S12, S22.
    auto parameter = [&](std::size_t k) {
        return [&data, k](std::size_t i) { return data.sParameters[i * 4 + k]; };
    };
    for (double target : targets) {
        const Bracket where = Locate(data.frequenciesHz, target);
        out.push_back(TwoPort{At(where, parameter(0)), At(where, parameter(1)),
                              At(where, parameter(2)), At(where, parameter(3))});
    }
    return out;
}

double LossDb(Complex value) {
    return -20.0 * std::log10(std::abs(value));
}

}  // namespace qvzsim
