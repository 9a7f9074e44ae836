// The fixture simulator's arithmetic on one port: a two-port network put in
// front of the device (embedding) or taken away from a measurement
// (de-embedding), and the interpolation of a network's file data onto a
// channel's sweep. Port 1 of every network faces the analyzer, port 2 the
// device.
#ifndef QVZSIM_FIXTURE_MATH_H
#define QVZSIM_FIXTURE_MATH_H

#include <complex>
#include <vector>

#include "qvzsim/touchstone_reader.h"

namespace qvzsim {

using Complex = std::complex<double>;

struct TwoPort {
    Complex s11, s21, s12, s22;
};

// What the analyzer sees through `network` when the device reflects `gamma`:
// S11 + S12*S21*gamma / (1 - S22*gamma).
Complex Embed(const TwoPort& network, Complex gamma);

// The inverse: the device's reflection when `measured` was seen through
// `network`: (measured - S11) / (S12*S21 + S22*(measured - S11)).
// Where either division has no finite result (a network without transmission,
// or a lossless network facing a total reflection) the result is NaN.
Complex Deembed(const TwoPort& network, Complex measured);

// Linear interpolation of real and imaginary parts between the two nearest
// `frequencies` (strictly increasing, at least one); outside the range the
// nearest end value. `values` holds one entry per frequency.
std::vector<Complex> InterpolateOnto(const std::vector<double>& frequencies,
                                     const std::vector<Complex>& values,
                                     const std::vector<double>& targets);

// The network of a two-port file at each of `targets`, interpolated as above.
std::vector<TwoPort> NetworkOnto(const TouchstoneData& data, const std::vector<double>& targets);

// -20*log10|value|: return loss of a reflection, or the loss of a
// transmission, in dB (a positive number for a passive network). Infinite
// for 0, NaN for NaN.
double LossDb(Complex value);

}  // namespace qvzsim

#endif
