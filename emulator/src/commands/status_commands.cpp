// STATus: the operation and questionable registers, and their preset.
#include <string>

#include "commands/command_definition.h"

namespace qvzsim {
namespace {

ErrorEntry Preset(CommandContext& context) {
    context.instrument.GetStatus().Preset();
    return Done();
}

ErrorEntry OperationEvents(CommandContext& context) {
    context.Reply(std::to_string(context.instrument.GetStatus().TakeOperationEvents()));
    return Done();
}

ErrorEntry QuestionableEvents(CommandContext& context) {
    context.Reply(std::to_string(context.instrument.GetStatus().TakeQuestionableEvents()));
    return Done();
}

const CommandDefinition kCommands[] = {
    {CommandId::kStatusPreset, "STATus:PRESet", kSetForm, "STATus:PRESet", Preset},
    {CommandId::kOperationStatus, "STATus:OPERation:[EVENt]", kQueryForm,
     "STATus:OPERation[:EVENt]?", OperationEvents},
    {CommandId::kQuestionableStatus, "STATus:QUEStionable:[EVENt]", kQueryForm,
     "STATus:QUEStionable[:EVENt]?", QuestionableEvents},
};

}  // namespace

CommandList StatusCommands() {
    return ListOf(kCommands);
}

}  // namespace qvzsim
