// The Touchstone writer at 201, 100,001 and 1,000,001 points (flushed per
// line) against the floor: one write() per ready-made 162-byte line and the
// three header lines, into the same directory (BM_WriteFloor), and against a
// bare loop through the same kind of stream with the same flush per line.
// The ratio of writer to floor is the writer's own overhead (composition and
// number formatting); the number formatting is also measured on its own.
// bench/README.md has the commands.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "complex_value.h"
#include "touchstone_number_format.h"
#include "touchstone_writer.h"
#include "write_floor.h"

namespace {

constexpr std::int32_t kPoints = 1000001;  // the largest sweep measured
constexpr std::size_t kLineLength = qvz::bench::kDataLineLength;

std::string ScratchFile(const char* name) {
    return (std::filesystem::temp_directory_path() / name).string();
}

struct SweepData {
    std::vector<double> f;
    std::vector<qvz::ComplexValue> s11, s21, s12, s22;

    SweepData() : f(kPoints), s11(kPoints), s21(kPoints), s12(kPoints), s22(kPoints) {
        // Full-precision values of both signs, like a computed sweep.
        std::mt19937_64 random(7);
        std::uniform_real_distribution<double> unit(-1.0, 1.0);
        for (std::size_t i = 0; i < f.size(); ++i) {
            f[i] = 1e6 + 99990.0 * static_cast<double>(i);
            for (auto* column : {&s11, &s21, &s22}) {
                (*column)[i] = {unit(random), unit(random)};
            }
            s12[i] = s21[i];  // as the model computes them: the same expression
        }
    }
};

const SweepData& Sweep() {
    static const SweepData data;
    return data;
}

void BM_WriteTouchstoneFile(benchmark::State& bench) {
    const SweepData& d = Sweep();
    const auto points = static_cast<std::int32_t>(bench.range(0));
    const std::string name = ScratchFile("qvz_bench_writer.s2p");
    for (auto _ : bench) {
        const qvz::TouchstoneWriteResult result =
            qvz::WriteTouchstoneFile(name.c_str(), points, d.f.data(), d.s11.data(), d.s21.data(),
                                     d.s12.data(), d.s22.data());
        if (result != qvz::TouchstoneWriteResult::kOk) {
            bench.SkipWithError("write failed");
            break;
        }
    }
    bench.SetBytesProcessed(bench.iterations() * points * static_cast<std::int64_t>(kLineLength));
    std::filesystem::remove(name);
}
BENCHMARK(BM_WriteTouchstoneFile)
    ->Arg(201)
    ->Arg(100001)
    ->Arg(1000001)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The floor, in the directory the writer writes to.
void BM_WriteFloor(benchmark::State& bench) {
    const std::int64_t points = bench.range(0);
    const std::string name = ScratchFile("qvz_bench_floor.s2p");
    for (auto _ : bench) {
        if (!qvz::bench::WriteFloorFile(name, points)) {
            bench.SkipWithError("write failed");
            break;
        }
    }
    bench.SetBytesProcessed(bench.iterations() * points * static_cast<std::int64_t>(kLineLength));
    std::filesystem::remove(name);
}
BENCHMARK(BM_WriteFloor)
    ->Arg(201)
    ->Arg(100001)
    ->Arg(1000001)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The writer and the floor taken in turn within every iteration (see
// BM_ApplyAgainstFloor in bench_apply): counters write_ms, floor_ms, ratio.
void BM_WriterAgainstFloor(benchmark::State& bench) {
    const SweepData& d = Sweep();
    const auto points = static_cast<std::int32_t>(bench.range(0));
    const std::string name = ScratchFile("qvz_bench_writer.s2p");
    const std::string floorName = ScratchFile("qvz_bench_floor.s2p");
    using Clock = std::chrono::steady_clock;
    std::chrono::duration<double, std::milli> write{0}, floor{0};
    for (auto _ : bench) {
        const auto start = Clock::now();
        const bool written =
            qvz::WriteTouchstoneFile(name.c_str(), points, d.f.data(), d.s11.data(), d.s21.data(),
                                     d.s12.data(), d.s22.data()) == qvz::TouchstoneWriteResult::kOk;
        const auto middle = Clock::now();
        const bool floorWritten = qvz::bench::WriteFloorFile(floorName, points);
        write += middle - start;
        floor += Clock::now() - middle;
        if (!written || !floorWritten) {
            bench.SkipWithError("write failed");
            break;
        }
    }
    const double n = static_cast<double>(bench.iterations());
    if (n > 0) {
        bench.counters["write_ms"] = write.count() / n;
        bench.counters["floor_ms"] = floor.count() / n;
        bench.counters["ratio"] = write.count() / floor.count();
    }
    std::filesystem::remove(name);
    std::filesystem::remove(floorName);
}
BENCHMARK(BM_WriterAgainstFloor)
    ->Arg(201)
    ->Arg(100001)
    ->Arg(1000001)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// No formatting at all, one stream write and one flush per line.
constexpr std::int32_t kBareLines = 100001;

void BM_BareLineWrites(benchmark::State& bench) {
    std::string line(kLineLength - 2, ' ');
    for (std::size_t i = 0; i < line.size(); ++i) {
        line[i] = static_cast<char>('0' + i % 10);
    }
    line += "\r\n";
    const std::string name = ScratchFile("qvz_bench_bare.s2p");
    for (auto _ : bench) {
        std::ofstream file(name, std::ios::out | std::ios::binary | std::ios::trunc);
        for (std::int32_t i = 0; i < kBareLines; ++i) {
            file.write(line.data(), static_cast<std::streamsize>(line.size()));
            file.flush();
        }
        file.close();
        if (file.fail()) {
            bench.SkipWithError("write failed");
            break;
        }
    }
    bench.SetBytesProcessed(bench.iterations() * kBareLines *
                            static_cast<std::int64_t>(kLineLength));
    std::filesystem::remove(name);
}
BENCHMARK(BM_BareLineWrites)->Unit(benchmark::kMillisecond)->UseRealTime();

// Nine numbers make one data line.
void BM_FormatNineNumbers(benchmark::State& bench) {
    const SweepData& d = Sweep();
    char out[qvz::kTouchstoneNumberMaxLength];
    std::size_t i = 0;
    for (auto _ : bench) {
        std::size_t total = qvz::FormatTouchstoneNumber(d.f[i], out);
        for (const auto* column : {&d.s11, &d.s21, &d.s12, &d.s22}) {
            total += qvz::FormatTouchstoneNumber((*column)[i].re, out);
            total += qvz::FormatTouchstoneNumber((*column)[i].im, out);
        }
        benchmark::DoNotOptimize(total);
        benchmark::DoNotOptimize(out);
        i = (i + 1) % d.f.size();
    }
}
BENCHMARK(BM_FormatNineNumbers);

}  // namespace
