// What clients did to a server, for tests that check the wire: the program
// messages received, byte for byte, and the connections whose client hung
// up. Thread-safe; the waits are bounded.
#ifndef QVZSIM_TRAFFIC_RECORD_H
#define QVZSIM_TRAFFIC_RECORD_H

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace qvzsim {

class TrafficRecord {
public:
    // `keepMessages` false keeps none (a long-running server would grow);
    // hang-ups are counted either way.
    explicit TrafficRecord(bool keepMessages) : keepMessages_(keepMessages) {}

    void AddMessage(std::string_view message);
    void AddHangUp();

    // Every message kept, over all connections, in the order they were read.
    std::vector<std::string> Messages() const;
    // Connections that ended because their client closed its end.
    int HangUps() const;

    bool WaitForMessages(std::size_t count, std::chrono::milliseconds timeout) const;
    bool WaitForHangUps(int count, std::chrono::milliseconds timeout) const;

private:
    const bool keepMessages_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<std::string> messages_;
    int hangUps_ = 0;
};

}  // namespace qvzsim

#endif
