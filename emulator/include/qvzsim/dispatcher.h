// Runs one resolved command against the instrument: checks its suffixes and
// parameters, applies it, and formats the reply of a query. Errors go to the
// instrument's error queue, as a real instrument reports them.
#ifndef QVZSIM_DISPATCHER_H
#define QVZSIM_DISPATCHER_H

#include <string>

#include "qvzsim/command_table.h"
#include "qvzsim/faults.h"
#include "qvzsim/instrument.h"
#include "qvzsim/scpi_parser.h"

namespace qvzsim {

struct CommandResult {
    bool hasReply = false;
    std::string reply;  // without terminator
};

class Dispatcher {
public:
    Dispatcher(Instrument& instrument, Faults& faults) : instrument_(instrument), faults_(faults) {}

    CommandResult Execute(const ResolvedCommand& resolved, const ScpiCommand& command);

private:
    Instrument& instrument_;
    Faults& faults_;
};

// "Qaldorn,QVZSIM,0,<version>".
std::string IdentityString();

}  // namespace qvzsim

#endif
