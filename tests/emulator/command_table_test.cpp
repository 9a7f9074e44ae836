#include "qvzsim/command_table.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <string>

namespace {

using qvzsim::CommandId;
using qvzsim::ResolvedCommand;

std::optional<ResolvedCommand> Resolve(const std::string& header) {
    qvzsim::ScpiCommand parsed;
    if (!qvzsim::ParseHeader(header, parsed)) {
        ADD_FAILURE() << "does not parse: " << header;
        return std::nullopt;
    }
    return qvzsim::ResolveHeader(parsed);
}

struct ResolveCase {
    const char* header;
    std::optional<CommandId> id;  // nothing: no such command in that form
    int suffixCount;
    int channel;  // first suffix
    bool channelWritten;
    int port;  // second suffix
};

TEST(CommandTable, ResolvesHeaders) {
    const ResolveCase cases[] = {
        {"SERVice:CHANnel:ACTive?", CommandId::kActiveChannel, 0, 1, false, 1},
        {"serv:chan:act?", CommandId::kActiveChannel, 0, 1, false, 1},
        {"SERV:CHAN:COUN?", CommandId::kChannelCount, 0, 1, false, 1},
        {"SENSe1:SWEep:POINts?", CommandId::kSweepPoints, 1, 1, true, 1},
        {"SENS2:SWE:POIN?", CommandId::kSweepPoints, 1, 2, true, 1},
        {"sense:sweep:points?", CommandId::kSweepPoints, 1, 1, false, 1},
        {"SWE:POIN?", CommandId::kSweepPoints, 1, 1, false, 1},  // [SENSe] left out
        {"SWE:POIN", CommandId::kSweepPoints, 1, 1, false, 1},
        {":SENSe3:FREQuency:DATA?", CommandId::kFrequencyData, 1, 3, true, 1},
        {"SENS:FREQ:STAR?", CommandId::kStartFrequency, 1, 1, false, 1},
        {"SENS:FREQ:STOP", CommandId::kStopFrequency, 1, 1, false, 1},
        {"CALCulate2:FSIMulator:SENDed:PMCircuit:PORT3:USER:FILename", CommandId::kMatchingPortFile,
         2, 2, true, 3},
        {"CALC:FSIM:SEND:DEEM:PORT4:USER:FIL?", CommandId::kDeembeddingPortFile, 2, 1, false, 4},
        {"CALC1:FSIM:SEND:DEEM:PORT1:STAT", CommandId::kDeembeddingPortState, 2, 1, true, 1},
        {"CALC1:FSIM:SEND:PMC:PORT:STAT?", CommandId::kMatchingPortState, 2, 1, true, 1},
        {"CALC1:FSIM:SEND:DEEM:STAT", CommandId::kDeembeddingState, 1, 1, true, 1},
        {"CALC1:FSIM:SEND:PMC:STAT?", CommandId::kMatchingState, 1, 1, true, 1},
        {"CALCulate1:FSIMulator:STATe", CommandId::kSimulatorState, 1, 1, true, 1},
        {"CALC7:FSIM:STAT", CommandId::kSimulatorState, 1, 7, true, 1},  // range is checked later
        {"SYST:ERR?", CommandId::kSystemError, 0, 1, false, 1},
        {":SYSTem:ERRor:NEXT?", CommandId::kSystemError, 0, 1, false, 1},
        {"SYST:ERR:COUN?", CommandId::kSystemErrorCount, 0, 1, false, 1},
        {"SYST:PRES", CommandId::kSystemPreset, 0, 1, false, 1},
        {"SYST:FSIM:REP?", CommandId::kStateReport, 0, 1, false, 1},
        {"SYSTem:FAULt:SILence", CommandId::kFaultSilence, 0, 1, false, 1},
        {"SYST:FAUL:COUN?", CommandId::kFaultCount, 0, 1, false, 1},
        {"*IDN?", CommandId::kIdentify, 0, 1, false, 1},
        {"*opc", CommandId::kOperationComplete, 0, 1, false, 1},
        {"*OPC?", CommandId::kOperationComplete, 0, 1, false, 1},
        {"*RST", CommandId::kReset, 0, 1, false, 1},
        // Not commands, or not in that form.
        {"*IDN", std::nullopt, 0, 0, false, 0},
        {"*RST?", std::nullopt, 0, 0, false, 0},
        {"SYST:ERR", std::nullopt, 0, 0, false, 0},
        {"FREQ:DATA", std::nullopt, 0, 0, false, 0},
        {"SYST:FAUL:SIL?", std::nullopt, 0, 0, false, 0},
        {"SEN:SWE:POIN?", std::nullopt, 0, 0, false, 0},     // neither form
        {"SENSEE:SWE:POIN?", std::nullopt, 0, 0, false, 0},  // too long
        {"SENS:SWEE:POIN?", std::nullopt, 0, 0, false, 0},
        {"SYST1:ERR?", std::nullopt, 0, 0, false, 0},  // suffix where none may stand
        {"CALC1:FSIM2:STAT?", std::nullopt, 0, 0, false, 0},
        {"CALC1:FSIM:SEND:PMC:PORT1:FIL?", std::nullopt, 0, 0, false, 0},  // USER is not optional
        {"CALC1:FSIM:STAT:EXTRA?", std::nullopt, 0, 0, false, 0},
        {"FSIM:STAT?", std::nullopt, 0, 0, false, 0},
        {"STAT?", std::nullopt, 0, 0, false, 0},
        {"IDN?", std::nullopt, 0, 0, false, 0},
    };
    for (const ResolveCase& c : cases) {
        SCOPED_TRACE(c.header);
        std::optional<ResolvedCommand> resolved = Resolve(c.header);
        ASSERT_EQ(resolved.has_value(), c.id.has_value());
        if (!resolved) {
            continue;
        }
        EXPECT_EQ(resolved->id, *c.id);
        EXPECT_EQ(resolved->query, std::string(c.header).back() == '?');
        EXPECT_EQ(resolved->suffixCount, c.suffixCount);
        if (c.suffixCount >= 1) {
            EXPECT_EQ(resolved->suffixes[0], c.channel);
            EXPECT_EQ(resolved->suffixWritten[0], c.channelWritten);
        }
        if (c.suffixCount >= 2) {
            EXPECT_EQ(resolved->suffixes[1], c.port);
        }
    }
}

TEST(CommandTable, CompoundPathNodesResolve) {
    // The session completes "FREQ:STAR?" after "SENS2:SWE:POIN?" to this.
    std::vector<qvzsim::HeaderNode> nodes(3);
    nodes[0].mnemonic = "SENS";
    nodes[0].hasSuffix = true;
    nodes[0].suffix = 2;
    nodes[1].mnemonic = "FREQ";
    nodes[2].mnemonic = "STAR";
    std::optional<ResolvedCommand> resolved = qvzsim::ResolveHeader(nodes, false, true);
    ASSERT_TRUE(resolved.has_value());
    EXPECT_EQ(resolved->id, CommandId::kStartFrequency);
    EXPECT_EQ(resolved->suffixes[0], 2);
    // The same nodes do not name a common command.
    EXPECT_FALSE(qvzsim::ResolveHeader(nodes, true, true).has_value());
}

// The log name with its placeholders filled in and its brackets dropped:
// a header the instrument accepts.
std::string HeaderOf(std::string canonical) {
    for (const char* placeholder : {"<ch>", "<n>"}) {
        for (std::size_t at = canonical.find(placeholder); at != std::string::npos;
             at = canonical.find(placeholder)) {
            canonical.replace(at, std::string(placeholder).size(), "2");
        }
    }
    std::string header;
    for (char c : canonical) {
        if (c != '[' && c != ']') {
            header.push_back(c);
        }
    }
    return header;
}

TEST(CommandTable, EveryCommandHasALogNameThatResolvesToItAndFaultControlIsKnown) {
    for (int i = 0; i <= static_cast<int>(CommandId::kTraceData); ++i) {
        const CommandId id = static_cast<CommandId>(i);
        const std::string name = qvzsim::CanonicalHeader(id);
        ASSERT_NE(name, "?") << i;
        EXPECT_EQ(qvzsim::IsFaultControl(id), name.rfind("SYSTem:FAULt:", 0) == 0) << name;
        // No other entry of the table shadows this one.
        std::optional<ResolvedCommand> resolved = Resolve(HeaderOf(name));
        ASSERT_TRUE(resolved.has_value()) << name;
        EXPECT_EQ(resolved->id, id) << name;
        ASSERT_NE(resolved->definition, nullptr) << name;
    }
}

}  // namespace
