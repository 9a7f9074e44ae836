// What the emulated analyzer measures on one port of one channel: the
// device's raw reflection over the channel's sweep and the same reflection as
// the fixture simulator presents it.
//
// With the channel's simulator on, the port's de-embedding network is removed
// first (when de-embedding is on for the channel and the port and a file is
// loaded), then the port's matching circuit is added (likewise). Each network
// is a two-port with port 1 towards the analyzer and port 2 towards the
// device.
#ifndef QVZSIM_PORT_MEASUREMENT_H
#define QVZSIM_PORT_MEASUREMENT_H

#include <cstddef>
#include <string>
#include <vector>

#include "qvzsim/dut.h"
#include "qvzsim/fixture_math.h"
#include "qvzsim/instrument.h"
#include "qvzsim/instrument_state.h"

namespace qvzsim {

// A network loaded on the port, on the sweep.
struct LoadedNetwork {
    FixtureFunction function = FixtureFunction::kMatching;
    std::string file;
    bool applied = false;              // whether it acts on the simulated measurement
    std::vector<TwoPort> sParameters;  // one per sweep point
};

struct PortMeasurement {
    std::vector<double> frequencies;
    std::vector<Complex> raw;
    std::vector<Complex> simulated;
    std::vector<LoadedNetwork> networks;  // de-embedding first, then matching
};

// With `step` above 1, only every step-th sweep point (and the last) is
// measured: a screen a few hundred pixels wide needs no more of a long sweep.
PortMeasurement MeasurePort(const ChannelState& channel, int port, const Device& device,
                            std::size_t step = 1);

// The same for the instrument's current state.
PortMeasurement MeasurePort(const Instrument& instrument, int channel, int port,
                            std::size_t step = 1);

// Every step-th value of `values` and the last one.
std::vector<double> EveryKth(const std::vector<double>& values, std::size_t step);

}  // namespace qvzsim

#endif
