#include "qvzsim/scpi_parser.h"

#include <gtest/gtest.h>

#include <climits>
#include <sstream>

#include "qvzsim/error_queue.h"

namespace {

using qvzsim::Parameter;
using qvzsim::ParsedMessage;
using qvzsim::ParseProgramMessage;
using qvzsim::ScpiCommand;

// A compact picture of a parsed command: ":" when rooted, nodes joined by
// ':' with "#n" for a written suffix, "?" for a query, then the parameters
// as N(number) C(character) S(string).
std::string Dump(const ScpiCommand& command) {
    std::ostringstream out;
    if (command.rooted) {
        out << ':';
    }
    if (command.common) {
        out << '*';
    }
    for (std::size_t i = 0; i < command.nodes.size(); ++i) {
        if (i != 0) {
            out << ':';
        }
        out << command.nodes[i].mnemonic;
        if (command.nodes[i].hasSuffix) {
            out << '#' << command.nodes[i].suffix;
        }
    }
    if (command.query) {
        out << '?';
    }
    for (const Parameter& p : command.params) {
        switch (p.kind) {
            case Parameter::Kind::kNumber:
                out << " N(" << p.number << ')' << p.suffix;
                break;
            case Parameter::Kind::kCharacter:
                out << " C(" << p.text << ')';
                break;
            case Parameter::Kind::kString:
                out << " S(" << p.text << ')';
                break;
        }
    }
    return out.str();
}

std::string Dump(const ParsedMessage& message) {
    std::string out;
    for (const ScpiCommand& command : message.commands) {
        out += (out.empty() ? "" : " | ") + Dump(command);
    }
    return out;
}

struct ParseCase {
    const char* input;
    const char* expected;  // Dump of the commands parsed
    int error;             // errorCode of the message
};

TEST(ScpiParser, ParsesForms) {
    const ParseCase cases[] = {
        // The plug-in's own messages.
        {"SERVice:CHANnel:ACTive?", "SERVICE:CHANNEL:ACTIVE?", 0},
        {"SENSe1:SWEep:POINts?", "SENSE#1:SWEEP:POINTS?", 0},
        {":SENSe1:FREQuency:DATA?", ":SENSE#1:FREQUENCY:DATA?", 0},
        {":SYST:ERR?\r", ":SYST:ERR?", 0},
        {"CALCulate2:FSIMulator:SENDed:PMCircuit:PORT3:USER:FILename \"/tmp/x/P_Port3.s2p\"",
         "CALCULATE#2:FSIMULATOR:SENDED:PMCIRCUIT:PORT#3:USER:FILENAME S(/tmp/x/P_Port3.s2p)", 0},
        {"CALCulate1:FSIMulator:SENDed:DEEMbed:PORT1:STATe 1",
         "CALCULATE#1:FSIMULATOR:SENDED:DEEMBED:PORT#1:STATE N(1)", 0},
        {"CALCulate1:FSIMulator:SENDed:DEEMbed:PORT1:USER:FILename \"\"",
         "CALCULATE#1:FSIMULATOR:SENDED:DEEMBED:PORT#1:USER:FILENAME S()", 0},
        {"CALCulate1:FSIMulator:STATe 1", "CALCULATE#1:FSIMULATOR:STATE N(1)", 0},
        // Case, short forms, common commands, several per message.
        {"calc2:fsim:stat off", "CALC#2:FSIM:STAT C(off)", 0},
        {"*IDN?", "*IDN?", 0},
        {"*rst;*cls;*opc?", "*RST | *CLS | *OPC?", 0},
        {"SENS1:SWE:POIN?;:SYST:ERR?;FREQ:STAR?", "SENS#1:SWE:POIN? | :SYST:ERR? | FREQ:STAR?", 0},
        {"  *IDN? ;  *OPC?  ", "*IDN? | *OPC?", 0},
        {"*IDN?;", "*IDN?", 0},
        {";;*IDN?;;", "*IDN?", 0},
        {"", "", 0},
        {"   \r", "", 0},
        // Suffixes: written ones are kept; one beyond int is clamped.
        {"PORT12:STAT?", "PORT#12:STAT?", 0},
        {"PORT99999999999:STAT?", "PORT#2147483647:STAT?", 0},
        {"S2P_X3?", "S2P_X#3?", 0},
        // Strings: both quotes, doubled quotes, separators inside.
        {"X 'it''s'", "X S(it's)", 0},
        {"X \"say \"\"hi\"\"\"", "X S(say \"hi\")", 0},
        {"X \"a;b,c\",'d'", "X S(a;b,c) S(d)", 0},
        {"X \"C:\\VNA\\Qaldorn\\P_Port1.s2p\"", "X S(C:\\VNA\\Qaldorn\\P_Port1.s2p)", 0},
        // Numbers and character data.
        {"X 1,+2.5,-3e-3,.5,1E+009", "X N(1) N(2.5) N(-0.003) N(0.5) N(1e+09)", 0},
        {"X   1  ,  2  ", "X N(1) N(2)", 0},
        {"X\t1", "X N(1)", 0},
        {"X ON,off,ALWays", "X C(ON) C(off) C(ALWays)", 0},
        {"X inf,nan", "X C(inf) C(nan)", 0},
        // Unit suffixes, joined to the number or apart from it.
        {"X 1.5GHZ", "X N(1.5)GHZ", 0},
        {"X 1 GHz", "X N(1)GHZ", 0},
        {"X 500 kHz,2e3MHz ; Y 7", "X N(500)KHZ N(2000)MHZ | Y N(7)", 0},
        {"X -3dBm", "X N(-3)DBM", 0},
        {"X 1E", "X N(1)E", 0},
        // Syntax errors: commands before the error survive.
        {"X \"abc", "", qvzsim::errors::kSyntaxError},
        {"A 1;B \"x", "A N(1)", qvzsim::errors::kSyntaxError},
        {"X 1,,2", "", qvzsim::errors::kSyntaxError},
        {"X 1,", "", qvzsim::errors::kSyntaxError},
        {"X 1 2", "", qvzsim::errors::kSyntaxError},
        {"X \"a\"b", "", qvzsim::errors::kSyntaxError},
        {"X 1 GHz 2", "", qvzsim::errors::kSyntaxError},
        {"X 1GHz2", "", qvzsim::errors::kSyntaxError},
        {"X +-1", "", qvzsim::errors::kSyntaxError},
        {"X 1.0.0", "", qvzsim::errors::kSyntaxError},
        {"::A", "", qvzsim::errors::kSyntaxError},
        {"A::B", "", qvzsim::errors::kSyntaxError},
        {"A:", "", qvzsim::errors::kSyntaxError},
        {"1A", "", qvzsim::errors::kSyntaxError},
        {"*", "", qvzsim::errors::kSyntaxError},
        {"*IDN?X", "", qvzsim::errors::kSyntaxError},
        {"A?B", "", qvzsim::errors::kSyntaxError},
        {"A,1", "", qvzsim::errors::kSyntaxError},
        {"*IDN?;A B C;*OPC?", "*IDN?", qvzsim::errors::kSyntaxError},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.input);
        ParsedMessage parsed = ParseProgramMessage(c.input);
        EXPECT_EQ(Dump(parsed), c.expected);
        EXPECT_EQ(parsed.errorCode, c.error);
    }
}

