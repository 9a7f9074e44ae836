// The emulator as an instrument a script talks to: IEEE 488.2 status
// reporting, numbers with unit suffixes and MINimum/MAXimum, the device on
// each port and the simulated measurement read back as trace data.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "qvzsim/dut.h"
#include "qvzsim/fixture_math.h"
#include "qvzsim/session.h"
#include "test_files.h"

namespace {

using qvzsim::Complex;

std::vector<Complex> ParsePairs(const std::string& reply) {
    std::vector<double> numbers;
    const char* p = reply.c_str();
    while (*p != '\0') {
        char* end = nullptr;
        numbers.push_back(std::strtod(p, &end));
        if (end == p) {
            ADD_FAILURE() << "not a number at: " << p;
            break;
        }
        p = *end == ',' ? end + 1 : end;
    }
    EXPECT_EQ(numbers.size() % 2, 0u);
    std::vector<Complex> pairs;
    for (std::size_t i = 0; i + 1 < numbers.size(); i += 2) {
        pairs.emplace_back(numbers[i], numbers[i + 1]);
    }
    return pairs;
}

class VirtualAnalyzer : public ::testing::Test {
protected:
    VirtualAnalyzer() {
        config_.sweep.points = 11;
        config_.sweep.startHz = 1e9;
        config_.sweep.stopHz = 4e9;
        instrument_ = std::make_unique<qvzsim::Instrument>(config_);
        session_ = std::make_unique<qvzsim::Session>(*instrument_, faults_, nullptr, 1);
    }

    std::string Ask(const std::string& message) {
        std::string reply = session_->HandleMessage(message).reply;
        if (!reply.empty()) {
            reply.pop_back();
        }
        return reply;
    }
    int NextError() { return std::atoi(Ask(":SYST:ERR?").c_str()); }

    qvzsim::InstrumentConfig config_;
    qvzsim::Faults faults_;
    std::unique_ptr<qvzsim::Instrument> instrument_;
    std::unique_ptr<qvzsim::Session> session_;
    qvzsim_test::TempDir dir_;
};

TEST_F(VirtualAnalyzer, ErrorsSetTheEventStatusBitOfTheirClass) {
    EXPECT_EQ(Ask("*ESR?"), "128");  // power-on
    EXPECT_EQ(Ask("*ESR?"), "0");    // read and cleared
    struct Case {
        const char* message;
        const char* esr;
    } cases[] = {
        {"NO:SUCH:COMMAND", "32"},             // -113, command error
        {"SENS:SWE:POIN 0", "16"},             // -222, execution error
        {"SYST:FAUL:ERR 101", "8"},            // device-specific
        {"SYST:FAUL:ERR -350", "8"},           // device-dependent
        {"SYST:FAUL:ERR -410", "4"},           // query error
        {"*OPC", "1"},                         // operation complete
        {"SENS:FREQ:STAR 1 VOLT;*OPC", "33"},  // -131 and OPC together
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        Ask(c.message);
        EXPECT_EQ(Ask("*ESR?"), c.esr);
    }
}

TEST_F(VirtualAnalyzer, StatusByteSummarisesQueueAndEnabledEvents) {
    Ask("*CLS");
    EXPECT_EQ(Ask("*STB?"), "0");
    Ask("NO:SUCH:COMMAND");
    EXPECT_EQ(Ask("*STB?"), "4");  // error queue not empty; ESB not enabled
    Ask("*ESE 32;*SRE 36");
    EXPECT_EQ(Ask("*ESE?;*SRE?"), "32;36");
    EXPECT_EQ(Ask("*STB?"), "100");  // 4 + ESB 32 + MSS 64
    Ask("*CLS");
    EXPECT_EQ(Ask("*STB?;*ESR?;SYST:ERR:COUN?"), "0;0;0");
    Ask("*SRE 255");
    EXPECT_EQ(Ask("*SRE?"), "191");  // bit 6 cannot be enabled
    Ask("*ESE 256");
    EXPECT_EQ(NextError(), -222);
    EXPECT_EQ(Ask("*TST?;SYST:VERS?;STAT:OPER?;STAT:QUES:EVEN?"), "0;1999.0;0;0");
    Ask("STAT:PRES");
    EXPECT_EQ(NextError(), 0);
}

TEST_F(VirtualAnalyzer, NumbersTakeUnitSuffixesAndBounds) {
    struct Case {
        const char* setting;
        const char* query;
        const char* reply;
        int error;
    } cases[] = {
        {"SENS:FREQ:STOP 5 GHz", "SENS:FREQ:STOP?", "5000000000", 0},
        {"SENS:FREQ:STAR 500 kHz", "SENS:FREQ:STAR?", "500000", 0},
        {"SENS:FREQ:STAR 1GHZ", "SENS:FREQ:STAR?", "1000000000", 0},
        {"SENS:FREQ:STAR 2.5MHz", "SENS:FREQ:STAR?", "2500000", 0},
        {"SENS:FREQ:STAR 300MAHZ", "SENS:FREQ:STAR?", "300000000", 0},
        {"SENS:FREQ:STAR 7 V", "SENS:FREQ:STAR?", "300000000", -131},
        {"SENS:SWE:POIN 5 HZ", "SENS:SWE:POIN?", "11", -138},
        {"SENS:SWE:POIN MAX", "SENS:SWE:POIN?", "200001", 0},
        {"SENS:SWE:POIN minimum", "SENS:SWE:POIN?", "1", 0},
        {"", "SENS:SWE:POIN? MAX", "200001", 0},
        {"", "SWE:POIN? MIN", "1", 0},
        {"", "SENS:FREQ:STOP? MAX", "1000000000000", 0},
        {"", "SERV:CHAN:ACT? MAX", "1", 0},
        {"SERV:CHAN:ACT MIN", "SERV:CHAN:ACT?", "1", 0},
        {"", "*IDN? MAX", "", -108},
        {"", "SYST:ERR:COUN? 3", "", -108},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.setting) + " / " + c.query);
        if (*c.setting != '\0') {
            Ask(c.setting);
        }
        EXPECT_EQ(Ask(c.query), c.reply);
        EXPECT_EQ(NextError(), c.error);
        EXPECT_EQ(NextError(), 0);
    }
}

