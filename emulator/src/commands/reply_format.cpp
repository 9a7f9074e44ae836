#include "commands/reply_format.h"

#include <charconv>
#include <cmath>
#include <cstddef>

namespace qvzsim {

std::string FormatNumber(double value) {
    char text[32];
    auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 17);
    return std::string(text, result.ptr);
}

std::string FormatFrequencyList(const std::vector<double>& frequencies) {
    std::string reply;
    reply.resize(frequencies.size() * 26);
    char* out = &reply[0];
    char* const end = out + reply.size();
    for (std::size_t i = 0; i < frequencies.size(); ++i) {
        if (i != 0) {
            *out++ = ',';
        }
        out = std::to_chars(out, end, frequencies[i], std::chars_format::general, 17).ptr;
    }
    reply.resize(static_cast<std::size_t>(out - reply.data()));
    return reply;
}

std::string FormatComplexList(const std::vector<Complex>& values) {
    std::string reply;
    reply.resize(values.size() * 52);
    char* out = &reply[0];
    char* const end = out + reply.size();
    auto put = [&](double part) {
        out = std::to_chars(out, end, std::isfinite(part) ? part : 9.91e37,
                            std::chars_format::general, 17)
                  .ptr;
    };
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i != 0) {
            *out++ = ',';
        }
        put(values[i].real());
        *out++ = ',';
        put(values[i].imag());
    }
    reply.resize(static_cast<std::size_t>(out - reply.data()));
    return reply;
}

const char* BoolReply(bool on) {
    return on ? "1" : "0";
}

}  // namespace qvzsim
