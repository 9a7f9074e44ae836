#include "rounding.h"

#include <cmath>
#include <cstddef>

#include "exact_powers_of_ten.h"
#include "qvzfix.h"

namespace qvz {
namespace {

// IEC 60063 series, one decade from 1.0. The order is the search order and
// decides ties (the earlier, lower value wins).
constexpr double kE6[] = {1.0, 1.5, 2.2, 3.3, 4.7, 6.8};
constexpr double kE12[] = {1.0, 1.2, 1.5, 1.8, 2.2, 2.7, 3.3, 3.9, 4.7, 5.6, 6.8, 8.2};
constexpr double kE24[] = {1.0, 1.1, 1.2, 1.3, 1.5, 1.6, 1.8, 2.0, 2.2, 2.4, 2.7, 3.0,
                           3.3, 3.6, 3.9, 4.3, 4.7, 5.1, 5.6, 6.2, 6.8, 7.5, 8.2, 9.1};

constexpr double kValueFloor = 1e-14;
constexpr double kStartingDistance = 9.9;
constexpr double kNextDecadeMantissa = 10.0;
constexpr double kSmoothDigitOffset = 2.0;
constexpr double kRoundingOffset = 0.5;

struct Series {
    const double* values;
    std::size_t count;
};

constexpr double kLargestExactExponent = kLargestExactPowerOfTen;

// 10 to the integral `exponent`, correctly rounded where it matters. Some C
// runtimes' pow (MinGW's among them) is a few units in the last place off for
// these, which would put every rounded value beside the series value; a
// quotient of exact values is correctly rounded everywhere.
double PowerOfTen(double exponent) {
    if (exponent >= 0.0 && exponent <= kLargestExactExponent) {
        return kExactPowersOfTen[static_cast<std::size_t>(exponent)];
    }
    if (exponent < 0.0 && exponent >= -kLargestExactExponent) {
        return 1.0 / kExactPowersOfTen[static_cast<std::size_t>(-exponent)];
    }
    return std::pow(10.0, exponent);
}

template <std::size_t N>
constexpr Series MakeSeries(const double (&table)[N]) {
    return Series{table, N};
}

// Nearest series value by linear distance of the mantissa; the next decade's
// first value competes last and loses an exact tie.
double RoundToSeries(const Series& series, double mantissa, double decade) {
    double best = kStartingDistance;
    std::size_t chosen = 0;
    for (std::size_t i = 0; i < series.count; ++i) {
        const double dist = std::fabs(mantissa - series.values[i]);
        if (best > dist) {
            best = dist;
            chosen = i;
        }
    }
    if (best > std::fabs(mantissa - kNextDecadeMantissa)) {
        return decade * kNextDecadeMantissa;
    }
    return series.values[chosen] * decade;
}

// Three significant digits from 1e-12 up; below that the step stays at the
// value floor, so fewer digits survive.
double RoundSmooth(double value, double exponent) {
    const double s = PowerOfTen(exponent - kSmoothDigitOffset);
    const double step = s > kValueFloor ? s : kValueFloor;
    const double n = std::floor(value / step + kRoundingOffset);
    const double r = n * step;
    return r > 0.0 ? r : 0.0;
}

}  // namespace

double RoundToStandardValue(double value, std::int32_t mode) {
    if (value < kValueFloor) {
        return 0.0;
    }
    // A NaN fails both comparisons and continues as the floor value.
    const double a = value > kValueFloor ? value : kValueFloor;
    const double exponent = std::floor(std::log10(a));
    const double decade = PowerOfTen(exponent);
    const double mantissa = a / decade;
    switch (mode) {
        case QVZ_E6:
            return RoundToSeries(MakeSeries(kE6), mantissa, decade);
        case QVZ_E12:
            return RoundToSeries(MakeSeries(kE12), mantissa, decade);
        case QVZ_E24:
            return RoundToSeries(MakeSeries(kE24), mantissa, decade);
        default:
            return RoundSmooth(a, exponent);
    }
}

}  // namespace qvz
