#include "qvzsim/units.h"

#include <cmath>

namespace qvzsim {
namespace {

struct Multiplier {
    std::string_view prefix;
    double factor;
};

// M is milli in SCPI; mega is MA (but see MHZ below).
constexpr Multiplier kMultipliers[] = {
    {"", 1.0},   {"EX", 1e18}, {"PE", 1e15}, {"T", 1e12},  {"G", 1e9},   {"MA", 1e6},  {"K", 1e3},
    {"M", 1e-3}, {"U", 1e-6},  {"N", 1e-9},  {"P", 1e-12}, {"F", 1e-15}, {"A", 1e-18},
};

}  // namespace

bool ApplyUnitSuffix(std::string_view suffix, std::string_view unit, double& value) {
    if (suffix.empty()) {
        return true;
    }
    if (suffix.size() < unit.size() || suffix.substr(suffix.size() - unit.size()) != unit) {
        return false;
    }
    const std::string_view prefix = suffix.substr(0, suffix.size() - unit.size());
    // Everyone writes MHz for megahertz, and no one means millihertz.
    if (unit == "HZ" && prefix == "M") {
        value *= 1e6;
        return std::isfinite(value);
    }
    for (const Multiplier& multiplier : kMultipliers) {
        if (multiplier.prefix == prefix) {
            value *= multiplier.factor;
            return std::isfinite(value);
        }
    }
    return false;
}

}  // namespace qvzsim