TEST_F(VirtualAnalyzer, TraceIsTheBuiltInDeviceUntilTheSimulatorActs) {
    const std::vector<double> f = qvzsim::SweepFrequencies(config_.sweep);
    const std::vector<Complex> trace = ParsePairs(Ask("CALC1:DATA:PORT3:SDAT?"));
    ASSERT_EQ(trace.size(), f.size());
    for (std::size_t i = 0; i < f.size(); ++i) {
        EXPECT_EQ(trace[i], qvzsim::SeriesRlcReflection(qvzsim::kSmallAntenna, f[i])) << f[i];
    }
    Ask("CALC2:DATA:PORT1:SDAT?;CALC1:DATA:PORT5:SDAT?");
    EXPECT_EQ(NextError(), -114);
    EXPECT_EQ(NextError(), -114);
}

TEST_F(VirtualAnalyzer, EmbedsOnlyWithEverySwitchOn) {
    const std::string file =
        dir_.Write("Match.s2p", qvzsim_test::LibraryStyleTouchstone(config_.sweep));
    const qvzsim::TwoPort s{{0.1, -0.2}, {0.95, 0.0}, {0.95, 0.0}, {-0.05, 0.25}};
    const std::vector<double> f = qvzsim::SweepFrequencies(config_.sweep);
    Ask("CALC:FSIM:SEND:PMC:PORT1:USER:FIL \"" + file + "\"");
    const char* switches[] = {"CALC:FSIM:STAT 1", "CALC:FSIM:SEND:PMC:STAT 1",
                              "CALC:FSIM:SEND:PMC:PORT1:STAT 1"};
    for (const char* on : switches) {
        const std::vector<Complex> before = ParsePairs(Ask("CALC:DATA:PORT1:SDAT?"));
        ASSERT_EQ(before.size(), f.size());
        EXPECT_EQ(before[3], qvzsim::SeriesRlcReflection(qvzsim::kSmallAntenna, f[3]))
            << "before " << on;
        Ask(on);
    }
    const std::vector<Complex> after = ParsePairs(Ask("CALC:DATA:PORT1:SDAT?"));
    ASSERT_EQ(after.size(), f.size());
    for (std::size_t i = 0; i < f.size(); ++i) {
        const Complex want =
            qvzsim::Embed(s, qvzsim::SeriesRlcReflection(qvzsim::kSmallAntenna, f[i]));
        EXPECT_LT(std::abs(after[i] - want), 1e-12) << f[i];
    }
    EXPECT_EQ(NextError(), 0);
}

