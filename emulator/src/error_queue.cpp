#include "qvzsim/error_queue.h"

#include <algorithm>
#include <utility>

#include "qvzsim/scpi_parser.h"

namespace qvzsim {

const char* StandardErrorText(int code) {
    switch (code) {
        case errors::kNoError:
            return "No error";
        case -100:
            return "Command error";
        case errors::kSyntaxError:
            return "Syntax error";
        case errors::kDataTypeError:
            return "Data type error";
        case errors::kParameterNotAllowed:
            return "Parameter not allowed";
        case errors::kMissingParameter:
            return "Missing parameter";
        case errors::kUndefinedHeader:
            return "Undefined header";
        case errors::kHeaderSuffixOutOfRange:
            return "Header suffix out of range";
        case errors::kInvalidSuffix:
            return "Invalid suffix";
        case errors::kSuffixNotAllowed:
            return "Suffix not allowed";
        case errors::kExecutionError:
            return "Execution error";
        case errors::kDataOutOfRange:
            return "Data out of range";
        case errors::kTooMuchData:
            return "Too much data";
        case errors::kIllegalParameterValue:
            return "Illegal parameter value";
        case errors::kFileNameNotFound:
            return "File name not found";
        case errors::kQueueOverflow:
            return "Queue overflow";
        case errors::kInvalidTouchstoneFile:
            return "Not a valid two-port Touchstone file";
        case errors::kSweepNotCovered:
            return "File frequencies do not cover the sweep";
        default:
            return code < 0 ? "Error" : "Device-specific error";
    }
}

// Two at least: the newest slot may turn into the overflow mark, and one
// real entry must survive it.
ErrorQueue::ErrorQueue(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 2)) {}

void ErrorQueue::Push(int code, std::string message) {
    if (message.empty()) {
        message = StandardErrorText(code);
    }
    // The reply is <n>,"<message>" and clients read the message up to the
    // next double quote; 255 characters is the SCPI limit for the string.
    std::replace(message.begin(), message.end(), '"', '\'');
    std::replace(message.begin(), message.end(), '\n', ' ');
    if (message.size() > 255) {
        message.resize(255);
    }
    if (entries_.size() < capacity_) {
        entries_.push_back(ErrorEntry{code, std::move(message)});
        return;
    }
    // Full: the oldest entries stay, the newest becomes the overflow marker
    // and anything later is lost.
    ErrorEntry& newest = entries_.back();
    if (newest.code != errors::kQueueOverflow) {
        newest = ErrorEntry{errors::kQueueOverflow, StandardErrorText(errors::kQueueOverflow)};
    }
}

ErrorEntry ErrorQueue::Pop() {
    if (entries_.empty()) {
        return ErrorEntry{errors::kNoError, StandardErrorText(errors::kNoError)};
    }
    ErrorEntry entry = std::move(entries_.front());
    entries_.pop_front();
    return entry;
}

std::string FormatErrorEntry(const ErrorEntry& entry) {
    return std::to_string(entry.code) + "," + QuoteString(entry.message);
}

}  // namespace qvzsim
