#include "qvzsim/touchstone_reader.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "fs/regular_file.h"

namespace qvzsim {
namespace {

constexpr std::size_t kMaxValuesPerPoint = 9;  // frequency and four complex values
constexpr double kPi = 3.14159265358979323846;
// Far beyond any sweep (200,001 points take about 32 MB); a larger file is
// refused before it is read into memory.
constexpr std::size_t kMaxFileBytes = std::size_t{256} << 20;

enum class DataFormat { kRealImaginary, kMagnitudeAngle, kDecibelAngle };

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

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

std::string LinePrefix(std::size_t line) {
    return "line " + std::to_string(line) + ": ";
}

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
        } else if (EqualsIgnoreCase(token, "y") || EqualsIgnoreCase(token, "z") ||
                   EqualsIgnoreCase(token, "h") || EqualsIgnoreCase(token, "g")) {
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

// Reads a file's lines one after the other into its data points.
class TouchstoneParser {
public:
    TouchstoneParser(int ports, std::size_t textSize)
        // The frequency, then ports * ports complex values.
        : valuesPerPoint_(1 + 2 * static_cast<std::size_t>(ports * ports)),
          perPointText_(std::to_string(valuesPerPoint_)) {
        TouchstoneData& data = result_.data;
        data.ports = ports;
        // A data line of a two-port file is about 160 bytes: reserve once.
        const std::size_t estimate = textSize / 128 + 1;
        data.frequenciesHz.reserve(estimate);
        data.sParameters.reserve(estimate * 4);
    }

    // A line without its comment and leading blanks, not empty. Returns an
    // empty string or what is wrong with it.
    std::string ParseLine(const char* p, const char* lineEnd) {
        if (*p == '#') {
            return ParseOptions(p + 1, lineEnd);
        }
        if (*p == '[') {
            return "keyword lines belong to Touchstone version 2";
        }
        return ParseValues(p, lineEnd);
    }

    TouchstoneResult Finish() {
        if (filled_ != 0) {
            return Invalid("the last point has " + std::to_string(filled_) + " of " +
                           perPointText_ + " values");
        }
        if (result_.data.frequenciesHz.empty()) {
            return Invalid("no data points");
        }
        result_.data.referenceOhms = options_.referenceOhms;
        return std::move(result_);
    }

private:
    std::string ParseOptions(const char* p, const char* lineEnd) {
        if (!result_.data.frequenciesHz.empty() || filled_ != 0) {
            return "option line after the data";
        }
        // Only the first option line counts; later ones are ignored.
        if (optionLineSeen_) {
            return {};
        }
        optionLineSeen_ = true;
        return ParseOptionLine(std::string_view(p, static_cast<std::size_t>(lineEnd - p)),
                               options_);
    }

    // A line holds the values of one point only (a point may go on over
    // several lines).
    std::string ParseValues(const char* p, const char* lineEnd) {
        bool pointEnded = false;
        while (p < lineEnd) {
            if (pointEnded) {
                return "more than " + perPointText_ + " values for one point";
            }
            double value = 0.0;
            const char* after = ParseDouble(p, lineEnd, value);
            if (after == p || (after < lineEnd && !IsBlank(*after))) {
                return "not a number";
            }
            p = after;
            values_[filled_++] = value;
            if (filled_ == valuesPerPoint_) {
                filled_ = 0;
                pointEnded = true;
                std::string problem = AddPoint();
                if (!problem.empty()) {
                    return problem;
                }
            }
            while (p < lineEnd && IsBlank(*p)) {
                ++p;
            }
        }
        return {};
    }

    std::string AddPoint() {
        TouchstoneData& data = result_.data;
        const double hertz = values_[0] * options_.frequencyScale;
        if (hertz < 0.0) {
            return "negative frequency";
        }
        // A finite number times the unit can still overflow, and an infinite
        // last point would "cover" every sweep.
        if (!std::isfinite(hertz)) {
            return "frequency out of range";
        }
        if (!data.frequenciesHz.empty() && !(hertz > data.frequenciesHz.back())) {
            return "frequencies must increase";
        }
        data.frequenciesHz.push_back(hertz);
        for (std::size_t k = 1; k < valuesPerPoint_; k += 2) {
            data.sParameters.push_back(ToComplex(values_[k], values_[k + 1], options_.format));
        }
        return {};
    }

    const std::size_t valuesPerPoint_;
    const std::string perPointText_;
    TouchstoneResult result_;
    Options options_;
    bool optionLineSeen_ = false;
    double values_[kMaxValuesPerPoint] = {};
    std::size_t filled_ = 0;  // values of the current point read so far
};

}  // namespace

TouchstoneResult ParseTouchstone(std::string_view text) {
    return ParseTouchstone(text, 2);
}

TouchstoneResult ParseTouchstone(std::string_view text, int ports) {
    if (ports != 1 && ports != 2) {
        return Invalid("only one- and two-port files are supported");
    }
    TouchstoneParser parser(ports, text.size());
    const char* p = text.data();
    const char* const textEnd = text.data() + text.size();
    std::size_t lineNumber = 0;
    while (p < textEnd) {
        ++lineNumber;
        const char* newline =
            static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(textEnd - p)));
        const char* lineEnd = newline != nullptr ? newline : textEnd;
        const char* next = newline != nullptr ? newline + 1 : textEnd;
        // Everything after '!' is a comment.
        const char* bang =
            static_cast<const char*>(std::memchr(p, '!', static_cast<std::size_t>(lineEnd - p)));
        if (bang != nullptr) {
            lineEnd = bang;
        }
        while (p < lineEnd && IsBlank(*p)) {
            ++p;
        }
        if (p != lineEnd) {
            std::string problem = parser.ParseLine(p, lineEnd);
            if (!problem.empty()) {
                return Invalid(LinePrefix(lineNumber) + problem);
            }
        }
        p = next;
    }
    return parser.Finish();
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
        return Invalid("a ." + path.substr(path.find_last_of('.') + 1) +
                       " file is not a two-port file");
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
