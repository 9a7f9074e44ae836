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
#include "qvzsim/dispatcher.h"
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
        if (!server.start(&error)) {
            throw std::runtime_error("start: " + error);
        }
        connect(client);
    }
    void connect(Client& c) const {
        std::string error;
        if (!c.connect("127.0.0.1", server.port(), &error)) {
            throw std::runtime_error("connect: " + error);
        }
    }
    Server server;
    Client client;
};

std::size_t CountValues(const std::string& list) {
    return list.empty() ? 0 : static_cast<std::size_t>(std::count(list.begin(), list.end(), ',')) + 1;
}

TEST(Server, AnswersOnAnEphemeralPortAndStops) {
    Rig rig;
    EXPECT_TRUE(rig.server.running());
    EXPECT_NE(rig.server.port(), 0);
    EXPECT_EQ(rig.client.query("*IDN?"), qvzsim::IdentityString());
    EXPECT_EQ(rig.client.query("SERVice:CHANnel:ACTive?"), "1");
    EXPECT_EQ(rig.client.query("SENSe1:SWEep:POINts?"), "201");
    EXPECT_EQ(rig.server.connectionsAccepted(), 1);

    rig.server.stop();
    EXPECT_FALSE(rig.server.running());
    EXPECT_TRUE(rig.client.waitForClose(5000));
    rig.server.stop();  // twice is harmless

    // A stopped server can start again.
    ASSERT_TRUE(rig.server.start());
    Client again;
    rig.connect(again);
    EXPECT_EQ(again.query("*OPC?"), "1");
}