TEST_F(VirtualAnalyzer, DeembeddingTheSameNetworkBeforeEmbeddingGivesTheRawDevice) {
    const std::string file =
        dir_.Write("Both.s2p", qvzsim_test::LibraryStyleTouchstone(config_.sweep));
    Ask("CALC:FSIM:SEND:PMC:PORT2:USER:FIL \"" + file +
        "\";:CALC:FSIM:SEND:DEEM:PORT2:USER:FIL \"" + file + "\"");
    Ask("CALC:FSIM:STAT 1;SEND:PMC:STAT 1;PORT2:STAT 1;:CALC:FSIM:SEND:DEEM:STAT 1;PORT2:STAT 1");
    EXPECT_EQ(NextError(), 0);
    EXPECT_NE(Ask("SYST:FSIM:REP?").find("P2.PMC=ON P2.PMC.FILE=\"" + file + "\" P2.DEEM=ON"),
              std::string::npos);
    const std::vector<double> f = qvzsim::SweepFrequencies(config_.sweep);
    const std::vector<Complex> trace = ParsePairs(Ask("CALC:DATA:PORT2:SDAT?"));
    ASSERT_EQ(trace.size(), f.size());
    const qvzsim::TwoPort s{{0.1, -0.2}, {0.95, 0.0}, {0.95, 0.0}, {-0.05, 0.25}};
    for (std::size_t i = 0; i < f.size(); ++i) {
        const Complex raw = qvzsim::SeriesRlcReflection(qvzsim::kSmallAntenna, f[i]);
        // De-embedding first: Embed(S, Deembed(S, raw)) is the raw device again.
        EXPECT_LT(std::abs(trace[i] - raw), 1e-12) << f[i];
        EXPECT_GT(std::abs(qvzsim::Deembed(s, raw) - raw), 1e-3);  // the networks do act
    }
}

TEST_F(VirtualAnalyzer, DeviceFilesAreLoadedInterpolatedAndRefused) {
    const std::string onePort = dir_.Write(
        "Antenna.s1p", "# GHz S RI R 50\n1 0.5 0\n2 0 0.5\n! stops short of the sweep\n3 -0.5 0\n");
    const std::string twoPort = dir_.Write(
        "Dut.s2p",
        "# Hz S MA R 25\n1e9 0 0 1 0 1 0 0 0\n5e9 0 0 1 0 1 0 0 0\n");  // 25 ohm: -1/3 at 50
    const std::string broken = dir_.Write("Broken.s1p", "# GHz S RI R 50\n1 0.5\n");
    Ask("SYST:DUT:PORT2:FIL \"" + onePort + "\";:SYST:DUT:PORT4:FIL \"" + twoPort + "\"");
    EXPECT_EQ(NextError(), 0);
    EXPECT_EQ(Ask("SYST:DUT:PORT2:FIL?;:SYST:DUT:PORT1:FIL?"), "\"" + onePort + "\";\"\"");

    const std::vector<double> f =
        qvzsim::SweepFrequencies(config_.sweep);  // 1 to 4 GHz, 0.3 GHz steps
    const std::vector<Complex> port2 = ParsePairs(Ask("CALC:DATA:PORT2:SDAT?"));
    const std::vector<Complex> port4 = ParsePairs(Ask("CALC:DATA:PORT4:SDAT?"));
    ASSERT_EQ(port2.size(), f.size());
    ASSERT_EQ(port4.size(), f.size());
    EXPECT_LT(std::abs(port2[0] - Complex(0.5, 0.0)), 1e-15);
    EXPECT_LT(std::abs(port2[1] - Complex(0.35, 0.15)), 1e-12);   // 1.3 GHz
    EXPECT_LT(std::abs(port2[5] - Complex(-0.25, 0.25)), 1e-12);  // 2.5 GHz
    EXPECT_LT(std::abs(port2[10] - Complex(-0.5, 0.0)), 1e-15);   // 4 GHz: the last value held
    EXPECT_LT(std::abs(port4[7] - Complex(-1.0 / 3.0, 0.0)), 1e-12);

    Ask("SYST:DUT:PORT2:FIL \"" + broken + "\"");
    EXPECT_EQ(NextError(), 101);
    Ask("SYST:DUT:PORT2:FIL \"" + dir_.File("missing.s1p") + "\"");
    EXPECT_EQ(NextError(), -256);
    Ask("SYST:DUT:PORT2:FIL \"" + dir_.Path() + "\"");
    EXPECT_EQ(NextError(), -256);
    EXPECT_EQ(Ask("SYST:DUT:PORT2:FIL?"), "\"" + onePort + "\"");  // unchanged by the failures
    Ask("SYST:DUT:PORT2:FIL \"\";:SYST:DUT:PORT5:FIL \"\"");
    EXPECT_EQ(NextError(), -114);
    EXPECT_EQ(Ask("SYST:DUT:PORT2:FIL?"), "\"\"");
    EXPECT_EQ(ParsePairs(Ask("CALC:DATA:PORT2:SDAT?"))[0],
              qvzsim::SeriesRlcReflection(qvzsim::kSmallAntenna, 1e9));
}

}  // namespace
