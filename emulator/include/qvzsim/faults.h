// Faults on demand, for tests of clients: a query that is never answered, a
// reply that comes late, a reply that is garbage, a connection that is closed
// after a number of commands, replies that trickle out in small segments. A fault names its command
// by header, in any form the instrument accepts ("SENS:SWE:POIN?", "sense2:sweep:points?"): a
// suffix that is written must match, one that is left out matches any. Everything is deterministic
// and thread-safe. (A preset error-queue entry needs no fault: Instrument::pushError, or
// SYSTem:FAULt:ERRor over SCPI.)
#ifndef QVZSIM_FAULTS_H
#define QVZSIM_FAULTS_H

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "qvzsim/command_table.h"

namespace qvzsim {

// What the connection does about one command, as decided by the faults.
struct FaultAction {
    bool silence = false;          // neither run nor answer the query
    bool garbage = false;          // replace the reply with kGarbageReply
    int delayMs = 0;               // wait this long before answering
    bool closeConnection = false;  // close once this command is handled
};

// How replies leave the connection: in segments of `bytes` (0: whole) with
// `pauseMicroseconds` between them.
struct ReplySegmentation {
    std::size_t bytes = 0;
    int pauseMicroseconds = 0;
};

class Faults {
public:
    static constexpr int kAlways = -1;
    static constexpr const char* kGarbageReply = "#!garbage!#";

    // Each arms a fault for the next `times` matching commands (kAlways: for
    // good). They return false, arming nothing, when `header` names no
    // command, names a fault-control command, or `times` is neither positive
    // nor kAlways (or the delay is negative). Silence and garbage apply to
    // queries only.
    bool Silence(std::string_view header, int times = 1);
    bool Delay(std::string_view header, int milliseconds, int times = 1);
    bool Garbage(std::string_view header, int times = 1);

    // The connection that carries the `commands`-th command from now (over
    // all connections; fault-control commands not counted) is closed after
    // that command has been handled and answered. False if commands < 1.
    bool CloseAfter(int commands);

    // Every reply, on every connection, leaves in segments of `segmentBytes`
    // with `pauseMicroseconds` between them, as over a slow link, until
    // Clear(): a client must put a reply together from many reads. False,
    // changing nothing, if segmentBytes is 0 or the pause negative.
    bool Segment(std::size_t segmentBytes, int pauseMicroseconds);
    ReplySegmentation Segmentation() const;

    // Disarms everything.
    void Clear();
    // Faults still armed (a pending close and a segmentation count as one each).
    std::size_t ArmedCount() const;

    // Called by a connection for every command it is about to handle: finds
    // the armed faults that match and uses one of their counts up.
    FaultAction OnCommand(const ResolvedCommand& command);

private:
    enum class Kind { kSilence, kDelay, kGarbage };
    struct Armed {
        Kind kind;
        ResolvedCommand pattern;
        int remaining;  // kAlways or a positive count
        int delayMs;
    };

    bool Arm(Kind kind, std::string_view header, int times, int delayMs);

    mutable std::mutex mutex_;
    std::vector<Armed> armed_;
    int closeCountdown_ = 0;  // 0: no close armed
    ReplySegmentation segmentation_;
};

}  // namespace qvzsim

#endif
