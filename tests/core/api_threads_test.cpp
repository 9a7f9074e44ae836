// Sessions are per thread: each thread's settings are its own, a thread that
// never initialised has none, and a thread that ends without QVZ_close gives
// its state back (LeakSanitizer in the sanitizer build reports it otherwise).
#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "api_fixture.h"
#include "raw_peer.h"
#include "visa/visa.h"

namespace qvz {
namespace testing {
namespace {

TEST(ApiThreads, EachThreadHasItsOwnIndependentSettings) {
    EmulatedAnalyzer analyzer(Sweep(1, 1e9, 1e9));
    ScriptedInstrument instrument;
    instrument.SetResponder(analyzer.Responder());
    constexpr int kThreads = 4;
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            int& failed = failures[static_cast<std::size_t>(t)];
            failed += QVZ_init(kScriptedResource) != 0;
            failed += QVZ_SetActivePort(t + 1) != 0;
            failed += QVZ_SetCircuit(t) != 0;
            failed += QVZ_SetRLCGValues(t + 1.0, 1e-9, 1e-12, 0.02) != 0;
            // Every thread has stored its values before any reads them back.
            ++ready;
            while (ready.load() < kThreads) {
                std::this_thread::yield();
            }
            std::int32_t port = 0, circuit = -1;
            double r = 0, l = 0, c = 0, g = 0;
            failed += QVZ_GetActivePort(&port) != 0 || port != t + 1;
            failed += QVZ_GetCircuit(&circuit) != 0 || circuit != t;
            failed += QVZ_GetRLCGValues(&r, &l, &c, &g) != 0 || r != t + 1.0;
            failed += QVZ_close() != 0;
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(failures[static_cast<std::size_t>(t)], 0) << "thread " << t;
    }
}

TEST(ApiThreads, AnotherThreadsSessionIsInvisible) {
    ScriptedInstrument instrument;
    ASSERT_EQ(QVZ_init(kScriptedResource), 0);
    std::int32_t status = 0;
    std::thread other([&] { status = QVZ_SetCircuit(QVZ_SERIES_C_SHUNT_L); });
    other.join();
    EXPECT_EQ(status, visa::VI_ERROR_IO);
    std::int32_t circuit = -1;
    EXPECT_EQ(QVZ_GetCircuit(&circuit), 0);
    EXPECT_EQ(circuit, QVZ_SERIES_L_SHUNT_C);
    EXPECT_EQ(QVZ_close(), 0);
}

TEST(ApiThreads, AThreadEndingWithoutCloseFreesItsState) {
    ScriptedInstrument instrument;
    for (int round = 0; round < 3; ++round) {
        std::thread worker([] {
            EXPECT_EQ(QVZ_init(kScriptedResource), 0);
            EXPECT_EQ(QVZ_SetS2PFilePrefix("left_behind_"), 0);
        });
        worker.join();
    }
    // The sessions stay open (thread exit does no I/O) and are this test's to
    // close; the states are gone with their threads.
    std::thread fresh([] { EXPECT_EQ(QVZ_close(), visa::VI_ERROR_INV_OBJECT); });
    fresh.join();
}

// Descriptors the process holds; -1 where they cannot be counted.
int OpenDescriptors() {
#if defined(__linux__)
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++count;
    }
    return count;
#else
    return -1;
#endif
}

// A thread that ends without QVZ_close gives back its connection too: on
// POSIX as it ends, on Windows at the next QVZ_init or QVZ_close of any
// thread (no socket call may run in the library's entry point).
TEST(ApiThreads, ThreadsEndingWithoutCloseGiveBackTheirConnections) {
    using namespace std::chrono_literals;
    RawPeer analyzer;
    const std::string resource = analyzer.Resource();
    constexpr int kThreads = 1000;
    const int before = OpenDescriptors();
    int failedInits = 0;
    for (int t = 0; t < kThreads; ++t) {
        std::thread([&] { failedInits += QVZ_init(resource.c_str()) != 0; }).join();
    }
    EXPECT_EQ(failedInits, 0);
    ASSERT_EQ(QVZ_init(resource.c_str()), 0);
    EXPECT_TRUE(analyzer.WaitForDisconnect(30s, kThreads))
        << analyzer.PeerDisconnects() << " of " << kThreads << " connections were closed";
    if (before >= 0) {
        // Our session's socket and the server's end of it, and a little slack.
        EXPECT_LE(OpenDescriptors(), before + 8);
    }
    EXPECT_EQ(QVZ_close(), 0);
}

}  // namespace
}  // namespace testing
}  // namespace qvz
