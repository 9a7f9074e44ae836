// Host threads each with their own sessions, at the same time.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "raw_peer.h"
#include "scripted_instrument.h"
#include "visa/visa.h"

namespace qvz::visa {
namespace {

using namespace std::chrono_literals;

constexpr int kThreads = 4;

TEST(VisaConcurrency, ThreadsQueryTheirOwnSocketSessions) {
    // "Q<n>?" is answered with n, so an answer that went to the wrong session
    // or was mixed up with another thread's shows.
    testing::RawPeer server([](const std::string& line) -> std::optional<std::string> {
        if (line.size() > 3 && line[0] == 'Q') {
            return line.substr(1, line.size() - 3) + "\n";
        }
        return std::nullopt;
    });
    const std::string resource = server.Resource();
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ViSession rm = VI_NULL;
            ViSession vi = VI_NULL;
            if (viOpenDefaultRM(&rm) != VI_SUCCESS ||
                viOpen(rm, resource.c_str(), 0, 0, &vi) != VI_SUCCESS ||
                viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE) != VI_SUCCESS) {
                ++failures;
                return;
            }
            for (int i = 0; i < 100; ++i) {
                const int expected = t * 1000 + i;
                std::int32_t value = -1;
                if (viQueryf(vi, "Q%d?\n", "%d", expected, &value) != VI_SUCCESS ||
                    value != expected) {
                    ++failures;
                }
            }
            if (viClose(rm) != VI_SUCCESS) {
                ++failures;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_TRUE(server.WaitForLines(kThreads * 100, 5s));
    EXPECT_TRUE(server.WaitForDisconnect(5s, kThreads));
}

TEST(VisaConcurrency, OpeningAndClosingFromManyThreadsNeverSharesAHandle) {
    testing::ScriptedInstrument instrument;
    instrument.SetResponder(
        [](const std::string& command) { return std::optional<std::string>(command); });
    std::mutex mutex;
    std::set<ViSession> live;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            ViSession rm = VI_NULL;
            if (viOpenDefaultRM(&rm) != VI_SUCCESS) {
                ++failures;
                return;
            }
            for (int i = 0; i < 200; ++i) {
                ViSession vi = VI_NULL;
                if (viOpen(rm, "TCPIP0::127.0.0.1::5025::SOCKET", 0, 0, &vi) != VI_SUCCESS) {
                    ++failures;
                    continue;
                }
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    if (!live.insert(vi).second) {
                        ++failures;  // another thread holds the same handle
                    }
                }
                viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE);
                std::int32_t value = -1;
                const int expected = t * 10000 + i;
                if (viQueryf(vi, "%d\n", "%d", expected, &value) != VI_SUCCESS ||
                    value != expected) {
                    ++failures;
                }
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    live.erase(vi);
                }
                if (viClose(vi) != VI_SUCCESS) {
                    ++failures;
                }
            }
            viClose(rm);
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(instrument.Count(testing::ScriptedInstrument::Call::Open), kThreads * 200);
}

TEST(VisaConcurrency, ClosingTheManagerWhileAnotherThreadUsesTheSessionIsSafe) {
    testing::ScriptedInstrument instrument;
    instrument.SetResponder([](const std::string&) { return std::optional<std::string>("1\n"); });
    ViSession rm = VI_NULL;
    ViSession vi = VI_NULL;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    ASSERT_EQ(viOpen(rm, "TCPIP0::127.0.0.1::5025::SOCKET", 0, 0, &vi), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS);
    std::atomic<bool> started{false};
    std::atomic<int> unexpected{0};
    std::thread user([&] {
        for (int i = 0; i < 2000; ++i) {
            std::int32_t value = 0;
            const ViStatus status = viQueryf(vi, "Q?\n", "%d", &value);
            started = true;
            if (status != VI_SUCCESS && status != VI_ERROR_INV_OBJECT) {
                ++unexpected;
            }
            if (status == VI_ERROR_INV_OBJECT) {
                break;
            }
        }
    });
    while (!started) {
        std::this_thread::yield();
    }
    EXPECT_EQ(viClose(rm), VI_SUCCESS);
    user.join();
    EXPECT_EQ(unexpected.load(), 0);
    std::int32_t value = 0;
    EXPECT_EQ(viQueryf(vi, "Q?\n", "%d", &value), VI_ERROR_INV_OBJECT);
}

}  // namespace
}  // namespace qvz::visa
