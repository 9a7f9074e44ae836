// Scratch directories, file reading and a settable clock for the writer
// tests.
#ifndef QVZ_TESTS_WRITER_TEST_SUPPORT_H
#define QVZ_TESTS_WRITER_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "touchstone_clock.h"

#if defined(__linux__)
#include <sys/resource.h>

#include <csignal>
#endif

namespace qvz::test {

// A fresh directory per test, removed afterwards.
class ScratchDirectory {
public:
    ScratchDirectory() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = "qvz_writer_";
        name += info != nullptr ? info->test_suite_name() : "suite";
        name += "_";
        name += info != nullptr ? info->name() : "test";
        for (char& c : name) {
            if (c == '/') c = '_';
        }
        // Unique to the run: two runs on one machine must not share files.
        name += "_" + std::to_string(std::random_device{}());
        path_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    std::string File(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline std::string ReadWholeFile(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Splits on CR LF; a file that ends with CR LF yields no empty last line.
inline std::vector<std::string> SplitCrLfLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// Replaces the writer's clock for the lifetime of the object.
class FixedClock {
public:
    explicit FixedClock(std::time_t now) {
        Now().store(now);
        SetTouchstoneClockForTesting(&Read);
    }
    ~FixedClock() { SetTouchstoneClockForTesting(nullptr); }
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;

    void Set(std::time_t now) { Now().store(now); }

private:
    static std::atomic<std::time_t>& Now() {
        static std::atomic<std::time_t> now{0};
        return now;
    }
    static std::time_t Read() { return Now().load(); }
};

#if defined(__linux__)
// Runs `write` while no file of the process may grow beyond `bytes` (a write
// past it fails with EFBIG instead of raising SIGXFSZ): a file system that
// fills up part-way through a file, without needing one.
template <typename Write>
auto WithFileSizeLimit(rlim_t bytes, Write write) {
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    void (*savedHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = saved;
    limited.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limited);
    auto result = write();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedHandler);
    return result;
}
#endif

}  // namespace qvz::test

#endif
