#include "qvzsim/dispatcher.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <string_view>
#include <vector>

#include "qvzsim/error_queue.h"
#include "qvzsim/port_measurement.h"
#include "qvzsim/state_report.h"
#include "qvzsim/units.h"

#ifndef QVZSIM_VERSION
#define QVZSIM_VERSION "0"
#endif

namespace qvzsim {
namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsKeyword(const Parameter& parameter, std::string_view shortForm, std::string_view longForm) {
    if (parameter.kind != Parameter::Kind::kCharacter) {
        return false;
    }
    std::string upper;
    for (char c : parameter.text) {
        upper.push_back(Upper(c));
    }
    return upper == shortForm || upper == longForm;
}

// Every conversion returns 0 or the SCPI error to report.

int CheckCount(const ScpiCommand& command, std::size_t minimum, std::size_t maximum) {
    if (command.params.size() < minimum) {
        return errors::kMissingParameter;
    }
    if (command.params.size() > maximum) {
        return errors::kParameterNotAllowed;
    }
    return 0;
}

int ToBool(const Parameter& parameter, bool& value) {
    if (parameter.kind == Parameter::Kind::kNumber) {
        if (parameter.number == 0.0 || parameter.number == 1.0) {
            value = parameter.number == 1.0;
            return 0;
        }
        return errors::kIllegalParameterValue;
    }
    if (IsKeyword(parameter, "ON", "ON")) {
        value = true;
        return 0;
    }
    if (IsKeyword(parameter, "OFF", "OFF")) {
        value = false;
        return 0;
    }
    return parameter.kind == Parameter::Kind::kString ? errors::kDataTypeError : errors::kIllegalParameterValue;
}

// Integers are rounded to the nearest, as SCPI asks of numeric data.
int ToInteger(const Parameter& parameter, long& value) {
    if (parameter.kind != Parameter::Kind::kNumber) {
        return errors::kDataTypeError;
    }
    if (!parameter.suffix.empty()) {
        return errors::kSuffixNotAllowed;
    }
    const double rounded = std::round(parameter.number);
    if (std::fabs(rounded) > 2147483647.0) {
        return errors::kDataOutOfRange;
    }
    value = static_cast<long>(rounded);
    return 0;
}

// A frequency: hertz, or with a suffix such as GHZ, KHZ or MHZ.
int ToFrequency(const Parameter& parameter, double& value) {
    if (parameter.kind != Parameter::Kind::kNumber) {
        return errors::kDataTypeError;
    }
    value = parameter.number;
    return ApplyUnitSuffix(parameter.suffix, "HZ", value) ? 0 : errors::kInvalidSuffix;
}

// MINimum / MAXimum in place of a number: -1, +1, or 0 for neither.
int BoundKeyword(const Parameter& parameter) {
    if (IsKeyword(parameter, "MIN", "MINIMUM")) {
        return -1;
    }
    return IsKeyword(parameter, "MAX", "MAXIMUM") ? 1 : 0;
}

// The range of a numeric setting that takes MINimum and MAXimum.
struct Limits {
    double minimum;
    double maximum;
};

bool NumericLimits(CommandId id, int channels, Limits& limits) {
    switch (id) {
    case CommandId::kSweepPoints:
        limits = {1.0, static_cast<double>(kMaxPoints)};
        return true;
    case CommandId::kStartFrequency:
    case CommandId::kStopFrequency:
        limits = {0.0, kMaxFrequencyHz};
        return true;
    case CommandId::kActiveChannel:
        limits = {1.0, static_cast<double>(channels)};
        return true;
    default:
        return false;
    }
}

// A "? MIN" / "? MAX" query: only for the numeric settings above.
bool IsBoundQuery(const ResolvedCommand& resolved, const ScpiCommand& command, int channels) {
    Limits ignored{};
    return resolved.query && command.params.size() == 1 && BoundKeyword(command.params[0]) != 0 &&
           NumericLimits(resolved.id, channels, ignored);
}

// A number for a setting, or its MINimum/MAXimum.
int ToSettingValue(CommandId id, int channels, const Parameter& parameter, double& value) {
    Limits limits{};
    const int bound = BoundKeyword(parameter);
    if (bound != 0 && NumericLimits(id, channels, limits)) {
        value = bound < 0 ? limits.minimum : limits.maximum;
        return 0;
    }
    if (id == CommandId::kStartFrequency || id == CommandId::kStopFrequency) {
        return ToFrequency(parameter, value);
    }
    long integer = 0;
    const int error = ToInteger(parameter, integer);
    value = static_cast<double>(integer);
    return error;
}

// A register mask of *ESE / *SRE: 0 to 255.
int ToMask(const Parameter& parameter, unsigned& mask) {
    long value = 0;
    const int error = ToInteger(parameter, value);
    if (error != 0) {
        return error;
    }
    if (value < 0 || value > 255) {
        return errors::kDataOutOfRange;
    }
    mask = static_cast<unsigned>(value);
    return 0;
}

int ToText(const Parameter& parameter, std::string& value) {
    if (parameter.kind != Parameter::Kind::kString) {
        return errors::kDataTypeError;
    }
    value = parameter.text;
    return 0;
}

// A fault's repeat count: a positive integer or ALWays.
int ToTimes(const Parameter& parameter, int& times) {
    if (IsKeyword(parameter, "ALW", "ALWAYS")) {
        times = Faults::kAlways;
        return 0;
    }
    long value = 0;
    int error = ToInteger(parameter, value);
    if (error != 0) {
        return error;
    }
    if (value < 1) {
        return errors::kDataOutOfRange;
    }
    times = static_cast<int>(value);
    return 0;
}

std::string FormatNumber(double value) {
    char text[32];
    auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 17);
    return std::string(text, result.ptr);
}

