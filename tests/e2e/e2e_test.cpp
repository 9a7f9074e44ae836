// The whole system over loopback TCP: the library applies against the
// analyzer emulator, and the emulator's fixture simulator is checked.
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "e2e_fixture.h"
#include "public_settings.h"
#include "qvzsim/faults.h"
#include "platform/thread_slot.h"
#include "session_state.h"
#include "visa/visa.h"

namespace qvz {
namespace testing {
namespace {

using namespace qvz::visa;

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        directory = TestDirectory();
        ASSERT_TRUE(server.Start());
        ASSERT_EQ(QVZ_init(ResourceFor(server).c_str()), 0);
        ASSERT_EQ(QVZ_SetS2PFilePath(directory.string().c_str()), 0);
    }
    void TearDown() override {
        QVZ_close();
        server.Stop();
        std::filesystem::remove_all(directory);
    }
    std::string FileFor(int port) const {
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
        auto channel = server.Snapshot().Channel(2);
        EXPECT_TRUE(channel.Port(port).matching.on);
        EXPECT_EQ(channel.Port(port).matching.file, FileFor(port));
        EXPECT_EQ(channel.Port(port).matching.filePoints, 201u);
        EXPECT_FALSE(channel.Port(port).deembedding.on);
        EXPECT_EQ(channel.Port(port).deembedding.file, "");
        EXPECT_TRUE(channel.matchingOn);
        EXPECT_TRUE(channel.simulatorOn);
        EXPECT_TRUE(server.Snapshot().Channel(1).Port(port).matching.file.empty())
            << "only the active channel is touched";

        ASSERT_EQ(QVZ_SetAction(QVZ_DEEMBEDDING), 0);
        ASSERT_EQ(QVZ_ApplyChanges(), 0);
        channel = server.Snapshot().Channel(2);
        EXPECT_FALSE(channel.Port(port).matching.on);
        EXPECT_EQ(channel.Port(port).matching.file, "");
        EXPECT_TRUE(channel.Port(port).deembedding.on);
        EXPECT_EQ(channel.Port(port).deembedding.file, FileFor(port));
        EXPECT_TRUE(channel.deembeddingOn);
        EXPECT_TRUE(channel.matchingOn) << "channel-level matching stays as before";
        EXPECT_TRUE(channel.simulatorOn);

        ASSERT_EQ(QVZ_SetAction(QVZ_NONE), 0);
        ASSERT_EQ(QVZ_ApplyChanges(), 0);
        channel = server.Snapshot().Channel(2);
        EXPECT_FALSE(channel.Port(port).matching.on);
        EXPECT_FALSE(channel.Port(port).deembedding.on);
        EXPECT_EQ(channel.Port(port).matching.file, "");
        EXPECT_EQ(channel.Port(port).deembedding.file, "");
        EXPECT_TRUE(channel.deembeddingOn);
        EXPECT_TRUE(channel.simulatorOn) << "None leaves the channel and simulator alone";
    }
    EXPECT_EQ(server.Snapshot().errorCount, 0u);
}

TEST_F(EndToEnd, EveryTopologyAndSmoothingLoadsCleanly) {
    ASSERT_EQ(QVZ_SetAction(QVZ_EMBEDDING), 0);
    ASSERT_EQ(QVZ_SetApplyImmediate(1), 0);
    for (const std::int32_t circuit : qvz_test::kEveryCircuitType) {
        for (const std::int32_t smoothing : qvz_test::kEverySmoothingMode) {
            SCOPED_TRACE(std::to_string(circuit) + "/" + std::to_string(smoothing));
            ASSERT_EQ(QVZ_SetCircuit(circuit), 0);
            ASSERT_EQ(QVZ_SetSmoothing(smoothing), 0);
        }
    }
    EXPECT_EQ(server.Snapshot().Channel(2).Port(1).matching.file, FileFor(1));
}

TEST_F(EndToEnd, ASilentQueryTimesOutAndTheNextApplyIsInStep) {
    ASSERT_TRUE(server.GetFaults().Silence("SENS:SWE:POIN?"));
    EXPECT_EQ(QVZ_ApplyChanges(), VI_ERROR_TMO);
    // The late query's absence must not shift any later answer.
    ASSERT_EQ(QVZ_SetAction(QVZ_EMBEDDING), 0);
    EXPECT_EQ(QVZ_ApplyChanges(), 0);
    EXPECT_EQ(server.Snapshot().Channel(2).Port(1).matching.filePoints, 201u);
}

TEST_F(EndToEnd, ADelayShorterThanTheTimeoutIsOnlySlow) {
    ASSERT_TRUE(server.GetFaults().Delay(":SENS:FREQ:DATA?", 300));
    EXPECT_EQ(QVZ_ApplyChanges(), 0);
}

TEST_F(EndToEnd, ADroppedConnectionFailsAndANewInitReconnects) {
    ASSERT_TRUE(server.GetFaults().CloseAfter(5));
    ASSERT_EQ(QVZ_SetAction(QVZ_EMBEDDING), 0);
    const std::int32_t status = QVZ_ApplyChanges();
    EXPECT_LT(status, 0);
    EXPECT_EQ(QVZ_ApplyChanges(), VI_ERROR_CONN_LOST) << "the session stays down";
    ASSERT_EQ(QVZ_init(ResourceFor(server).c_str()), 0);
    EXPECT_EQ(QVZ_ApplyChanges(), 0);
    EXPECT_TRUE(server.Snapshot().Channel(2).Port(1).matching.on);
}

TEST_F(EndToEnd, GarbageRepliesFailWithoutDesynchronising) {
    ASSERT_TRUE(server.GetFaults().Garbage("SENS:SWE:POIN?"));
    EXPECT_LT(QVZ_ApplyChanges(), 0);
    EXPECT_EQ(QVZ_ApplyChanges(), 0);
}

TEST_F(EndToEnd, TheAnalyzersErrorsReachTheCaller) {
    // A preset entry: the first one read is the caller's verdict.
    server.GetInstrument().PushError(-222, "Data out of range");
    EXPECT_EQ(QVZ_ApplyChanges(), -222);
    EXPECT_EQ(QVZ_ApplyChanges(), 0);
}

// A '"' in the name travels doubled inside the FILename string: the analyzer
// opens exactly the file that was written, and nothing after a quote in the
// name is ever run as a command.
TEST_F(EndToEnd, QuotesInTheNameReachTheAnalyzerAsPartOfTheName) {
#if defined(_WIN32)
    // Windows refuses '"' in a file name: the file cannot be written, so the
    // apply fails before the analyzer is told anything.
    ASSERT_EQ(QVZ_SetS2PFilePrefix("a\"\"b_"), 0);
    ASSERT_EQ(QVZ_SetAction(QVZ_EMBEDDING), 0);
    EXPECT_LT(QVZ_ApplyChanges(), 0);
#else
    ASSERT_EQ(QVZ_SetAction(QVZ_EMBEDDING), 0);
    for (const std::string prefix : {"a\"\"b_", "x\";*RST;:SYST:PRES;\"_", "\"_"}) {
        SCOPED_TRACE(prefix);
        ASSERT_EQ(QVZ_SetS2PFilePrefix(prefix.c_str()), 0);
        EXPECT_EQ(QVZ_ApplyChanges(), 0);
        const auto snapshot = server.Snapshot();
        const auto& port = snapshot.Channel(2).Port(1);
        EXPECT_EQ(port.matching.file, (directory / (prefix + "Port1.s2p")).string());
        EXPECT_EQ(port.matching.filePoints, 201u);
        EXPECT_EQ(snapshot.errorCount, 0u);
    }
#endif
}

// A control character in the name never reaches the analyzer: a line feed
// would end the command and start another.
TEST_F(EndToEnd, ANameWithALineFeedIsRefusedBeforeTheAnalyzerHearsAnything) {
    ASSERT_EQ(QVZ_SetAction(QVZ_EMBEDDING), 0);
    ASSERT_EQ(QVZ_SetS2PFilePrefix("x\"\n*RST\n"), 0);
    const int before = server.ConnectionsAccepted();
    EXPECT_EQ(QVZ_ApplyChanges(), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(server.ConnectionsAccepted(), before);
    EXPECT_TRUE(server.Snapshot().Channel(2).Port(1).matching.file.empty());
    EXPECT_TRUE(std::filesystem::is_empty(directory));
}

// A reply that comes after its query timed out, landing while the next
// apply's first query is waiting for its answer, must not be that answer:
// a stale point count "2" would become the active channel, and the whole
// fixture-simulator list would go to a channel the user never chose.
TEST(EndToEndLateReply, TheNextApplyReadsOnlyItsOwnReplies) {
    qvzsim::Server analyzer(QuietEmulator(2, 1, 2));
    ASSERT_TRUE(analyzer.Start());
    const std::filesystem::path directory = TestDirectory();
    ASSERT_EQ(QVZ_init(ResourceFor(analyzer).c_str()), 0);
    ASSERT_EQ(QVZ_SetS2PFilePath(directory.string().c_str()), 0);
    ASSERT_EQ(QVZ_SetAction(QVZ_EMBEDDING), 0);
    // A shorter timeout than the library's 2000 ms keeps the test quick; the
    // reconnect must carry it over.
    ASSERT_EQ(viSetAttribute(ThreadSlotGet()->instrSession, VI_ATTR_TMO_VALUE, 400), VI_SUCCESS);

    ASSERT_TRUE(analyzer.GetFaults().Delay("SENS:SWE:POIN?", 700));
    EXPECT_EQ(QVZ_ApplyChanges(), VI_ERROR_TMO);
    // The late "2" comes about 300 ms into the next apply, while its first
    // query waits for an answer held back 200 ms.
    ASSERT_TRUE(analyzer.GetFaults().Delay("SERV:CHAN:ACT?", 200));
    EXPECT_EQ(QVZ_ApplyChanges(), 0);
    const auto snapshot = analyzer.Snapshot();
    EXPECT_EQ(snapshot.Channel(1).Port(1).matching.file, (directory / "Prefix_Port1.s2p").string());
    EXPECT_TRUE(snapshot.Channel(1).simulatorOn);
    EXPECT_FALSE(snapshot.Channel(2).simulatorOn) << "channel 2 was never the active channel";
    EXPECT_TRUE(snapshot.Channel(2).Port(1).matching.file.empty());
    EXPECT_EQ(snapshot.errorCount, 0u);
    EXPECT_EQ(QVZ_ApplyChanges(), 0);

    QVZ_close();
    analyzer.Stop();
    std::filesystem::remove_all(directory);
}

}  // namespace
}  // namespace testing
}  // namespace qvz
