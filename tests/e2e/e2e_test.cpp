// The whole system over loopback TCP: the library applies against the
// analyzer emulator, and the emulator's fixture simulator is checked.
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "e2e_fixture.h"
#include "qvzsim/faults.h"
#include "visa/visa.h"

namespace qvz {
namespace testing {
namespace {

using namespace qvz::visa;

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        directory = TestDirectory();
        ASSERT_TRUE(server.start());
        ASSERT_EQ(QVZ_init(ResourceFor(server).c_str()), 0);
        ASSERT_EQ(QVZ_SetS2PFilePath(directory.string().c_str()), 0);
    }
    void TearDown() override {
        QVZ_close();
        server.stop();
        std::filesystem::remove_all(directory);
    }
    std::string fileFor(int port) const {
        return (directory / ("Prefix_Port" + std::to_string(port) + ".s2p")).string();
    }

    qvzsim::Server server{QuietEmulator(2, 2)};
    std::filesystem::path directory;
};

TEST_F(EndToEnd, EveryActionOnEveryPortLeavesTheFixtureSimulatorAsIntended) {
    for (int port = 1; port <= 4; ++port) {
        SCOPED_TRACE(port);
        ASSERT_EQ(QVZ_SetActivePort(port), 0);

        ASSERT_EQ(QVZ_SetAction(QVZ_EMBEDDING), 0);
        ASSERT_EQ(QVZ_ApplyChanges(), 0);
        auto channel = server.snapshot().channel(2);
        EXPECT_TRUE(channel.port(port).matching.on);
        EXPECT_EQ(channel.port(port).matching.file, fileFor(port));
        EXPECT_EQ(channel.port(port).matching.filePoints, 201u);
        EXPECT_FALSE(channel.port(port).deembedding.on);
        EXPECT_EQ(channel.port(port).deembedding.file, "");
        EXPECT_TRUE(channel.matchingOn);
        EXPECT_TRUE(channel.simulatorOn);
        EXPECT_TRUE(server.snapshot().channel(1).port(port).matching.file.empty())
            << "only the active channel is touched";

        ASSERT_EQ(QVZ_SetAction(QVZ_DEEMBEDDING), 0);
        ASSERT_EQ(QVZ_ApplyChanges(), 0);
        channel = server.snapshot().channel(2);
        EXPECT_FALSE(channel.port(port).matching.on);
        EXPECT_EQ(channel.port(port).matching.file, "");
        EXPECT_TRUE(channel.port(port).deembedding.on);
        EXPECT_EQ(channel.port(port).deembedding.file, fileFor(port));
        EXPECT_TRUE(channel.deembeddingOn);
        EXPECT_TRUE(channel.matchingOn) << "channel-level matching stays as before";
        EXPECT_TRUE(channel.simulatorOn);

        ASSERT_EQ(QVZ_SetAction(QVZ_NONE), 0);
        ASSERT_EQ(QVZ_ApplyChanges(), 0);
        channel = server.snapshot().channel(2);
        EXPECT_FALSE(channel.port(port).matching.on);
        EXPECT_FALSE(channel.port(port).deembedding.on);
        EXPECT_EQ(channel.port(port).matching.file, "");
        EXPECT_EQ(channel.port(port).deembedding.file, "");
        EXPECT_TRUE(channel.deembeddingOn);
        EXPECT_TRUE(channel.simulatorOn) << "None leaves the channel and simulator alone";
    }
    EXPECT_EQ(server.snapshot().errorCount, 0u);
}

TEST_F(EndToEnd, EveryTopologyAndSmoothingLoadsCleanly) {
    ASSERT_EQ(QVZ_SetAction(QVZ_EMBEDDING), 0);
    ASSERT_EQ(QVZ_SetApplyImmediate(1), 0);
    for (int circuit = 0; circuit <= 8; ++circuit) {
        for (int smoothing = 0; smoothing <= 3; ++smoothing) {
            SCOPED_TRACE(std::to_string(circuit) + "/" + std::to_string(smoothing));
            ASSERT_EQ(QVZ_SetCircuit(circuit), 0);
            ASSERT_EQ(QVZ_SetSmoothing(smoothing), 0);
        }
    }
    EXPECT_EQ(server.snapshot().channel(2).port(1).matching.file, fileFor(1));
}

TEST_F(EndToEnd, ASilentQueryTimesOutAndTheNextApplyIsInStep) {
    ASSERT_TRUE(server.faults().silence("SENS:SWE:POIN?"));
    EXPECT_EQ(QVZ_ApplyChanges(), VI_ERROR_TMO);
    // The late query's absence must not shift any later answer.
    ASSERT_EQ(QVZ_SetAction(QVZ_EMBEDDING), 0);
    EXPECT_EQ(QVZ_ApplyChanges(), 0);
    EXPECT_EQ(server.snapshot().channel(2).port(1).matching.filePoints, 201u);
}

TEST_F(EndToEnd, ADelayShorterThanTheTimeoutIsOnlySlow) {
    ASSERT_TRUE(server.faults().delay(":SENS:FREQ:DATA?", 300));
    EXPECT_EQ(QVZ_ApplyChanges(), 0);
}

TEST_F(EndToEnd, ADroppedConnectionFailsAndANewInitReconnects) {
    ASSERT_TRUE(server.faults().closeAfter(5));
    ASSERT_EQ(QVZ_SetAction(QVZ_EMBEDDING), 0);
    const std::int32_t status = QVZ_ApplyChanges();
    EXPECT_LT(status, 0);
    EXPECT_EQ(QVZ_ApplyChanges(), VI_ERROR_CONN_LOST) << "the session stays down";
    ASSERT_EQ(QVZ_init(ResourceFor(server).c_str()), 0);
    EXPECT_EQ(QVZ_ApplyChanges(), 0);
    EXPECT_TRUE(server.snapshot().channel(2).port(1).matching.on);
}

TEST_F(EndToEnd, GarbageRepliesFailWithoutDesynchronising) {
    ASSERT_TRUE(server.faults().garbage("SENS:SWE:POIN?"));
    EXPECT_LT(QVZ_ApplyChanges(), 0);
    EXPECT_EQ(QVZ_ApplyChanges(), 0);
}

TEST_F(EndToEnd, TheAnalyzersErrorsReachTheCaller) {
    // A preset entry: the first one read is the caller's verdict.
    server.instrument().pushError(-222, "Data out of range");
    EXPECT_EQ(QVZ_ApplyChanges(), -222);
    EXPECT_EQ(QVZ_ApplyChanges(), 0);

    // The analyzer reads doubled quotes inside a quoted name as one, so with
    // this prefix it looks for a file that was never written: -256.
    ASSERT_EQ(QVZ_SetS2PFilePrefix("a\"\"b_"), 0);
    ASSERT_EQ(QVZ_SetAction(QVZ_EMBEDDING), 0);
#if defined(_WIN32)
    // Windows refuses '"' in a file name: the file cannot be written, so the
    // apply fails before the analyzer is told anything.
    EXPECT_LT(QVZ_ApplyChanges(), 0);
#else
    EXPECT_EQ(QVZ_ApplyChanges(), -256);
#endif
}

}  // namespace
}  // namespace testing
}  // namespace qvz
