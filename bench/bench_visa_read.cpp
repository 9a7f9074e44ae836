// Reading a 100,001-point frequency list: the scan alone, and a whole query
// through the VISA layer (scripted instrument and loopback socket).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "raw_peer.h"
#include "scripted_instrument.h"
#include "visa/format_read.h"
#include "visa/visa.h"

namespace {

using namespace qvz::visa;

constexpr std::int32_t kPoints = 100001;

std::vector<double> SweepFrequencies() {
    std::vector<double> frequencies;
    frequencies.reserve(kPoints);
    for (std::int32_t i = 0; i < kPoints; ++i) {
        frequencies.push_back(300e3 + i * (8.5e9 - 300e3) / (kPoints - 1));
    }
    return frequencies;
}

void BM_ScanFrequencyList(benchmark::State& state) {
    const std::string message = qvz::testing::FormatFrequencyList(SweepFrequencies());
    std::vector<double> array(kPoints);
    for (auto _ : state) {
        std::int32_t count = kPoints;
        const ViStatus status =
            ScanMessageF(message.data(), message.size(), "%,#lf", &count, array.data());
        if (status != VI_SUCCESS || count != kPoints) {
            state.SkipWithError("scan failed");
            break;
        }
        benchmark::DoNotOptimize(array.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(message.size()));
}
BENCHMARK(BM_ScanFrequencyList)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

void QueryLoop(benchmark::State& state, ViSession vi) {
    std::vector<double> array(kPoints);
    for (auto _ : state) {
        std::int32_t count = kPoints;
        const ViStatus status =
            viQueryf(vi, ":SENSe%d:FREQuency:DATA?\n", "%,#lf", 1, &count, array.data());
        if (status != VI_SUCCESS || count != kPoints) {
            state.SkipWithError("query failed");
            break;
        }
        benchmark::DoNotOptimize(array.data());
    }
}

void BM_QueryFrequencyListScripted(benchmark::State& state) {
    qvz::testing::ScriptedInstrument instrument;
    instrument.ServeAnalyzer(1, SweepFrequencies());
    ViSession rm = VI_NULL;
    ViSession vi = VI_NULL;
    viOpenDefaultRM(&rm);
    viOpen(rm, "TCPIP0::127.0.0.1::5025::SOCKET", 0, 0, &vi);
    viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE);
    QueryLoop(state, vi);
    viClose(rm);
}
BENCHMARK(BM_QueryFrequencyListScripted)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

void BM_QueryFrequencyListLoopback(benchmark::State& state) {
    const std::string reply = qvz::testing::FormatFrequencyList(SweepFrequencies()) + "\n";
    qvz::testing::RawPeer server(
        [&reply](const std::string&) { return std::optional<std::string>(reply); });
    ViSession rm = VI_NULL;
    ViSession vi = VI_NULL;
    viOpenDefaultRM(&rm);
    if (viOpen(rm, server.Resource().c_str(), 0, 0, &vi) != VI_SUCCESS) {
        state.SkipWithError("cannot connect to the raw peer");
        viClose(rm);
        return;
    }
    viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE);
    QueryLoop(state, vi);
    viClose(rm);
}
BENCHMARK(BM_QueryFrequencyListLoopback)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

}  // namespace
