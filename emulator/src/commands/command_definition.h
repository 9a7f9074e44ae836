// One entry of the instrument's command table: the header pattern, the forms
// it exists in, and the handler that runs it. The handlers live in one file
// per subsystem, each with the list of its commands.
#ifndef QVZSIM_COMMANDS_COMMAND_DEFINITION_H
#define QVZSIM_COMMANDS_COMMAND_DEFINITION_H

#include <cstddef>
#include <string>
#include <utility>

#include "qvzsim/command_table.h"
#include "qvzsim/dispatcher.h"
#include "qvzsim/error_queue.h"
#include "qvzsim/faults.h"
#include "qvzsim/instrument.h"
#include "qvzsim/scpi_parser.h"

namespace qvzsim {

enum CommandForms : unsigned { kQueryForm = 1u, kSetForm = 2u, kBothForms = 3u };

// What a handler works on. By the time it runs, the suffixes are in range, a
// query carries no parameters and a setting has as many as its entry allows.
struct CommandContext {
    Instrument& instrument;
    Faults& faults;
    const ResolvedCommand& resolved;
    const ScpiCommand& command;
    int channel;  // 1 where the header names none
    int port;     // 1 where the header names none
    CommandResult& result;

    bool IsQuery() const { return resolved.query; }
    const Parameter& Param(std::size_t index) const { return command.params[index]; }
    std::size_t ParamCount() const { return command.params.size(); }
    void Reply(std::string text) {
        result.hasReply = true;
        result.reply = std::move(text);
    }
};

// Runs the command. Returns the entry to queue, or code 0 when it succeeded;
// an empty message takes the standard text.
using CommandHandler = ErrorEntry (*)(CommandContext& context);

inline ErrorEntry Done() {
    return {};
}
inline ErrorEntry Failed(int code) {
    return ErrorEntry{code, {}};
}

// A numeric setting that takes MINimum and MAXimum in place of a number, and
// answers "? MIN" / "? MAX" queries with them.
struct Limits {
    double minimum;
    double maximum;
};
struct NumericSetting {
    bool hertz;  // a frequency, with unit suffixes; otherwise an integer
    Limits (*limits)(int channels);
};

struct CommandDefinition {
    CommandId id;
    // Nodes separated by ':'; the upper-case head of each is its short form;
    // "#" marks a numeric suffix; a node in brackets may be left out. Common
    // commands are written with their '*'.
    const char* pattern;
    unsigned forms;
    const char* canonical;  // the long form with <ch>/<n> placeholders, for logs
    CommandHandler handler;
    // Parameters the setting form takes (queries take none but MIN/MAX).
    std::size_t minParameters = 0;
    std::size_t maxParameters = 0;
    const NumericSetting* numeric = nullptr;
};

// The commands of one subsystem, in a static array.
struct CommandList {
    const CommandDefinition* first;
    std::size_t count;
};

template <std::size_t N>
CommandList ListOf(const CommandDefinition (&commands)[N]) {
    return CommandList{commands, N};
}

CommandList CommonCommands();   // IEEE 488.2: *IDN?, *RST, *ESE, ...
CommandList SystemCommands();   // SYSTem: errors, preset, version, report, devices
CommandList FaultCommands();    // SYSTem:FAULt, faults on demand
CommandList SenseCommands();    // SERVice:CHANnel and SENSe: channels, sweeps
CommandList FixtureCommands();  // CALCulate:FSIMulator: matching, de-embedding
CommandList StatusCommands();   // STATus
CommandList TraceCommands();    // CALCulate:DATA

}  // namespace qvzsim

#endif
