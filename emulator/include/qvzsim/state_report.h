// The fixture-simulator state as text: one line for the SYSTem:FSIMulator:
// REPort? query, and a readable block for the log at exit.
#ifndef QVZSIM_STATE_REPORT_H
#define QVZSIM_STATE_REPORT_H

#include <string>

#include "qvzsim/instrument_state.h"

namespace qvzsim {

// ACTIVE=<ch> then, per channel, "CH<n> SIM=ON|OFF PMC=.. DEEM=.." and per
// port "P<p>.PMC=.. P<p>.PMC.FILE="<name>" P<p>.DEEM=.. P<p>.DEEM.FILE=".."",
// all separated by single spaces (file names quoted, quotes doubled).
std::string FormatStateLine(const InstrumentSnapshot& snapshot);

// Several lines, each ending in '\n'.
std::string FormatStateText(const InstrumentSnapshot& snapshot);

}  // namespace qvzsim

#endif
