// One whole apply over a real loopback socket: 201 points, every byte on the
// wire as the analyzer would see it.
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "apply_fixture.h"
#include "raw_peer.h"

namespace qvz {
namespace testing {
namespace {

std::vector<double> LinearSweep(int n, double start, double stop) {
    std::vector<double> f(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        f[static_cast<std::size_t>(i)] = start + i * (stop - start) / (n - 1);
    }
    return f;
}

TEST(ApplyOverSocket, FullDialogueWith201Points) {
    const std::vector<double> sweep = LinearSweep(201, 10e6, 8.5e9);
    RawPeer server([&](const std::string& line) -> std::optional<std::string> {
        if (line == "SERVice:CHANnel:ACTive?\n") return "1\n";
        if (line == "SENSe1:SWEep:POINts?\n") return "201\n";
        if (line == ":SENSe1:FREQuency:DATA?\n") return FormatFrequencyList(sweep) + "\n";
        if (line == ":SYST:ERR?\n") return "0,\"No error\"\n";
        return std::nullopt;
    });
    // The frequency reply arrives in many small segments.
    server.SetSegmentation(1000, std::chrono::microseconds(50));
    const std::filesystem::path directory =
        std::filesystem::path(::testing::TempDir()) /
        ("qvz_apply_socket_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(directory);

    std::thread host([&] {
        ASSERT_EQ(QVZ_init(server.Resource().c_str()), 0);
        ASSERT_EQ(QVZ_SetS2PFilePath(directory.string().c_str()), 0);
        ASSERT_EQ(QVZ_SetAction(1), 0);
        EXPECT_EQ(QVZ_ApplyChanges(), 0);
        EXPECT_EQ(QVZ_close(), 0);
    });
    host.join();

    const std::string file = (directory / "Prefix_Port1.s2p").string();
    const std::vector<std::string> expected = {
        "SERVice:CHANnel:ACTive?\n",
        "SENSe1:SWEep:POINts?\n",
        ":SENSe1:FREQuency:DATA?\n",
        "CALCulate1:FSIMulator:SENDed:PMCircuit:PORT1:STATe 0\n",
        "CALCulate1:FSIMulator:SENDed:PMCircuit:PORT1:USER:FILename \"\"\n",
        "CALCulate1:FSIMulator:SENDed:DEEMbed:PORT1:USER:FILename \"" + file + "\"\n",
        "CALCulate1:FSIMulator:SENDed:DEEMbed:PORT1:STATe 1\n",
        "CALCulate1:FSIMulator:SENDed:DEEMbed:STATe 1\n",
        "CALCulate1:FSIMulator:STATe 1\n",
        ":SYST:ERR?\n",
    };
    ASSERT_TRUE(server.WaitForLines(expected.size(), std::chrono::seconds(5)));
    EXPECT_EQ(server.Lines(), expected);
    EXPECT_TRUE(server.WaitForDisconnect(std::chrono::seconds(5)));

    const auto lines = FileLines(file);
    ASSERT_EQ(lines.size(), 3u + 201u);
    EXPECT_EQ(lines[3].substr(0, 16), "1.000000000E+007");
    EXPECT_EQ(lines[203].substr(0, 16), "8.500000000E+009");
    for (std::size_t i = 3; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].size(), 160u) << i;
    }
    std::filesystem::remove_all(directory);
}

}  // namespace
}  // namespace testing
}  // namespace qvz
