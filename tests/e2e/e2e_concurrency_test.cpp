// Eight host threads, each with its own session, port and prefix, applying
// against one emulator at the same time.
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "e2e_fixture.h"

namespace qvz {
namespace testing {
namespace {

constexpr int kThreads = 8;
constexpr int kAppliesPerThread = 50;

std::size_t CountLines(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t lines = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos;
         at = text.find("\r\n", at + 2)) {
        ++lines;
    }
    return lines;
}

TEST(EndToEndThreads, EightSessionsApplyingAtOnceAllSucceed) {
    qvzsim::Server server(QuietEmulator());
    ASSERT_TRUE(server.start());
    const std::filesystem::path directory = TestDirectory();
    const std::string resource = ResourceFor(server);

    std::vector<std::vector<std::int32_t>> statuses(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            auto& mine = statuses[static_cast<std::size_t>(t)];
            mine.push_back(QVZ_init(resource.c_str()));
            mine.push_back(QVZ_SetS2PFilePath(directory.string().c_str()));
            mine.push_back(QVZ_SetS2PFilePrefix(("T" + std::to_string(t) + "_").c_str()));
            mine.push_back(QVZ_SetActivePort(t % 4 + 1));
            mine.push_back(QVZ_SetCircuit(t));
            mine.push_back(QVZ_SetAction(t % 2 == 0 ? QVZ_EMBEDDING : QVZ_DEEMBEDDING));
            for (int i = 0; i < kAppliesPerThread; ++i) {
                mine.push_back(QVZ_ApplyChanges());
            }
            mine.push_back(QVZ_close());
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }

    for (int t = 0; t < kThreads; ++t) {
        const auto& mine = statuses[static_cast<std::size_t>(t)];
        ASSERT_EQ(mine.size(), 7u + kAppliesPerThread);
        for (std::size_t i = 0; i < mine.size(); ++i) {
            EXPECT_EQ(mine[i], 0) << "thread " << t << " call " << i;
        }
        const auto file =
            directory / ("T" + std::to_string(t) + "_Port" + std::to_string(t % 4 + 1) + ".s2p");
        EXPECT_EQ(CountLines(file), 3u + 201u) << file;
    }
    const auto snapshot = server.snapshot();
    EXPECT_EQ(snapshot.errorCount, 0u);
    for (int port = 1; port <= 4; ++port) {
        const auto& slot = snapshot.channel(1).port(port);
        // Two threads share each port; whichever applied last owns it.
        EXPECT_TRUE(slot.matching.on != slot.deembedding.on) << port;
    }
    server.stop();
    std::filesystem::remove_all(directory);
}

}  // namespace
}  // namespace testing
}  // namespace qvz
