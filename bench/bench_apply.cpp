// Whole applies over loopback TCP: against a bare server thread that answers
// at once (the library's own time), next to the floor of its file write in
// the same directory (BM_ApplyFloor: one write() per line, bench/README.md),
// and against the analyzer emulator (which also opens and parses the file it
// is told to load). The 100,001-point case is also split into its stages:
// the three queries, the model, the writer and the commands.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "circuit_model.h"
#include "raw_peer.h"
#include "qvzfix.h"
#include "qvzsim/server.h"
#include "scripted_instrument.h"
#include "session_state.h"
#include "touchstone_writer.h"
#include "visa/visa.h"
#include "write_floor.h"

namespace {

std::vector<double> LinearSweep(int n) {
    std::vector<double> f(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        f[static_cast<std::size_t>(i)] = 10e6 + i * (8.5e9 - 10e6) / (n - 1);
    }
    return f;
}

std::string BenchDirectory() {
    const auto dir = std::filesystem::temp_directory_path() / "qvz_bench_apply";
    std::filesystem::create_directories(dir);
    return dir.string();
}

// The fast stand-in for an analyzer: a raw peer that answers the library's
// queries at once from a prepared sweep. The emulator (BM_ApplyAgainstEmulator)
// also opens and parses the file it is told to load, which would swamp the
// library's own time measured here.
qvz::testing::RawPeer::Handler AnalyzerHandler(int points) {
    auto reply = std::make_shared<std::string>(
        qvz::testing::FormatFrequencyList(LinearSweep(points)) + "\n");
    const std::string count = std::to_string(points) + "\n";
    return [reply, count](const std::string& line) -> std::optional<std::string> {
        if (line == "SERVice:CHANnel:ACTive?\n") return std::string("1\n");
        if (line == "SENSe1:SWEep:POINts?\n") return count;
        if (line == ":SENSe1:FREQuency:DATA?\n") return *reply;
        if (line == ":SYST:ERR?\n") return std::string("0,\"No error\"\n");
        return std::nullopt;
    };
}

void ApplyLoop(benchmark::State& state, const std::string& resource) {
    if (QVZ_init(resource.c_str()) != 0 || QVZ_SetS2PFilePath(BenchDirectory().c_str()) != 0 ||
        QVZ_SetAction(QVZ_EMBEDDING) != 0) {
        state.SkipWithError("session did not open");
        QVZ_close();
        return;
    }
    for (auto _ : state) {
        if (QVZ_ApplyChanges() != 0) {
            state.SkipWithError("apply failed");
            break;
        }
    }
    QVZ_close();
}

void BM_ApplyOverLoopback(benchmark::State& state) {
    const int points = static_cast<int>(state.range(0));
    qvz::testing::RawPeer server(AnalyzerHandler(points));
    ApplyLoop(state, server.Resource());
}
BENCHMARK(BM_ApplyOverLoopback)
    ->Arg(201)
    ->Arg(100001)
    ->Arg(1000001)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The floor of the apply's file write, where the apply writes its file.
void BM_ApplyFloor(benchmark::State& state) {
    const std::string file = BenchDirectory() + "/floor_Port1.s2p";
    for (auto _ : state) {
        if (!qvz::bench::WriteFloorFile(file, state.range(0))) {
            state.SkipWithError("write failed");
            break;
        }
    }
}
BENCHMARK(BM_ApplyFloor)
    ->Arg(201)
    ->Arg(100001)
    ->Arg(1000001)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The apply and the floor taken in turn within every iteration, so that a
// change in the machine's load between two benchmarks does not show up as a
// ratio: counters apply_ms and floor_ms (means of the repetition) and
// ratio = apply / floor.
void BM_ApplyAgainstFloor(benchmark::State& state) {
    const int points = static_cast<int>(state.range(0));
    qvz::testing::RawPeer server(AnalyzerHandler(points));
    const std::string floorFile = BenchDirectory() + "/floor_Port1.s2p";
    if (QVZ_init(server.Resource().c_str()) != 0 ||
        QVZ_SetS2PFilePath(BenchDirectory().c_str()) != 0 || QVZ_SetAction(QVZ_EMBEDDING) != 0) {
        state.SkipWithError("session did not open");
        QVZ_close();
        return;
    }
    using Clock = std::chrono::steady_clock;
    std::chrono::duration<double, std::milli> apply{0}, floor{0};
    for (auto _ : state) {
        const auto start = Clock::now();
        const bool applied = QVZ_ApplyChanges() == 0;
        const auto middle = Clock::now();
        const bool written = qvz::bench::WriteFloorFile(floorFile, points);
        apply += middle - start;
        floor += Clock::now() - middle;
        if (!applied || !written) {
            state.SkipWithError("apply or floor write failed");
            break;
        }
    }
    QVZ_close();
    const double n = static_cast<double>(state.iterations());
    if (n > 0) {
        state.counters["apply_ms"] = apply.count() / n;
        state.counters["floor_ms"] = floor.count() / n;
        state.counters["ratio"] = apply.count() / floor.count();
    }
}
BENCHMARK(BM_ApplyAgainstFloor)
    ->Arg(201)
    ->Arg(100001)
    ->Arg(1000001)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_ApplyAgainstEmulator(benchmark::State& state) {
    qvzsim::ServerOptions options;
    options.port = 0;
    options.quiet = true;
    options.instrument.sweep.points = static_cast<int>(state.range(0));
    qvzsim::Server server(options);
    if (!server.Start()) {
        state.SkipWithError("emulator did not start");
        return;
    }
    ApplyLoop(state, "TCPIP0::127.0.0.1::" + std::to_string(server.Port()) + "::SOCKET");
}
BENCHMARK(BM_ApplyAgainstEmulator)
    ->Arg(201)
    ->Arg(100001)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A resource manager and an instrument session with the library's settings.
std::pair<qvz::visa::ViSession, qvz::visa::ViSession> OpenSession(const std::string& resource) {
    using namespace qvz::visa;
    ViSession rm = 0, vi = 0;
    viOpenDefaultRM(&rm);
    viOpen(rm, resource.c_str(), 0, 0, &vi);
    viSetAttribute(vi, VI_ATTR_TMO_VALUE, 2000);
    viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, 1);
    return {rm, vi};
}

