#include "qvzsim/state_report.h"

#include <gtest/gtest.h>

#include <string>

namespace {

qvzsim::InstrumentSnapshot TwoChannels() {
    qvzsim::InstrumentSnapshot snapshot;
    snapshot.activeChannel = 2;
    snapshot.channels.resize(2);
    qvzsim::ChannelState& second = snapshot.channels[1];
    second.simulatorOn = true;
    second.deembeddingOn = true;
    second.Port(1).deembedding =
        qvzsim::FixtureSlot{true, "/tmp/VNA/Qaldorn/Antenna1_Port1.s2p", 201, {}};
    second.Port(4).matching = qvzsim::FixtureSlot{false, "/tmp/a \"b\".s2p", 3, {}};
    snapshot.errorCount = 1;
    return snapshot;
}

TEST(StateReport, OneLineForTheQuery) {
    const std::string off = " P%.PMC=OFF P%.PMC.FILE=\"\" P%.DEEM=OFF P%.DEEM.FILE=\"\"";
    auto port = [&](int n) {
        std::string text = off;
        for (std::size_t at = text.find('%'); at != std::string::npos; at = text.find('%')) {
            text[at] = static_cast<char>('0' + n);
        }
        return text;
    };
    const std::string expected =
        "ACTIVE=2 CH1 SIM=OFF PMC=OFF DEEM=OFF" + port(1) + port(2) + port(3) + port(4) +
        " CH2 SIM=ON PMC=OFF DEEM=ON"
        " P1.PMC=OFF P1.PMC.FILE=\"\" P1.DEEM=ON "
        "P1.DEEM.FILE=\"/tmp/VNA/Qaldorn/Antenna1_Port1.s2p\"" +
        port(2) + port(3) +
        " P4.PMC=OFF P4.PMC.FILE=\"/tmp/a \"\"b\"\".s2p\" P4.DEEM=OFF P4.DEEM.FILE=\"\"";
    const std::string line = qvzsim::FormatStateLine(TwoChannels());
    EXPECT_EQ(line, expected);
    EXPECT_EQ(line.find('\n'), std::string::npos);
}

TEST(StateReport, ReadableBlockForTheLog) {
    const std::string text = qvzsim::FormatStateText(TwoChannels());
    for (const char* part : {
             "Fixture simulator state (active channel 2):\n",
             "  Channel 1: simulator OFF, matching circuit OFF, de-embedding OFF; sweep 201 "
             "points\n",
             "  Channel 2: simulator ON, matching circuit OFF, de-embedding ON; sweep 201 points\n",
             "    Port 1: matching circuit OFF (no file); de-embedding ON, file "
             "/tmp/VNA/Qaldorn/Antenna1_Port1.s2p (201 points)\n",
             "    Port 4: matching circuit OFF, file /tmp/a \"b\".s2p (3 points); de-embedding OFF "
             "(no file)\n",
             "  Errors in the queue: 1\n",
         }) {
        EXPECT_NE(text.find(part), std::string::npos) << part << "\nin:\n" << text;
    }
}

}  // namespace
