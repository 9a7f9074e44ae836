// Eight host threads, each with its own session, port and prefix, applying
// against one emulator at the same time.
#include <atomic>
#include <cctype>
#include <cstdint>
#include <memory>
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
    ASSERT_TRUE(server.Start());
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
    const auto snapshot = server.Snapshot();
    EXPECT_EQ(snapshot.errorCount, 0u);
    for (int port = 1; port <= 4; ++port) {
        const auto& slot = snapshot.Channel(1).Port(port);
        // Two threads share each port; whichever applied last owns it.
        EXPECT_TRUE(slot.matching.on != slot.deembedding.on) << port;
    }
    server.Stop();
    std::filesystem::remove_all(directory);
}

// Every thread uses the same file name (the default prefix, and spellings of
// one directory), each with its own analyzer that loads the file the moment
// it receives the FILename command. The sweeps do not overlap, so an
// analyzer handed another thread's network refuses it (error 102), and an
// empty or half-written file is refused too (101): every apply must load
// exactly its own thread's network.
TEST(EndToEndThreads, ThreadsSharingOneFileNameEachLoadTheirOwnNetwork) {
    constexpr int kSharers = 4;
    constexpr int kApplies = 25;
    const std::filesystem::path directory = TestDirectory();
    const std::string base = directory.string();
#if defined(_WIN32)
    std::string upper = base;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string spellings[kSharers] = {base, base + "\\.", base + "\\\\", upper};
#else
    const std::string spellings[kSharers] = {base, base + "/.", base + "//", base + "/./"};
#endif
    std::vector<std::unique_ptr<qvzsim::Server>> analyzers;
    for (int t = 0; t < kSharers; ++t) {
        qvzsim::ServerOptions options = QuietEmulator(1, 1, 51 + 10 * t);
        options.instrument.sweep.startHz = (1.0 + t) * 1e9;
        options.instrument.sweep.stopHz = (1.5 + t) * 1e9;
        analyzers.push_back(std::make_unique<qvzsim::Server>(options));
        ASSERT_TRUE(analyzers.back()->Start());
    }

    std::vector<std::vector<std::string>> problems(kSharers);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kSharers; ++t) {
        threads.emplace_back([&, t] {
            auto& mine = problems[static_cast<std::size_t>(t)];
            qvzsim::Server& analyzer = *analyzers[static_cast<std::size_t>(t)];
            if (QVZ_init(ResourceFor(analyzer).c_str()) != 0 ||
                QVZ_SetS2PFilePath(spellings[t].c_str()) != 0 || QVZ_SetCircuit(t) != 0) {
                mine.push_back("set-up failed");
            }
            ++ready;
            while (ready.load() < kSharers) {
                std::this_thread::yield();
            }
            for (int i = 0; i < kApplies; ++i) {
                const bool embed = i % 2 == 0;
                QVZ_SetAction(embed ? QVZ_EMBEDDING : QVZ_DEEMBEDDING);
                const std::int32_t status = QVZ_ApplyChanges();
                const auto port = analyzer.Snapshot().Channel(1).Port(1);
                const auto& slot = embed ? port.matching : port.deembedding;
                if (status != 0 || slot.filePoints != static_cast<std::size_t>(51 + 10 * t)) {
                    mine.push_back("apply " + std::to_string(i) + ": status " +
                                   std::to_string(status) + ", loaded " +
                                   std::to_string(slot.filePoints) + " points");
                }
            }
            QVZ_close();
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < kSharers; ++t) {
        const auto& mine = problems[static_cast<std::size_t>(t)];
        EXPECT_TRUE(mine.empty()) << "thread " << t << " (" << spellings[t] << "): " << mine.size()
                                  << " wrong applies, first: " << mine.front();
    }
    for (auto& analyzer : analyzers) {
        analyzer->Stop();
    }
    std::filesystem::remove_all(directory);
}

}  // namespace
}  // namespace testing
}  // namespace qvz
