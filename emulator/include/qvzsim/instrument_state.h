// Plain records of the emulated instrument: its configuration and a copy of
// its whole state, as handed to tests and to the state report.
#ifndef QVZSIM_INSTRUMENT_STATE_H
#define QVZSIM_INSTRUMENT_STATE_H

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "qvzsim/error_queue.h"
#include "qvzsim/sweep.h"
#include "qvzsim/touchstone_reader.h"

namespace qvzsim {

constexpr int kPortCount = 4;
constexpr int kMaxChannels = 16;
constexpr int kMaxPoints = 200001;
constexpr double kMaxFrequencyHz = 1e12;

struct InstrumentConfig {
    int channels = 1;
    int activeChannel = 1;
    SweepSettings sweep;  // every channel starts with this sweep
    std::size_t errorQueueCapacity = ErrorQueue::kDefaultCapacity;
};

// One fixture-simulator function (port matching circuit or de-embedding) on
// one port: switched on or off, and the Touchstone file it holds.
struct FixtureSlot {
    bool on = false;
    std::string file;                            // empty: no file loaded
    std::size_t filePoints = 0;                  // data points of the loaded file
    std::shared_ptr<const TouchstoneData> data;  // the loaded file's network
};

struct PortState {
    FixtureSlot matching;     // PMCircuit
    FixtureSlot deembedding;  // DEEMbed
};

struct ChannelState {
    SweepSettings sweep;
    bool simulatorOn = false;    // CALC:FSIM:STAT
    bool matchingOn = false;     // CALC:FSIM:SEND:PMC:STAT
    bool deembeddingOn = false;  // CALC:FSIM:SEND:DEEM:STAT
    std::array<PortState, kPortCount> ports{};

    // Ports are numbered 1..4 as on the instrument.
    const PortState& Port(int number) const {
        return ports.at(static_cast<std::size_t>(number - 1));
    }
    PortState& Port(int number) { return ports.at(static_cast<std::size_t>(number - 1)); }
};

struct InstrumentSnapshot {
    int activeChannel = 1;
    std::vector<ChannelState> channels;
    std::size_t errorCount = 0;

    // Channels are numbered from 1 as on the instrument.
    const ChannelState& Channel(int number) const {
        return channels.at(static_cast<std::size_t>(number - 1));
    }
};

}  // namespace qvzsim

#endif
