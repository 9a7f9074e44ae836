#include "qvzsim/faults.h"

#include <algorithm>
#include <optional>

#include "qvzsim/scpi_parser.h"

namespace qvzsim {
namespace {

bool Matches(const ResolvedCommand& pattern, const ResolvedCommand& command) {
    if (pattern.id != command.id || pattern.query != command.query) {
        return false;
    }
    for (int i = 0; i < pattern.suffixCount; ++i) {
        const std::size_t slot = static_cast<std::size_t>(i);
        if (pattern.suffixWritten[slot] && pattern.suffixes[slot] != command.suffixes[slot]) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool Faults::Arm(Kind kind, std::string_view header, int times, int delayMs) {
    if (times != kAlways && times < 1) {
        return false;
    }
    ScpiCommand parsed;
    if (!ParseHeader(header, parsed)) {
        return false;
    }
    std::optional<ResolvedCommand> resolved = ResolveHeader(parsed);
    if (!resolved || IsFaultControl(resolved->id)) {
        return false;
    }
    if (kind != Kind::kDelay && !resolved->query) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    armed_.push_back(Armed{kind, *resolved, times, delayMs});
    return true;
}

bool Faults::Silence(std::string_view header, int times) {
    return Arm(Kind::kSilence, header, times, 0);
}

bool Faults::Delay(std::string_view header, int milliseconds, int times) {
    if (milliseconds < 0) {
        return false;
    }
    return Arm(Kind::kDelay, header, times, milliseconds);
}

bool Faults::Garbage(std::string_view header, int times) {
    return Arm(Kind::kGarbage, header, times, 0);
}

bool Faults::CloseAfter(int commands) {
    if (commands < 1) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    closeCountdown_ = commands;
    return true;
}

bool Faults::Segment(std::size_t segmentBytes, int pauseMicroseconds) {
    if (segmentBytes == 0 || pauseMicroseconds < 0) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    segmentation_ = ReplySegmentation{segmentBytes, pauseMicroseconds};
    return true;
}

ReplySegmentation Faults::Segmentation() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return segmentation_;
}

void Faults::Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    armed_.clear();
    closeCountdown_ = 0;
    segmentation_ = ReplySegmentation{};
}

std::size_t Faults::ArmedCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return armed_.size() + (closeCountdown_ > 0 ? 1u : 0u) + (segmentation_.bytes > 0 ? 1u : 0u);
}

FaultAction Faults::OnCommand(const ResolvedCommand& command) {
    FaultAction action;
    if (IsFaultControl(command.id)) {
        return action;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (closeCountdown_ > 0 && --closeCountdown_ == 0) {
        action.closeConnection = true;
    }
    for (Armed& fault : armed_) {
        if (!Matches(fault.pattern, command)) {
            continue;
        }
        switch (fault.kind) {
            case Kind::kSilence:
                action.silence = true;
                break;
            case Kind::kGarbage:
                action.garbage = true;
                break;
            case Kind::kDelay:
                action.delayMs += fault.delayMs;
                break;
        }
        if (fault.remaining != kAlways) {
            --fault.remaining;
        }
    }
    armed_.erase(std::remove_if(armed_.begin(), armed_.end(),
                                [](const Armed& fault) { return fault.remaining == 0; }),
                 armed_.end());
    return action;
}

}  // namespace qvzsim
