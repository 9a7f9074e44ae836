// SYSTem: the error queue, preset, version, the state report and the devices
// on the ports.
#include <string>

#include "commands/command_definition.h"
#include "commands/parameters.h"
#include "qvzsim/state_report.h"

namespace qvzsim {
namespace {

ErrorEntry NextError(CommandContext& context) {
    context.Reply(FormatErrorEntry(context.instrument.PopError()));
    return Done();
}

ErrorEntry ErrorCount(CommandContext& context) {
    context.Reply(std::to_string(context.instrument.ErrorCount()));
    return Done();
}

ErrorEntry Preset(CommandContext& context) {
    context.instrument.Reset();
    return Done();
}

ErrorEntry StateReport(CommandContext& context) {
    context.Reply(FormatStateLine(context.instrument.Snapshot()));
    return Done();
}

ErrorEntry Version(CommandContext& context) {
    context.Reply("1999.0");  // the SCPI version the command set follows
    return Done();
}

ErrorEntry DeviceFile(CommandContext& context) {
    if (context.IsQuery()) {
        context.Reply(QuoteString(context.instrument.Devices().GetDevice(context.port)->File()));
        return Done();
    }
    std::string name;
    if (const int error = ToText(context.Param(0), name); error != 0) {
        return Failed(error);
    }
    return context.instrument.LoadDevice(context.port, name);
}

const CommandDefinition kCommands[] = {
    {CommandId::kSystemError, "SYSTem:ERRor:[NEXT]", kQueryForm, "SYSTem:ERRor[:NEXT]?", NextError},
    {CommandId::kSystemErrorCount, "SYSTem:ERRor:COUNt", kQueryForm, "SYSTem:ERRor:COUNt?",
     ErrorCount},
    {CommandId::kSystemPreset, "SYSTem:PRESet", kSetForm, "SYSTem:PRESet", Preset},
    {CommandId::kStateReport, "SYSTem:FSIMulator:REPort", kQueryForm, "SYSTem:FSIMulator:REPort?",
     StateReport},
    {CommandId::kSystemVersion, "SYSTem:VERSion", kQueryForm, "SYSTem:VERSion?", Version},
    {CommandId::kDeviceFile, "SYSTem:DUT:PORT#:FILename", kBothForms, "SYSTem:DUT:PORT<n>:FILename",
     DeviceFile, 1, 1},
};

}  // namespace

CommandList SystemCommands() {
    return ListOf(kCommands);
}

}  // namespace qvzsim
