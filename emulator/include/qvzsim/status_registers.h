// The IEEE 488.2 status registers: the standard event status register with
// its enable mask, the service request enable mask and the status byte built
// from them, plus the SCPI operation and questionable event registers.
// Thread-safe; one set per instrument, shared by every connection.
#ifndef QVZSIM_STATUS_REGISTERS_H
#define QVZSIM_STATUS_REGISTERS_H

#include <mutex>

namespace qvzsim {

namespace status {
// Standard event status register (*ESR?).
constexpr unsigned kOperationComplete = 1u;
constexpr unsigned kQueryError = 4u;
constexpr unsigned kDeviceError = 8u;
constexpr unsigned kExecutionError = 16u;
constexpr unsigned kCommandError = 32u;
constexpr unsigned kPowerOn = 128u;
// Status byte (*STB?).
constexpr unsigned kErrorQueueNotEmpty = 4u;
constexpr unsigned kQuestionableSummary = 8u;
constexpr unsigned kEventSummary = 32u;
constexpr unsigned kMasterSummary = 64u;
constexpr unsigned kOperationSummary = 128u;
}  // namespace status

class StatusRegisters {
public:
    // Power-on: the PON event is set, every mask cleared.
    StatusRegisters();

    // An entry went into the error queue: sets the event bit of its class
    // (-1xx command, -2xx execution, -3xx and device-specific device,
    // -4xx query error).
    void RecordError(int code);
    void SetEvents(unsigned bits);
    // *ESR?: returns the register and clears it.
    unsigned TakeEvents();
    unsigned EventEnable() const;
    void SetEventEnable(unsigned mask);
    unsigned ServiceEnable() const;
    void SetServiceEnable(unsigned mask);  // bit 6 cannot be enabled
    // STATus:OPERation[:EVENt]? and STATus:QUEStionable[:EVENt]?: read and clear.
    unsigned TakeOperationEvents();
    unsigned TakeQuestionableEvents();
    // *CLS: every event register cleared (the masks stay).
    void ClearEvents();
    // STATus:PRESet: the SCPI registers' enable masks back to their preset.
    void Preset();
    // *STB?: the status byte, the error queue's state given by the caller.
    unsigned StatusByte(bool errorQueueNotEmpty) const;

private:
    mutable std::mutex mutex_;
    unsigned events_ = status::kPowerOn;
    unsigned eventEnable_ = 0;
    unsigned serviceEnable_ = 0;
    unsigned operationEvents_ = 0;
    unsigned operationEnable_ = 0;
    unsigned questionableEvents_ = 0;
    unsigned questionableEnable_ = 0;
};

}  // namespace qvzsim

#endif
