// Tokeniser for SCPI program messages: one line from a client becomes a list
// of commands, each with its header nodes and its parameters. Matching the
// header against the command table is not done here (see command_table.h).
#ifndef QVZSIM_SCPI_PARSER_H
#define QVZSIM_SCPI_PARSER_H

#include <string>
#include <string_view>
#include <vector>

namespace qvzsim {

// One node of a header such as "PORT3": the mnemonic in upper case and the
// numeric suffix that followed it, if any.
struct HeaderNode {
    std::string mnemonic;
    bool hasSuffix = false;
    int suffix = 1;  // 1 when no suffix was written (the SCPI default)
};

struct Parameter {
    enum class Kind { kNumber, kCharacter, kString };
    Kind kind = Kind::kCharacter;
    std::string text;     // string contents unquoted, or the token as written
    double number = 0.0;  // meaningful when kind == kNumber
    std::string suffix;   // a number's unit suffix in upper case ("GHZ"), or empty
};

struct ScpiCommand {
    bool common = false;  // "*IDN?" and friends; nodes then holds one node
    bool rooted = false;  // written with a leading ':'
    bool query = false;
    std::vector<HeaderNode> nodes;
    std::vector<Parameter> params;
    std::string text;  // the command as written, for logs
};

struct ParsedMessage {
    std::vector<ScpiCommand> commands;  // those before the first syntax error
    int errorCode = 0;                  // 0, or the SCPI error that ended parsing
};

// Splits one program message (without its line feed; a trailing carriage
// return is ignored) into commands separated by ';'. Parsing stops at the
// first syntax error; the commands before it are returned and stay valid, as
// an instrument that parses as it goes would already have run them.
ParsedMessage ParseProgramMessage(std::string_view message);

// Parses a lone header such as "SENS:SWE:POIN?" (no parameters allowed).
// Returns false when the text is not exactly one parameterless header.
bool ParseHeader(std::string_view text, ScpiCommand& out);

// Quotes `text` as SCPI string response data: "..." with inner quotes doubled.
std::string QuoteString(std::string_view text);

}  // namespace qvzsim

#endif
