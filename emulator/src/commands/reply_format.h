// How replies write numbers: 17 significant digits (as %.17g), so that each
// parses back to the same double.
#ifndef QVZSIM_COMMANDS_REPLY_FORMAT_H
#define QVZSIM_COMMANDS_REPLY_FORMAT_H

#include <string>
#include <vector>

#include "qvzsim/fixture_math.h"

namespace qvzsim {

std::string FormatNumber(double value);
// The sweep's frequencies, comma-separated.
std::string FormatFrequencyList(const std::vector<double>& frequencies);
// Real and imaginary parts, comma-separated; a value with no finite result
// is SCPI's not-a-number, 9.91E37.
std::string FormatComplexList(const std::vector<Complex>& values);
// A boolean setting's reply: "1" or "0".
const char* BoolReply(bool on);

}  // namespace qvzsim

#endif
