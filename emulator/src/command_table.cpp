#include "qvzsim/command_table.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "commands/command_definition.h"

namespace qvzsim {
namespace {

struct PatternNode {
    std::string shortForm;  // upper case
    std::string longForm;   // upper case
    bool takesSuffix = false;
    bool optional = false;
};

struct CompiledCommand {
    const CommandDefinition* definition;
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

CompiledCommand CompileCommand(const CommandDefinition& definition) {
    CompiledCommand compiled{&definition, definition.pattern[0] == '*', {}};
    std::string_view pattern = definition.pattern;
    if (compiled.common) {
        pattern.remove_prefix(1);
    }
    while (!pattern.empty()) {
        std::size_t colon = pattern.find(':');
        compiled.nodes.push_back(CompileNode(pattern.substr(0, colon)));
        pattern = colon == std::string_view::npos ? std::string_view() : pattern.substr(colon + 1);
    }
    return compiled;
}

std::vector<CompiledCommand> CompileTable() {
    const CommandList subsystems[] = {CommonCommands(), SystemCommands(),  FaultCommands(),
                                      SenseCommands(),  FixtureCommands(), StatusCommands(),
                                      TraceCommands()};
    std::vector<CompiledCommand> table;
    for (const CommandList& subsystem : subsystems) {
        for (std::size_t i = 0; i < subsystem.count; ++i) {
            table.push_back(CompileCommand(subsystem.first[i]));
        }
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
        if ((command.definition->forms & (query ? kQueryForm : kSetForm)) == 0) {
            return std::nullopt;
        }
        resolved.id = command.definition->id;
        resolved.definition = command.definition;
        resolved.query = query;
        return resolved;
    }
    return std::nullopt;
}

std::optional<ResolvedCommand> ResolveHeader(const ScpiCommand& command) {
    return ResolveHeader(command.nodes, command.common, command.query);
}

const char* CanonicalHeader(CommandId id) {
    for (const CompiledCommand& command : Table()) {
        if (command.definition->id == id) {
            return command.definition->canonical;
        }
    }
    return "?";
}

bool IsFaultControl(CommandId id) {
    const CommandList faults = FaultCommands();
    for (std::size_t i = 0; i < faults.count; ++i) {
        if (faults.first[i].id == id) {
            return true;
        }
    }
    return false;
}

}  // namespace qvzsim
