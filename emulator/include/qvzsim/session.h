// One client connection's view of the instrument: takes each program message
// (one line), runs its commands through the faults and the dispatcher, and
// says what to send back. Knows nothing of sockets, so tests drive it
// directly.
#ifndef QVZSIM_SESSION_H
#define QVZSIM_SESSION_H

#include <string>
#include <string_view>

#include "qvzsim/dispatcher.h"
#include "qvzsim/faults.h"
#include "qvzsim/instrument.h"
#include "qvzsim/logger.h"

namespace qvzsim {

struct MessageOutcome {
    std::string reply;  // what to send, line feed included; empty: nothing
    int delayMs = 0;    // wait this long before sending
    bool closeConnection = false;  // close after sending
};

class Session {
public:
    // `logger` may be nullptr; `id` names the connection in the log.
    Session(Instrument& instrument, Faults& faults, Logger* logger, int id);

    // Handles one program message. The replies of several queries in one
    // message are joined with ';' into one response line.
    MessageOutcome handleMessage(std::string_view message);

private:
    void log(const std::string& text) const;

    Instrument& instrument_;
    Faults& faults_;
    Logger* logger_;
    int id_;
    Dispatcher dispatcher_;
};

}  // namespace qvzsim

#endif
