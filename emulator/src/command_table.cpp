#include "qvzsim/command_table.h"

#include <string>
#include <string_view>
#include <vector>

namespace qvzsim {
namespace {

enum Forms : unsigned { kQueryForm = 1u, kSetForm = 2u, kBothForms = 3u };

struct CommandSpec {
    CommandId id;
    const char* pattern;  // long form; the upper-case head is the short form
    unsigned forms;
    const char* canonical;  // for logs
};

// Patterns: nodes separated by ':'; "#" marks a numeric suffix; a node in
// brackets may be left out. Common commands are written with their '*'.
const CommandSpec kCommands[] = {
    {CommandId::kIdentify, "*IDN", kQueryForm,
     "*IDN?"},
    {CommandId::kReset, "*RST", kSetForm,
     "*RST"},
    {CommandId::kClearStatus, "*CLS", kSetForm,
     "*CLS"},
    {CommandId::kOperationComplete, "*OPC", kBothForms,
     "*OPC"},
    {CommandId::kWait, "*WAI", kSetForm,
     "*WAI"},
    {CommandId::kSystemError, "SYSTem:ERRor:[NEXT]", kQueryForm,
     "SYSTem:ERRor[:NEXT]?"},
    {CommandId::kSystemErrorCount, "SYSTem:ERRor:COUNt", kQueryForm,
     "SYSTem:ERRor:COUNt?"},
    {CommandId::kSystemPreset, "SYSTem:PRESet", kSetForm,
     "SYSTem:PRESet"},
    {CommandId::kStateReport, "SYSTem:FSIMulator:REPort", kQueryForm,
     "SYSTem:FSIMulator:REPort?"},
    {CommandId::kFaultSilence, "SYSTem:FAULt:SILence", kSetForm,
     "SYSTem:FAULt:SILence"},
    {CommandId::kFaultDelay, "SYSTem:FAULt:DELay", kSetForm,
     "SYSTem:FAULt:DELay"},
    {CommandId::kFaultGarbage, "SYSTem:FAULt:GARBage", kSetForm,
     "SYSTem:FAULt:GARBage"},
    {CommandId::kFaultClose, "SYSTem:FAULt:CLOSe", kSetForm,
     "SYSTem:FAULt:CLOSe"},
    {CommandId::kFaultError, "SYSTem:FAULt:ERRor", kSetForm,
     "SYSTem:FAULt:ERRor"},
    {CommandId::kFaultClear, "SYSTem:FAULt:CLEar", kSetForm,
     "SYSTem:FAULt:CLEar"},
    {CommandId::kFaultCount, "SYSTem:FAULt:COUNt", kQueryForm,
     "SYSTem:FAULt:COUNt?"},
    {CommandId::kActiveChannel, "SERVice:CHANnel:ACTive", kBothForms,
     "SERVice:CHANnel:ACTive"},
    {CommandId::kChannelCount, "SERVice:CHANnel:COUNt", kQueryForm,
     "SERVice:CHANnel:COUNt?"},
    {CommandId::kSweepPoints, "[SENSe#]:SWEep:POINts", kBothForms,
     "SENSe<ch>:SWEep:POINts"},
    {CommandId::kStartFrequency, "[SENSe#]:FREQuency:STARt", kBothForms,
     "SENSe<ch>:FREQuency:STARt"},
    {CommandId::kStopFrequency, "[SENSe#]:FREQuency:STOP", kBothForms,
     "SENSe<ch>:FREQuency:STOP"},
    {CommandId::kFrequencyData, "[SENSe#]:FREQuency:DATA", kQueryForm,
     "SENSe<ch>:FREQuency:DATA?"},
    {CommandId::kSimulatorState, "CALCulate#:FSIMulator:STATe", kBothForms,
     "CALCulate<ch>:FSIMulator:STATe"},
    {CommandId::kMatchingState, "CALCulate#:FSIMulator:SENDed:PMCircuit:STATe", kBothForms,
     "CALCulate<ch>:FSIMulator:SENDed:PMCircuit:STATe"},
    {CommandId::kMatchingPortState, "CALCulate#:FSIMulator:SENDed:PMCircuit:PORT#:STATe", kBothForms,
     "CALCulate<ch>:FSIMulator:SENDed:PMCircuit:PORT<n>:STATe"},
    {CommandId::kMatchingPortFile, "CALCulate#:FSIMulator:SENDed:PMCircuit:PORT#:USER:FILename", kBothForms,
     "CALCulate<ch>:FSIMulator:SENDed:PMCircuit:PORT<n>:USER:FILename"},
    {CommandId::kDeembeddingState, "CALCulate#:FSIMulator:SENDed:DEEMbed:STATe", kBothForms,
     "CALCulate<ch>:FSIMulator:SENDed:DEEMbed:STATe"},
    {CommandId::kDeembeddingPortState, "CALCulate#:FSIMulator:SENDed:DEEMbed:PORT#:STATe", kBothForms,
     "CALCulate<ch>:FSIMulator:SENDed:DEEMbed:PORT<n>:STATe"},
    {CommandId::kDeembeddingPortFile, "CALCulate#:FSIMulator:SENDed:DEEMbed:PORT#:USER:FILename", kBothForms,
     "CALCulate<ch>:FSIMulator:SENDed:DEEMbed:PORT<n>:USER:FILename"},
    {CommandId::kEventStatus, "*ESR", kQueryForm,
     "*ESR?"},
    {CommandId::kEventStatusEnable, "*ESE", kBothForms,
     "*ESE"},
    {CommandId::kServiceRequestEnable, "*SRE", kBothForms,
     "*SRE"},
    {CommandId::kStatusByte, "*STB", kQueryForm,
     "*STB?"},
    {CommandId::kSelfTest, "*TST", kQueryForm,
     "*TST?"},
    {CommandId::kSystemVersion, "SYSTem:VERSion", kQueryForm,
     "SYSTem:VERSion?"},
    {CommandId::kStatusPreset, "STATus:PRESet", kSetForm,
     "STATus:PRESet"},
    {CommandId::kOperationStatus, "STATus:OPERation:[EVENt]", kQueryForm,
     "STATus:OPERation[:EVENt]?"},
    {CommandId::kQuestionableStatus, "STATus:QUEStionable:[EVENt]", kQueryForm,
     "STATus:QUEStionable[:EVENt]?"},
    {CommandId::kDeviceFile, "SYSTem:DUT:PORT#:FILename", kBothForms,
     "SYSTem:DUT:PORT<n>:FILename"},
    {CommandId::kTraceData, "CALCulate#:DATA:PORT#:SDATa", kQueryForm,
     "CALCulate<ch>:DATA:PORT<n>:SDATa?"},
};

struct PatternNode {
    std::string shortForm;  // upper case
    std::string longForm;   // upper case
    bool takesSuffix = false;
    bool optional = false;
};

struct CompiledCommand {
    CommandId id;
    unsigned forms;
    bool common;
    std::vector<PatternNode> nodes;
};

PatternNode CompileNode(std::string_view text) {
    PatternNode node;
    if (!text.empty() && text.front() == '[') {
        node.optional = true;
        text = text.substr(1, text.size() - 2);
    }
    if (!text.empty() && text.back() == '#') {
        node.takesSuffix = true;
        text.remove_suffix(1);
    }
    bool inShort = true;
    for (char c : text) {
        bool upper = c >= 'A' && c <= 'Z';
        if (!upper) {
            inShort = false;
        }
        if (inShort) {
            node.shortForm.push_back(c);
        }
        node.longForm.push_back(upper ? c : static_cast<char>(c - 'a' + 'A'));
    }
    return node;
}

std::vector<CompiledCommand> CompileTable() {
    std::vector<CompiledCommand> table;
    for (const CommandSpec& entry : kCommands) {
        CompiledCommand compiled{entry.id, entry.forms, entry.pattern[0] == '*', {}};
        std::string_view pattern = entry.pattern;
        if (compiled.common) {
            pattern.remove_prefix(1);
        }
        while (!pattern.empty()) {
            std::size_t colon = pattern.find(':');
            compiled.nodes.push_back(CompileNode(pattern.substr(0, colon)));
            pattern = colon == std::string_view::npos ? std::string_view() : pattern.substr(colon + 1);
        }
        table.push_back(std::move(compiled));
    }
    return table;
}

const std::vector<CompiledCommand>& Table() {
    static const std::vector<CompiledCommand> table = CompileTable();
    return table;
}

bool NodeMatches(const PatternNode& pattern, const HeaderNode& node) {
    if (node.hasSuffix && !pattern.takesSuffix) {
        return false;
    }
    return node.mnemonic == pattern.shortForm || node.mnemonic == pattern.longForm;
}

// Matches input nodes [in..] against pattern nodes [pat..], recording the
// suffix of every suffixed pattern node. Optional nodes may be skipped.
bool MatchFrom(const std::vector<PatternNode>& pattern, std::size_t pat,
               const std::vector<HeaderNode>& input, std::size_t in, ResolvedCommand& out) {
    if (pat == pattern.size()) {
        return in == input.size();
    }
    const PatternNode& node = pattern[pat];
    const int savedCount = out.suffixCount;
    if (in < input.size() && NodeMatches(node, input[in])) {
        if (node.takesSuffix) {
            std::size_t slot = static_cast<std::size_t>(out.suffixCount++);
            out.suffixes[slot] = input[in].suffix;
            out.suffixWritten[slot] = input[in].hasSuffix;
        }
        if (MatchFrom(pattern, pat + 1, input, in + 1, out)) {
            return true;
        }
        out.suffixCount = savedCount;
    }
    if (node.optional) {
        if (node.takesSuffix) {
            std::size_t slot = static_cast<std::size_t>(out.suffixCount++);
            out.suffixes[slot] = 1;
            out.suffixWritten[slot] = false;
        }
        if (MatchFrom(pattern, pat + 1, input, in, out)) {
            return true;
        }
        out.suffixCount = savedCount;
    }
    return false;
}

}  // namespace

std::optional<ResolvedCommand> ResolveHeader(const std::vector<HeaderNode>& nodes, bool common,
                                             bool query) {
    for (const CompiledCommand& command : Table()) {
        if (command.common != common) {
            continue;
        }
        ResolvedCommand resolved;
        if (!MatchFrom(command.nodes, 0, nodes, 0, resolved)) {
            continue;
        }
        if ((command.forms & (query ? kQueryForm : kSetForm)) == 0) {
            return std::nullopt;
        }
        resolved.id = command.id;
        resolved.query = query;
        return resolved;
    }
    return std::nullopt;
}

std::optional<ResolvedCommand> ResolveHeader(const ScpiCommand& command) {
    return ResolveHeader(command.nodes, command.common, command.query);
}

const char* CanonicalHeader(CommandId id) {
    for (const CommandSpec& entry : kCommands) {
        if (entry.id == id) {
            return entry.canonical;
        }
    }
    return "?";
}

bool IsFaultControl(CommandId id) {
    switch (id) {
    case CommandId::kFaultSilence:
    case CommandId::kFaultDelay:
    case CommandId::kFaultGarbage:
    case CommandId::kFaultClose:
    case CommandId::kFaultError:
    case CommandId::kFaultClear:
    case CommandId::kFaultCount:
        return true;
    default:
        return false;
    }
}

}  // namespace qvzsim