TEST(ScpiParser, KeepsCommandTextAndSuffixDefaults) {
    ParsedMessage parsed = ParseProgramMessage(" calc:fsim:stat 1 ; *OPC? ");
    ASSERT_EQ(parsed.commands.size(), 2u);
    EXPECT_EQ(parsed.commands[0].text, "calc:fsim:stat 1");
    EXPECT_EQ(parsed.commands[1].text, "*OPC?");
    const qvzsim::HeaderNode& calc = parsed.commands[0].nodes[0];
    EXPECT_FALSE(calc.hasSuffix);
    EXPECT_EQ(calc.suffix, 1);
}

TEST(ScpiParser, ParseHeaderTakesOneParameterlessHeader) {
    ScpiCommand header;
    EXPECT_TRUE(qvzsim::ParseHeader("SENS:SWE:POIN?", header));
    EXPECT_TRUE(header.query);
    EXPECT_EQ(header.nodes.size(), 3u);
    EXPECT_FALSE(qvzsim::ParseHeader("SENS:SWE:POIN 5", header));
    EXPECT_FALSE(qvzsim::ParseHeader("*IDN?;*OPC?", header));
    EXPECT_FALSE(qvzsim::ParseHeader("", header));
    EXPECT_FALSE(qvzsim::ParseHeader("A::B", header));
}

TEST(ScpiParser, QuoteStringDoublesQuotes) {
    EXPECT_EQ(qvzsim::QuoteString(""), "\"\"");
    EXPECT_EQ(qvzsim::QuoteString("/tmp/a b.s2p"), "\"/tmp/a b.s2p\"");
    EXPECT_EQ(qvzsim::QuoteString("say \"hi\""), "\"say \"\"hi\"\"\"");
    // What QuoteString writes, the parser reads back unchanged.
    ParsedMessage parsed = ParseProgramMessage("X " + qvzsim::QuoteString("a\"b;c"));
    ASSERT_EQ(parsed.commands.size(), 1u);
    EXPECT_EQ(parsed.commands[0].params.at(0).text, "a\"b;c");
}

}  // namespace
