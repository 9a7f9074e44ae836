// The circuit model over a full-size sweep (100,001 points), one topology per
// run: a plain series/shunt pair, the bridged shunt-shunt and an L-L pair.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "circuit_model.h"
#include "session_state.h"

namespace {

constexpr std::int32_t kPoints = 100001;

qvz::SessionState DefaultPortState(std::int32_t topology) {
    qvz::SessionState state;
    std::memset(&state, 0, sizeof state);
    state.R[0] = state.R1[0] = state.R2[0] = 50.0;
    state.L[0] = state.L1[0] = state.L2[0] = 1e-9;
    state.C[0] = state.C1[0] = state.C2[0] = 1e-12;
    state.G[0] = state.G1[0] = state.G2[0] = 0.02;
    state.smoothing[0] = QVZ_SMOOTH;
    state.circuit[0] = topology;
    return state;
}

void BM_ComputeCircuitSParameters(benchmark::State& bench) {
    const qvz::SessionState state = DefaultPortState(static_cast<std::int32_t>(bench.range(0)));
    std::vector<double> frequencies(kPoints);
    for (std::int32_t i = 0; i < kPoints; ++i) {
        frequencies[static_cast<std::size_t>(i)] = 1e6 + 1e5 * i;
    }
    std::vector<qvz::ComplexValue> s11(kPoints), s21(kPoints), s12(kPoints), s22(kPoints);
    for (auto _ : bench) {
        qvz::ComputeCircuitSParameters(state, kPoints, frequencies.data(), s11.data(), s21.data(),
                                       s12.data(), s22.data());
        benchmark::DoNotOptimize(s11.data());
        benchmark::DoNotOptimize(s22.data());
        benchmark::ClobberMemory();
    }
    bench.SetItemsProcessed(bench.iterations() * kPoints);
}
BENCHMARK(BM_ComputeCircuitSParameters)->Arg(0)->Arg(4)->Arg(7)->Unit(benchmark::kMillisecond);

}  // namespace
