// A session on the test's thread against the analyzer emulator behind a
// scripted instrument, writing its Touchstone files into a directory of the
// test's own.
#ifndef QVZ_TESTS_APPLY_FIXTURE_H
#define QVZ_TESTS_APPLY_FIXTURE_H

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "emulated_analyzer.h"
#include "platform/working_directory.h"
#include "platform/thread_slot.h"
#include "qvzfix.h"
#include "scripted_instrument.h"
#include "session_state.h"

namespace qvz {
namespace testing {

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The lines of a Touchstone file, split at CR LF.
inline std::vector<std::string> FileLines(const std::filesystem::path& path) {
    const std::string text = ReadFile(path);
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

class ApplyTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        directory = std::filesystem::path(::testing::TempDir()) /
                    (std::string("qvz_apply_") + info->name() + "_" +
                     std::to_string(std::random_device{}()));
        std::filesystem::remove_all(directory);
        std::filesystem::create_directories(directory);
        instrument.SetResponder(analyzer.Responder());
        ASSERT_EQ(QVZ_init("TCPIP0::127.0.0.1::5025::SOCKET"), 0);
        ASSERT_EQ(QVZ_SetS2PFilePath(directory.string().c_str()), 0);
        instrument.ClearRecords();
    }

    void TearDown() override {
        if (ThreadSlotGet() != nullptr) {
            QVZ_close();
        }
        std::filesystem::remove_all(directory);
    }

    std::string FileFor(int port, const std::string& prefix = "Prefix_") const {
        return (directory / (prefix + "Port" + std::to_string(port) + ".s2p")).string();
    }

    std::filesystem::path directory;
    EmulatedAnalyzer analyzer{Sweep(3, 1e9, 3e9)};
    ScriptedInstrument instrument;
};

}  // namespace testing
}  // namespace qvz

#endif
