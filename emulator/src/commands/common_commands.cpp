// The IEEE 488.2 common commands.
#include <string>

#include "commands/command_definition.h"
#include "commands/parameters.h"
#include "qvzsim/identity.h"
#include "qvzsim/status_registers.h"

#ifndef QVZSIM_VERSION
#define QVZSIM_VERSION "0"
#endif

namespace qvzsim {

std::string IdentityString() {
    return std::string("Qaldorn,QVZSIM,0,") + QVZSIM_VERSION;
}

namespace {

ErrorEntry Identify(CommandContext& context) {
    context.Reply(IdentityString());
    return Done();
}

ErrorEntry Reset(CommandContext& context) {
    context.instrument.Reset();
    return Done();
}

ErrorEntry ClearStatus(CommandContext& context) {
    context.instrument.ClearErrors();
    context.instrument.GetStatus().ClearEvents();
    return Done();
}

ErrorEntry OperationComplete(CommandContext& context) {
    if (context.IsQuery()) {
        context.Reply("1");  // every operation completes before the reply
    } else {
        context.instrument.GetStatus().SetEvents(status::kOperationComplete);
    }
    return Done();
}

ErrorEntry Wait(CommandContext&) {
    return Done();
}

ErrorEntry EventStatus(CommandContext& context) {
    context.Reply(std::to_string(context.instrument.GetStatus().TakeEvents()));
    return Done();
}

// *ESE and *SRE: the query reads the mask, the setting writes it.
ErrorEntry EnableMask(CommandContext& context, unsigned (StatusRegisters::*get)() const,
                      void (StatusRegisters::*set)(unsigned)) {
    StatusRegisters& registers = context.instrument.GetStatus();
    if (context.IsQuery()) {
        context.Reply(std::to_string((registers.*get)()));
        return Done();
    }
    unsigned mask = 0;
    if (const int error = ToMask(context.Param(0), mask); error != 0) {
        return Failed(error);
    }
    (registers.*set)(mask);
    return Done();
}

ErrorEntry EventStatusEnable(CommandContext& context) {
    return EnableMask(context, &StatusRegisters::EventEnable, &StatusRegisters::SetEventEnable);
}

ErrorEntry ServiceRequestEnable(CommandContext& context) {
    return EnableMask(context, &StatusRegisters::ServiceEnable, &StatusRegisters::SetServiceEnable);
}

ErrorEntry StatusByte(CommandContext& context) {
    Instrument& instrument = context.instrument;
    context.Reply(std::to_string(instrument.GetStatus().StatusByte(instrument.ErrorCount() != 0)));
    return Done();
}

ErrorEntry SelfTest(CommandContext& context) {
    context.Reply("0");  // nothing to fail: the self-test passes
    return Done();
}

const CommandDefinition kCommands[] = {
    {CommandId::kIdentify, "*IDN", kQueryForm, "*IDN?", Identify},
    {CommandId::kReset, "*RST", kSetForm, "*RST", Reset},
    {CommandId::kClearStatus, "*CLS", kSetForm, "*CLS", ClearStatus},
    {CommandId::kOperationComplete, "*OPC", kBothForms, "*OPC", OperationComplete},
    {CommandId::kWait, "*WAI", kSetForm, "*WAI", Wait},
    {CommandId::kEventStatus, "*ESR", kQueryForm, "*ESR?", EventStatus},
    {CommandId::kEventStatusEnable, "*ESE", kBothForms, "*ESE", EventStatusEnable, 1, 1},
    {CommandId::kServiceRequestEnable, "*SRE", kBothForms, "*SRE", ServiceRequestEnable, 1, 1},
    {CommandId::kStatusByte, "*STB", kQueryForm, "*STB?", StatusByte},
    {CommandId::kSelfTest, "*TST", kQueryForm, "*TST?", SelfTest},
};

}  // namespace

CommandList CommonCommands() {
    return ListOf(kCommands);
}

}  // namespace qvzsim
