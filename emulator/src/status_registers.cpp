#include "qvzsim/status_registers.h"

namespace qvzsim {

StatusRegisters::StatusRegisters() = default;

void StatusRegisters::RecordError(int code) {
    unsigned bit = 0;
    if (code > 0 || (code <= -300 && code > -400)) {
        bit = status::kDeviceError;
    } else if (code <= -100 && code > -200) {
        bit = status::kCommandError;
    } else if (code <= -200 && code > -300) {
        bit = status::kExecutionError;
    } else if (code <= -400 && code > -500) {
        bit = status::kQueryError;
    }
    SetEvents(bit);
}

void StatusRegisters::SetEvents(unsigned bits) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_ |= bits & 0xFFu;
}

unsigned StatusRegisters::TakeEvents() {
    std::lock_guard<std::mutex> lock(mutex_);
    const unsigned value = events_;
    events_ = 0;
    return value;
}

unsigned StatusRegisters::EventEnable() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return eventEnable_;
}

void StatusRegisters::SetEventEnable(unsigned mask) {
    std::lock_guard<std::mutex> lock(mutex_);
    eventEnable_ = mask & 0xFFu;
}

unsigned StatusRegisters::ServiceEnable() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return serviceEnable_;
}

void StatusRegisters::SetServiceEnable(unsigned mask) {
    std::lock_guard<std::mutex> lock(mutex_);
    serviceEnable_ = mask & 0xFFu & ~status::kMasterSummary;
}

unsigned StatusRegisters::TakeOperationEvents() {
    std::lock_guard<std::mutex> lock(mutex_);
    const unsigned value = operationEvents_;
    operationEvents_ = 0;
    return value;
}

unsigned StatusRegisters::TakeQuestionableEvents() {
    std::lock_guard<std::mutex> lock(mutex_);
    const unsigned value = questionableEvents_;
    questionableEvents_ = 0;
    return value;
}

void StatusRegisters::ClearEvents() {
    std::lock_guard<std::mutex> lock(mutex_);
    events_ = 0;
    operationEvents_ = 0;
    questionableEvents_ = 0;
}

void StatusRegisters::Preset() {
    std::lock_guard<std::mutex> lock(mutex_);
    operationEnable_ = 0;
    questionableEnable_ = 0;
}

unsigned StatusRegisters::StatusByte(bool errorQueueNotEmpty) const {
    std::lock_guard<std::mutex> lock(mutex_);
    unsigned byte = 0;
    if (errorQueueNotEmpty) {
        byte |= status::kErrorQueueNotEmpty;
    }
    if ((questionableEvents_ & questionableEnable_) != 0) {
        byte |= status::kQuestionableSummary;
    }
    if ((events_ & eventEnable_) != 0) {
        byte |= status::kEventSummary;
    }
    if ((operationEvents_ & operationEnable_) != 0) {
        byte |= status::kOperationSummary;
    }
    if ((byte & serviceEnable_) != 0) {
        byte |= status::kMasterSummary;
    }
    return byte;
}

}  // namespace qvzsim
