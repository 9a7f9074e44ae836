#include "qvzsim/instrument.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <utility>

#include "qvzsim/sweep.h"

namespace qvzsim {
namespace {

const char* OnOff(bool on) {
    return on ? "ON" : "OFF";
}

// "10 MHz", "8.5 GHz": readable frequencies for the log and for messages.
std::string FormatHz(double hertz) {
    const char* unit = "Hz";
    double value = hertz;
    if (std::fabs(hertz) >= 1e9) {
        unit = "GHz";
        value = hertz / 1e9;
    } else if (std::fabs(hertz) >= 1e6) {
        unit = "MHz";
        value = hertz / 1e6;
    } else if (std::fabs(hertz) >= 1e3) {
        unit = "kHz";
        value = hertz / 1e3;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.10g %s", value, unit);
    return text;
}

bool ValidSweep(const SweepSettings& sweep) {
    const bool inRange = std::isfinite(sweep.startHz) && std::isfinite(sweep.stopHz) &&
                         sweep.startHz >= 0.0 && sweep.stopHz <= kMaxFrequencyHz;
    if (!inRange || sweep.points < 1 || sweep.points > kMaxPoints) {
        return false;
    }
    // Several points need a rising sweep: a file can only cover increasing
    // frequencies.
    return sweep.points == 1 ? sweep.startHz <= sweep.stopHz : sweep.startHz < sweep.stopHz;
}

}  // namespace

const char* FunctionName(FixtureFunction function) {
    return function == FixtureFunction::kMatching ? "matching circuit" : "de-embedding";
}

std::string Instrument::ValidateConfig(const InstrumentConfig& config) {
    if (config.channels < 1 || config.channels > kMaxChannels) {
        return "the number of channels must be 1 to " + std::to_string(kMaxChannels);
    }
    if (config.activeChannel < 1 || config.activeChannel > config.channels) {
        return "the active channel must be 1 to " + std::to_string(config.channels);
    }
    if (config.sweep.points < 1 || config.sweep.points > kMaxPoints) {
        return "the number of points must be 1 to " + std::to_string(kMaxPoints);
    }
    if (!ValidSweep(config.sweep)) {
        return "the sweep needs 0 <= start < stop <= 1e12 Hz";
    }
    if (config.errorQueueCapacity < 2) {
        return "the error queue needs room for two entries (one for the overflow mark)";
    }
    return {};
}

Instrument::Instrument(InstrumentConfig config, Logger* logger)
    : config_(std::move(config)),
      logger_(logger),
      activeChannel_(config_.activeChannel),
      errors_(config_.errorQueueCapacity) {
    const std::string problem = ValidateConfig(config_);
    if (!problem.empty()) {
        throw std::invalid_argument("qvzsim: " + problem);
    }
    ChannelState channel;
    channel.sweep = config_.sweep;
    channels_.assign(static_cast<std::size_t>(config_.channels), channel);
}

void Instrument::WriteLog(const std::string& text) const {
    if (logger_ != nullptr) {
        logger_->Write(text);
    }
}

ChannelState& Instrument::ChannelRef(int channel) {
    if (channel < 1 || channel > config_.channels) {
        throw std::out_of_range("qvzsim: no channel " + std::to_string(channel));
    }
    return channels_[static_cast<std::size_t>(channel - 1)];
}

const ChannelState& Instrument::ChannelRef(int channel) const {
    return const_cast<Instrument*>(this)->ChannelRef(channel);
}

FixtureSlot& Instrument::SlotRef(int channel, int port, FixtureFunction function) {
    if (port < 1 || port > kPortCount) {
        throw std::out_of_range("qvzsim: no port " + std::to_string(port));
    }
    PortState& state = ChannelRef(channel).Port(port);
    return function == FixtureFunction::kMatching ? state.matching : state.deembedding;
}

InstrumentSnapshot Instrument::Snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    InstrumentSnapshot snapshot;
    snapshot.activeChannel = activeChannel_;
    snapshot.channels = channels_;
    snapshot.errorCount = errors_.Size();
    return snapshot;
}

void Instrument::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    activeChannel_ = config_.activeChannel;
    ChannelState fresh;
    fresh.sweep = config_.sweep;
    std::fill(channels_.begin(), channels_.end(), fresh);
    WriteLog("reset: configured sweeps restored, fixture simulator off and cleared");
}

