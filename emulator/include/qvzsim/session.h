// One client connection's view of the instrument: takes each program message
// (one line), runs its commands through the faults and the dispatcher, and
// says what to send back. Knows nothing of sockets, so tests drive it
// directly.
#ifndef QVZSIM_SESSION_H
#define QVZSIM_SESSION_H

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>

#include "qvzsim/dispatcher.h"
#include "qvzsim/faults.h"
#include "qvzsim/instrument.h"
#include "qvzsim/logger.h"

namespace qvzsim {

struct MessageOutcome {
    std::string reply;             // what to send, line feed included; empty: nothing
    int delayMs = 0;               // wait this long before sending
    bool closeConnection = false;  // close after sending
};

class Session {
public:
    // `logger` may be nullptr; `id` names the connection in the log. Once
    // `stop` (when given) turns true, the rest of a message is dropped: a
    // message of many slow commands must not hold up a server that stops.
    Session(Instrument& instrument, Faults& faults, Logger* logger, int id,
            const std::atomic<bool>* stop = nullptr);

    // The longest joined reply of one program message (64 MiB): a query whose
    // reply would go beyond it, and every query after it in that message,
    // queues -223 instead of being answered.
    static constexpr std::size_t kMaxReplyBytes = std::size_t{64} << 20;

    // Handles one program message. The replies of several queries in one
    // message are joined with ';' into one response line.
    MessageOutcome HandleMessage(std::string_view message);

private:
    struct MessageProgress;

    // One resolved command of a message: its faults, then the command itself.
    void RunCommand(const ScpiCommand& command, const ResolvedCommand& resolved,
                    MessageProgress& progress);
    // Runs the command and joins its reply (or garbage) to the message's.
    void ExecuteAndReply(const ScpiCommand& command, const ResolvedCommand& resolved, bool garbage,
                         MessageProgress& progress);
    void WriteLog(const std::string& text) const;

    Instrument& instrument_;
    Faults& faults_;
    Logger* logger_;
    int id_;
    const std::atomic<bool>* stop_;
    Dispatcher dispatcher_;
};

}  // namespace qvzsim

#endif
