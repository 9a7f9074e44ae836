#include "qvzsim/cli_options.h"
#include "qvzsim/client.h"
#include "qvzsim/endpoint.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Parse(std::vector<const char*> args, qvzsim::CommandLine& out) {
    args.insert(args.begin(), "qvzsim");
    return qvzsim::ParseCommandLine(static_cast<int>(args.size()), args.data(), out);
}

TEST(CommandLine, Defaults) {
    qvzsim::CommandLine line;
    ASSERT_EQ(Parse({}, line), "");
    EXPECT_EQ(line.server.bindAddress, "127.0.0.1");
    EXPECT_EQ(line.server.port, 5025);
    EXPECT_FALSE(line.server.quiet);
    EXPECT_FALSE(line.help);
    EXPECT_TRUE(line.send.empty());
    EXPECT_EQ(line.server.maxConnections, 64);
    EXPECT_EQ(line.server.instrument.channels, 1);
    EXPECT_EQ(line.server.instrument.activeChannel, 1);
    EXPECT_EQ(line.server.instrument.sweep.points, 201);
    EXPECT_EQ(line.server.instrument.sweep.startHz, 10e6);
    EXPECT_EQ(line.server.instrument.sweep.stopHz, 8.5e9);
}

TEST(CommandLine, EveryFlagInBothSpellings) {
    qvzsim::CommandLine line;
    ASSERT_EQ(Parse({"--bind", "0.0.0.0", "--port=0", "--channels", "4", "--active=3", "--points",
                     "100001", "--start=1e6", "--stop", "20e9", "--quiet", "--send", "*IDN?",
                     "--send=SYST:ERR?", "--max-connections", "3"},
                    line),
              "");
    EXPECT_EQ(line.server.bindAddress, "0.0.0.0");
    EXPECT_EQ(line.server.port, 0);
    EXPECT_EQ(line.server.instrument.channels, 4);
    EXPECT_EQ(line.server.instrument.activeChannel, 3);
    EXPECT_EQ(line.server.instrument.sweep.points, 100001);
    EXPECT_EQ(line.server.instrument.sweep.startHz, 1e6);
    EXPECT_EQ(line.server.instrument.sweep.stopHz, 20e9);
    EXPECT_TRUE(line.server.quiet);
    EXPECT_EQ(line.server.maxConnections, 3);
    EXPECT_EQ(line.send, (std::vector<std::string>{"*IDN?", "SYST:ERR?"}));
    ASSERT_EQ(Parse({"--max-connections=10000"}, line), "");
    EXPECT_EQ(line.server.maxConnections, 10000);

    ASSERT_EQ(Parse({"-h"}, line), "");
    EXPECT_TRUE(line.help);

    ASSERT_EQ(Parse({"--version"}, line), "");
    EXPECT_TRUE(line.version);
    EXPECT_FALSE(qvzsim::VersionText().empty());
}

// --send waits for a reply only to a query; a '?' quoted inside a fault's
// header is data, and waiting there would hang until the time limit.
TEST(SendMode, OnlyAQuestionMarkOutsideQuotesExpectsAReply) {
    const struct {
        const char* message;
        bool expectsReply;
    } cases[] = {
        {"*IDN?", true},
        {":SYST:FSIM:REP?", true},
        {"*RST", false},
        {"SYST:FAUL:SIL \"SENS:SWE:POIN?\"", false},
        {"SYST:FAUL:SIL 'SENS:SWE:POIN?',ALW", false},
        {"SYST:FAUL:SIL \"SENS:SWE:POIN?\";:SYST:FAUL:COUN?", true},
        {"CALC:FSIM:SEND:PMC:PORT1:USER:FIL \"a\"\"?\"\"b.s2p\"", false},
        {"CALC:FSIM:SEND:PMC:PORT1:USER:FIL 'it''s?.s2p';*OPC?", true},
        {"SYST:FAUL:SIL \"unterminated?", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(qvzsim::ExpectsReply(c.message), c.expectsReply) << c.message;
    }
}

TEST(SendMode, EndpointsPutIpv6AddressesInBrackets) {
    EXPECT_EQ(qvzsim::FormatEndpoint("127.0.0.1", 5025), "127.0.0.1:5025");
    EXPECT_EQ(qvzsim::FormatEndpoint("localhost", 0), "localhost:0");
    EXPECT_EQ(qvzsim::FormatEndpoint("::1", 5025), "[::1]:5025");
    EXPECT_EQ(qvzsim::FormatEndpoint("fe80::1%eth0", 1), "[fe80::1%eth0]:1");
}

TEST(CommandLine, RefusesBadValues) {
    const struct {
        std::vector<const char*> args;
        const char* message;  // a part of the message
    } cases[] = {
        {{"--port", "65536"}, "--port"},
        {{"--port", "-1"}, "--port"},
        {{"--port", "50x"}, "--port"},
        {{"--port"}, "needs a value"},
        {{"--channels", "0"}, "--channels"},
        {{"--channels", "17"}, "--channels"},
        {{"--channels", "2", "--active", "3"}, "active channel"},
        {{"--points", "0"}, "--points"},
        {{"--points", "200002"}, "--points"},
        {{"--start", "abc"}, "--start"},
        {{"--stop", "nan"}, "--stop"},
        {{"--start", "9e9"}, "start < stop"},
        {{"--start", "-1"}, "start < stop"},
        {{"--bind="}, "--bind"},
        {{"--max-connections", "0"}, "--max-connections must be 1 to 10000"},
        {{"--max-connections=10001"}, "--max-connections"},
        {{"--max-connections", "many"}, "--max-connections"},
        {{"--quiet=yes"}, "takes no value"},
        {{"--verbose"}, "unknown option --verbose"},
        {{"5025"}, "unknown option 5025"},
    };
    for (const auto& c : cases) {
        qvzsim::CommandLine line;
        const std::string message = Parse(c.args, line);
        EXPECT_NE(message.find(c.message), std::string::npos) << c.args.front() << ": " << message;
    }
}

}  // namespace
