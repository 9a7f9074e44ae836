#include "qvzsim/faults.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using qvzsim::FaultAction;
using qvzsim::Faults;
using qvzsim::ResolvedCommand;

ResolvedCommand Command(const std::string& header) {
    qvzsim::ScpiCommand parsed;
    EXPECT_TRUE(qvzsim::ParseHeader(header, parsed)) << header;
    std::optional<ResolvedCommand> resolved = qvzsim::ResolveHeader(parsed);
    EXPECT_TRUE(resolved.has_value()) << header;
    return resolved.value_or(ResolvedCommand{});
}

TEST(Faults, RefusesWhatCannotMatch) {
    Faults faults;
    EXPECT_FALSE(faults.Silence("NOT:A:COMMAND?"));
    EXPECT_FALSE(faults.Silence("SENS:SWE:POIN? 5"));
    EXPECT_FALSE(faults.Silence("SYST:FAUL:COUN?"));  // fault control is never faulted
    EXPECT_FALSE(faults.Silence("CALC:FSIM:STAT"));   // silence needs a query
    EXPECT_FALSE(faults.Garbage("CALC:FSIM:STAT"));   // so does garbage
    EXPECT_FALSE(faults.Silence("SENS:SWE:POIN?", 0));
    EXPECT_FALSE(faults.Silence("SENS:SWE:POIN?", -2));
    EXPECT_FALSE(faults.Delay("SENS:SWE:POIN?", -1));
    EXPECT_FALSE(faults.CloseAfter(0));
    EXPECT_EQ(faults.ArmedCount(), 0u);

    EXPECT_TRUE(faults.Delay("CALC:FSIM:STAT", 10));  // a delay may hold up a setting
    EXPECT_EQ(faults.ArmedCount(), 1u);
}

struct MatchCase {
    const char* pattern;
    const char* command;
    bool matches;
};

TEST(Faults, MatchesByHeaderInAnyForm) {
    const MatchCase cases[] = {
        {"SENS:SWE:POIN?", "SENSe1:SWEep:POINts?", true},
        {"SENS:SWE:POIN?", "sense3:sweep:points?", true},  // unwritten suffix: any channel
        {"SENS:SWE:POIN?", "SWE:POIN?", true},
        {"SENS2:SWE:POIN?", "SENSe2:SWEep:POINts?", true},
        {"SENS2:SWE:POIN?", "SENSe1:SWEep:POINts?", false},  // written suffix must match
        {"SENS2:SWE:POIN?", "SWE:POIN?", false},             // omitted means channel 1
        {"SENS:SWE:POIN?", "SENS:FREQ:DATA?", false},
        {"SYST:ERR?", ":SYSTem:ERRor:NEXT?", true},
        {"CALC:FSIM:SEND:PMC:PORT2:USER:FIL?", "CALC3:FSIM:SEND:PMC:PORT2:USER:FIL?", true},
        {"CALC:FSIM:SEND:PMC:PORT2:USER:FIL?", "CALC3:FSIM:SEND:PMC:PORT3:USER:FIL?", false},
        {"CALC:FSIM:SEND:PMC:PORT2:USER:FIL?", "CALC3:FSIM:SEND:DEEM:PORT2:USER:FIL?", false},
        {"*IDN?", "*idn?", true},
    };
    for (const MatchCase& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " vs " + c.command);
        Faults faults;
        ASSERT_TRUE(faults.Garbage(c.pattern));
        EXPECT_EQ(faults.OnCommand(Command(c.command)).garbage, c.matches);
    }
}

TEST(Faults, QueryPatternDoesNotMatchTheSetting) {
    Faults faults;
    ASSERT_TRUE(faults.Delay("SENS:SWE:POIN?", 5));
    EXPECT_EQ(faults.OnCommand(Command("SENS:SWE:POIN")).delayMs, 0);
    EXPECT_EQ(faults.OnCommand(Command("SENS:SWE:POIN?")).delayMs, 5);
}

TEST(Faults, CountsAreUsedUp) {
    Faults faults;
    ASSERT_TRUE(faults.Silence("SENS:SWE:POIN?", 2));
    const ResolvedCommand points = Command("SENS1:SWE:POIN?");
    EXPECT_TRUE(faults.OnCommand(points).silence);
    EXPECT_EQ(faults.ArmedCount(), 1u);
    EXPECT_FALSE(faults.OnCommand(Command("*IDN?")).silence);  // others do not use it up
    EXPECT_TRUE(faults.OnCommand(points).silence);
    EXPECT_EQ(faults.ArmedCount(), 0u);
    EXPECT_FALSE(faults.OnCommand(points).silence);

    ASSERT_TRUE(faults.Garbage("*IDN?", Faults::kAlways));
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(faults.OnCommand(Command("*IDN?")).garbage);
    }
    EXPECT_EQ(faults.ArmedCount(), 1u);
    faults.Clear();
    EXPECT_FALSE(faults.OnCommand(Command("*IDN?")).garbage);
}

TEST(Faults, SeveralFaultsOnOneCommandCombine) {
    Faults faults;
    ASSERT_TRUE(faults.Delay("*IDN?", 30));
    ASSERT_TRUE(faults.Delay("*IDN?", 20));
    ASSERT_TRUE(faults.Garbage("*IDN?"));
    const FaultAction action = faults.OnCommand(Command("*IDN?"));
    EXPECT_EQ(action.delayMs, 50);
    EXPECT_TRUE(action.garbage);
    EXPECT_FALSE(action.silence);
    EXPECT_EQ(faults.ArmedCount(), 0u);
}

TEST(Faults, CloseAfterCountsCommandsButNotFaultControl) {
    Faults faults;
    ASSERT_TRUE(faults.CloseAfter(3));
    EXPECT_FALSE(faults.OnCommand(Command("*IDN?")).closeConnection);
    EXPECT_FALSE(faults.OnCommand(Command("SYST:FAUL:COUN?")).closeConnection);
    EXPECT_FALSE(faults.OnCommand(Command("CALC:FSIM:STAT")).closeConnection);
    EXPECT_EQ(faults.ArmedCount(), 1u);
    EXPECT_TRUE(faults.OnCommand(Command("SYST:ERR?")).closeConnection);
    EXPECT_EQ(faults.ArmedCount(), 0u);
    EXPECT_FALSE(faults.OnCommand(Command("SYST:ERR?")).closeConnection);  // once only

    // Re-arming replaces the countdown.
    ASSERT_TRUE(faults.CloseAfter(5));
    ASSERT_TRUE(faults.CloseAfter(1));
    EXPECT_TRUE(faults.OnCommand(Command("*IDN?")).closeConnection);
}

TEST(Faults, SegmentationHoldsUntilCleared) {
    Faults faults;
    EXPECT_EQ(faults.Segmentation().bytes, 0u) << "whole replies by default";
    EXPECT_FALSE(faults.Segment(0, 100));
    EXPECT_FALSE(faults.Segment(7, -1));
    EXPECT_EQ(faults.ArmedCount(), 0u);
    ASSERT_TRUE(faults.Segment(7, 50));
    EXPECT_EQ(faults.Segmentation().bytes, 7u);
    EXPECT_EQ(faults.Segmentation().pauseMicroseconds, 50);
    EXPECT_EQ(faults.ArmedCount(), 1u);
    faults.OnCommand(Command("*IDN?"));
    EXPECT_EQ(faults.Segmentation().bytes, 7u) << "not used up by commands";
    faults.Clear();
    EXPECT_EQ(faults.Segmentation().bytes, 0u);
    EXPECT_EQ(faults.ArmedCount(), 0u);
}

}  // namespace
