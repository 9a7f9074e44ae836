#include "qvzsim/touchstone_reader.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "fs/regular_file.h"

namespace qvzsim {
namespace {

constexpr std::size_t kValuesPerPoint = 9;  // frequency and four complex values
constexpr double kPi = 3.14159265358979323846;
// Far beyond any sweep (200,001 points take about 32 MB); a larger file is
// refused before it is read into memory.
constexpr std::size_t kMaxFileBytes = std::size_t{256} << 20;

enum class DataFormat { kRealImaginary, kMagnitudeAngle, kDecibelAngle };

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

// Reads a number at [p, end): std::from_chars does the work; a leading '+'
// (which it does not take) is skipped, and inf/nan are refused.
const char* ParseDouble(const char* p, const char* end, double& value) {
    const char* start = p;
    if (p < end && *p == '+') {
        ++p;
        if (p < end && (*p == '+' || *p == '-')) {
            return start;
        }
    }
    if (p == end || !((*p >= '0' && *p <= '9') || *p == '.' || *p == '-')) {
        return start;
    }
    auto result = std::from_chars(p, end, value, std::chars_format::general);
    if (result.ec != std::errc() || !std::isfinite(value)) {
        return start;
    }
    return result.ptr;
}

std::string LinePrefix(std::size_t line) { return "line " + std::to_string(line) + ": "; }

struct Options {
    double frequencyScale = 1e9;  // GHz unless the option line says otherwise
    DataFormat format = DataFormat::kMagnitudeAngle;
    double referenceOhms = 50.0;
};

// Parses the tokens after '#'. Returns an empty string or what is wrong.
std::string ParseOptionLine(std::string_view line, Options& options) {
    std::size_t pos = 0;
    auto nextToken = [&]() -> std::string_view {
        while (pos < line.size() && IsBlank(line[pos])) {
            ++pos;
        }
        std::size_t start = pos;
        while (pos < line.size() && !IsBlank(line[pos])) {
            ++pos;
        }
        return line.substr(start, pos - start);
    };
    for (std::string_view token = nextToken(); !token.empty(); token = nextToken()) {
        if (EqualsIgnoreCase(token, "hz")) {
            options.frequencyScale = 1.0;
        } else if (EqualsIgnoreCase(token, "khz")) {
            options.frequencyScale = 1e3;
        } else if (EqualsIgnoreCase(token, "mhz")) {
            options.frequencyScale = 1e6;
        } else if (EqualsIgnoreCase(token, "ghz")) {
            options.frequencyScale = 1e9;
        } else if (EqualsIgnoreCase(token, "s")) {
            // scattering parameters: the only kind the simulator loads
        } else if (EqualsIgnoreCase(token, "y") || EqualsIgnoreCase(token, "z") || EqualsIgnoreCase(token, "h") ||
                   EqualsIgnoreCase(token, "g")) {
            return "only S-parameter files are supported, not " + std::string(token);
        } else if (EqualsIgnoreCase(token, "ri")) {
            options.format = DataFormat::kRealImaginary;
        } else if (EqualsIgnoreCase(token, "ma")) {
            options.format = DataFormat::kMagnitudeAngle;
        } else if (EqualsIgnoreCase(token, "db")) {
            options.format = DataFormat::kDecibelAngle;
        } else if (EqualsIgnoreCase(token, "r")) {
            std::string_view value = nextToken();
            double ohms = 0.0;
            const char* end = value.data() + value.size();
            if (value.empty() || ParseDouble(value.data(), end, ohms) != end || !(ohms > 0.0)) {
                return "the reference resistance after R must be a positive number";
            }
            options.referenceOhms = ohms;
        } else {
            return "unknown option " + std::string(token);
        }
    }
    return {};
}

std::complex<double> ToComplex(double a, double b, DataFormat format) {
    switch (format) {
    case DataFormat::kRealImaginary:
        return {a, b};
    case DataFormat::kMagnitudeAngle:
        return std::polar(a, b * kPi / 180.0);
    case DataFormat::kDecibelAngle:
        return std::polar(std::pow(10.0, a / 20.0), b * kPi / 180.0);
    }
    return {a, b};
}

TouchstoneResult Invalid(std::string reason) {
    TouchstoneResult result;
    result.status = TouchstoneStatus::kInvalid;
    result.reason = std::move(reason);
    return result;
}

// The N of a ".s<N>p" extension, 0 when the name has no such extension.
int PortsFromExtension(const std::string& path) {
    std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || path.find_first_of("/\\", dot) != std::string::npos) {
        return 0;
    }
    std::string_view ext(path.c_str() + dot + 1);
    if (ext.size() < 3 || Lower(ext.front()) != 's' || Lower(ext.back()) != 'p') {
        return 0;
    }
    int ports = 0;
    for (char c : ext.substr(1, ext.size() - 2)) {
        if (c < '0' || c > '9' || ports > 1000) {
            return 0;
        }
        ports = ports * 10 + (c - '0');
    }
    return ports;
}

}  // namespace

