// CALCulate:FSIMulator: the fixture simulator of a channel, and its matching
// circuit and de-embedding, each for the channel and for every port.
#include <string>

#include "commands/command_definition.h"
#include "commands/parameters.h"
#include "commands/reply_format.h"

namespace qvzsim {
namespace {

// The setting's ON/OFF, or the error to queue.
ErrorEntry ReadSwitch(const CommandContext& context, bool& on) {
    const int error = ToBool(context.Param(0), on);
    return error != 0 ? Failed(error) : Done();
}

ErrorEntry SimulatorState(CommandContext& context) {
    if (context.IsQuery()) {
        context.Reply(BoolReply(context.instrument.SimulatorState(context.channel)));
        return Done();
    }
    bool on = false;
    ErrorEntry error = ReadSwitch(context, on);
    if (error.code == 0) {
        context.instrument.SetSimulatorState(context.channel, on);
    }
    return error;
}

ErrorEntry ChannelState(CommandContext& context, FixtureFunction function) {
    if (context.IsQuery()) {
        context.Reply(BoolReply(context.instrument.GetChannelState(context.channel, function)));
        return Done();
    }
    bool on = false;
    ErrorEntry error = ReadSwitch(context, on);
    if (error.code == 0) {
        context.instrument.SetChannelState(context.channel, function, on);
    }
    return error;
}

ErrorEntry PortState(CommandContext& context, FixtureFunction function) {
    if (context.IsQuery()) {
        context.Reply(
            BoolReply(context.instrument.GetPortState(context.channel, context.port, function)));
        return Done();
    }
    bool on = false;
    ErrorEntry error = ReadSwitch(context, on);
    if (error.code == 0) {
        context.instrument.SetPortState(context.channel, context.port, function, on);
    }
    return error;
}

// FILename: the query names the port's file; the setting loads it (an empty
// name clears it) and queues what went wrong.
ErrorEntry PortFile(CommandContext& context, FixtureFunction function) {
    if (context.IsQuery()) {
        context.Reply(
            QuoteString(context.instrument.PortFile(context.channel, context.port, function)));
        return Done();
    }
    std::string name;
    if (const int error = ToText(context.Param(0), name); error != 0) {
        return Failed(error);
    }
    return context.instrument.LoadPortFile(context.channel, context.port, function, name);
}

ErrorEntry MatchingState(CommandContext& context) {
    return ChannelState(context, FixtureFunction::kMatching);
}
ErrorEntry MatchingPortState(CommandContext& context) {
    return PortState(context, FixtureFunction::kMatching);
}
ErrorEntry MatchingPortFile(CommandContext& context) {
    return PortFile(context, FixtureFunction::kMatching);
}
ErrorEntry DeembeddingState(CommandContext& context) {
    return ChannelState(context, FixtureFunction::kDeembedding);
}
ErrorEntry DeembeddingPortState(CommandContext& context) {
    return PortState(context, FixtureFunction::kDeembedding);
}
ErrorEntry DeembeddingPortFile(CommandContext& context) {
    return PortFile(context, FixtureFunction::kDeembedding);
}

const CommandDefinition kCommands[] = {
    {CommandId::kSimulatorState, "CALCulate#:FSIMulator:STATe", kBothForms,
     "CALCulate<ch>:FSIMulator:STATe", SimulatorState, 1, 1},
    {CommandId::kMatchingState, "CALCulate#:FSIMulator:SENDed:PMCircuit:STATe", kBothForms,
     "CALCulate<ch>:FSIMulator:SENDed:PMCircuit:STATe", MatchingState, 1, 1},
    {CommandId::kMatchingPortState, "CALCulate#:FSIMulator:SENDed:PMCircuit:PORT#:STATe",
     kBothForms, "CALCulate<ch>:FSIMulator:SENDed:PMCircuit:PORT<n>:STATe", MatchingPortState, 1,
     1},
    {CommandId::kMatchingPortFile, "CALCulate#:FSIMulator:SENDed:PMCircuit:PORT#:USER:FILename",
     kBothForms, "CALCulate<ch>:FSIMulator:SENDed:PMCircuit:PORT<n>:USER:FILename",
     MatchingPortFile, 1, 1},
    {CommandId::kDeembeddingState, "CALCulate#:FSIMulator:SENDed:DEEMbed:STATe", kBothForms,
     "CALCulate<ch>:FSIMulator:SENDed:DEEMbed:STATe", DeembeddingState, 1, 1},
    {CommandId::kDeembeddingPortState, "CALCulate#:FSIMulator:SENDed:DEEMbed:PORT#:STATe",
     kBothForms, "CALCulate<ch>:FSIMulator:SENDed:DEEMbed:PORT<n>:STATe", DeembeddingPortState, 1,
     1},
    {CommandId::kDeembeddingPortFile, "CALCulate#:FSIMulator:SENDed:DEEMbed:PORT#:USER:FILename",
     kBothForms, "CALCulate<ch>:FSIMulator:SENDed:DEEMbed:PORT<n>:USER:FILename",
     DeembeddingPortFile, 1, 1},
};

}  // namespace

CommandList FixtureCommands() {
    return ListOf(kCommands);
}

}  // namespace qvzsim