int Instrument::ActiveChannel() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return activeChannel_;
}

void Instrument::SetActiveChannel(int channel) {
    std::lock_guard<std::mutex> lock(mutex_);
    ChannelRef(channel);  // checks the number
    if (activeChannel_ != channel) {
        WriteLog("active channel " + std::to_string(activeChannel_) + " -> " +
                 std::to_string(channel));
        activeChannel_ = channel;
    }
}

SweepSettings Instrument::GetSweep(int channel) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ChannelRef(channel).sweep;
}

std::vector<double> Instrument::SweepFrequencies(int channel) const {
    return qvzsim::SweepFrequencies(GetSweep(channel));
}

int Instrument::SetSweepPoints(int channel, long points) {
    std::lock_guard<std::mutex> lock(mutex_);
    ChannelState& state = ChannelRef(channel);
    SweepSettings changed = state.sweep;
    if (points < 1 || points > kMaxPoints) {
        return errors::kDataOutOfRange;
    }
    changed.points = static_cast<int>(points);
    if (!ValidSweep(changed)) {
        return errors::kDataOutOfRange;
    }
    state.sweep = changed;
    WriteLog("channel " + std::to_string(channel) + ": " + std::to_string(points) + " points");
    return 0;
}

int Instrument::SetStartFrequency(int channel, double hertz) {
    std::lock_guard<std::mutex> lock(mutex_);
    ChannelState& state = ChannelRef(channel);
    SweepSettings changed = state.sweep;
    changed.startHz = hertz;
    if (!ValidSweep(changed)) {
        return errors::kDataOutOfRange;
    }
    state.sweep = changed;
    WriteLog("channel " + std::to_string(channel) + ": start " + FormatHz(hertz));
    return 0;
}

int Instrument::SetStopFrequency(int channel, double hertz) {
    std::lock_guard<std::mutex> lock(mutex_);
    ChannelState& state = ChannelRef(channel);
    SweepSettings changed = state.sweep;
    changed.stopHz = hertz;
    if (!ValidSweep(changed)) {
        return errors::kDataOutOfRange;
    }
    state.sweep = changed;
    WriteLog("channel " + std::to_string(channel) + ": stop " + FormatHz(hertz));
    return 0;
}

bool Instrument::SimulatorState(int channel) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ChannelRef(channel).simulatorOn;
}

void Instrument::SetSimulatorState(int channel, bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    bool& state = ChannelRef(channel).simulatorOn;
    if (state != on) {
        WriteLog("channel " + std::to_string(channel) + ": fixture simulator " + OnOff(state) +
                 " -> " + OnOff(on));
        state = on;
    }
}

bool Instrument::GetChannelState(int channel, FixtureFunction function) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const ChannelState& state = ChannelRef(channel);
    return function == FixtureFunction::kMatching ? state.matchingOn : state.deembeddingOn;
}

void Instrument::SetChannelState(int channel, FixtureFunction function, bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    ChannelState& channelState = ChannelRef(channel);
    bool& state = function == FixtureFunction::kMatching ? channelState.matchingOn
                                                         : channelState.deembeddingOn;
    if (state != on) {
        WriteLog("channel " + std::to_string(channel) + ": " + FunctionName(function) + " " +
                 OnOff(state) + " -> " + OnOff(on));
        state = on;
    }
}

bool Instrument::GetPortState(int channel, int port, FixtureFunction function) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return const_cast<Instrument*>(this)->SlotRef(channel, port, function).on;
}

void Instrument::SetPortState(int channel, int port, FixtureFunction function, bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    FixtureSlot& slot = SlotRef(channel, port, function);
    if (slot.on != on) {
        WriteLog("channel " + std::to_string(channel) + " port " + std::to_string(port) + ": " +
                 FunctionName(function) + " " + OnOff(slot.on) + " -> " + OnOff(on));
        slot.on = on;
    }
}

