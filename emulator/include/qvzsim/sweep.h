// A channel's linear sweep: its settings and the frequencies they give.
#ifndef QVZSIM_SWEEP_H
#define QVZSIM_SWEEP_H

#include <vector>

namespace qvzsim {

// A linear sweep: f_i = start + i * (stop - start) / (points - 1).
struct SweepSettings {
    int points = 201;
    double startHz = 10e6;
    double stopHz = 8.5e9;
};

// The frequencies of a sweep in hertz, first point `startHz`, last `stopHz`.
std::vector<double> SweepFrequencies(const SweepSettings& sweep);

}  // namespace qvzsim

#endif