// The sweep's frequencies, comma-separated, each with 17 significant digits
// (as %.17g) so that it parses back to the same double.
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

// Real and imaginary parts, comma-separated, 17 significant digits; a value
// with no finite result is SCPI's not-a-number, 9.91E37.
std::string FormatComplexList(const std::vector<Complex>& values) {
    std::string reply;
    reply.resize(values.size() * 52);
    char* out = &reply[0];
    char* const end = out + reply.size();
    auto put = [&](double part) {
        out = std::to_chars(out, end, std::isfinite(part) ? part : 9.91e37, std::chars_format::general, 17).ptr;
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

CommandResult Reply(std::string text) {
    CommandResult result;
    result.hasReply = true;
    result.reply = std::move(text);
    return result;
}

const char* BoolReply(bool on) { return on ? "1" : "0"; }

FixtureFunction FunctionOf(CommandId id) {
    switch (id) {
    case CommandId::kMatchingState:
    case CommandId::kMatchingPortState:
    case CommandId::kMatchingPortFile:
        return FixtureFunction::kMatching;
    default:
        return FixtureFunction::kDeembedding;
    }
}

}  // namespace

std::string IdentityString() { return std::string("Qaldorn,QVZSIM,0,") + QVZSIM_VERSION; }

CommandResult Dispatcher::Execute(const ResolvedCommand& resolved, const ScpiCommand& command) {
    CommandResult none;
    int error = 0;
    auto fail = [&](int code) {
        instrument_.PushError(code);
        return CommandResult{};
    };

    // Queries here take no parameters but MINimum/MAXimum on a numeric
    // setting; settings say how many they take.
    const int channels = instrument_.ChannelCount();
    const bool boundQuery = IsBoundQuery(resolved, command, channels);
    if (resolved.query && !command.params.empty() && !boundQuery) {
        return fail(errors::kParameterNotAllowed);
    }
    if (boundQuery) {
        Limits limits{};
        NumericLimits(resolved.id, channels, limits);
        const double value = BoundKeyword(command.params[0]) < 0 ? limits.minimum : limits.maximum;
        return Reply(resolved.id == CommandId::kStartFrequency || resolved.id == CommandId::kStopFrequency
                         ? FormatNumber(value)
                         : std::to_string(static_cast<long>(value)));
    }

    // Suffixes: the channel first (where there is one), then the port; the
    // device commands name a port only.
    const bool portOnly = resolved.id == CommandId::kDeviceFile;
    const int channel = portOnly ? 1 : resolved.suffixes[0];
    const int port = portOnly ? resolved.suffixes[0] : resolved.suffixes[1];
    if (!portOnly && resolved.suffixCount >= 1 && (channel < 1 || channel > channels)) {
        return fail(errors::kHeaderSuffixOutOfRange);
    }
    if ((portOnly || resolved.suffixCount >= 2) && (port < 1 || port > kPortCount)) {
        return fail(errors::kHeaderSuffixOutOfRange);
    }

    switch (resolved.id) {
    case CommandId::kIdentify:
        return Reply(IdentityString());
    case CommandId::kReset:
    case CommandId::kSystemPreset:
        if ((error = CheckCount(command, 0, 0)) != 0) {
            return fail(error);
        }
        instrument_.Reset();
        return none;
    case CommandId::kClearStatus:
        if ((error = CheckCount(command, 0, 0)) != 0) {
            return fail(error);
        }
        instrument_.ClearErrors();
        instrument_.GetStatus().ClearEvents();
        return none;
    case CommandId::kOperationComplete:
        if (resolved.query) {
            return Reply("1");  // every operation completes before the reply
        }
        if ((error = CheckCount(command, 0, 0)) != 0) {
            return fail(error);
        }
        instrument_.GetStatus().SetEvents(status::kOperationComplete);
        return none;
    case CommandId::kWait:
        if ((error = CheckCount(command, 0, 0)) != 0) {
            return fail(error);
        }
        return none;
    case CommandId::kSystemError:
        return Reply(FormatErrorEntry(instrument_.PopError()));
    case CommandId::kSystemErrorCount:
        return Reply(std::to_string(instrument_.ErrorCount()));
    case CommandId::kStateReport:
        return Reply(FormatStateLine(instrument_.Snapshot()));

    case CommandId::kFaultSilence:
    case CommandId::kFaultGarbage:
    case CommandId::kFaultDelay: {
        const bool isDelay = resolved.id == CommandId::kFaultDelay;
        const std::size_t fixed = isDelay ? 2 : 1;
        if ((error = CheckCount(command, fixed, fixed + 1)) != 0) {
            return fail(error);
        }
        std::string header;
        long delayMs = 0;
        int times = 1;
        if ((error = ToText(command.params[0], header)) != 0 ||
            (isDelay && (error = ToInteger(command.params[1], delayMs)) != 0) ||
            (command.params.size() > fixed && (error = ToTimes(command.params[fixed], times)) != 0)) {
            return fail(error);
        }
        if (isDelay && (delayMs < 0 || delayMs > 600000)) {
            return fail(errors::kDataOutOfRange);
        }
        bool armed = resolved.id == CommandId::kFaultSilence ? faults_.Silence(header, times)
                     : resolved.id == CommandId::kFaultGarbage
                         ? faults_.Garbage(header, times)
                         : faults_.Delay(header, static_cast<int>(delayMs), times);
        if (!armed) {
            return fail(errors::kIllegalParameterValue);
        }
        return none;
    }
    case CommandId::kFaultClose: {
        long commands = 0;
        if ((error = CheckCount(command, 1, 1)) != 0 || (error = ToInteger(command.params[0], commands)) != 0) {
            return fail(error);
        }
        if (commands < 1) {
            return fail(errors::kDataOutOfRange);
        }
        faults_.CloseAfter(static_cast<int>(commands));
        return none;
    }
    case CommandId::kFaultError: {
        long code = 0;
        std::string message;
        if ((error = CheckCount(command, 1, 2)) != 0 || (error = ToInteger(command.params[0], code)) != 0 ||
            (command.params.size() > 1 && (error = ToText(command.params[1], message)) != 0)) {
            return fail(error);
        }
        instrument_.PushError(static_cast<int>(code), message);
        return none;
    }
    case CommandId::kFaultClear:
        if ((error = CheckCount(command, 0, 0)) != 0) {
            return fail(error);
        }
        faults_.Clear();
        return none;
    case CommandId::kFaultCount:
        return Reply(std::to_string(faults_.ArmedCount()));

    case CommandId::kActiveChannel: {
        if (resolved.query) {
            return Reply(std::to_string(instrument_.ActiveChannel()));
        }
        double number = 0.0;
        if ((error = CheckCount(command, 1, 1)) != 0 ||
            (error = ToSettingValue(resolved.id, channels, command.params[0], number)) != 0) {
            return fail(error);
        }
        const long value = static_cast<long>(number);
        if (value < 1 || value > instrument_.ChannelCount()) {
            return fail(errors::kDataOutOfRange);
        }
        instrument_.SetActiveChannel(static_cast<int>(value));
        return none;
    }
    case CommandId::kChannelCount:
        return Reply(std::to_string(instrument_.ChannelCount()));

    case CommandId::kSweepPoints: {
        if (resolved.query) {
            return Reply(std::to_string(instrument_.GetSweep(channel).points));
        }
        double value = 0.0;
        if ((error = CheckCount(command, 1, 1)) != 0 ||
            (error = ToSettingValue(resolved.id, channels, command.params[0], value)) != 0 ||
            (error = instrument_.SetSweepPoints(channel, static_cast<long>(value))) != 0) {
            return fail(error);
        }
        return none;
    }
    case CommandId::kStartFrequency:
    case CommandId::kStopFrequency: {
        const bool start = resolved.id == CommandId::kStartFrequency;
        if (resolved.query) {
            const SweepSettings sweep = instrument_.GetSweep(channel);
            return Reply(FormatNumber(start ? sweep.startHz : sweep.stopHz));
        }
        double value = 0.0;
        if ((error = CheckCount(command, 1, 1)) != 0 ||
            (error = ToSettingValue(resolved.id, channels, command.params[0], value)) != 0 ||
            (error = start ? instrument_.SetStartFrequency(channel, value)
                           : instrument_.SetStopFrequency(channel, value)) != 0) {
            return fail(error);
        }
        return none;
    }
    case CommandId::kFrequencyData:
        return Reply(FormatFrequencyList(instrument_.SweepFrequencies(channel)));

    case CommandId::kSimulatorState:
    case CommandId::kMatchingState:
    case CommandId::kDeembeddingState:
    case CommandId::kMatchingPortState:
    case CommandId::kDeembeddingPortState: {
        const FixtureFunction function = FunctionOf(resolved.id);
        const bool simulator = resolved.id == CommandId::kSimulatorState;
        const bool perPort = resolved.suffixCount == 2;
        if (resolved.query) {
            const bool on = simulator ? instrument_.SimulatorState(channel)
                            : perPort ? instrument_.GetPortState(channel, port, function)
                                      : instrument_.GetChannelState(channel, function);
            return Reply(BoolReply(on));
        }
        bool on = false;
        if ((error = CheckCount(command, 1, 1)) != 0 || (error = ToBool(command.params[0], on)) != 0) {
            return fail(error);
        }
        if (simulator) {
            instrument_.SetSimulatorState(channel, on);
        } else if (perPort) {
            instrument_.SetPortState(channel, port, function, on);
        } else {
            instrument_.SetChannelState(channel, function, on);
        }
        return none;
    }
    case CommandId::kMatchingPortFile:
    case CommandId::kDeembeddingPortFile: {
        const FixtureFunction function = FunctionOf(resolved.id);
        if (resolved.query) {
            return Reply(QuoteString(instrument_.PortFile(channel, port, function)));
        }
        std::string name;
        if ((error = CheckCount(command, 1, 1)) != 0 || (error = ToText(command.params[0], name)) != 0) {
            return fail(error);
        }
        ErrorEntry outcome = instrument_.LoadPortFile(channel, port, function, name);
        if (outcome.code != 0) {
            instrument_.PushError(outcome.code, outcome.message);
        }
        return none;
    }

    case CommandId::kEventStatus:
        return Reply(std::to_string(instrument_.GetStatus().TakeEvents()));
    case CommandId::kEventStatusEnable:
    case CommandId::kServiceRequestEnable: {
        const bool events = resolved.id == CommandId::kEventStatusEnable;
        StatusRegisters& registers = instrument_.GetStatus();
        if (resolved.query) {
            return Reply(std::to_string(events ? registers.EventEnable() : registers.ServiceEnable()));
        }
        unsigned mask = 0;
        if ((error = CheckCount(command, 1, 1)) != 0 || (error = ToMask(command.params[0], mask)) != 0) {
            return fail(error);
        }
        if (events) {
            registers.SetEventEnable(mask);
        } else {
            registers.SetServiceEnable(mask);
        }
        return none;
    }
    case CommandId::kStatusByte:
        return Reply(std::to_string(instrument_.GetStatus().StatusByte(instrument_.ErrorCount() != 0)));
    case CommandId::kSelfTest:
        return Reply("0");  // nothing to fail: the self-test passes
    case CommandId::kSystemVersion:
        return Reply("1999.0");  // the SCPI version the command set follows
    case CommandId::kStatusPreset:
        if ((error = CheckCount(command, 0, 0)) != 0) {
            return fail(error);
        }
        instrument_.GetStatus().Preset();
        return none;
    case CommandId::kOperationStatus:
        return Reply(std::to_string(instrument_.GetStatus().TakeOperationEvents()));
    case CommandId::kQuestionableStatus:
        return Reply(std::to_string(instrument_.GetStatus().TakeQuestionableEvents()));
    case CommandId::kDeviceFile: {
        if (resolved.query) {
            return Reply(QuoteString(instrument_.Devices().GetDevice(port)->File()));
        }
        std::string name;
        if ((error = CheckCount(command, 1, 1)) != 0 || (error = ToText(command.params[0], name)) != 0) {
            return fail(error);
        }
        ErrorEntry outcome = instrument_.LoadDevice(port, name);
        if (outcome.code != 0) {
            instrument_.PushError(outcome.code, outcome.message);
        }
        return none;
    }
    case CommandId::kTraceData:
        return Reply(FormatComplexList(MeasurePort(instrument_, channel, port).simulated));
    }
    return fail(errors::kUndefinedHeader);
}

}  // namespace qvzsim
