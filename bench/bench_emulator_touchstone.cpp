// The emulator's share of an apply: parsing the Touchstone file that a
// FILename command names, and formatting the frequency list.
#include <benchmark/benchmark.h>

#include <string>

#include "../tests/emulator/test_files.h"
#include "qvzsim/instrument.h"
#include "qvzsim/session.h"
#include "qvzsim/touchstone_reader.h"

namespace {

qvzsim::SweepSettings Sweep(benchmark::State& state) {
    qvzsim::SweepSettings sweep;
    sweep.points = static_cast<int>(state.range(0));
    return sweep;
}

void BM_ParseTouchstone(benchmark::State& state) {
    const std::string text = qvzsim_test::LibraryStyleTouchstone(Sweep(state));
    for (auto _ : state) {
        qvzsim::TouchstoneResult result = qvzsim::ParseTouchstone(text);
        benchmark::DoNotOptimize(result.data.frequenciesHz.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ParseTouchstone)->Arg(201)->Arg(100001)->Unit(benchmark::kMillisecond);

void BM_ReadTouchstoneFile(benchmark::State& state) {
    qvzsim_test::TempDir dir;
    const std::string file =
        dir.Write("Bench_Port1.s2p", qvzsim_test::LibraryStyleTouchstone(Sweep(state)));
    for (auto _ : state) {
        qvzsim::TouchstoneResult result = qvzsim::ReadTouchstoneFile(file);
        benchmark::DoNotOptimize(result.data.frequenciesHz.data());
    }
}
BENCHMARK(BM_ReadTouchstoneFile)->Arg(201)->Arg(100001)->Unit(benchmark::kMillisecond);

void BM_FrequencyReply(benchmark::State& state) {
    qvzsim::InstrumentConfig config;
    config.sweep = Sweep(state);
    qvzsim::Instrument instrument(config);
    qvzsim::Faults faults;
    qvzsim::Session session(instrument, faults, nullptr, 1);
    for (auto _ : state) {
        qvzsim::MessageOutcome outcome = session.HandleMessage(":SENSe1:FREQuency:DATA?");
        benchmark::DoNotOptimize(outcome.reply.data());
    }
}
BENCHMARK(BM_FrequencyReply)->Arg(201)->Arg(100001)->Unit(benchmark::kMillisecond);

}  // namespace
