// Reader for two-port Touchstone files in version 1 syntax, as the fixture
// simulator loads them: option line ("# <unit> S <RI|MA|DB> R <ohms>", any
// order, defaults GHz S MA R 50), '!' comments, LF or CR LF line ends, nine
// numbers per point (possibly over several lines), increasing frequencies.
#ifndef QVZSIM_TOUCHSTONE_READER_H
#define QVZSIM_TOUCHSTONE_READER_H

#include <complex>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qvzsim {

struct TouchstoneData {
    int ports = 2;  // 1 for a one-port file: sParameters then holds S11 only
    double referenceOhms = 50.0;
    std::vector<double> frequenciesHz;  // strictly increasing
    // Four values per point, in file order: S11, S21, S12, S22 (as real and
    // imaginary parts, whatever the file's format).
    std::vector<std::complex<double>> sParameters;

    std::size_t GetPoints() const { return frequenciesHz.size(); }
};

enum class TouchstoneStatus {
    kOk,
    kNotFound,  // the file cannot be opened or read
    kInvalid,   // not a valid two-port Touchstone file; `reason` says why
};

struct TouchstoneResult {
    TouchstoneStatus status = TouchstoneStatus::kOk;
    std::string reason;
    TouchstoneData data;
};

// Parses the text of a two-port file.
TouchstoneResult ParseTouchstone(std::string_view text);
// Parses the text of a file with `ports` ports, 1 or 2.
TouchstoneResult ParseTouchstone(std::string_view text, int ports);

// Reads and parses a file. A name ending in ".s<N>p" with N other than 2
// is refused as not two-port.
TouchstoneResult ReadTouchstoneFile(const std::string& path);

// Whether the file's frequency range covers [lowHz, highHz]. The library
// writes frequencies with ten significant digits, so the ends may differ
// from the sweep's by a rounding: a relative 1e-9 is allowed.
bool CoversRange(const TouchstoneData& data, double lowHz, double highHz);

}  // namespace qvzsim

#endif