TouchstoneResult ParseTouchstone(std::string_view text) {
    TouchstoneResult result;
    TouchstoneData& data = result.data;
    Options options;
    bool optionLineSeen = false;
    double values[kValuesPerPoint];
    std::size_t filled = 0;  // values of the current point read so far

    // A data line of a two-port file is about 160 bytes: reserve once.
    const std::size_t estimate = text.size() / 128 + 1;
    data.frequenciesHz.reserve(estimate);
    data.sParameters.reserve(estimate * 4);

    const char* p = text.data();
    const char* const textEnd = text.data() + text.size();
    std::size_t lineNumber = 0;
    while (p < textEnd) {
        ++lineNumber;
        const char* newline = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(textEnd - p)));
        const char* lineEnd = newline != nullptr ? newline : textEnd;
        const char* next = newline != nullptr ? newline + 1 : textEnd;
        // Everything after '!' is a comment.
        const char* bang = static_cast<const char*>(std::memchr(p, '!', static_cast<std::size_t>(lineEnd - p)));
        if (bang != nullptr) {
            lineEnd = bang;
        }
        while (p < lineEnd && IsBlank(*p)) {
            ++p;
        }
        if (p == lineEnd) {
            p = next;
            continue;
        }
        if (*p == '#') {
            if (!data.frequenciesHz.empty() || filled != 0) {
                return Invalid(LinePrefix(lineNumber) + "option line after the data");
            }
            // Only the first option line counts; later ones are ignored.
            if (!optionLineSeen) {
                std::string problem = ParseOptionLine(std::string_view(p + 1, static_cast<std::size_t>(lineEnd - p - 1)),
                                                      options);
                if (!problem.empty()) {
                    return Invalid(LinePrefix(lineNumber) + problem);
                }
                optionLineSeen = true;
            }
            p = next;
            continue;
        }
        if (*p == '[') {
            return Invalid(LinePrefix(lineNumber) + "keyword lines belong to Touchstone version 2");
        }
        // A line holds the values of one point only (a point may go on over
        // several lines).
        bool pointEnded = false;
        while (p < lineEnd) {
            if (pointEnded) {
                return Invalid(LinePrefix(lineNumber) + "more than 9 values for one point");
            }
            double value = 0.0;
            const char* after = ParseDouble(p, lineEnd, value);
            if (after == p || (after < lineEnd && !IsBlank(*after))) {
                return Invalid(LinePrefix(lineNumber) + "not a number");
            }
            p = after;
            values[filled++] = value;
            if (filled == kValuesPerPoint) {
                filled = 0;
                pointEnded = true;
                const double hertz = values[0] * options.frequencyScale;
                if (hertz < 0.0) {
                    return Invalid(LinePrefix(lineNumber) + "negative frequency");
                }
                // A finite number times the unit can still overflow, and an
                // infinite last point would "cover" every sweep.
                if (!std::isfinite(hertz)) {
                    return Invalid(LinePrefix(lineNumber) + "frequency out of range");
                }
                if (!data.frequenciesHz.empty() && !(hertz > data.frequenciesHz.back())) {
                    return Invalid(LinePrefix(lineNumber) + "frequencies must increase");
                }
                data.frequenciesHz.push_back(hertz);
                for (std::size_t k = 1; k < kValuesPerPoint; k += 2) {
                    data.sParameters.push_back(ToComplex(values[k], values[k + 1], options.format));
                }
            }
            while (p < lineEnd && IsBlank(*p)) {
                ++p;
            }
        }
        p = next;
    }
    if (filled != 0) {
        return Invalid("the last point has " + std::to_string(filled) + " of 9 values");
    }
    if (data.frequenciesHz.empty()) {
        return Invalid("no data points");
    }
    data.referenceOhms = options.referenceOhms;
    return result;
}

TouchstoneResult ReadTouchstoneFile(const std::string& path) {
    const int ports = PortsFromExtension(path);
    fs::ReadResult file = fs::ReadRegularFile(path, kMaxFileBytes);
    if (file.status == fs::ReadStatus::kCannotOpen) {
        TouchstoneResult result;
        result.status = TouchstoneStatus::kNotFound;
        return result;
    }
    if (ports != 0 && ports != 2) {
        return Invalid("a ." + path.substr(path.find_last_of('.') + 1) + " file is not a two-port file");
    }
    if (file.status == fs::ReadStatus::kNotRegular) {
        return Invalid(file.detail + ", not a regular file");
    }
    if (file.status == fs::ReadStatus::kTooLarge) {
        return Invalid("the file is larger than 256 MiB");
    }
    return ParseTouchstone(file.text);
}

bool CoversRange(const TouchstoneData& data, double lowHz, double highHz) {
    if (data.frequenciesHz.empty()) {
        return false;
    }
    auto slack = [](double hertz) { return std::fabs(hertz) * 1e-9; };
    return data.frequenciesHz.front() <= lowHz + slack(lowHz) &&
           data.frequenciesHz.back() >= highHz - slack(highHz);
}

}  // namespace qvzsim
