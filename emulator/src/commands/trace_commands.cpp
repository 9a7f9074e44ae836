// CALCulate:DATA: a port's measured trace, with the fixture simulator applied.
#include "commands/command_definition.h"
#include "commands/reply_format.h"
#include "qvzsim/port_measurement.h"

namespace qvzsim {
namespace {

ErrorEntry TraceData(CommandContext& context) {
    context.Reply(FormatComplexList(
        MeasurePort(context.instrument, context.channel, context.port).simulated));
    return Done();
}

const CommandDefinition kCommands[] = {
    {CommandId::kTraceData, "CALCulate#:DATA:PORT#:SDATa", kQueryForm,
     "CALCulate<ch>:DATA:PORT<n>:SDATa?", TraceData},
};

}  // namespace

CommandList TraceCommands() {
    return ListOf(kCommands);
}

}  // namespace qvzsim
