// The Touchstone file is replaced whole: it is written under a temporary
// name beside it and renamed over it, so a reader sees the old file or the
// new one, a failed write keeps the old file, and whatever stands at the name
// (a link, a FIFO) is replaced rather than written through.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

    Sweep(int points, double value) {
        for (int i = 0; i < points; ++i) {
            f.push_back(1e6 * (i + 1));
            s.push_back({value, -value});
        }
    }
    TouchstoneWriteResult WriteTo(const std::string& name) const {
        return WriteTouchstoneFile(name.c_str(), static_cast<std::int32_t>(f.size()), f.data(),
                                   s.data(), s.data(), s.data(), s.data());
    }
};

std::vector<std::string> NamesIn(const std::filesystem::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

TEST(FileReplacement, ADirectoryAtTheNameIsAnOpenFailureAndStays) {
    ScratchDirectory dir;
    const std::string name = dir.File("taken.s2p");
    std::filesystem::create_directory(name);
    EXPECT_EQ(Sweep(3, 0.5).WriteTo(name), TouchstoneWriteResult::kOpenFailed);
    EXPECT_TRUE(std::filesystem::is_directory(name));
    EXPECT_EQ(NamesIn(dir.Path()), std::vector<std::string>{"taken.s2p"})
        << "no temporary file may be left behind";
}

TEST(FileReplacement, TheLongestNameThatFitsStillFits) {
    // The temporary name must not be longer than the final one's last part.
    ScratchDirectory dir;
    const std::string name = dir.File(std::string(255 - 9, 'p') + "Port1.s2p");
    ASSERT_EQ(Sweep(3, 0.5).WriteTo(name), TouchstoneWriteResult::kOk);
    EXPECT_EQ(SplitCrLfLines(ReadWholeFile(name)).size(), 6u);
}

// While one thread rewrites the file again and again, another reads it
// without any lock, as the analyzer in another process would: every read is
// one whole write, never an emptied or half-written file.
TEST(FileReplacement, AReaderWithoutTheLockSeesOneWholeFile) {
    FixedClock clock(1767225600);
    ScratchDirectory dir;
    const Sweep first(3000, 0.25);
    const Sweep second(1000, 0.75);
    const std::string name = dir.File("shared.s2p");
    ASSERT_EQ(second.WriteTo(name), TouchstoneWriteResult::kOk);
    const std::string secondText = ReadWholeFile(name);
    ASSERT_EQ(first.WriteTo(name), TouchstoneWriteResult::kOk);
    const std::string firstText = ReadWholeFile(name);

    auto writer = std::async(std::launch::async, [&] {
        int failures = 0;
        for (int round = 0; round < 40; ++round) {
            failures +=
                (round % 2 == 0 ? second : first).WriteTo(name) != TouchstoneWriteResult::kOk;
        }
        return failures;
    });
    int torn = 0;
    int reads = 0;
    std::size_t firstTornSize = 0;
    int refused = 0;
    while (writer.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        const std::string seen = ReadWholeFile(name);
#if defined(_WIN32)
        // At the moment of the replacement Windows refuses to open the file
        // (a sharing violation) rather than show any of it: nothing read.
        if (seen.empty()) {
            ++refused;
            continue;
        }
#endif
        if (seen != firstText && seen != secondText) {
            if (torn++ == 0) firstTornSize = seen.size();
        }
        ++reads;
#if defined(_WIN32)
        // Windows cannot replace a file while it is open: leave the writer
        // gaps, as an analyzer that loads the file now and then does.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
#endif
    }
    EXPECT_EQ(writer.get(), 0);
    EXPECT_EQ(torn, 0) << "of " << reads << " reads (" << refused
                       << " refused); the first one torn held " << firstTornSize
                       << " bytes (whole: " << firstText.size() << " or " << secondText.size()
                       << ")";
    EXPECT_EQ(NamesIn(dir.Path()), std::vector<std::string>{"shared.s2p"});
}

#if !defined(_WIN32)

// A link at the name is replaced by the file; what it pointed to is left
// alone (the write never lands outside the Touchstone directory).
TEST(FileReplacement, ALinkAtTheNameLeavesItsTargetUntouched) {
    ScratchDirectory dir;
    const std::string target = dir.File("precious.txt");
    std::ofstream(target) << "keep me";
    const std::string name = dir.File("linked.s2p");
    std::filesystem::create_symlink(target, name);

    ASSERT_EQ(Sweep(3, 0.5).WriteTo(name), TouchstoneWriteResult::kOk);
    EXPECT_EQ(ReadWholeFile(target), "keep me");
    EXPECT_FALSE(std::filesystem::is_symlink(name));
    EXPECT_EQ(SplitCrLfLines(ReadWholeFile(name)).size(), 6u);
}

// Writing through a FIFO would block until some reader opened it. The write
// must end by itself; if it hangs, the test opens the FIFO's other end so
// that the thread is released, and fails.
TEST(FileReplacement, AFifoAtTheNameDoesNotBlock) {
    ScratchDirectory dir;
    const std::string name = dir.File("fifo.s2p");
    ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0);
    auto write = std::async(std::launch::async, [&] { return Sweep(3, 0.5).WriteTo(name); });
    if (write.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        const int reader = ::open(name.c_str(), O_RDONLY | O_NONBLOCK);
        write.wait();
        if (reader >= 0) ::close(reader);
        FAIL() << "the write blocked on the FIFO";
    }
    EXPECT_EQ(write.get(), TouchstoneWriteResult::kOk);
    struct stat info {};
    ASSERT_EQ(::lstat(name.c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
}

// A disk that fills up part-way: the failure is reported, the previous file
// stays whole and no temporary file is left. On a small tmpfs where one can
// be mounted, and in any case under a file-size limit.
void ExpectFailedWriteKeepsTheOldFile(const std::filesystem::path& directory, bool underSizeLimit) {
    const std::string name = (directory / "full.s2p").string();
    ASSERT_EQ(Sweep(5, 0.5).WriteTo(name), TouchstoneWriteResult::kOk);
    const std::string before = ReadWholeFile(name);
    const Sweep large(2000, 0.25);  // about 320 kB
    const TouchstoneWriteResult result =
        underSizeLimit ? test::WithFileSizeLimit(64 * 1024, [&] { return large.WriteTo(name); })
                       : large.WriteTo(name);
    EXPECT_EQ(result, TouchstoneWriteResult::kWriteFailed);
    EXPECT_EQ(ReadWholeFile(name), before);
    EXPECT_EQ(NamesIn(directory), std::vector<std::string>{"full.s2p"});
}

TEST(FileReplacement, AFailedWriteKeepsThePreviousFile) {
    ScratchDirectory dir;
    ExpectFailedWriteKeepsTheOldFile(dir.Path(), true);
}

TEST(FileReplacement, AFullDiskKeepsThePreviousFile) {
    ScratchDirectory dir;
    const std::filesystem::path mountPoint = dir.Path() / "small";
    std::filesystem::create_directory(mountPoint);
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root); the file-size "
                        "limit case covers the failure";
    }
    ExpectFailedWriteKeepsTheOldFile(mountPoint, false);
    ::umount(mountPoint.c_str());
}

#endif

}  // namespace
}  // namespace qvz
