// The emulator's activity log: one readable line per command, reply, error
// and state change, on standard output unless told otherwise. Lines from
// several connections never interleave within a line.
#ifndef QVZSIM_LOGGER_H
#define QVZSIM_LOGGER_H

#include <chrono>
#include <mutex>
#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

namespace qvzsim {

class Logger {
public:
    // `sink` nullptr means standard output. A quiet logger writes nothing.
    explicit Logger(std::ostream* sink = nullptr, bool quiet = false);

    bool Enabled() const { return !quiet_; }

    // Writes "[   1.234] <text>" with the seconds since the logger was made.
    void Write(std::string_view text);

private:
    std::ostream* sink_;
    bool quiet_;
    std::chrono::steady_clock::time_point start_;
    std::mutex mutex_;
};

// Shortens a reply or command for the log: long texts keep their head and
// say how many bytes there were.
std::string Abbreviate(std::string_view text, std::size_t maxLength = 120);

}  // namespace qvzsim

#endif
