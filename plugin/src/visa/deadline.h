// The point in time by which one whole I/O operation must be done. The
// session timeout bounds an operation as a whole, not each byte, so every
// wait inside it asks the deadline how much time is left.
#ifndef QVZ_VISA_DEADLINE_H
#define QVZ_VISA_DEADLINE_H

#include <chrono>
#include <cstdint>

#include "visa/visa.h"

namespace qvz {
namespace visa {

class Deadline {
public:
    using Clock = std::chrono::steady_clock;

    // A deadline `timeoutMs` from now; VI_TMO_INFINITE never expires.
    static Deadline After(ViUInt32 timeoutMs) {
        if (timeoutMs == VI_TMO_INFINITE) {
            return Deadline(Clock::time_point::max(), true);
        }
        return Deadline(Clock::now() + std::chrono::milliseconds(timeoutMs), false);
    }
    static Deadline Never() { return Deadline(Clock::time_point::max(), true); }

    bool Infinite() const { return infinite_; }
    Clock::time_point At() const { return at_; }
    bool Expired() const { return !infinite_ && Clock::now() >= at_; }

    // Time left, rounded up to whole milliseconds so that a wait never ends
    // just before the deadline and spins; -1 for an infinite deadline; capped
    // to what a poll-style int timeout can carry.
    int RemainingMsForPoll() const {
        if (infinite_) {
            return -1;
        }
        const auto now = Clock::now();
        if (now >= at_) {
            return 0;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(at_ - now).count();
        constexpr std::int64_t kMaxWaitMs = 0x7FFFFFFF;
        return static_cast<int>(left > kMaxWaitMs ? kMaxWaitMs : left);
    }

private:
    Deadline(Clock::time_point at, bool infinite) : at_(at), infinite_(infinite) {}

    Clock::time_point at_;
    bool infinite_;
};

}  // namespace visa
}  // namespace qvz

#endif