// The stages of a large apply, each on its own, at 100,001 and 1,000,001
// points.
void LargeSweeps(benchmark::internal::Benchmark* b) {
    b->Arg(100001)->Arg(1000001)->Unit(benchmark::kMillisecond)->UseRealTime();
}

void BM_Stage_Queries(benchmark::State& state) {
    const int points = static_cast<int>(state.range(0));
    qvz::testing::RawPeer server(AnalyzerHandler(points));
    using namespace qvz::visa;
    const auto [rm, vi] = OpenSession(server.Resource());
    std::vector<double> frequencies(static_cast<std::size_t>(points));
    for (auto _ : state) {
        std::int32_t channel = 0, n = 0, count = points;
        viQueryf(vi, "SERVice:CHANnel:ACTive?\n", "%d", &channel);
        viQueryf(vi, "SENSe%d:SWEep:POINts?\n", "%ld", channel, &n);
        if (viQueryf(vi, ":SENSe%d:FREQuency:DATA?\n", "%,#lf", channel, &count,
                     frequencies.data()) < 0) {
            state.SkipWithError("query failed");
            break;
        }
    }
    viClose(rm);
}
BENCHMARK(BM_Stage_Queries)->Apply(LargeSweeps);

struct LargeArrays {
    explicit LargeArrays(int n)
        : frequencies(LinearSweep(n)),
          s11(static_cast<std::size_t>(n)),
          s21(static_cast<std::size_t>(n)),
          s12(static_cast<std::size_t>(n)),
          s22(static_cast<std::size_t>(n)) {}
    std::vector<double> frequencies;
    std::vector<qvz::ComplexValue> s11, s21, s12, s22;
};

qvz::SessionState DefaultState() {
    qvz::SessionState s{};
    qvz::InitialiseSessionState(s);
    return s;
}

void BM_Stage_Model(benchmark::State& state) {
    const int points = static_cast<int>(state.range(0));
    const qvz::SessionState session = DefaultState();
    LargeArrays a(points);
    for (auto _ : state) {
        qvz::ComputeCircuitSParameters(session, points, a.frequencies.data(), a.s11.data(),
                                       a.s21.data(), a.s12.data(), a.s22.data());
        benchmark::DoNotOptimize(a.s22.data());
    }
}
BENCHMARK(BM_Stage_Model)->Apply(LargeSweeps);

void BM_Stage_Writer(benchmark::State& state) {
    const int points = static_cast<int>(state.range(0));
    const qvz::SessionState session = DefaultState();
    LargeArrays a(points);
    qvz::ComputeCircuitSParameters(session, points, a.frequencies.data(), a.s11.data(),
                                   a.s21.data(), a.s12.data(), a.s22.data());
    const std::string file = BenchDirectory() + "/stage_writer.s2p";
    for (auto _ : state) {
        if (qvz::WriteTouchstoneFile(file.c_str(), points, a.frequencies.data(), a.s11.data(),
                                     a.s21.data(), a.s12.data(),
                                     a.s22.data()) != qvz::TouchstoneWriteResult::kOk) {
            state.SkipWithError("write failed");
            break;
        }
    }
}
BENCHMARK(BM_Stage_Writer)->Apply(LargeSweeps);

void BM_Stage_Commands(benchmark::State& state) {
    qvz::testing::RawPeer server(AnalyzerHandler(201));
    using namespace qvz::visa;
    const auto [rm, vi] = OpenSession(server.Resource());
    const char* file = "/tmp/qvz_bench_apply/Prefix_Port1.s2p";
    for (auto _ : state) {
        viPrintf(vi, "CALCulate%d:FSIMulator:SENDed:DEEMbed:PORT%d:STATe %hd\n", 1, 1, 0);
        viPrintf(vi, "CALCulate%d:FSIMulator:SENDed:DEEMbed:PORT%d:USER:FILename \"%s\"\n", 1, 1,
                 "");
        viPrintf(vi, "CALCulate%d:FSIMulator:SENDed:PMCircuit:PORT%d:USER:FILename \"%s\"\n", 1, 1,
                 file);
        viPrintf(vi, "CALCulate%d:FSIMulator:SENDed:PMCircuit:PORT%d:STATe %hd\n", 1, 1, 1);
        viPrintf(vi, "CALCulate%d:FSIMulator:SENDed:PMCircuit:STATe %hd\n", 1, 1);
        viPrintf(vi, "CALCulate%d:FSIMulator:STATe %hd\n", 1, 1);
        std::int32_t error = 0;
        char message[257];
        if (viQueryf(vi, ":SYST:ERR?\n", "%ld,\"%256[^\"]", &error, message) < 0) {
            state.SkipWithError("error query failed");
            break;
        }
    }
    viClose(rm);
}
BENCHMARK(BM_Stage_Commands)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
