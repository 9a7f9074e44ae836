#include "qvzsim/port_measurement.h"

#include <cstddef>

#include "qvzsim/sweep.h"

namespace qvzsim {
namespace {

bool Applies(const ChannelState& channel, const FixtureSlot& slot, bool channelOn) {
    return channel.simulatorOn && channelOn && slot.on && slot.data != nullptr;
}

}  // namespace

std::vector<double> EveryKth(const std::vector<double>& values, std::size_t step) {
    if (step <= 1 || values.empty()) {
        return values;
    }
    std::vector<double> kept;
    kept.reserve(values.size() / step + 2);
    for (std::size_t i = 0; i < values.size(); i += step) {
        kept.push_back(values[i]);
    }
    if ((values.size() - 1) % step != 0) {
        kept.push_back(values.back());
    }
    return kept;
}

PortMeasurement MeasurePort(const ChannelState& channel, int port, const Device& device,
                            std::size_t step) {
    PortMeasurement m;
    m.frequencies = EveryKth(SweepFrequencies(channel.sweep), step);
    m.raw = device.Reflection(m.frequencies);
    m.simulated = m.raw;

    const PortState& state = channel.Port(port);
    const struct {
        FixtureFunction function;
        const FixtureSlot& slot;
        bool channelOn;
    } order[] = {{FixtureFunction::kDeembedding, state.deembedding, channel.deembeddingOn},
                 {FixtureFunction::kMatching, state.matching, channel.matchingOn}};
    for (const auto& stage : order) {
        if (stage.slot.data == nullptr) {
            continue;
        }
        LoadedNetwork network;
        network.function = stage.function;
        network.file = stage.slot.file;
        network.applied = Applies(channel, stage.slot, stage.channelOn);
        network.sParameters = NetworkOnto(*stage.slot.data, m.frequencies);
        if (network.applied) {
            for (std::size_t i = 0; i < m.simulated.size(); ++i) {
                m.simulated[i] = stage.function == FixtureFunction::kDeembedding
                                     ? Deembed(network.sParameters[i], m.simulated[i])
                                     : Embed(network.sParameters[i], m.simulated[i]);
            }
        }
        m.networks.push_back(std::move(network));
    }
    return m;
}

PortMeasurement MeasurePort(const Instrument& instrument, int channel, int port, std::size_t step) {
    const InstrumentSnapshot snapshot = instrument.Snapshot();
    return MeasurePort(snapshot.Channel(channel), port, *instrument.Devices().GetDevice(port),
                       step);
}

}  // namespace qvzsim
