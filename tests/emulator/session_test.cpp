// The command set as a client sees it, without sockets: each test sends
// program messages to a Session and checks replies, the error queue and the
// instrument's state.
#include "qvzsim/session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "qvzsim/identity.h"
#include "qvzsim/state_report.h"
#include "test_files.h"

namespace {

using qvzsim::InstrumentConfig;
using qvzsim::InstrumentSnapshot;
using qvzsim::MessageOutcome;

std::vector<double> ParseList(const std::string& reply) {
    std::vector<double> values;
    const char* p = reply.c_str();
    while (*p != '\0') {
        char* end = nullptr;
        values.push_back(std::strtod(p, &end));
        if (end == p) {
            ADD_FAILURE() << "not a number at: " << p;
            break;
        }
        p = *end == ',' ? end + 1 : end;
    }
    return values;
}

class SessionTest : public ::testing::Test {
protected:
    void Configure(InstrumentConfig config) {
        session_.reset();
        instrument_ = std::make_unique<qvzsim::Instrument>(config);
        session_ = std::make_unique<qvzsim::Session>(*instrument_, faults_, nullptr, 1);
    }

    void SetUp() override { Configure(InstrumentConfig{}); }

    MessageOutcome Send(const std::string& message) { return session_->HandleMessage(message); }

    // The reply without its line feed; "" when nothing is sent back.
    std::string Ask(const std::string& message) {
        std::string reply = Send(message).reply;
        if (!reply.empty()) {
            EXPECT_EQ(reply.back(), '\n');
            reply.pop_back();
        }
        return reply;
    }

    // The number of the oldest error-queue entry (0 when empty).
    int NextError() { return std::atoi(Ask(":SYST:ERR?").c_str()); }

    InstrumentSnapshot Snapshot() const { return instrument_->Snapshot(); }

