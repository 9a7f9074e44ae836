// The instrument's SCPI error/event queue: oldest entry first, bounded, and
// with the standard overflow rule (the newest entry turns into -350).
#ifndef QVZSIM_ERROR_QUEUE_H
#define QVZSIM_ERROR_QUEUE_H

#include <cstddef>
#include <deque>
#include <string>

namespace qvzsim {

namespace errors {
constexpr int kNoError = 0;
constexpr int kSyntaxError = -102;
constexpr int kDataTypeError = -104;
constexpr int kParameterNotAllowed = -108;
constexpr int kMissingParameter = -109;
constexpr int kUndefinedHeader = -113;
constexpr int kExecutionError = -200;
constexpr int kHeaderSuffixOutOfRange = -114;
constexpr int kInvalidSuffix = -131;
constexpr int kSuffixNotAllowed = -138;
constexpr int kDataOutOfRange = -222;
constexpr int kTooMuchData = -223;
constexpr int kIllegalParameterValue = -224;
constexpr int kFileNameNotFound = -256;
constexpr int kQueueOverflow = -350;
// Device-specific (positive) errors of the fixture simulator.
constexpr int kInvalidTouchstoneFile = 101;
constexpr int kSweepNotCovered = 102;
}  // namespace errors

// The standard text of a SCPI error number (or of one of ours); a generic
// text for numbers it does not know.
const char* StandardErrorText(int code);

struct ErrorEntry {
    int code = 0;
    std::string message;
};

class ErrorQueue {
public:
    static constexpr std::size_t kDefaultCapacity = 32;

    explicit ErrorQueue(std::size_t capacity = kDefaultCapacity);

    // Adds an entry; an empty message takes the standard text. Double quotes
    // in the message become single quotes so that the reply stays parseable.
    void Push(int code, std::string message = {});
    // Removes and returns the oldest entry, or 0,"No error" when empty.
    ErrorEntry Pop();
    std::size_t Size() const { return entries_.size(); }
    std::size_t Capacity() const { return capacity_; }
    void Clear() { entries_.clear(); }

private:
    std::size_t capacity_;
    std::deque<ErrorEntry> entries_;
};

// Formats an entry as the reply to ":SYST:ERR?": <n>,"<message>".
std::string FormatErrorEntry(const ErrorEntry& entry);

}  // namespace qvzsim

#endif
