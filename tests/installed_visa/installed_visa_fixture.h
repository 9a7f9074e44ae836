// Tests of the installed-library path: the stand-in VISA library (loaded by
// path through the loader's test seam), a directory for Touchstone files, and
// the same host-side session steps for both paths.
#ifndef QVZ_TESTS_INSTALLED_VISA_FIXTURE_H
#define QVZ_TESTS_INSTALLED_VISA_FIXTURE_H

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/thread_slot.h"
#include "qvzfix.h"
#include "session_state.h"
#include "stand_in_library.h"
#include "status.h"
#include "visa/installed_visa.h"
#include "visa/visa.h"

namespace qvz {
namespace testing {

constexpr const char* kSocketResource = "TCPIP0::127.0.0.1::5025::SOCKET";
constexpr const char* kInstrResource = "TCPIP0::127.0.0.1::inst0::INSTR";

inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline int CountOf(const std::vector<std::string>& lines, const std::string& prefix) {
    int count = 0;
    for (const std::string& line : lines) {
        count += line.rfind(prefix, 0) == 0 ? 1 : 0;
    }
    return count;
}

class InstalledVisaTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(standIn.Loaded()) << standIn.Path();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        directory = std::filesystem::path(::testing::TempDir()) /
                    (std::string("qvz_installed_") + info->name());
        std::filesystem::remove_all(directory);
        std::filesystem::create_directories(directory);
    }

    void TearDown() override {
        if (ThreadSlotGet() != nullptr) {
            QVZ_close();
        }
        visa::ResetInstalledVisaForTesting();
        std::filesystem::remove_all(directory);
    }

    // The calling thread's instrument session (our handle).
    static visa::ViSession InstrumentSession() {
        const SessionState* state = ThreadSlotGet();
        return state == nullptr ? visa::VI_NULL : state->instrSession;
    }

    StandInLibrary standIn{STAND_IN_VISA_PATH};
    std::filesystem::path directory;
};

}  // namespace testing
}  // namespace qvz

#endif
