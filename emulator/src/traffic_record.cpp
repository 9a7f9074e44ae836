#include "qvzsim/traffic_record.h"

namespace qvzsim {

void TrafficRecord::AddMessage(std::string_view message) {
    if (!keepMessages_) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.emplace_back(message);
    changed_.notify_all();
}

void TrafficRecord::AddHangUp() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++hangUps_;
    changed_.notify_all();
}

std::vector<std::string> TrafficRecord::Messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

int TrafficRecord::HangUps() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return hangUps_;
}

bool TrafficRecord::WaitForMessages(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return messages_.size() >= count; });
}

bool TrafficRecord::WaitForHangUps(int count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return hangUps_ >= count; });
}

}  // namespace qvzsim
