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

// "--name=value" or "--name" (whose value, if it takes one, follows).
struct Argument {
    std::string_view name;
    std::string_view value;
    bool hasInlineValue = false;
};

Argument SplitArgument(std::string_view text) {
    Argument argument;
    argument.name = text;
    const std::size_t equals = text.find('=');
    if (text.substr(0, 2) == "--" && equals != std::string_view::npos) {
        argument.value = text.substr(equals + 1);
        argument.name = text.substr(0, equals);
        argument.hasInlineValue = true;
    }
    return argument;
}

// The options without a value: true when `argument` is one, with `problem`
// set when it was given a value it does not take.
bool ApplyFlag(const Argument& argument, CommandLine& out, std::string& problem) {
    if (argument.name == "--help" || argument.name == "-h") {
        out.help = true;
        return true;
    }
    if (argument.name == "--version") {
        out.version = true;
        return true;
    }
    if (argument.name == "--quiet" || argument.name == "-q") {
        if (argument.hasInlineValue) {
            problem = "--quiet takes no value";
        } else {
            out.server.quiet = true;
        }
        return true;
    }
    return false;
}

// Each returns an empty string or what is wrong with the value.
std::string ApplyBind(std::string_view value, CommandLine& out) {
    if (value.empty()) {
        return "--bind needs an address";
    }
    out.server.bindAddress = std::string(value);
    return {};
}

std::string ApplyPort(std::string_view value, CommandLine& out) {
    long number = 0;
    if (!ParseInt(value, 0, 65535, number)) {
        return "--port must be 0 to 65535";
    }
    out.server.port = static_cast<std::uint16_t>(number);
    return {};
}

std::string ApplyChannels(std::string_view value, CommandLine& out) {
    long number = 0;
    if (!ParseInt(value, 1, kMaxChannels, number)) {
        return "--channels must be 1 to " + std::to_string(kMaxChannels);
    }
    out.server.instrument.channels = static_cast<int>(number);
    return {};
}

std::string ApplyActive(std::string_view value, CommandLine& out) {
    long number = 0;
    if (!ParseInt(value, 1, kMaxChannels, number)) {
        return "--active must be a channel number";
    }
    out.server.instrument.activeChannel = static_cast<int>(number);
    return {};
}

std::string ApplyPoints(std::string_view value, CommandLine& out) {
    long number = 0;
    if (!ParseInt(value, 1, kMaxPoints, number)) {
        return "--points must be 1 to " + std::to_string(kMaxPoints);
    }
    out.server.instrument.sweep.points = static_cast<int>(number);
    return {};
}

std::string ApplyMaxConnections(std::string_view value, CommandLine& out) {
    long number = 0;
    if (!ParseInt(value, 1, kMaxConnectionsLimit, number)) {
        return "--max-connections must be 1 to " + std::to_string(kMaxConnectionsLimit);
    }
    out.server.maxConnections = static_cast<int>(number);
    return {};
}

std::string ApplyStart(std::string_view value, CommandLine& out) {
    return ParseHertz(value, out.server.instrument.sweep.startHz)
               ? std::string()
               : "--start must be a frequency in Hz";
}

std::string ApplyStop(std::string_view value, CommandLine& out) {
    return ParseHertz(value, out.server.instrument.sweep.stopHz)
               ? std::string()
               : "--stop must be a frequency in Hz";
}

std::string ApplyHttp(std::string_view value, CommandLine& out) {
    long number = 0;
    if (!ParseInt(value, 0, 65535, number)) {
        return "--http must be a port, 0 to 65535";
    }
    out.httpPort = static_cast<int>(number);
    return {};
}

std::string ApplyDevice(std::string_view value, CommandLine& out) {
    long number = 0;
    const std::size_t portEnd = value.find('=');
    if (portEnd == std::string_view::npos ||
        !ParseInt(value.substr(0, portEnd), 1, kPortCount, number) || portEnd + 1 == value.size()) {
        return "--dut takes PORT=FILE, PORT 1 to " + std::to_string(kPortCount);
    }
    out.devices.emplace_back(static_cast<int>(number), std::string(value.substr(portEnd + 1)));
    return {};
}

std::string ApplySend(std::string_view value, CommandLine& out) {
    out.send.emplace_back(value);
    return {};
}

struct ValueOption {
    std::string_view name;
    std::string (*apply)(std::string_view value, CommandLine& out);
};

const ValueOption kValueOptions[] = {
    {"--bind", ApplyBind},
    {"--port", ApplyPort},
    {"--channels", ApplyChannels},
    {"--active", ApplyActive},
    {"--points", ApplyPoints},
    {"--start", ApplyStart},
    {"--stop", ApplyStop},
    {"--send", ApplySend},
    {"--max-connections", ApplyMaxConnections},
    {"--http", ApplyHttp},
    {"--dut", ApplyDevice},
};

const ValueOption* FindValueOption(std::string_view name) {
    for (const ValueOption& option : kValueOptions) {
        if (option.name == name) {
            return &option;
        }
    }
    return nullptr;
}

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
           "  --http PORT      serve the screen (a live page) over HTTP on the bind address;\n"
           "                   0 picks a free port and prints it\n"
           "  --dut PORT=FILE  the device on port 1..4: a .s1p file, or a .s2p file's S11\n"
           "                   (repeatable; default: a built-in small antenna on every port)\n"
           "  --quiet          no activity log\n"
           "  --send MSG       client mode: send MSG to the emulator at --bind/--port and\n"
           "                   print the reply of each query (repeatable)\n"
           "  --version        print the version\n"
           "  --help           this text\n";
}

std::string VersionText() {
    return QVZSIM_VERSION;
}

std::string ParseCommandLine(int argc, const char* const* argv, CommandLine& out) {
    out = CommandLine{};
    for (int i = 1; i < argc; ++i) {
        Argument argument = SplitArgument(argv[i]);
        std::string problem;
        if (ApplyFlag(argument, out, problem)) {
            if (!problem.empty()) {
                return problem;
            }
            continue;
        }
        const ValueOption* option = FindValueOption(argument.name);
        if (option == nullptr) {
            return "unknown option " + std::string(argument.name);
        }
        if (!argument.hasInlineValue) {
            if (i + 1 >= argc) {
                return std::string(argument.name) + " needs a value";
            }
            argument.value = argv[++i];
        }
        problem = option->apply(argument.value, out);
        if (!problem.empty()) {
            return problem;
        }
    }
    return Instrument::ValidateConfig(out.server.instrument);
}

}  // namespace qvzsim
