// The emulator over real loopback TCP, one client at a time.
#include "qvzsim/server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "qvzsim/client.h"
#include "qvzsim/identity.h"
#include "test_files.h"

namespace {

using qvzsim::Client;
using qvzsim::Server;
using qvzsim::ServerOptions;

ServerOptions Ephemeral(qvzsim::InstrumentConfig config = {}) {
    ServerOptions options;
    options.port = 0;
    options.quiet = true;
    options.instrument = config;
    return options;
}

// A started server and one connected client.
struct Rig {
    explicit Rig(ServerOptions options = Ephemeral()) : server(options) {
        std::string error;
        if (!server.Start(&error)) {
            throw std::runtime_error("start: " + error);
        }
        Connect(client);
    }
    void Connect(Client& c) const {
        std::string error;
        if (!c.Connect("127.0.0.1", server.Port(), &error)) {
            throw std::runtime_error("connect: " + error);
        }
    }
    Server server;
    Client client;
};

std::size_t CountValues(const std::string& list) {
    return list.empty() ? 0
                        : static_cast<std::size_t>(std::count(list.begin(), list.end(), ',')) + 1;
}

TEST(Server, AnswersOnAnEphemeralPortAndStops) {
    Rig rig;
    EXPECT_TRUE(rig.server.Running());
    EXPECT_NE(rig.server.Port(), 0);
    EXPECT_EQ(rig.client.Query("*IDN?"), qvzsim::IdentityString());
    EXPECT_EQ(rig.client.Query("SERVice:CHANnel:ACTive?"), "1");
    EXPECT_EQ(rig.client.Query("SENSe1:SWEep:POINts?"), "201");
    EXPECT_EQ(rig.server.ConnectionsAccepted(), 1);

    rig.server.Stop();
    EXPECT_FALSE(rig.server.Running());
    EXPECT_TRUE(rig.client.WaitForClose(5000));
    rig.server.Stop();  // twice is harmless

    // A stopped server can start again.
    ASSERT_TRUE(rig.server.Start());
    Client again;
    rig.Connect(again);
    EXPECT_EQ(again.Query("*OPC?"), "1");
}

TEST(Server, StartFailures) {
    Rig rig;
    std::string error;
    EXPECT_FALSE(rig.server.Start(&error));  // already running
    EXPECT_NE(error.find("already running"), std::string::npos) << error;

    ServerOptions taken = Ephemeral();
    taken.port = rig.server.Port();
    Server second(taken);
    error.clear();
    EXPECT_FALSE(second.Start(&error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(second.Running());

    ServerOptions badAddress = Ephemeral();
    badAddress.bindAddress = "256.1.1.1";
    Server third(badAddress);
    error.clear();
    EXPECT_FALSE(third.Start(&error));
    EXPECT_FALSE(error.empty());

    ServerOptions badConfig = Ephemeral();
    badConfig.instrument.channels = 0;
    EXPECT_THROW(Server{badConfig}, std::invalid_argument);
}

TEST(Server, LibraryDialogueWithALargeSweep) {
    qvzsim::InstrumentConfig config;
    config.sweep.points = 100001;
    Rig rig(Ephemeral(config));
    qvzsim_test::TempDir dir;
    Client& c = rig.client;

    ASSERT_EQ(c.Query("SERVice:CHANnel:ACTive?"), "1");
    ASSERT_EQ(c.Query("SENSe1:SWEep:POINts?"), "100001");
    const std::optional<std::string> list = c.Query(":SENSe1:FREQuency:DATA?", 20000);
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(CountValues(*list), 100001u);
    EXPECT_EQ(list->rfind("10000000,", 0), 0u);
    EXPECT_EQ(list->substr(list->size() - 11), ",8500000000");

    const std::string file =
        dir.Write("Big_Port2.s2p", qvzsim_test::LibraryStyleTouchstone(config.sweep));
    for (const std::string& command :
         {std::string("CALCulate1:FSIMulator:SENDed:PMCircuit:PORT2:STATe 0"),
          std::string("CALCulate1:FSIMulator:SENDed:PMCircuit:PORT2:USER:FILename \"\""),
          "CALCulate1:FSIMulator:SENDed:DEEMbed:PORT2:USER:FILename \"" + file + "\"",
          std::string("CALCulate1:FSIMulator:SENDed:DEEMbed:PORT2:STATe 1"),
          std::string("CALCulate1:FSIMulator:SENDed:DEEMbed:STATe 1"),
          std::string("CALCulate1:FSIMulator:STATe 1")}) {
        ASSERT_TRUE(c.Send(command));
    }
    EXPECT_EQ(c.Query(":SYST:ERR?", 20000), "0,\"No error\"");
    const qvzsim::InstrumentSnapshot state = rig.server.Snapshot();
    EXPECT_TRUE(state.Channel(1).Port(2).deembedding.on);
    EXPECT_EQ(state.Channel(1).Port(2).deembedding.file, file);
    EXPECT_EQ(state.Channel(1).Port(2).deembedding.filePoints, 100001u);
    EXPECT_TRUE(state.Channel(1).simulatorOn);
}

TEST(Server, PipelinedSplitAndCrLfMessages) {
    Rig rig;
    Client& c = rig.client;
    ASSERT_TRUE(c.SendRaw("*IDN?\n*OPC?\r\nSENS1:SWE:POIN?\n"));
    EXPECT_EQ(c.ReadLine(2000), qvzsim::IdentityString());
    EXPECT_EQ(c.ReadLine(2000), "1");
    EXPECT_EQ(c.ReadLine(2000), "201");

    // One message in pieces: nothing is answered before its line feed.
    ASSERT_TRUE(c.SendRaw("SENS1:SWE"));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ASSERT_TRUE(c.SendRaw(":POIN?"));
    EXPECT_FALSE(c.ReadLine(100).has_value());
    ASSERT_TRUE(c.SendRaw("\n"));
    EXPECT_EQ(c.ReadLine(2000), "201");

    // Empty lines are no commands.
    ASSERT_TRUE(c.SendRaw("\n\r\n"));
    EXPECT_EQ(c.Query(":SYST:ERR?"), "0,\"No error\"");
}

TEST(Server, OverlongMessageIsRefusedAndTheStreamRecovers) {
    Rig rig;
    Client& c = rig.client;
    ASSERT_TRUE(c.SendRaw("CALC1:FSIM:SEND:PMC:PORT1:USER:FIL \"" + std::string(1536 * 1024, 'x')));
    ASSERT_TRUE(c.SendRaw("\"\n"));
    EXPECT_EQ(c.Query("*OPC?", 5000), "1");
    EXPECT_EQ(c.Query(":SYST:ERR?"), "-223,\"Too much data\"");
    EXPECT_EQ(c.Query(":SYST:ERR?"), "0,\"No error\"");
}

TEST(Server, SilencedQueryTimesOutAndTheDialogueStaysInStep) {
    Rig rig;
    Client& c = rig.client;
    ASSERT_TRUE(rig.server.GetFaults().Silence("SENS:SWE:POIN?"));
    ASSERT_EQ(c.Query("SERVice:CHANnel:ACTive?"), "1");
    EXPECT_FALSE(c.Query("SENSe1:SWEep:POINts?", 300).has_value());
    // The next run of the dialogue gets its own answers, not stale ones.
    EXPECT_EQ(c.Query("SERVice:CHANnel:ACTive?"), "1");
    EXPECT_EQ(c.Query("SENSe1:SWEep:POINts?"), "201");
    EXPECT_EQ(c.Query(":SYST:ERR?"), "0,\"No error\"");
}

TEST(Server, DelayedReply) {
    Rig rig;
    Client& c = rig.client;
    ASSERT_TRUE(rig.server.GetFaults().Delay("SERV:CHAN:ACT?", 400));
    ASSERT_TRUE(c.Send("SERVice:CHANnel:ACTive?"));
    EXPECT_FALSE(c.ReadLine(100).has_value());  // not yet
    EXPECT_EQ(c.ReadLine(5000), "1");
    EXPECT_EQ(c.Query("SERVice:CHANnel:ACTive?", 2000), "1");  // once only
}

TEST(Server, GarbageReply) {
    Rig rig;
    Client& c = rig.client;
    ASSERT_TRUE(rig.server.GetFaults().Garbage(":SENS:FREQ:DATA?"));
    EXPECT_EQ(c.Query(":SENSe1:FREQuency:DATA?"), "#!garbage!#");
    const std::optional<std::string> list = c.Query(":SENSe1:FREQuency:DATA?");
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(CountValues(*list), 201u);
}

TEST(Server, ClosesTheConnectionAfterTheNthCommand) {
    Rig rig;
    Client& c = rig.client;
    ASSERT_TRUE(rig.server.GetFaults().CloseAfter(3));
    EXPECT_EQ(c.Query("*IDN?"), qvzsim::IdentityString());
    ASSERT_TRUE(c.Send("CALCulate1:FSIMulator:STATe 1"));
    EXPECT_EQ(c.Query("SENSe1:SWEep:POINts?"), "201");  // the third: answered, then closed
    EXPECT_TRUE(c.WaitForClose(5000));
    EXPECT_TRUE(rig.server.Snapshot().Channel(1).simulatorOn);

    Client next;
    rig.Connect(next);
    EXPECT_EQ(next.Query("SENSe1:SWEep:POINts?"), "201");
    EXPECT_EQ(rig.server.ConnectionsAccepted(), 2);
}

// A reply in 1-byte segments, 10 ms apart: not there after the first
// segments, whole in the end, and no faster than its pauses allow.
TEST(Server, SegmentedReplyArrivesWholeAfterItsPauses) {
    Rig rig;
    Client& c = rig.client;
    ASSERT_TRUE(rig.server.GetFaults().Segment(1, 10000));
    const std::string identity = qvzsim::IdentityString();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(c.Send("*IDN?"));
    EXPECT_FALSE(c.ReadLine(50).has_value());  // only the first few bytes yet
    EXPECT_EQ(c.ReadLine(10000), identity);
    EXPECT_GE(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(10) * identity.size());

    rig.server.GetFaults().Clear();
    const auto whole = std::chrono::steady_clock::now();
    EXPECT_EQ(c.Query("*IDN?"), identity);
    EXPECT_LT(std::chrono::steady_clock::now() - whole,
              std::chrono::milliseconds(10) * identity.size());
}

// The record keeps each message byte for byte, line end included, over
// connections, and counts the clients that hang up but not the server's stop.
TEST(Server, TrafficRecordKeepsMessagesAndCountsHangUps) {
    ServerOptions options = Ephemeral();
    options.recordMessages = true;
    Rig rig(options);
    ASSERT_TRUE(rig.client.SendRaw("*IDN?\r\nCALC1:FSIM:STAT 1;:SYST:ERR?\n"));
    Client second;
    rig.Connect(second);
    ASSERT_TRUE(second.SendRaw("SENS1:SWE:POIN?\n"));
    ASSERT_TRUE(rig.server.Traffic().WaitForMessages(3, std::chrono::seconds(5)));
    std::vector<std::string> messages = rig.server.Traffic().Messages();
    std::sort(messages.begin(), messages.end());
    EXPECT_EQ(messages, (std::vector<std::string>{"*IDN?\r\n", "CALC1:FSIM:STAT 1;:SYST:ERR?\n",
                                                  "SENS1:SWE:POIN?\n"}));

    EXPECT_EQ(rig.server.Traffic().HangUps(), 0);
    // Both replies read first, so that the close is an orderly one.
    EXPECT_TRUE(rig.client.ReadLine(5000).has_value());
    EXPECT_TRUE(rig.client.ReadLine(5000).has_value());
    rig.client.Close();
    EXPECT_TRUE(rig.server.Traffic().WaitForHangUps(1, std::chrono::seconds(5)));
    rig.server.Stop();
    EXPECT_EQ(rig.server.Traffic().HangUps(), 1) << "the stop closed the second one";
}

TEST(Server, KeepsNoMessagesUnlessAsked) {
    Rig rig;
    EXPECT_EQ(rig.client.Query("*IDN?"), qvzsim::IdentityString());
    EXPECT_TRUE(rig.server.Traffic().Messages().empty());
}

TEST(Server, PresetErrorEntryAndFaultsOverScpi) {
    Rig rig;
    Client& c = rig.client;
    rig.server.GetInstrument().PushError(42, "Preset failure");
    EXPECT_EQ(c.Query(":SYST:ERR?"), "42,\"Preset failure\"");

    ASSERT_TRUE(c.Send("SYSTem:FAULt:SILence \"*IDN?\""));
    EXPECT_FALSE(c.Query("*IDN?", 300).has_value());
    EXPECT_EQ(c.Query("*IDN?"), qvzsim::IdentityString());
    ASSERT_TRUE(c.Send("SYST:FAUL:ERR 7,\"From the wire\""));
    EXPECT_EQ(c.Query(":SYST:ERR?"), "7,\"From the wire\"");
}

TEST(Server, StopsWhileAReplyIsHeldBack) {
    Rig rig;
    ASSERT_TRUE(rig.server.GetFaults().Delay("*IDN?", 60000));
    ASSERT_TRUE(rig.client.Send("*IDN?"));
    Client idle;
    rig.Connect(idle);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    rig.server.Stop();  // must not wait for the minute
    EXPECT_TRUE(rig.client.WaitForClose(5000));
    EXPECT_TRUE(idle.WaitForClose(5000));
}

TEST(Server, LogsCommandsRepliesAndStateChanges) {
    std::ostringstream log;
    ServerOptions options = Ephemeral();
    options.quiet = false;
    options.log = &log;
    {
        Rig rig(options);
        rig.client.Query("SENSe1:SWEep:POINts?");
        rig.client.Send("CALCulate1:FSIMulator:STATe 1");
        rig.client.Query("NO:SUCH?;:SYST:ERR?");
        rig.server.Stop();
    }
    const std::string text = log.str();
    // The program, not the log, reports the address it listens on (once).
    EXPECT_EQ(text.find("listening on"), std::string::npos) << text;
    for (const char* part :
         {"#1 connected", "#1 <- SENSe1:SWEep:POINts?", "#1 -> 201",
          "#1 <- CALCulate1:FSIMulator:STATe 1", "channel 1: fixture simulator OFF -> ON",
          "error queued: -113, Undefined header", "#1 -> -113,\"Undefined header\"", "stopped"}) {
        EXPECT_NE(text.find(part), std::string::npos) << part << "\nin:\n" << text;
    }
}

}  // namespace
