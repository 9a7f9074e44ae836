#include "qvzsim/port_measurement.h"

#include <cstddef>

namespace qvzsim {
namespace {

bool Applies(const ChannelState& channel, const FixtureSlot& slot, bool channelOn) {
    return channel.simulatorOn && channelOn && slot.on && slot.data != nullptr;
}

}  // namespace

PortMeasurement MeasurePort(const ChannelState& channel, int port, const Device& device) {
    PortMeasurement m;
    m.frequencies = SweepFrequencies(channel.sweep);
    m.raw = device.reflection(m.frequencies);
    m.simulated = m.raw;

    const PortState& state = channel.port(port);
    const struct {
        FixtureFunction function;
        const FixtureSlot& slot;
        bool channelOn;
    } order[] = {{FixtureFunction::kDeembedding, state.deembedding, channel.deembeddingOn},
                 {FixtureFunction::kMatching, state.matching, channel.matchingOn}};
    for (const auto& step : order) {
        if (step.slot.data == nullptr) {
            continue;
        }
        LoadedNetwork network;
        network.function = step.function;
        network.file = step.slot.file;
        network.applied = Applies(channel, step.slot, step.channelOn);
        network.sParameters = NetworkOnto(*step.slot.data, m.frequencies);
        if (network.applied) {
            for (std::size_t i = 0; i < m.simulated.size(); ++i) {
                m.simulated[i] = step.function == FixtureFunction::kDeembedding
                                     ? Deembed(network.sParameters[i], m.simulated[i])
                                     : Embed(network.sParameters[i], m.simulated[i]);
            }
        }
        m.networks.push_back(std::move(network));
    }
    return m;
}

PortMeasurement MeasurePort(const Instrument& instrument, int channel, int port) {
    const InstrumentSnapshot snapshot = instrument.snapshot();
    return MeasurePort(snapshot.channel(channel), port, *instrument.devices().device(port));
}

}  // namespace qvzsim
