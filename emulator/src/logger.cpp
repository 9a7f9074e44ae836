#include "qvzsim/logger.h"

#include <cstdio>
#include <iostream>

namespace qvzsim {

Logger::Logger(std::ostream* sink, bool quiet)
    : sink_(sink != nullptr ? sink : &std::cout),
      quiet_(quiet),
      start_(std::chrono::steady_clock::now()) {}

void Logger::Write(std::string_view text) {
    if (quiet_) {
        return;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%9.3f] ", seconds);
    std::lock_guard<std::mutex> lock(mutex_);
    *sink_ << stamp << text << '\n';
    sink_->flush();
}

std::string Abbreviate(std::string_view text, std::size_t maxLength) {
    if (text.size() <= maxLength) {
        return std::string(text);
    }
    return std::string(text.substr(0, maxLength)) + "... (" + std::to_string(text.size()) +
           " bytes)";
}

}  // namespace qvzsim
