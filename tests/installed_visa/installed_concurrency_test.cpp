// Many host threads making their first QVZ_init at once: the library is
// chosen once for all of them and each thread's session goes through it.
#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "installed_visa_fixture.h"

namespace qvz {
namespace testing {
namespace {

using InstalledConcurrencyTest = InstalledVisaTest;

TEST_F(InstalledConcurrencyTest, SimultaneousFirstInitsShareOneChoice) {
    constexpr int kThreads = 8;
    visa::SetInstalledVisaCandidatesForTesting({STAND_IN_VISA_PATH});
    standIn.Serve(1, {1e9, 2e9, 3e9});

    std::atomic<int> ready{0};
    std::vector<visa::ViSession> sessions(kThreads, visa::VI_NULL);
    std::vector<Status> statuses(kThreads, -1);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            // Bounded wait so that all threads reach QVZ_init together.
            ++ready;
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (ready.load() < kThreads && std::chrono::steady_clock::now() < giveUp) {
                std::this_thread::yield();
            }
            Status status = QVZ_init(kInstrResource);
            sessions[static_cast<std::size_t>(i)] = InstrumentSession();
            const std::string prefix = "T" + std::to_string(i) + "_";
            if (status == 0) status = QVZ_SetS2PFilePath(directory.string().c_str());
            if (status == 0) status = QVZ_SetS2PFilePrefix(prefix.c_str());
            if (status == 0) status = QVZ_SetAction(0);
            if (status == 0) status = QVZ_ApplyChanges();
            const Status closed = QVZ_close();
            statuses[static_cast<std::size_t>(i)] = status != 0 ? status : closed;
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }

    for (int i = 0; i < kThreads; ++i) {
        EXPECT_EQ(statuses[static_cast<std::size_t>(i)], 0) << "thread " << i;
    }
    EXPECT_EQ(std::set<visa::ViSession>(sessions.begin(), sessions.end()).size(),
              static_cast<std::size_t>(kThreads));
    const std::vector<std::string> calls = standIn.Calls();
    EXPECT_EQ(CountOf(calls, "viOpenDefaultRM -> "), kThreads);
    EXPECT_EQ(CountOf(calls, "viOpen "), kThreads);
    EXPECT_EQ(CountOf(calls, "viVQueryf"), 4 * kThreads);
    EXPECT_EQ(CountOf(calls, "viVPrintf"), 6 * kThreads);
    EXPECT_EQ(standIn.Commands().size(), static_cast<std::size_t>(10 * kThreads));
    EXPECT_EQ(standIn.OpenSessions(), 0);
}

}  // namespace
}  // namespace testing
}  // namespace qvz