    qvzsim::Faults faults_;
    std::unique_ptr<qvzsim::Instrument> instrument_;
    std::unique_ptr<qvzsim::Session> session_;
    qvzsim_test::TempDir dir_;
};

TEST_F(SessionTest, ThePlugInsEmbeddingDialogue) {
    InstrumentConfig config;
    config.channels = 2;
    config.activeChannel = 2;
    Configure(config);

    EXPECT_EQ(Ask("SERVice:CHANnel:ACTive?\n"), "2");
    EXPECT_EQ(Ask("SENSe2:SWEep:POINts?\n"), "201");
    const std::vector<double> frequencies = ParseList(Ask(":SENSe2:FREQuency:DATA?\n"));
    ASSERT_EQ(frequencies.size(), 201u);
    const std::string file =
        dir_.Write("P_Port3.s2p", qvzsim_test::LibraryStyleTouchstone(frequencies));

    const std::string commands[] = {
        "CALCulate2:FSIMulator:SENDed:DEEMbed:PORT3:STATe 0\n",
        "CALCulate2:FSIMulator:SENDed:DEEMbed:PORT3:USER:FILename \"\"\n",
        "CALCulate2:FSIMulator:SENDed:PMCircuit:PORT3:USER:FILename \"" + file + "\"\n",
        "CALCulate2:FSIMulator:SENDed:PMCircuit:PORT3:STATe 1\n",
        "CALCulate2:FSIMulator:SENDed:PMCircuit:STATe 1\n",
        "CALCulate2:FSIMulator:STATe 1\n",
    };
    for (const std::string& command : commands) {
        EXPECT_EQ(Ask(command), "") << command;
    }
    EXPECT_EQ(Ask(":SYST:ERR?\n"), "0,\"No error\"");

    const InstrumentSnapshot state = Snapshot();
    const qvzsim::ChannelState& channel = state.Channel(2);
    EXPECT_TRUE(channel.simulatorOn);
    EXPECT_TRUE(channel.matchingOn);
    EXPECT_FALSE(channel.deembeddingOn);
    EXPECT_TRUE(channel.Port(3).matching.on);
    EXPECT_EQ(channel.Port(3).matching.file, file);
    EXPECT_EQ(channel.Port(3).matching.filePoints, 201u);
    EXPECT_FALSE(channel.Port(3).deembedding.on);
    EXPECT_EQ(channel.Port(3).deembedding.file, "");
    // Nothing else moved.
    EXPECT_FALSE(state.Channel(1).simulatorOn);
    EXPECT_FALSE(channel.Port(1).matching.on);
    EXPECT_EQ(state.errorCount, 0u);
}

TEST_F(SessionTest, DeembeddingThenNoneFollowTheStateTable) {
    const std::string file =
        dir_.Write("A_Port1.s2p", qvzsim_test::LibraryStyleTouchstone(qvzsim::SweepSettings{}));
    // Embedding first, so that the later tables' "as before" can be seen.
    for (const std::string& command :
         {std::string("CALCulate1:FSIMulator:SENDed:DEEMbed:PORT1:STATe 0"),
          std::string("CALCulate1:FSIMulator:SENDed:DEEMbed:PORT1:USER:FILename \"\""),
          "CALCulate1:FSIMulator:SENDed:PMCircuit:PORT1:USER:FILename \"" + file + "\"",
          std::string("CALCulate1:FSIMulator:SENDed:PMCircuit:PORT1:STATe 1"),
          std::string("CALCulate1:FSIMulator:SENDed:PMCircuit:STATe 1"),
          std::string("CALCulate1:FSIMulator:STATe 1")}) {
        Send(command);
    }
    // Deembedding.
    for (const std::string& command :
         {std::string("CALCulate1:FSIMulator:SENDed:PMCircuit:PORT1:STATe 0"),
          std::string("CALCulate1:FSIMulator:SENDed:PMCircuit:PORT1:USER:FILename \"\""),
          "CALCulate1:FSIMulator:SENDed:DEEMbed:PORT1:USER:FILename \"" + file + "\"",
          std::string("CALCulate1:FSIMulator:SENDed:DEEMbed:PORT1:STATe 1"),
          std::string("CALCulate1:FSIMulator:SENDed:DEEMbed:STATe 1"),
          std::string("CALCulate1:FSIMulator:STATe 1")}) {
        Send(command);
    }
    InstrumentSnapshot state = Snapshot();
    EXPECT_FALSE(state.Channel(1).Port(1).matching.on);
    EXPECT_EQ(state.Channel(1).Port(1).matching.file, "");
    EXPECT_TRUE(state.Channel(1).Port(1).deembedding.on);
    EXPECT_EQ(state.Channel(1).Port(1).deembedding.file, file);
    EXPECT_TRUE(state.Channel(1).matchingOn);  // as before
    EXPECT_TRUE(state.Channel(1).deembeddingOn);
    EXPECT_TRUE(state.Channel(1).simulatorOn);

    // None.
    for (const char* command : {"CALCulate1:FSIMulator:SENDed:PMCircuit:PORT1:STATe 0",
                                "CALCulate1:FSIMulator:SENDed:PMCircuit:PORT1:USER:FILename \"\"",
                                "CALCulate1:FSIMulator:SENDed:DEEMbed:PORT1:STATe 0",
                                "CALCulate1:FSIMulator:SENDed:DEEMbed:PORT1:USER:FILename \"\""}) {
        Send(command);
    }
    state = Snapshot();
    EXPECT_FALSE(state.Channel(1).Port(1).matching.on);
    EXPECT_EQ(state.Channel(1).Port(1).matching.file, "");
    EXPECT_FALSE(state.Channel(1).Port(1).deembedding.on);
    EXPECT_EQ(state.Channel(1).Port(1).deembedding.file, "");
    EXPECT_TRUE(state.Channel(1).matchingOn);
    EXPECT_TRUE(state.Channel(1).deembeddingOn);
    EXPECT_TRUE(state.Channel(1).simulatorOn);
    EXPECT_EQ(NextError(), 0);
}

TEST_F(SessionTest, FrequencyListRoundTripsExactly) {
    const qvzsim::SweepSettings sweeps[] = {
        {201, 10e6, 8.5e9}, {1001, 1.234567e6, 7.654321e9}, {7, 0.1, 1.0 / 3.0}, {2, 300e3, 20e9},
        {1, 5e9, 5e9},
    };
    for (const qvzsim::SweepSettings& sweep : sweeps) {
        InstrumentConfig config;
        config.sweep = sweep;
        Configure(config);
        const std::vector<double> expected = qvzsim::SweepFrequencies(sweep);
        const std::vector<double> got = ParseList(Ask(":SENSe1:FREQuency:DATA?"));
        ASSERT_EQ(got.size(), static_cast<std::size_t>(sweep.points));
        for (std::size_t i = 0; i < got.size(); ++i) {
            ASSERT_EQ(got[i], expected[i]) << "point " << i << " of " << sweep.points;
        }
        EXPECT_EQ(got.front(), sweep.startHz);
        EXPECT_EQ(got.back(), sweep.points == 1 ? sweep.startHz : sweep.stopHz);
    }
}

TEST_F(SessionTest, SweepFollowsTheLinearRule) {
    const std::vector<double> f = qvzsim::SweepFrequencies(qvzsim::SweepSettings{});
    ASSERT_EQ(f.size(), 201u);
    EXPECT_EQ(f[0], 10e6);
    EXPECT_EQ(f[1], 10e6 + 1.0 * (8.5e9 - 10e6) / 200.0);
    EXPECT_EQ(f[100], 10e6 + 100.0 * (8.5e9 - 10e6) / 200.0);
    EXPECT_EQ(f[200], 8.5e9);
}

struct ErrorCase {
    const char* message;
    int error;
};

TEST_F(SessionTest, ErrorsReachTheQueue) {
    InstrumentConfig config;
    config.channels = 2;
    Configure(config);
    const std::string before = qvzsim::FormatStateLine(Snapshot());
    const ErrorCase cases[] = {
        {"FOO:BAR", -113},
        {"CALC1:FSIM:SEND:PMC:PORT1:FIL?", -113},
        {"*IDN", -113},
        {"SENS:SWE:POIN? 5", -108},
        {"*RST 1", -108},
        {"CALC3:FSIM:STAT 1", -114},
        {"CALC0:FSIM:STAT 1", -114},
        {"SENS3:SWE:POIN?", -114},
        {"CALC1:FSIM:SEND:PMC:PORT5:STAT 1", -114},
        {"CALC1:FSIM:SEND:DEEM:PORT0:STAT?", -114},
        {"CALC1:FSIM:STAT 2", -224},
        {"CALC1:FSIM:STAT 0.5", -224},
        {"CALC1:FSIM:STAT MAYBE", -224},
        {"CALC1:FSIM:STAT \"ON\"", -104},
        {"CALC1:FSIM:STAT", -109},
        {"CALC1:FSIM:STAT 1,0", -108},
        {"CALC1:FSIM:STAT \"x", -102},
        {"SENS1:SWE:POIN 0", -222},
        {"SENS1:SWE:POIN 200002", -222},
        {"SENS1:SWE:POIN ON", -104},
        {"SENS1:FREQ:STAR 9e9", -222},
        {"SENS1:FREQ:STOP -1", -222},
        {"SENS1:FREQ:STOP 2e12", -222},
        {"SERV:CHAN:ACT 3", -222},
        {"SERV:CHAN:ACT 0", -222},
        {"CALC1:FSIM:SEND:PMC:PORT1:USER:FIL 5", -104},
        {"CALC1:FSIM:SEND:PMC:PORT1:USER:FIL", -109},
        {"SYST:FAUL:SIL \"NOPE?\"", -224},
        {"SYST:FAUL:SIL \"CALC:FSIM:STAT\"", -224},
        {"SYST:FAUL:SIL \"*IDN?\",0", -222},
        {"SYST:FAUL:SIL \"*IDN?\",SOMETIMES", -104},
        {"SYST:FAUL:SIL SENS", -104},
        {"SYST:FAUL:DEL \"*IDN?\"", -109},
        {"SYST:FAUL:DEL \"*IDN?\",-5", -222},
        {"SYST:FAUL:CLOS 0", -222},
        {"SYST:FAUL:ERR", -109},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(Ask(c.message), "");  // a failing query answers nothing
        EXPECT_EQ(NextError(), c.error);
        EXPECT_EQ(NextError(), 0);
    }
    // None of them changed anything, nor armed a fault.
    EXPECT_EQ(qvzsim::FormatStateLine(Snapshot()), before);
    EXPECT_EQ(faults_.ArmedCount(), 0u);
}

TEST_F(SessionTest, QueueOverflowsWithTheStandardEntry) {
    InstrumentConfig config;
    config.errorQueueCapacity = 4;
    Configure(config);
    for (int i = 0; i < 6; ++i) {
        Send("NO:SUCH:COMMAND");
    }
    EXPECT_EQ(Ask("SYST:ERR:COUN?"), "4");
    EXPECT_EQ(NextError(), -113);
    EXPECT_EQ(NextError(), -113);
    EXPECT_EQ(NextError(), -113);
    EXPECT_EQ(Ask("SYST:ERR?"), "-350,\"Queue overflow\"");
    EXPECT_EQ(Ask("SYST:ERR?"), "0,\"No error\"");
}

TEST_F(SessionTest, FileLoadErrorsAndClearing) {
    const std::string good =
        dir_.Write("good.s2p", qvzsim_test::LibraryStyleTouchstone(qvzsim::SweepSettings{}));
    const std::string narrow = dir_.Write(
        "narrow.s2p", qvzsim_test::LibraryStyleTouchstone(qvzsim::SweepSettings{11, 1e9, 2e9}));
    const std::string broken = dir_.Write("broken.s2p", "# Hz S RI R 50\n1 2 3\n");
    const std::string prefix = "CALC1:FSIM:SEND:DEEM:PORT2:USER:FIL ";

    Send(prefix + qvzsim::QuoteString(good));
    EXPECT_EQ(NextError(), 0);
    EXPECT_EQ(Ask("CALC1:FSIM:SEND:DEEM:PORT2:USER:FIL?"), qvzsim::QuoteString(good));

    Send(prefix + qvzsim::QuoteString(dir_.File("missing.s2p")));
    EXPECT_EQ(Ask(":SYST:ERR?"), "-256,\"File name not found\"");

    Send(prefix + qvzsim::QuoteString(broken));
    const std::string invalid = Ask(":SYST:ERR?");
    EXPECT_EQ(invalid.rfind("101,\"Not a valid two-port Touchstone file; ", 0), 0u) << invalid;

    Send(prefix + qvzsim::QuoteString(narrow));
    const std::string uncovered = Ask(":SYST:ERR?");
    EXPECT_EQ(
        uncovered.rfind(
            "102,\"File frequencies do not cover the sweep; file 1 GHz to 2 GHz, sweep 10 MHz to "
            "8.5 GHz\"",
            0),
        0u)
        << uncovered;

    // Failed loads left the good file in place.
    EXPECT_EQ(Snapshot().Channel(1).Port(2).deembedding.file, good);

    // The sweep decides: narrow the sweep and the narrow file fits.
    Send("SENS1:FREQ:STAR 1.2e9;STOP 1.8e9");
    Send(prefix + qvzsim::QuoteString(narrow));
    EXPECT_EQ(NextError(), 0);
    EXPECT_EQ(Snapshot().Channel(1).Port(2).deembedding.file, narrow);
    EXPECT_EQ(Snapshot().Channel(1).Port(2).deembedding.filePoints, 11u);

    Send(prefix + "\"\"");
    EXPECT_EQ(NextError(), 0);
    EXPECT_EQ(Snapshot().Channel(1).Port(2).deembedding.file, "");
    EXPECT_EQ(Ask("CALC1:FSIM:SEND:DEEM:PORT2:USER:FIL?"), "\"\"");
}

// Many large queries in one message: the joined reply stops at 64 MiB, each
// query past it queues -223 instead, and the session carries on.
TEST_F(SessionTest, JoinedReplyIsCappedAndTheRestQueueTooMuchData) {
    InstrumentConfig config;
    config.sweep.points = qvzsim::kMaxPoints;
    Configure(config);
    const std::string one = Ask("SENS:FREQ:DATA?");
    ASSERT_FALSE(one.empty());
    constexpr std::size_t kCap = std::size_t{64} << 20;
    const std::size_t fitting = (kCap + 1) / (one.size() + 1);
    const std::size_t queries = fitting + 8;
    ASSERT_LT(queries - fitting, 32u);  // every refusal fits in the queue

    std::string message = "SENS:FREQ:DATA?";
    for (std::size_t i = 1; i < queries; ++i) {
        message += ";SENS:FREQ:DATA?";
    }
    std::string reply = Send(message).reply;
    ASSERT_FALSE(reply.empty());
    EXPECT_EQ(reply.back(), '\n');
    EXPECT_LE(reply.size() - 1, kCap);
    reply.pop_back();
    std::size_t lists = 0;
    for (std::size_t at = 0; at <= reply.size(); at += one.size() + 1, ++lists) {
        ASSERT_EQ(reply.compare(at, one.size(), one), 0) << "list " << lists << " differs";
    }
    EXPECT_EQ(lists, fitting);
    EXPECT_EQ(instrument_->ErrorCount(), queries - fitting);
    for (std::size_t i = fitting; i < queries; ++i) {
        EXPECT_EQ(Ask(":SYST:ERR?"), "-223,\"Too much data\"");
    }
    EXPECT_EQ(Ask("*OPC?;:SENS:SWE:POIN?"), "1;200001");
}

// A server that stops drops what is left of a message, however long.
TEST_F(SessionTest, StopDropsTheRestOfTheMessage) {
    std::atomic<bool> stop{false};
    qvzsim::Session session(*instrument_, faults_, nullptr, 2, &stop);
    EXPECT_EQ(session.HandleMessage("SENS:SWE:POIN 11;*OPC?").reply, "1\n");
    stop.store(true);
    const MessageOutcome outcome = session.HandleMessage("SENS:SWE:POIN 21;*OPC?");
    EXPECT_TRUE(outcome.closeConnection);
    EXPECT_EQ(outcome.reply, "");
    EXPECT_EQ(Snapshot().Channel(1).sweep.points, 11);
}

TEST_F(SessionTest, StateQueriesAndBooleanForms) {
    const struct {
        const char* value;
        const char* reply;
    } forms[] = {{"ON", "1"}, {"off", "0"}, {"1", "1"}, {"0", "0"}, {"On", "1"}, {"OFF", "0"}};
    const char* headers[] = {
        "CALC1:FSIM:STAT",
        "CALC1:FSIM:SEND:PMC:STAT",
        "CALC1:FSIM:SEND:DEEM:STAT",
        "CALC1:FSIM:SEND:PMC:PORT4:STAT",
        "CALC1:FSIM:SEND:DEEM:PORT2:STAT",
    };
    for (const char* header : headers) {
        EXPECT_EQ(Ask(std::string(header) + "?"), "0") << header;
        for (const auto& form : forms) {
            Send(std::string(header) + " " + form.value);
            EXPECT_EQ(Ask(std::string(header) + "?"), form.reply) << header << " " << form.value;
        }
    }
    EXPECT_EQ(NextError(), 0);

    // Each header sets its own flag only.
    Configure(InstrumentConfig{});
    Send("CALC1:FSIM:SEND:DEEM:PORT2:STAT ON");
    const InstrumentSnapshot state = Snapshot();
    EXPECT_TRUE(state.Channel(1).Port(2).deembedding.on);
    EXPECT_FALSE(state.Channel(1).Port(2).matching.on);
    EXPECT_FALSE(state.Channel(1).Port(1).deembedding.on);
    EXPECT_FALSE(state.Channel(1).deembeddingOn);
    EXPECT_FALSE(state.Channel(1).simulatorOn);
}

TEST_F(SessionTest, SweepAndChannelSettings) {
    InstrumentConfig config;
    config.channels = 3;
    Configure(config);
    EXPECT_EQ(Ask("SERV:CHAN:COUN?"), "3");
    Send("SERV:CHAN:ACT 3");
    EXPECT_EQ(Ask("SERVice:CHANnel:ACTive?"), "3");
    Send("SENS2:SWE:POIN 11;:SENS2:FREQ:STAR 1e9;STOP 2e9");
    EXPECT_EQ(Ask("SENS2:SWE:POIN?;:SENS2:FREQ:STAR?;STOP?"), "11;1000000000;2000000000");
    // The path after SENS2:SWE:POIN is SENS2:SWE; FREQ:STAR is not under it,
    // so it is taken from the root, where [SENSe] left out means channel 1.
    EXPECT_EQ(Ask("SENS2:SWE:POIN?;FREQ:STAR?"), "11;10000000");
    EXPECT_EQ(
        Ask("SENS2:FREQ:DATA?"),
        "1000000000,1100000000,1200000000,1300000000,1400000000,1500000000,1600000000,1700000000,"
        "1800000000,1900000000,2000000000");
    EXPECT_EQ(Ask("SENS1:SWE:POIN?"), "201");  // other channels keep theirs
    Send("SENS1:SWE:POIN 7.4");                // numbers round to the nearest integer
    EXPECT_EQ(Ask("SWE:POIN?"), "7");
    EXPECT_EQ(NextError(), 0);
}

TEST_F(SessionTest, CompoundMessagesAndThePath) {
    const std::pair<std::string, std::string> cases[] = {
        {"SENS1:SWE:POIN?;FREQ:STAR?;STOP?", "201;10000000;8500000000"},
        {"*IDN?;*OPC?", qvzsim::IdentityString() + ";1"},
        {"SYST:ERR?;*OPC?;ERR:COUN?", "0,\"No error\";1;0"},  // a common command keeps the path
        {"SENS1:SWE:POIN?;:SWE:POIN?", "201;201"},
        {"CALC1:FSIM:STAT 1;SYST:ERR?",
         "0,\"No error\""},  // not under CALC1:FSIM: but from the root
        {"CALC1:FSIM:STAT 0;STAT?", "0"},
        {"*OPC;*WAI;*OPC?", "1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        EXPECT_EQ(Ask(c.first), c.second);
        EXPECT_EQ(NextError(), 0);
    }

    // A syntax error ends the message; what came before it has run.
    Send("CALC1:FSIM:STAT 1;CALC1:FSIM:STAT \"x;*IDN?");
    EXPECT_TRUE(Snapshot().Channel(1).simulatorOn);
    EXPECT_EQ(NextError(), -102);
    EXPECT_EQ(NextError(), 0);

    // A failing query drops out of the joined reply.
    EXPECT_EQ(Ask("SENS9:SWE:POIN?;*OPC?"), "1");
    EXPECT_EQ(NextError(), -114);
}

TEST_F(SessionTest, CommonCommandsAndReset) {
    const std::string identity = Ask("*IDN?");
    EXPECT_EQ(identity.rfind("Qaldorn,QVZSIM,0,", 0), 0u) << identity;
    EXPECT_EQ(identity, qvzsim::IdentityString());
    EXPECT_EQ(Ask("*OPC?"), "1");

    InstrumentConfig config;
    config.channels = 2;
    Configure(config);
    const std::string fresh = qvzsim::FormatStateLine(Snapshot());
    const std::string file =
        dir_.Write("r.s2p", qvzsim_test::LibraryStyleTouchstone(qvzsim::SweepSettings{}));
    Send("SERV:CHAN:ACT 2;:CALC2:FSIM:STAT 1;:CALC1:FSIM:SEND:PMC:PORT1:USER:FIL " +
         qvzsim::QuoteString(file));
    Send("CALC1:FSIM:SEND:PMC:PORT1:STAT 1;:SENS1:SWE:POIN 5;:NO:SUCH");
    ASSERT_NE(qvzsim::FormatStateLine(Snapshot()), fresh);

    Send("*RST");
    EXPECT_EQ(qvzsim::FormatStateLine(Snapshot()), fresh);
    EXPECT_EQ(Ask("SENS1:SWE:POIN?"), "201");
    EXPECT_EQ(Ask("SYST:ERR:COUN?"), "1");  // *RST leaves the queue alone
    Send("*CLS");
    EXPECT_EQ(Ask("SYST:ERR:COUN?"), "0");

    Send("CALC1:FSIM:STAT 1");
    Send("SYST:PRES");
    EXPECT_FALSE(Snapshot().Channel(1).simulatorOn);
}

TEST_F(SessionTest, FaultsArmedOverScpi) {
    Send("SYST:FAUL:SIL \"SENS:SWE:POIN?\"");
    EXPECT_EQ(Ask("SYST:FAUL:COUN?"), "1");
    EXPECT_EQ(Ask("SENSe1:SWEep:POINts?"), "");  // silence: no reply at all
    EXPECT_EQ(Ask("SENSe1:SWEep:POINts?"), "201");
    EXPECT_EQ(Ask("SENS1:SWE:POIN?;*OPC?"), "201;1");

    Send("SYST:FAUL:SIL \"SENS:SWE:POIN?\"");
    EXPECT_EQ(Ask("SENS1:SWE:POIN?;*OPC?"), "1");  // only the silenced part is missing

    Send("SYST:FAUL:GARB \"*IDN?\",2");
    EXPECT_EQ(Ask("*IDN?"), qvzsim::Faults::kGarbageReply);
    EXPECT_EQ(Ask("*IDN?"), qvzsim::Faults::kGarbageReply);
    EXPECT_EQ(Ask("*IDN?"), qvzsim::IdentityString());

    Send("SYST:FAUL:DEL \"SYST:ERR?\",250");
    MessageOutcome delayed = Send(":SYST:ERR?");
    EXPECT_EQ(delayed.delayMs, 250);
    EXPECT_EQ(delayed.reply, "0,\"No error\"\n");
    EXPECT_EQ(Send(":SYST:ERR?").delayMs, 0);

    Send("SYST:FAUL:CLOS 2");
    EXPECT_FALSE(Send("*OPC?").closeConnection);
    MessageOutcome closing = Send("*OPC?;*IDN?");
    EXPECT_TRUE(closing.closeConnection);
    EXPECT_EQ(closing.reply, "1\n");  // handled and answered, the rest dropped

    Send("SYST:FAUL:ERR 42,\"Preset failure\"");
    Send("SYST:FAUL:ERR -256");
    EXPECT_EQ(Ask(":SYST:ERR?"), "42,\"Preset failure\"");
    EXPECT_EQ(Ask(":SYST:ERR?"), "-256,\"File name not found\"");

    // A silenced error query leaves the entry for the next one.
    Send("SYST:FAUL:ERR 9,\"Kept\";:SYST:FAUL:SIL \"SYST:ERR?\"");
    EXPECT_EQ(Ask(":SYST:ERR?"), "");
    EXPECT_EQ(Ask(":SYST:ERR?"), "9,\"Kept\"");

    Send("SYST:FAUL:SIL \"*IDN?\",ALWAYS;GARB \"*OPC?\",ALW");
    EXPECT_EQ(Ask("SYST:FAUL:COUN?"), "2");
    EXPECT_EQ(Ask("*IDN?"), "");
    EXPECT_EQ(Ask("*IDN?"), "");
    Send("SYST:FAUL:CLE");
    EXPECT_EQ(Ask("SYST:FAUL:COUN?"), "0");
    EXPECT_EQ(Ask("*IDN?"), qvzsim::IdentityString());
    EXPECT_EQ(NextError(), 0);
}

TEST_F(SessionTest, ReportQueryDescribesTheFixtureSimulator) {
    const std::string file =
        dir_.Write("rep.s2p", qvzsim_test::LibraryStyleTouchstone(qvzsim::SweepSettings{}));
    Send("CALC1:FSIM:SEND:DEEM:PORT1:USER:FIL " + qvzsim::QuoteString(file) +
         ";STAT 1;:CALC1:FSIM:SEND:DEEM:STAT 1;:CALC1:FSIM:STAT 1");
    // The path: ";STAT 1" after "...:PORT1:USER:FIL" is tried as USER:STAT first,
    // then from the root, where it is not a command either.
    EXPECT_EQ(NextError(), -113);
    Send("CALC1:FSIM:SEND:DEEM:PORT1:STAT 1");
    const std::string report = Ask("SYSTem:FSIMulator:REPort?");
    EXPECT_EQ(report, qvzsim::FormatStateLine(Snapshot()));
    EXPECT_NE(
        report.find(
            "CH1 SIM=ON PMC=OFF DEEM=ON P1.PMC=OFF P1.PMC.FILE=\"\" P1.DEEM=ON P1.DEEM.FILE=\"" +
            file + "\" P2.PMC=OFF"),
        std::string::npos)
        << report;
}

}  // namespace
