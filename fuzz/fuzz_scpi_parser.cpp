// The emulator's SCPI parser against arbitrary program messages.
//
// Input: one program message, as a connection hands it over (without its
// line feed). Besides not crashing, every parse must describe the message
// truthfully: headers in upper case with a sane suffix, numbers finite, each
// command's text a piece of the message. The same bytes, quoted as SCPI
// string data, must come back unchanged as a string parameter.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "qvzsim/command_table.h"
#include "qvzsim/scpi_parser.h"

namespace {

using qvzsim::Parameter;
using qvzsim::ParsedMessage;
using qvzsim::ScpiCommand;

bool IsUpperMnemonic(const std::string& mnemonic) {
    if (mnemonic.empty()) {
        return false;
    }
    for (char c : mnemonic) {
        if (c >= 'a' && c <= 'z') {
            return false;
        }
    }
    return true;
}

void CheckCommand(const ScpiCommand& command, std::string_view message) {
    FUZZ_CHECK(!command.nodes.empty(), "a command has a header");
    FUZZ_CHECK(!command.common || command.nodes.size() == 1, "a common command has one node");
    for (const auto& node : command.nodes) {
        FUZZ_CHECK(IsUpperMnemonic(node.mnemonic), "mnemonics are non-empty upper case");
        FUZZ_CHECK(node.suffix >= 0, "suffixes are never negative");
        FUZZ_CHECK(node.hasSuffix || node.suffix == 1, "an unwritten suffix is 1");
    }
    for (const Parameter& parameter : command.params) {
        if (parameter.kind == Parameter::Kind::kNumber) {
            FUZZ_CHECK(std::isfinite(parameter.number), "numeric parameters are finite");
        }
    }
    FUZZ_CHECK(message.find(command.text) != std::string_view::npos,
               "a command's text is taken from the message");
    // Resolution must cope with whatever the parser accepted.
    const auto resolved = qvzsim::ResolveHeader(command);
    if (resolved) {
        FUZZ_CHECK(resolved->suffixCount >= 0 && resolved->suffixCount <= 2,
                   "at most a channel and a port suffix");
        FUZZ_CHECK(resolved->query == command.query, "resolution keeps the query form");
    }
}

void CheckStringRoundTrip(std::string_view text) {
    const std::string message = "MMEM:LOAD " + qvzsim::QuoteString(text);
    const ParsedMessage parsed = qvzsim::ParseProgramMessage(message);
    FUZZ_CHECK(parsed.errorCode == 0, "quoted string data always parses");
    FUZZ_CHECK(parsed.commands.size() == 1 && parsed.commands[0].params.size() == 1,
               "one command with one parameter");
    const Parameter& parameter = parsed.commands[0].params[0];
    FUZZ_CHECK(parameter.kind == Parameter::Kind::kString, "the parameter is string data");
    FUZZ_CHECK(parameter.text == text, "string data comes back unchanged");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view message(reinterpret_cast<const char*>(data), size);
    const ParsedMessage parsed = qvzsim::ParseProgramMessage(message);
    FUZZ_CHECK(parsed.errorCode == 0 || parsed.errorCode < 0, "errors are SCPI's negative codes");
    for (const ScpiCommand& command : parsed.commands) {
        CheckCommand(command, message);
    }
    ScpiCommand header;
    if (qvzsim::ParseHeader(message, header)) {
        FUZZ_CHECK(header.params.empty(), "a lone header has no parameters");
    }
    CheckStringRoundTrip(message);
    return 0;
}
