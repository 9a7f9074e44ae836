// The whole dialogue of one apply as the emulator serves it over loopback
// TCP: active channel, points, frequency list, the six embedding commands
// (the FILename one parses the file) and the error query. The client only
// reads the lines; the plug-in's own share (model, writer, reply parsing)
// is measured by the end-to-end benchmarks.
//
// With QVZSIM_BENCH_PORT set, the dialogue goes to a qvzsim already running
// on 127.0.0.1 at that port instead (scripts/bench-screen.sh: the same
// emulator with and without its screen open in a browser).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "../tests/emulator/test_files.h"
#include "qvzsim/client.h"
#include "qvzsim/server.h"

namespace {

void BM_EmulatorApplyDialogue(benchmark::State& state) {
    qvzsim::ServerOptions options;
    options.port = 0;
    options.quiet = true;
    options.instrument.sweep.points = static_cast<int>(state.range(0));
    std::string error;
    std::unique_ptr<qvzsim::Server> server;
    std::uint16_t port = 0;
    if (const char* external = std::getenv("QVZSIM_BENCH_PORT")) {
        port = static_cast<std::uint16_t>(std::atoi(external));
    } else {
        server = std::make_unique<qvzsim::Server>(options);
        if (!server->Start(&error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        port = server->Port();
    }
    // One directory for the whole program: a running emulator then sees the
    // same file name on every run of a sweep size, as a host re-applying
    // would send it, and its state stays put between runs.
    static qvzsim_test::TempDir dir;
    const std::string file =
        dir.Write("Bench" + std::to_string(state.range(0)) + "_Port1.s2p",
                  qvzsim_test::LibraryStyleTouchstone(options.instrument.sweep));
    qvzsim::Client client;
    if (!client.Connect("127.0.0.1", port, &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    if (server == nullptr) {
        // The running emulator's sweep is set to this benchmark's points; the
        // default 10 MHz to 8.5 GHz is assumed.
        client.Send("SENS1:SWE:POIN " + std::to_string(options.instrument.sweep.points));
        if (client.Query(":SYST:ERR?") != "0,\"No error\"") {
            state.SkipWithError("the running emulator refused the sweep");
            return;
        }
    }
    const std::vector<std::string> commands = {
        "CALCulate1:FSIMulator:SENDed:DEEMbed:PORT1:STATe 0",
        "CALCulate1:FSIMulator:SENDed:DEEMbed:PORT1:USER:FILename \"\"",
        "CALCulate1:FSIMulator:SENDed:PMCircuit:PORT1:USER:FILename \"" + file + "\"",
        "CALCulate1:FSIMulator:SENDed:PMCircuit:PORT1:STATe 1",
        "CALCulate1:FSIMulator:SENDed:PMCircuit:STATe 1",
        "CALCulate1:FSIMulator:STATe 1",
    };
    for (auto _ : state) {
        bool ok = client.Query("SERVice:CHANnel:ACTive?").has_value() &&
                  client.Query("SENSe1:SWEep:POINts?").has_value() &&
                  client.Query(":SENSe1:FREQuency:DATA?", 10000).has_value();
        for (const std::string& command : commands) {
            ok = ok && client.Send(command);
        }
        const std::optional<std::string> status = client.Query(":SYST:ERR?", 10000);
        if (!ok || status != "0,\"No error\"") {
            state.SkipWithError("the dialogue failed");
            break;
        }
    }
}
BENCHMARK(BM_EmulatorApplyDialogue)
    ->Arg(201)
    ->Arg(100001)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
