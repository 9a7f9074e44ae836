#include "single_write_check.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace qvz {
namespace testing {
namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr int kValuesPerLine = 9;

// The writer keeps ten significant digits.
bool SameFrequency(double written, double swept) {
    return std::fabs(written - swept) <= 1e-9 * std::fabs(swept);
}

bool ParseDataLine(const std::string& line, double* frequency) {
    std::istringstream in(line);
    int values = 0;
    std::string token;
    while (in >> token) {
        char* end = nullptr;
        const double value = std::strtod(token.c_str(), &end);
        if (end == token.c_str() || *end != '\0') {
            return false;
        }
        if (values == 0) {
            *frequency = value;
        }
        ++values;
    }
    return values == kValuesPerLine;
}

SingleWriteResult Fail(std::string problem) {
    SingleWriteResult result;
    result.problem = std::move(problem);
    return result;
}

}  // namespace

SingleWriteResult CheckSingleWrite(const std::string& text,
                                   const std::vector<std::vector<double>>& sweeps,
                                   WriteState expected) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    for (std::size_t end = text.find(kLineEnd); end != std::string::npos;
         end = text.find(kLineEnd, at)) {
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    const bool tail = at < text.size();  // a line still being written
    if (expected == WriteState::kComplete && tail) {
        return Fail("the file ends inside a line");
    }
    const std::size_t headerLines = lines.size() < 3 ? lines.size() : 3;
    const char* const headers[] = {"# Hz S RI R 50", "! Date: ", "! Freq "};
    for (std::size_t i = 0; i < headerLines; ++i) {
        if (lines[i].compare(0, std::char_traits<char>::length(headers[i]), headers[i]) != 0) {
            return Fail("header line " + std::to_string(i + 1) + " is \"" + lines[i] + "\"");
        }
    }
    SingleWriteResult result;
    for (std::size_t i = 3; i < lines.size(); ++i) {
        const std::size_t point = i - 3;
        double frequency = 0.0;
        if (!ParseDataLine(lines[i], &frequency)) {
            return Fail("data line " + std::to_string(point + 1) + " is broken: " + lines[i]);
        }
        if (result.sweep < 0) {
            for (std::size_t s = 0; s < sweeps.size(); ++s) {
                if (!sweeps[s].empty() && SameFrequency(frequency, sweeps[s][0])) {
                    result.sweep = static_cast<int>(s);
                }
            }
            if (result.sweep < 0) {
                return Fail("the first point belongs to no known sweep");
            }
        }
        const std::vector<double>& sweep = sweeps[static_cast<std::size_t>(result.sweep)];
        if (point >= sweep.size()) {
            return Fail("more points than the sweep of writer " + std::to_string(result.sweep));
        }
        if (!SameFrequency(frequency, sweep[point])) {
            return Fail("point " + std::to_string(point + 1) + " is not from the sweep of writer " +
                        std::to_string(result.sweep));
        }
    }
    if (expected == WriteState::kComplete) {
        const std::size_t points = lines.size() < 3 ? 0 : lines.size() - 3;
        if (lines.size() < 3 || result.sweep < 0 ||
            points != sweeps[static_cast<std::size_t>(result.sweep)].size()) {
            return Fail("incomplete: " + std::to_string(points) + " points");
        }
    }
    result.ok = true;
    return result;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace testing
}  // namespace qvz
