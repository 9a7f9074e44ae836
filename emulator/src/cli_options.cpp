#include "qvzsim/cli_options.h"

#include <charconv>
#include <cmath>
#include <string_view>

#include "qvzsim/instrument.h"

#ifndef QVZSIM_VERSION
#define QVZSIM_VERSION "0"
#endif

namespace qvzsim {
namespace {

bool ParseInt(std::string_view text, long min, long max, long& value) {
    const char* end = text.data() + text.size();
    auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end && value >= min && value <= max;
}

bool ParseHertz(std::string_view text, double& value) {
    const char* end = text.data() + text.size();
    auto result = std::from_chars(text.data(), end, value, std::chars_format::general);
    return !text.empty() && result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

// Each connection has a thread of its own; beyond this many the limit
// would protect nothing.
constexpr long kMaxConnectionsLimit = 10000;

}  // namespace

std::string UsageText() {
    return "Usage: qvzsim [options]\n"
           "Emulates a network analyzer's SCPI interface over TCP.\n"
           "  --bind ADDR      address to listen on (default 127.0.0.1)\n"
           "  --port N         TCP port (default 5025; 0 picks a free one and prints it)\n"
           "  --channels N     number of channels, 1 to 16 (default 1)\n"
           "  --active N       active channel (default 1)\n"
           "  --points N       sweep points of every channel, 1 to 200001 (default 201)\n"
           "  --start HZ       sweep start frequency in Hz (default 10e6)\n"
           "  --stop HZ        sweep stop frequency in Hz (default 8.5e9)\n"
           "  --max-connections N  clients served at once, 1 to 10000 (default 64); one\n"
           "                   more is accepted and closed at once\n"
           "  --quiet          no activity log\n"
           "  --send MSG       client mode: send MSG to the emulator at --bind/--port and\n"
           "                   print the reply of each query (repeatable)\n"
           "  --version        print the version\n"
           "  --help           this text\n";
}

std::string VersionText() { return QVZSIM_VERSION; }

std::string ParseCommandLine(int argc, const char* const* argv, CommandLine& out) {
    out = CommandLine{};
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        std::string_view value;
        bool hasInlineValue = false;
        const std::size_t equals = arg.find('=');
        if (arg.substr(0, 2) == "--" && equals != std::string_view::npos) {
            value = arg.substr(equals + 1);
            arg = arg.substr(0, equals);
            hasInlineValue = true;
        }
        if (arg == "--help" || arg == "-h") {
            out.help = true;
            continue;
        }
        if (arg == "--version") {
            out.version = true;
            continue;
        }
        if (arg == "--quiet" || arg == "-q") {
            if (hasInlineValue) {
                return "--quiet takes no value";
            }
            out.server.quiet = true;
            continue;
        }
        const bool takesValue = arg == "--bind" || arg == "--port" || arg == "--channels" || arg == "--active" ||
                                arg == "--points" || arg == "--start" || arg == "--stop" || arg == "--send" ||
                                arg == "--max-connections";
        if (!takesValue) {
            return "unknown option " + std::string(arg);
        }
        if (!hasInlineValue) {
            if (i + 1 >= argc) {
                return std::string(arg) + " needs a value";
            }
            value = argv[++i];
        }
        long number = 0;
        InstrumentConfig& instrument = out.server.instrument;
        if (arg == "--bind") {
            if (value.empty()) {
                return "--bind needs an address";
            }
            out.server.bindAddress = std::string(value);
        } else if (arg == "--port") {
            if (!ParseInt(value, 0, 65535, number)) {
                return "--port must be 0 to 65535";
            }
            out.server.port = static_cast<std::uint16_t>(number);
        } else if (arg == "--channels") {
            if (!ParseInt(value, 1, kMaxChannels, number)) {
                return "--channels must be 1 to " + std::to_string(kMaxChannels);
            }
            instrument.channels = static_cast<int>(number);
        } else if (arg == "--active") {
            if (!ParseInt(value, 1, kMaxChannels, number)) {
                return "--active must be a channel number";
            }
            instrument.activeChannel = static_cast<int>(number);
        } else if (arg == "--points") {
            if (!ParseInt(value, 1, kMaxPoints, number)) {
                return "--points must be 1 to " + std::to_string(kMaxPoints);
            }
            instrument.sweep.points = static_cast<int>(number);
        } else if (arg == "--max-connections") {
            if (!ParseInt(value, 1, kMaxConnectionsLimit, number)) {
                return "--max-connections must be 1 to " + std::to_string(kMaxConnectionsLimit);
            }
            out.server.maxConnections = static_cast<int>(number);
        } else if (arg == "--start") {
            if (!ParseHertz(value, instrument.sweep.startHz)) {
                return "--start must be a frequency in Hz";
            }
        } else if (arg == "--stop") {
            if (!ParseHertz(value, instrument.sweep.stopHz)) {
                return "--stop must be a frequency in Hz";
            }
        } else {
            out.send.emplace_back(value);
        }
    }
    const std::string problem = Instrument::ValidateConfig(out.server.instrument);
    if (!problem.empty()) {
        return problem;
    }
    return {};
}

}  // namespace qvzsim
