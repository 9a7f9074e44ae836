// One whole apply over a real loopback socket against the analyzer emulator:
// 201 points, every byte on the wire as the analyzer sees it.
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "apply_fixture.h"
#include "qvzsim/server.h"

namespace qvz {
namespace testing {
namespace {

TEST(ApplyOverSocket, FullDialogueWith201Points) {
    // The emulator's own sweep: 201 points from 10 MHz to 8.5 GHz.
    qvzsim::ServerOptions options;
    options.port = 0;
    options.quiet = true;
    options.recordMessages = true;
    qvzsim::Server server(options);
    std::string error;
    ASSERT_TRUE(server.Start(&error)) << error;
    // Every reply, the frequency list too, arrives in many small segments.
    ASSERT_TRUE(server.GetFaults().Segment(1000, 50));
    const std::string resource = "TCPIP0::127.0.0.1::" + std::to_string(server.Port()) + "::SOCKET";
    const std::filesystem::path directory =
        std::filesystem::path(::testing::TempDir()) /
        ("qvz_apply_socket_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(directory);

    std::thread host([&] {
        ASSERT_EQ(QVZ_init(resource.c_str()), 0);
        ASSERT_EQ(QVZ_SetS2PFilePath(directory.string().c_str()), 0);
        ASSERT_EQ(QVZ_SetAction(QVZ_DEEMBEDDING), 0);
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
    ASSERT_TRUE(server.Traffic().WaitForMessages(expected.size(), std::chrono::seconds(5)));
    EXPECT_EQ(server.Traffic().Messages(), expected);
    EXPECT_TRUE(server.Traffic().WaitForHangUps(1, std::chrono::seconds(5)));
    EXPECT_EQ(server.Snapshot().errorCount, 0u) << "the emulator took every command";

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
