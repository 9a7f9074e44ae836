// The emulator's Touchstone reader against arbitrary file contents.
//
// Input: the text of a file. A file the reader accepts must hold what the
// simulator relies on: at least one point, four S-parameters per point, and
// frequencies that are finite, non-negative and strictly increasing, with a
// positive finite reference resistance. The range check must cope with
// whatever was accepted.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "qvzsim/touchstone_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const qvzsim::TouchstoneResult result = qvzsim::ParseTouchstone(text);
    if (result.status != qvzsim::TouchstoneStatus::kOk) {
        FUZZ_CHECK(result.status == qvzsim::TouchstoneStatus::kInvalid,
                   "parsing text never reports a missing file");
        FUZZ_CHECK(!result.reason.empty(), "a refusal says why");
        return 0;
    }
    const qvzsim::TouchstoneData& parsed = result.data;
    FUZZ_CHECK(parsed.GetPoints() >= 1, "an accepted file has data");
    FUZZ_CHECK(parsed.sParameters.size() == 4 * parsed.GetPoints(), "four S-parameters per point");
    FUZZ_CHECK(std::isfinite(parsed.referenceOhms) && parsed.referenceOhms > 0.0,
               "the reference resistance is a positive number");
    double previous = -1.0;
    for (double hertz : parsed.frequenciesHz) {
        FUZZ_CHECK(std::isfinite(hertz) && hertz >= 0.0, "frequencies are finite and non-negative");
        FUZZ_CHECK(hertz > previous, "frequencies increase strictly");
        previous = hertz;
    }
    const double low = parsed.frequenciesHz.front();
    const double high = parsed.frequenciesHz.back();
    FUZZ_CHECK(qvzsim::CoversRange(parsed, low, high), "a file covers its own range");
    return 0;
}
