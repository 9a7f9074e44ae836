// The emulated analyzer's state: channels with their sweeps, the fixture
// simulator of each channel and port, and the error queue. Every member is
// thread-safe; the connections of all clients share one Instrument.
// Arguments are checked by the command dispatcher; here channels are 1..N
// and ports 1..4, and a bad one throws std::out_of_range.
#ifndef QVZSIM_INSTRUMENT_H
#define QVZSIM_INSTRUMENT_H

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "qvzsim/dut.h"
#include "qvzsim/error_queue.h"
#include "qvzsim/instrument_state.h"
#include "qvzsim/logger.h"
#include "qvzsim/status_registers.h"
#include "qvzsim/touchstone_reader.h"

namespace qvzsim {

enum class FixtureFunction { kMatching, kDeembedding };

class Instrument {
public:
    // `config` must be valid (see ValidateConfig). `logger` may be nullptr.
    explicit Instrument(InstrumentConfig config = {}, Logger* logger = nullptr);

    // Empty when valid, else what is wrong with it.
    static std::string ValidateConfig(const InstrumentConfig& config);

    const InstrumentConfig& Config() const { return config_; }
    int ChannelCount() const { return config_.channels; }
    InstrumentSnapshot Snapshot() const;

    // *RST: every channel back to the configured sweep, the configured active
    // channel, the fixture simulator off and cleared. The error queue stays.
    void Reset();

    int ActiveChannel() const;
    void SetActiveChannel(int channel);

    SweepSettings GetSweep(int channel) const;
    std::vector<double> SweepFrequencies(int channel) const;
    // Each returns 0 or the SCPI error to report (-222 when out of range; a
    // start must stay below the stop when the sweep has several points).
    int SetSweepPoints(int channel, long points);
    int SetStartFrequency(int channel, double hertz);
    int SetStopFrequency(int channel, double hertz);

    bool SimulatorState(int channel) const;
    void SetSimulatorState(int channel, bool on);
    bool GetChannelState(int channel, FixtureFunction function) const;
    void SetChannelState(int channel, FixtureFunction function, bool on);
    bool GetPortState(int channel, int port, FixtureFunction function) const;
    void SetPortState(int channel, int port, FixtureFunction function, bool on);
    std::string PortFile(int channel, int port, FixtureFunction function) const;

    // FILename: an empty name clears the port's file; otherwise the file is
    // read and checked (outside the lock, so other clients are not held up)
    // and stored when valid. Returns the entry to queue, code 0 on success.
    // A failed load leaves the port as it was.
    ErrorEntry LoadPortFile(int channel, int port, FixtureFunction function,
                            const std::string& fileName);

    void PushError(int code, std::string message = {});
    ErrorEntry PopError();
    std::size_t ErrorCount() const;
    void ClearErrors();

    // The devices on the ports and the IEEE 488.2 status registers; each is
    // thread-safe on its own. Queued errors set the status events.
    DeviceBank& Devices() { return devices_; }
    // Loads the device of `port` (see DeviceBank::load) and logs it.
    ErrorEntry LoadDevice(int port, const std::string& file);
    const DeviceBank& Devices() const { return devices_; }
    StatusRegisters& GetStatus() { return status_; }

private:
    ChannelState& ChannelRef(int channel);
    const ChannelState& ChannelRef(int channel) const;
    FixtureSlot& SlotRef(int channel, int port, FixtureFunction function);
    void WriteLog(const std::string& text) const;

    const InstrumentConfig config_;
    Logger* logger_;
    mutable std::mutex mutex_;
    int activeChannel_;
    std::vector<ChannelState> channels_;
    ErrorQueue errors_;
    DeviceBank devices_;
    StatusRegisters status_;
};

// "matching circuit" / "de-embedding", for logs and reports.
const char* FunctionName(FixtureFunction function);

}  // namespace qvzsim

#endif
