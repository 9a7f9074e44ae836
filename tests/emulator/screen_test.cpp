// The screen's JSON, and its HTTP server answering while SCPI clients change
// the state underneath (run under ThreadSanitizer too).
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "http_screen.h"
#include "qvzsim/client.h"
#include "qvzsim/server.h"
#include "screen_json.h"
#include "test_files.h"

namespace {

TEST(ScreenJson, EscapesStringsAndWritesNonFiniteNumbersAsNull) {
    EXPECT_EQ(qvzsim::JsonString("C:\\VNA\\a \"b\"\n"), "\"C:\\\\VNA\\\\a \\\"b\\\"\\u000a\"");

    qvzsim::PortMeasurement m;
    m.frequencies = {1e9, 2e9};
    const double nan = std::numeric_limits<double>::quiet_NaN();
    m.raw = {{0.5, 0.0}, {0.0, -0.25}};
    m.simulated = {{nan, nan}, {0.0, 0.0}};
    qvzsim::LoadedNetwork network;
    network.function = qvzsim::FixtureFunction::kMatching;
    network.file = "m.s2p";
    network.applied = true;
    network.sParameters = {{{0.1, 0}, {1.0, 0}, {1.0, 0}, {0, 0}},
                           {{0, 0}, {0.5, 0}, {0.5, 0}, {0, 0}}};
    m.networks.push_back(network);
    EXPECT_EQ(qvzsim::TraceJson(m, 2, 3),
              "{\"channel\":2,\"port\":3,\"frequencies\":[1000000000,2000000000],"
              "\"raw\":[[0.5,0],[0,-0.25]],\"simulated\":[[null,null],[0,0]],"
              "\"rawReturnLossDb\":[6.0205999132796242,12.041199826559248],"
              "\"simulatedReturnLossDb\":[null,null],"
              "\"networks\":[{\"function\":\"matching\",\"file\":\"m.s2p\",\"applied\":true,"
              "\"s11Db\":[-20,null],\"s21Db\":[0,-6.0205999132796242]}]}");
}

TEST(ScreenServer, AnswersWhileClientsChangeTheState) {
    qvzsim::ServerOptions options;
    options.port = 0;
    options.quiet = true;
    options.instrument.channels = 2;
    options.instrument.sweep.points = 51;
    qvzsim::Server server(options);
    ASSERT_TRUE(server.Start());
    qvzsim::HttpScreen screen(server.GetInstrument());
    std::string error;
    ASSERT_TRUE(screen.Start("127.0.0.1", 0, &error)) << error;
    qvzsim_test::TempDir dir;
    const std::string file =
        dir.Write("Net.s2p", qvzsim_test::LibraryStyleTouchstone(options.instrument.sweep));

    std::atomic<bool> stop{false};
    std::vector<std::thread> clients;
    for (int k = 0; k < 3; ++k) {
        clients.emplace_back([&, k] {
            qvzsim::Client client;
            ASSERT_TRUE(client.Connect("127.0.0.1", server.Port()));
            const std::string port = std::to_string(k + 1);
            for (int n = 0; !stop.load(); ++n) {
                const char* on = n % 2 == 0 ? "1" : "0";
                client.Send("CALC1:FSIM:SEND:PMC:PORT" + port + ":USER:FIL \"" +
                            (n % 2 == 0 ? file : "") + "\"");
                client.Send(std::string("CALC1:FSIM:STAT ") + on + ";SEND:PMC:STAT " + on +
                            ";PORT" + port + ":STAT " + on);
                client.Send(std::string("SERV:CHAN:ACT ") + (n % 3 == 0 ? "2" : "1"));
                client.Query("*OPC?");
            }
        });
    }
    httplib::Client http("127.0.0.1", screen.Port());
    int answered = 0;
    for (int n = 0; n < 60; ++n) {
        const std::string path = n % 2 == 0 ? "/state.json"
                                            : "/trace.json?ch=" + std::to_string(n % 4 / 2 + 1) +
                                                  "&port=" + std::to_string(n % 3 + 1);
        const auto response = http.Get(path);
        ASSERT_TRUE(response) << path;
        EXPECT_EQ(response->status, 200) << path;
        EXPECT_EQ(response->body.front(), '{');
        EXPECT_EQ(response->body.back(), '}');
        ++answered;
    }
    stop.store(true);
    for (std::thread& client : clients) {
        client.join();
    }
    const auto state = http.Get("/state.json");
    ASSERT_TRUE(state);
    EXPECT_EQ(state->body, qvzsim::StateJson(server.Snapshot(), server.GetInstrument().Devices()));
    const auto bad = http.Get("/trace.json?ch=3&port=1");
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->status, 400);
    const auto page = http.Get("/");
    ASSERT_TRUE(page);
    EXPECT_NE(page->body.find("qvzsim · virtual analyzer"), std::string::npos);
    EXPECT_EQ(answered, 60);
    screen.Stop();
}

}  // namespace