TEST(Server, StartFailures) {
    Rig rig;
    std::string error;
    EXPECT_FALSE(rig.server.start(&error));  // already running
    EXPECT_NE(error.find("already running"), std::string::npos) << error;

    ServerOptions taken = Ephemeral();
    taken.port = rig.server.port();
    Server second(taken);
    error.clear();
    EXPECT_FALSE(second.start(&error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(second.running());

    ServerOptions badAddress = Ephemeral();
    badAddress.bindAddress = "256.1.1.1";
    Server third(badAddress);
    error.clear();
    EXPECT_FALSE(third.start(&error));
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

    ASSERT_EQ(c.query("SERVice:CHANnel:ACTive?"), "1");
    ASSERT_EQ(c.query("SENSe1:SWEep:POINts?"), "100001");
    const std::optional<std::string> list = c.query(":SENSe1:FREQuency:DATA?", 20000);
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(CountValues(*list), 100001u);
    EXPECT_EQ(list->rfind("10000000,", 0), 0u);
    EXPECT_EQ(list->substr(list->size() - 11), ",8500000000");

    const std::string file = dir.write("Big_Port2.s2p", qvzsim_test::LibraryStyleTouchstone(config.sweep));
    for (const std::string& command :
         {std::string("CALCulate1:FSIMulator:SENDed:PMCircuit:PORT2:STATe 0"),
          std::string("CALCulate1:FSIMulator:SENDed:PMCircuit:PORT2:USER:FILename \"\""),
          "CALCulate1:FSIMulator:SENDed:DEEMbed:PORT2:USER:FILename \"" + file + "\"",
          std::string("CALCulate1:FSIMulator:SENDed:DEEMbed:PORT2:STATe 1"),
          std::string("CALCulate1:FSIMulator:SENDed:DEEMbed:STATe 1"),
          std::string("CALCulate1:FSIMulator:STATe 1")}) {
        ASSERT_TRUE(c.send(command));
    }
    EXPECT_EQ(c.query(":SYST:ERR?", 20000), "0,\"No error\"");
    const qvzsim::InstrumentSnapshot state = rig.server.snapshot();
    EXPECT_TRUE(state.channel(1).port(2).deembedding.on);
    EXPECT_EQ(state.channel(1).port(2).deembedding.file, file);
    EXPECT_EQ(state.channel(1).port(2).deembedding.filePoints, 100001u);
    EXPECT_TRUE(state.channel(1).simulatorOn);
}

TEST(Server, PipelinedSplitAndCrLfMessages) {
    Rig rig;
    Client& c = rig.client;
    ASSERT_TRUE(c.sendRaw("*IDN?\n*OPC?\r\nSENS1:SWE:POIN?\n"));
    EXPECT_EQ(c.readLine(2000), qvzsim::IdentityString());
    EXPECT_EQ(c.readLine(2000), "1");
    EXPECT_EQ(c.readLine(2000), "201");

    // One message in pieces: nothing is answered before its line feed.
    ASSERT_TRUE(c.sendRaw("SENS1:SWE"));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    ASSERT_TRUE(c.sendRaw(":POIN?"));
    EXPECT_FALSE(c.readLine(100).has_value());
    ASSERT_TRUE(c.sendRaw("\n"));
    EXPECT_EQ(c.readLine(2000), "201");

    // Empty lines are no commands.
    ASSERT_TRUE(c.sendRaw("\n\r\n"));
    EXPECT_EQ(c.query(":SYST:ERR?"), "0,\"No error\"");
}

TEST(Server, OverlongMessageIsRefusedAndTheStreamRecovers) {
    Rig rig;
    Client& c = rig.client;
    ASSERT_TRUE(c.sendRaw("CALC1:FSIM:SEND:PMC:PORT1:USER:FIL \"" + std::string(1536 * 1024, 'x')));
    ASSERT_TRUE(c.sendRaw("\"\n"));
    EXPECT_EQ(c.query("*OPC?", 5000), "1");
    EXPECT_EQ(c.query(":SYST:ERR?"), "-223,\"Too much data\"");
    EXPECT_EQ(c.query(":SYST:ERR?"), "0,\"No error\"");
}

TEST(Server, SilencedQueryTimesOutAndTheDialogueStaysInStep) {
    Rig rig;
    Client& c = rig.client;
    ASSERT_TRUE(rig.server.faults().silence("SENS:SWE:POIN?"));
    ASSERT_EQ(c.query("SERVice:CHANnel:ACTive?"), "1");
    EXPECT_FALSE(c.query("SENSe1:SWEep:POINts?", 300).has_value());
    // The next run of the dialogue gets its own answers, not stale ones.
    EXPECT_EQ(c.query("SERVice:CHANnel:ACTive?"), "1");
    EXPECT_EQ(c.query("SENSe1:SWEep:POINts?"), "201");
    EXPECT_EQ(c.query(":SYST:ERR?"), "0,\"No error\"");
}

TEST(Server, DelayedReply) {
    Rig rig;
    Client& c = rig.client;
    ASSERT_TRUE(rig.server.faults().delay("SERV:CHAN:ACT?", 400));
    ASSERT_TRUE(c.send("SERVice:CHANnel:ACTive?"));
    EXPECT_FALSE(c.readLine(100).has_value());  // not yet
    EXPECT_EQ(c.readLine(5000), "1");
    EXPECT_EQ(c.query("SERVice:CHANnel:ACTive?", 2000), "1");  // once only
}

TEST(Server, GarbageReply) {
    Rig rig;
    Client& c = rig.client;
    ASSERT_TRUE(rig.server.faults().garbage(":SENS:FREQ:DATA?"));
    EXPECT_EQ(c.query(":SENSe1:FREQuency:DATA?"), "#!garbage!#");
    const std::optional<std::string> list = c.query(":SENSe1:FREQuency:DATA?");
    ASSERT_TRUE(list.has_value());
    EXPECT_EQ(CountValues(*list), 201u);
}

TEST(Server, ClosesTheConnectionAfterTheNthCommand) {
    Rig rig;
    Client& c = rig.client;
    ASSERT_TRUE(rig.server.faults().closeAfter(3));
    EXPECT_EQ(c.query("*IDN?"), qvzsim::IdentityString());
    ASSERT_TRUE(c.send("CALCulate1:FSIMulator:STATe 1"));
    EXPECT_EQ(c.query("SENSe1:SWEep:POINts?"), "201");  // the third: answered, then closed
    EXPECT_TRUE(c.waitForClose(5000));
    EXPECT_TRUE(rig.server.snapshot().channel(1).simulatorOn);

    Client next;
    rig.connect(next);
    EXPECT_EQ(next.query("SENSe1:SWEep:POINts?"), "201");
    EXPECT_EQ(rig.server.connectionsAccepted(), 2);
}

TEST(Server, PresetErrorEntryAndFaultsOverScpi) {
    Rig rig;
    Client& c = rig.client;
    rig.server.instrument().pushError(42, "Preset failure");
    EXPECT_EQ(c.query(":SYST:ERR?"), "42,\"Preset failure\"");

    ASSERT_TRUE(c.send("SYSTem:FAULt:SILence \"*IDN?\""));
    EXPECT_FALSE(c.query("*IDN?", 300).has_value());
    EXPECT_EQ(c.query("*IDN?"), qvzsim::IdentityString());
    ASSERT_TRUE(c.send("SYST:FAUL:ERR 7,\"From the wire\""));
    EXPECT_EQ(c.query(":SYST:ERR?"), "7,\"From the wire\"");
}

TEST(Server, StopsWhileAReplyIsHeldBack) {
    Rig rig;
    ASSERT_TRUE(rig.server.faults().delay("*IDN?", 60000));
    ASSERT_TRUE(rig.client.send("*IDN?"));
    Client idle;
    rig.connect(idle);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    rig.server.stop();  // must not wait for the minute
    EXPECT_TRUE(rig.client.waitForClose(5000));
    EXPECT_TRUE(idle.waitForClose(5000));
}

TEST(Server, LogsCommandsRepliesAndStateChanges) {
    std::ostringstream log;
    ServerOptions options = Ephemeral();
    options.quiet = false;
    options.log = &log;
    {
        Rig rig(options);
        rig.client.query("SENSe1:SWEep:POINts?");
        rig.client.send("CALCulate1:FSIMulator:STATe 1");
        rig.client.query("NO:SUCH?;:SYST:ERR?");
        rig.server.stop();
    }
    const std::string text = log.str();
    // The program, not the log, reports the address it listens on (once).
    EXPECT_EQ(text.find("listening on"), std::string::npos) << text;
    for (const char* part : {"#1 connected", "#1 <- SENSe1:SWEep:POINts?", "#1 -> 201",
                             "#1 <- CALCulate1:FSIMulator:STATe 1", "channel 1: fixture simulator OFF -> ON",
                             "error queued: -113, Undefined header", "#1 -> -113,\"Undefined header\"", "stopped"}) {
        EXPECT_NE(text.find(part), std::string::npos) << part << "\nin:\n" << text;
    }
}

}  // namespace
