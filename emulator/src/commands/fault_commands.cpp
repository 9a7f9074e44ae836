// SYSTem:FAULt: faults on demand, for tests of clients. Faults never apply to
// these commands themselves.
#include <string>

#include "commands/command_definition.h"
#include "commands/parameters.h"

namespace qvzsim {
namespace {

// The parameters of SILence, GARBage and DELay: the header, the delay (DELay
// only), then an optional repeat count.
struct FaultRequest {
    std::string header;
    long delayMs = 0;
    int times = 1;
};

int ReadFaultRequest(const CommandContext& context, bool withDelay, FaultRequest& request) {
    const std::size_t fixed = withDelay ? 2 : 1;
    int error = 0;
    if ((error = ToText(context.Param(0), request.header)) != 0 ||
        (withDelay && (error = ToInteger(context.Param(1), request.delayMs)) != 0) ||
        (context.ParamCount() > fixed &&
         (error = ToTimes(context.Param(fixed), request.times)) != 0)) {
        return error;
    }
    return 0;
}

ErrorEntry Armed(bool armed) {
    return armed ? Done() : Failed(errors::kIllegalParameterValue);
}

ErrorEntry Silence(CommandContext& context) {
    FaultRequest request;
    if (const int error = ReadFaultRequest(context, false, request); error != 0) {
        return Failed(error);
    }
    return Armed(context.faults.Silence(request.header, request.times));
}

ErrorEntry Garbage(CommandContext& context) {
    FaultRequest request;
    if (const int error = ReadFaultRequest(context, false, request); error != 0) {
        return Failed(error);
    }
    return Armed(context.faults.Garbage(request.header, request.times));
}

ErrorEntry Delay(CommandContext& context) {
    FaultRequest request;
    if (const int error = ReadFaultRequest(context, true, request); error != 0) {
        return Failed(error);
    }
    if (request.delayMs < 0 || request.delayMs > 600000) {
        return Failed(errors::kDataOutOfRange);
    }
    return Armed(
        context.faults.Delay(request.header, static_cast<int>(request.delayMs), request.times));
}

ErrorEntry CloseAfter(CommandContext& context) {
    long commands = 0;
    if (const int error = ToInteger(context.Param(0), commands); error != 0) {
        return Failed(error);
    }
    if (commands < 1) {
        return Failed(errors::kDataOutOfRange);
    }
    context.faults.CloseAfter(static_cast<int>(commands));
    return Done();
}

// Queues the entry it is given, as if the instrument had failed that way.
ErrorEntry PresetError(CommandContext& context) {
    long code = 0;
    std::string message;
    int error = 0;
    if ((error = ToInteger(context.Param(0), code)) != 0 ||
        (context.ParamCount() > 1 && (error = ToText(context.Param(1), message)) != 0)) {
        return Failed(error);
    }
    context.instrument.PushError(static_cast<int>(code), message);
    return Done();
}

ErrorEntry Clear(CommandContext& context) {
    context.faults.Clear();
    return Done();
}

ErrorEntry Count(CommandContext& context) {
    context.Reply(std::to_string(context.faults.ArmedCount()));
    return Done();
}

const CommandDefinition kCommands[] = {
    {CommandId::kFaultSilence, "SYSTem:FAULt:SILence", kSetForm, "SYSTem:FAULt:SILence", Silence, 1,
     2},
    {CommandId::kFaultDelay, "SYSTem:FAULt:DELay", kSetForm, "SYSTem:FAULt:DELay", Delay, 2, 3},
    {CommandId::kFaultGarbage, "SYSTem:FAULt:GARBage", kSetForm, "SYSTem:FAULt:GARBage", Garbage, 1,
     2},
    {CommandId::kFaultClose, "SYSTem:FAULt:CLOSe", kSetForm, "SYSTem:FAULt:CLOSe", CloseAfter, 1,
     1},
    {CommandId::kFaultError, "SYSTem:FAULt:ERRor", kSetForm, "SYSTem:FAULt:ERRor", PresetError, 1,
     2},
    {CommandId::kFaultClear, "SYSTem:FAULt:CLEar", kSetForm, "SYSTem:FAULt:CLEar", Clear},
    {CommandId::kFaultCount, "SYSTem:FAULt:COUNt", kQueryForm, "SYSTem:FAULt:COUNt?", Count},
};

}  // namespace

CommandList FaultCommands() {
    return ListOf(kCommands);
}

}  // namespace qvzsim
