// Conversions of a command's parameters. Each returns 0 or the SCPI error to
// report.
#ifndef QVZSIM_COMMANDS_PARAMETERS_H
#define QVZSIM_COMMANDS_PARAMETERS_H

#include <string>
#include <string_view>

#include "qvzsim/scpi_parser.h"

namespace qvzsim {

// True for character data equal to either form, in any case.
bool IsKeyword(const Parameter& parameter, std::string_view shortForm, std::string_view longForm);

// 0, 1, ON or OFF.
int ToBool(const Parameter& parameter, bool& value);
// A number without suffix, rounded to the nearest integer as SCPI asks.
int ToInteger(const Parameter& parameter, long& value);
// Hertz, or with a suffix such as GHZ, KHZ or MHZ.
int ToFrequency(const Parameter& parameter, double& value);
// A register mask of *ESE / *SRE: 0 to 255.
int ToMask(const Parameter& parameter, unsigned& mask);
// String data.
int ToText(const Parameter& parameter, std::string& value);
// A fault's repeat count: a positive integer or ALWays.
int ToTimes(const Parameter& parameter, int& times);

// MINimum / MAXimum in place of a number: -1, +1, or 0 for neither.
int BoundKeyword(const Parameter& parameter);

}  // namespace qvzsim

#endif
