// Several clients on one emulator at once. Labelled "concurrency" so that
// the ThreadSanitizer run picks these up.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "qvzsim/client.h"
#include "qvzsim/server.h"
#include "qvzsim/state_report.h"
#include "test_files.h"

namespace {

using qvzsim::Client;
using qvzsim::Server;

qvzsim::ServerOptions Ephemeral(int channels) {
    qvzsim::ServerOptions options;
    options.port = 0;
    options.quiet = true;
    options.instrument.channels = channels;
    return options;
}

// The plug-in's command list for one action on one channel and port.
std::vector<std::string> ActionCommands(int action, int channel, int port,
                                        const std::string& file) {
    const std::string calc = "CALCulate" + std::to_string(channel) + ":FSIMulator:";
    const std::string pmc = calc + "SENDed:PMCircuit:PORT" + std::to_string(port) + ":";
    const std::string deem = calc + "SENDed:DEEMbed:PORT" + std::to_string(port) + ":";
    const std::string quoted = "\"" + file + "\"";
    switch (action) {
        case 0:
            return {deem + "STATe 0",
                    deem + "USER:FILename \"\"",
                    pmc + "USER:FILename " + quoted,
                    pmc + "STATe 1",
                    calc + "SENDed:PMCircuit:STATe 1",
                    calc + "STATe 1"};
        case 1:
            return {
                pmc + "STATe 0",  pmc + "USER:FILename \"\"",      deem + "USER:FILename " + quoted,
                deem + "STATe 1", calc + "SENDed:DEEMbed:STATe 1", calc + "STATe 1"};
        default:
            return {pmc + "STATe 0", pmc + "USER:FILename \"\"", deem + "STATe 0",
                    deem + "USER:FILename \"\""};
    }
}

TEST(ServerConcurrency, EightClientsApplyingAtOnce) {
    Server server(Ephemeral(2));
    ASSERT_TRUE(server.Start());
    qvzsim_test::TempDir dir;
    constexpr int kClients = 8;
    constexpr int kRuns = 50;
    std::vector<std::string> failures(kClients);
    std::vector<std::string> names(kClients);
    std::vector<std::string> files(kClients);
    std::atomic<int> running{kClients};

    std::vector<std::thread> clients;
    for (int t = 0; t < kClients; ++t) {
        const std::size_t slot = static_cast<std::size_t>(t);
        names[slot] = "T" + std::to_string(t) + "_Port" + std::to_string(1 + t % 4) + ".s2p";
        files[slot] = dir.File(names[slot]);
        clients.emplace_back([&, t] {
            const int channel = 1 + t / 4;
            const int port = 1 + t % 4;
            const std::string& file = files[static_cast<std::size_t>(t)];
            std::string& failure = failures[static_cast<std::size_t>(t)];
            Client client;
            if (!client.Connect("127.0.0.1", server.Port(), &failure)) {
                --running;
                return;
            }
            const std::string sense = "SENSe" + std::to_string(channel);
            for (int run = 0; run < kRuns && failure.empty(); ++run) {
                const std::optional<std::string> points = client.Query(sense + ":SWEep:POINts?");
                const std::optional<std::string> list =
                    client.Query(":" + sense + ":FREQuency:DATA?");
                if (points != "201" || !list ||
                    std::count(list->begin(), list->end(), ',') != 200) {
                    failure = "bad sweep answer in run " + std::to_string(run);
                    break;
                }
                dir.Write(names[static_cast<std::size_t>(t)],
                          qvzsim_test::LibraryStyleTouchstone(qvzsim::SweepSettings{}));
                for (const std::string& command : ActionCommands(run % 3, channel, port, file)) {
                    client.Send(command);
                }
                const std::optional<std::string> error = client.Query(":SYST:ERR?");
                if (error != "0,\"No error\"") {
                    failure = "run " + std::to_string(run) + ": " + error.value_or("(no reply)");
                }
            }
            --running;
        });
    }
    // Readers of the state while the clients write it.
    std::size_t reports = 0;
    while (running.load() > 0 && reports < 100000) {
        reports += qvzsim::FormatStateLine(server.Snapshot()).size() > 0 ? 1 : 0;
        std::this_thread::yield();
    }
    for (std::thread& client : clients) {
        client.join();
    }
    for (int t = 0; t < kClients; ++t) {
        EXPECT_EQ(failures[static_cast<std::size_t>(t)], "") << "client " << t;
    }

    // The last run (49) of every client was a de-embedding.
    const qvzsim::InstrumentSnapshot state = server.Snapshot();
    for (int t = 0; t < kClients; ++t) {
        const qvzsim::ChannelState& channel = state.Channel(1 + t / 4);
        const qvzsim::PortState& port = channel.Port(1 + t % 4);
        EXPECT_TRUE(port.deembedding.on) << t;
        EXPECT_EQ(port.deembedding.file, files[static_cast<std::size_t>(t)]);
        EXPECT_FALSE(port.matching.on) << t;
        EXPECT_EQ(port.matching.file, "") << t;
        EXPECT_TRUE(channel.simulatorOn);
        EXPECT_TRUE(channel.matchingOn);
        EXPECT_TRUE(channel.deembeddingOn);
    }
    EXPECT_EQ(state.errorCount, 0u);
    EXPECT_EQ(server.ConnectionsAccepted(), kClients);
}

TEST(ServerConcurrency, CloseAfterNHitsExactlyOneOfSeveralClients) {
    Server server(Ephemeral(1));
    ASSERT_TRUE(server.Start());
    constexpr int kClients = 4;
    constexpr int kQueries = 50;
    ASSERT_TRUE(server.GetFaults().CloseAfter(60));
    std::atomic<int> closed{0};
    std::atomic<int> answered{0};
    std::vector<std::thread> clients;
    for (int t = 0; t < kClients; ++t) {
        clients.emplace_back([&] {
            Client client;
            if (!client.Connect("127.0.0.1", server.Port())) {
                return;
            }
            int i = 0;
            for (; i < kQueries; ++i) {
                if (client.Query("*OPC?") != "1") {
                    break;
                }
                ++answered;
            }
            // The closing command may have been this client's last one, so
            // every client looks: only the closed connection ends.
            closed += client.WaitForClose(i < kQueries ? 5000 : 300) ? 1 : 0;
        });
    }
    for (std::thread& client : clients) {
        client.join();
    }
    EXPECT_EQ(closed.load(), 1);
    // The closing command was still answered.
    EXPECT_GE(answered.load(), 60);
    EXPECT_EQ(server.GetFaults().ArmedCount(), 0u);
}

TEST(ServerConcurrency, StopWhileClientsAreBusy) {
    Server server(Ephemeral(1));
    ASSERT_TRUE(server.Start());
    std::atomic<int> started{0};
    std::vector<std::thread> clients;
    for (int t = 0; t < 4; ++t) {
        clients.emplace_back([&] {
            Client client;
            if (!client.Connect("127.0.0.1", server.Port())) {
                ++started;
                return;
            }
            ++started;
            // Until the server goes away (bounded in any case).
            for (int i = 0; i < 200000; ++i) {
                if (!client.Query("SENS1:SWE:POIN?;*OPC?", 5000)) {
                    return;
                }
            }
        });
    }
    while (started.load() < 4) {
        std::this_thread::yield();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server.Stop();
    for (std::thread& client : clients) {
        client.join();
    }
    EXPECT_FALSE(server.Running());
}

}  // namespace
