// Suffixes of SCPI numeric parameters ("1 GHz", "1GHZ", "500 kHz"): a
// multiplier (EX PE T G MA K M U N P F A, with MHZ meaning megahertz as
// instruments read it) followed by the command's unit.
#ifndef QVZSIM_UNITS_H
#define QVZSIM_UNITS_H

#include <string_view>

namespace qvzsim {

// Scales `value` by the multiplier in `suffix` (upper case) when the suffix
// ends in `unit` (upper case, e.g. "HZ"). Returns false for any other suffix.
// An empty suffix leaves the value as it is.
bool ApplyUnitSuffix(std::string_view suffix, std::string_view unit, double& value);

}  // namespace qvzsim

#endif
