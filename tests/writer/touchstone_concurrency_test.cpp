// Writers on several threads: one file name is written by one thread at a
// time, different names proceed side by side.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "file_name_locks.h"
#include "touchstone_writer.h"
#include "writer_test_support.h"

namespace qvz {
namespace {

using test::FixedClock;
using test::ReadWholeFile;
using test::ScratchDirectory;
using test::SplitCrLfLines;

struct Sweep {
    std::vector<double> f;
    std::vector<ComplexValue> s;

    Sweep(int points, double base, double value) {
        for (int i = 0; i < points; ++i) {
            f.push_back(base + i);
            s.push_back({value, -value});
        }
    }
    TouchstoneWriteResult WriteTo(const std::string& name) const {
        return WriteTouchstoneFile(name.c_str(), static_cast<std::int32_t>(f.size()), f.data(),
                                   s.data(), s.data(), s.data(), s.data());
    }
};

constexpr int kPoints = 2000;
constexpr int kRounds = 10;

// Both threads start together and rewrite the same file again and again,
// with different point counts. After each write a thread reads the file
// while holding the name's lock itself, so it can only ever see a finished
// write: a torn file (lines of both writers, or a long write continuing past
// a short one's truncation) matches neither reference.
TEST(TouchstoneConcurrency, TwoThreadsOnOneNameLeaveOneCompleteFile) {
    FixedClock clock(1767225600);  // both date lines identical
    ScratchDirectory dir;
    const Sweep first(kPoints, 1e6, 0.25);
    const Sweep second(kPoints / 4, 2e6, 0.75);
    ASSERT_EQ(first.WriteTo(dir.File("first.s2p")), TouchstoneWriteResult::kOk);
    ASSERT_EQ(second.WriteTo(dir.File("second.s2p")), TouchstoneWriteResult::kOk);
    const std::string firstText = ReadWholeFile(dir.File("first.s2p"));
    const std::string secondText = ReadWholeFile(dir.File("second.s2p"));
    ASSERT_NE(firstText, secondText);

    const std::string shared = dir.File("shared.s2p");
    std::atomic<int> ready{0};
    std::atomic<int> failures{0};
    std::atomic<int> tornReads{0};
    auto writer = [&](const Sweep& sweep) {
        ready.fetch_add(1);
        while (ready.load() < 2) {
            std::this_thread::yield();
        }
        for (int round = 0; round < kRounds; ++round) {
            {
                // As the apply does: the file's lock is held across the write.
                const FileNameLock writeLock(shared.c_str());
                if (sweep.WriteTo(shared) != TouchstoneWriteResult::kOk) {
                    failures.fetch_add(1);
                }
            }
            const FileNameLock readLock(shared.c_str());
            const std::string seen = ReadWholeFile(shared);
            if (seen != firstText && seen != secondText) {
                tornReads.fetch_add(1);
            }
        }
    };
    std::thread a(writer, std::cref(first));
    std::thread b(writer, std::cref(second));
    a.join();
    b.join();

    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(tornReads.load(), 0);
    const std::string result = ReadWholeFile(shared);
    EXPECT_TRUE(result == firstText || result == secondText)
        << "file of " << result.size() << " bytes matches neither writer; "
        << SplitCrLfLines(result).size() << " lines";
}

TEST(TouchstoneConcurrency, DifferentNamesAreWrittenSideBySide) {
    ScratchDirectory dir;
    constexpr int kThreads = 4;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const Sweep sweep(kPoints, 1e6 * (t + 1), 0.1 * (t + 1));
            for (int round = 0; round < kRounds; ++round) {
                if (sweep.WriteTo(dir.File("port" + std::to_string(t) + ".s2p")) !=
                    TouchstoneWriteResult::kOk) {
                    failures.fetch_add(1);
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(
            SplitCrLfLines(ReadWholeFile(dir.File("port" + std::to_string(t) + ".s2p"))).size(),
            static_cast<std::size_t>(3 + kPoints));
    }
}

// Bounded waits only: the thread that must block is released by the test.
TEST(FileNameLock, SameNameWaitsForTheHolder) {
    std::string held = "C:\\data\\Prefix_Port1.s2p";
    std::string sameText = held;  // equal text, different storage
    std::promise<void> release;
    auto holder = std::make_unique<FileNameLock>(held.c_str());
    auto contender =
        std::async(std::launch::async, [&sameText] { FileNameLock lock(sameText.c_str()); });
    EXPECT_EQ(contender.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    holder.reset();
    EXPECT_EQ(contender.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

// Spellings of one file are one lock: the analyzer loads the file, not the
// spelling, so two writers of it must take turns whatever they call it.
class FileNameLockSpelling : public ::testing::TestWithParam<const char*> {};

TEST_P(FileNameLockSpelling, WaitsForTheHolderOfTheSameFile) {
    ScratchDirectory dir;
    const std::string held = dir.File("Prefix_Port1.s2p");
    const std::string other = dir.Path().string() + GetParam() + "Prefix_Port1.s2p";
    auto holder = std::make_unique<FileNameLock>(held.c_str());
    auto contender = std::async(std::launch::async, [&other] { FileNameLock lock(other.c_str()); });
    EXPECT_EQ(contender.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout)
        << other << " did not wait for " << held;
    holder.reset();
    EXPECT_EQ(contender.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

#if defined(_WIN32)
INSTANTIATE_TEST_SUITE_P(Aliases, FileNameLockSpelling,
                         ::testing::Values("\\", "\\.\\", "\\\\", "/"));

TEST(FileNameLock, CaseDoesNotMatterOnWindows) {
    ScratchDirectory dir;
    const std::string held = dir.File("Prefix_Port1.s2p");
    std::string upper = held;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    auto holder = std::make_unique<FileNameLock>(held.c_str());
    auto contender = std::async(std::launch::async, [&upper] { FileNameLock lock(upper.c_str()); });
    EXPECT_EQ(contender.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    holder.reset();
    EXPECT_EQ(contender.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}
#else
INSTANTIATE_TEST_SUITE_P(Aliases, FileNameLockSpelling,
                         ::testing::Values("/", "//", "/./", "/.//./"));
#endif

TEST(FileNameLock, OtherNamesDoNotWait) {
    const FileNameLock port1("C:\\data\\Prefix_Port1.s2p");
    auto other =
        std::async(std::launch::async, [] { FileNameLock port2("C:\\data\\Prefix_Port2.s2p"); });
    EXPECT_EQ(other.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

}  // namespace
}  // namespace qvz
