// Runs one resolved command against the instrument: makes the checks every
// command shares (parameters of a query, MINimum/MAXimum queries, suffix
// ranges, the number of a setting's parameters), then calls the handler of
// the command's table entry. Errors go to the instrument's error queue, as a
// real instrument reports them.
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

}  // namespace qvzsim

#endif
