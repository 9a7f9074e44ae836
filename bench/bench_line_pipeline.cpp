// Where formatting ahead starts to pay: the data lines of n points written
// with one write() each, formatted in line and formatted ahead on a second
// thread. kFormatAheadMinPoints sits above the point count where the two
// meet, so that small sweeps never pay for a thread.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "touchstone_line_pipeline.h"

namespace {

constexpr std::int32_t kMaxPoints = 16384;

struct SweepData {
    std::vector<double> f;
    std::vector<qvz::ComplexValue> s11, s21, s22;

    SweepData() : f(kMaxPoints), s11(kMaxPoints), s21(kMaxPoints), s22(kMaxPoints) {
        std::mt19937_64 random(7);
        std::uniform_real_distribution<double> unit(-1.0, 1.0);
        for (std::size_t i = 0; i < f.size(); ++i) {
            f[i] = 1e6 + 99990.0 * static_cast<double>(i);
            for (auto* column : {&s11, &s21, &s22}) {
                (*column)[i] = {unit(random), unit(random)};
            }
        }
    }
    qvz::TouchstoneColumns Columns() const {
        return {f.data(), s11.data(), s21.data(), s21.data(), s22.data()};
    }
};

class FileSink final : public qvz::DataLineSink {
public:
    explicit FileSink(int fd) : fd_(fd) {}
    bool WriteLine(const char* data, std::size_t size) override {
        return ::write(fd_, data, size) == static_cast<ssize_t>(size);
    }

private:
    int fd_;
};

using Writer = bool (*)(const qvz::TouchstoneColumns&, std::int32_t, qvz::DataLineSink&,
                        qvz::ColumnProducer*);

void WriteLines(benchmark::State& state, Writer write) {
    static const SweepData data;
    const auto points = static_cast<std::int32_t>(state.range(0));
    const std::string name =
        (std::filesystem::temp_directory_path() / "qvz_bench_lines.s2p").string();
    for (auto _ : state) {
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        FileSink sink(fd);
        const bool ok = fd >= 0 && write(data.Columns(), points, sink, nullptr);
        if (fd >= 0) ::close(fd);
        if (!ok) {
            state.SkipWithError("write failed");
            break;
        }
    }
    std::filesystem::remove(name);
}

void BM_DataLinesInline(benchmark::State& state) {
    WriteLines(state, &qvz::WriteDataLinesInline);
}
void BM_DataLinesAhead(benchmark::State& state) {
    WriteLines(state, &qvz::WriteDataLinesFormattedAhead);
}
BENCHMARK(BM_DataLinesInline)
    ->RangeMultiplier(2)
    ->Range(256, kMaxPoints)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(BM_DataLinesAhead)
    ->RangeMultiplier(2)
    ->Range(256, kMaxPoints)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

}  // namespace