std::string Instrument::PortFile(int channel, int port, FixtureFunction function) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return const_cast<Instrument*>(this)->SlotRef(channel, port, function).file;
}

ErrorEntry Instrument::LoadPortFile(int channel, int port, FixtureFunction function,
                                    const std::string& fileName) {
    const std::string where = "channel " + std::to_string(channel) + " port " +
                              std::to_string(port) + ": " + FunctionName(function);
    if (fileName.empty()) {
        std::lock_guard<std::mutex> lock(mutex_);
        FixtureSlot& slot = SlotRef(channel, port, function);
        if (!slot.file.empty()) {
            WriteLog(where + " file cleared (was " + slot.file + ")");
        }
        slot.file.clear();
        slot.filePoints = 0;
        slot.data.reset();
        return ErrorEntry{};
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        SlotRef(channel, port, function);  // checks the numbers before the read
    }

    // The read can take tens of milliseconds for a large file: no lock held.
    TouchstoneResult file = ReadTouchstoneFile(fileName);
    if (file.status == TouchstoneStatus::kNotFound) {
        WriteLog(where + " cannot open " + fileName);
        return ErrorEntry{errors::kFileNameNotFound, StandardErrorText(errors::kFileNameNotFound)};
    }
    if (file.status == TouchstoneStatus::kInvalid) {
        WriteLog(where + " refuses " + fileName + ": " + file.reason);
        return ErrorEntry{
            errors::kInvalidTouchstoneFile,
            std::string(StandardErrorText(errors::kInvalidTouchstoneFile)) + "; " + file.reason};
    }

    std::lock_guard<std::mutex> lock(mutex_);
    const SweepSettings sweep = ChannelRef(channel).sweep;
    const double low = std::min(sweep.startHz, sweep.stopHz);
    const double high = sweep.points == 1 ? low : std::max(sweep.startHz, sweep.stopHz);
    const std::string fileRange = FormatHz(file.data.frequenciesHz.front()) + " to " +
                                  FormatHz(file.data.frequenciesHz.back());
    if (!CoversRange(file.data, low, high)) {
        std::string message = std::string(StandardErrorText(errors::kSweepNotCovered)) + "; file " +
                              fileRange + ", sweep " + FormatHz(low) + " to " + FormatHz(high);
        WriteLog(where + " refuses " + fileName + ": " + message);
        return ErrorEntry{errors::kSweepNotCovered, std::move(message)};
    }
    FixtureSlot& slot = SlotRef(channel, port, function);
    slot.file = fileName;
    slot.filePoints = file.data.GetPoints();
    slot.data = std::make_shared<const TouchstoneData>(std::move(file.data));
    WriteLog(where + " file " + fileName + " (" + std::to_string(slot.filePoints) + " points, " +
             fileRange + ")");
    return ErrorEntry{};
}

ErrorEntry Instrument::LoadDevice(int port, const std::string& file) {
    ErrorEntry outcome = devices_.Load(port, file);
    const std::string where = "port " + std::to_string(port) + ": device ";
    if (outcome.code != 0) {
        WriteLog(where + "file " + file + " refused: " + outcome.message);
    } else {
        WriteLog(where + (file.empty() ? std::string("built-in small antenna") : file));
    }
    return outcome;
}

void Instrument::PushError(int code, std::string message) {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool room = errors_.Size() < errors_.Capacity();
    const std::string text = message.empty() ? std::string(StandardErrorText(code)) : message;
    errors_.Push(code, std::move(message));
    status_.RecordError(code);
    if (room) {
        WriteLog("error queued: " + std::to_string(code) + ", " + text);
    } else {
        WriteLog("error queue full: " + std::to_string(code) + " lost");
    }
}

ErrorEntry Instrument::PopError() {
    std::lock_guard<std::mutex> lock(mutex_);
    return errors_.Pop();
}

std::size_t Instrument::ErrorCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return errors_.Size();
}

void Instrument::ClearErrors() {
    std::lock_guard<std::mutex> lock(mutex_);
    errors_.Clear();
}

}  // namespace qvzsim
