// The library against the analyzer emulator over real loopback TCP.
#ifndef QVZ_TESTS_E2E_FIXTURE_H
#define QVZ_TESTS_E2E_FIXTURE_H

#include <filesystem>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "qvzfix.h"
#include "qvzsim/server.h"

namespace qvz {
namespace testing {

inline qvzsim::ServerOptions QuietEmulator(int channels = 1, int activeChannel = 1,
                                           int points = 201) {
    qvzsim::ServerOptions options;
    options.port = 0;
    options.quiet = true;
    options.instrument.channels = channels;
    options.instrument.activeChannel = activeChannel;
    options.instrument.sweep.points = points;
    return options;
}

inline std::string ResourceFor(const qvzsim::Server& server) {
    return "TCPIP0::127.0.0.1::" + std::to_string(server.Port()) + "::SOCKET";
}

// A fresh directory for one test's Touchstone files.
inline std::filesystem::path TestDirectory() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) /
                                      (std::string("qvz_e2e_") + info->test_suite_name() + "_" +
                                       info->name() + "_" + std::to_string(std::random_device{}()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace testing
}  // namespace qvz

#endif
