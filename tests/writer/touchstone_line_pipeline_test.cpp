// The data-line pipeline: lines reach the sink in point order whichever way
// they are formatted, a sink that refuses a line stops the writing there and
// leaves no formatting thread behind, and the thread is started only from
// the threshold on.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "touchstone_data_line.h"
#include "touchstone_line_pipeline.h"

namespace qvz {
namespace {

// Every point distinct (so a line out of place shows), S12 equal to S21 at
// most points and different at every seventh, like a caller other than the
// model might pass.
struct Sweep {
    std::vector<double> f;
    std::vector<ComplexValue> s11, s21, s12, s22;

    explicit Sweep(std::int32_t n) {
        for (std::int32_t i = 0; i < n; ++i) {
            const double x = static_cast<double>(i);
            f.push_back(1e6 + 1234.5 * x);
            s11.push_back({1.0 / (x + 3.0), -x * 1e-7});
            s21.push_back({-0.5 + x * 1e-6, 0.25});
            s12.push_back(i % 7 == 0 ? ComplexValue{x, -x} : s21.back());
            s22.push_back({x * 1e-9, -1.0 / (x + 1.0)});
        }
    }
    TouchstoneColumns Columns() const {
        return {f.data(), s11.data(), s21.data(), s12.data(), s22.data()};
    }
    std::string Line(std::size_t point) const {
        char text[kMaxDataLineLength];
        return std::string(text, ComposeDataLine(Columns(), point, text));
    }
};

// Keeps the lines it is given; refuses the one at `failAt` (if any). Every
// so often it lets the formatter run ahead, so the ring fills and wraps.
class RecordingSink final : public DataLineSink {
public:
    explicit RecordingSink(std::int64_t failAt = -1) : failAt_(failAt) {}

    bool WriteLine(const char* data, std::size_t size) override {
        if (static_cast<std::int64_t>(lines.size()) == failAt_) {
            ++refused;
            return false;
        }
        lines.emplace_back(data, size);
        if (lines.size() % 97 == 0) {
            std::this_thread::yield();
        }
        return true;
    }

    std::vector<std::string> lines;
    int refused = 0;

private:
    std::int64_t failAt_;
};

using Writer = bool (*)(const TouchstoneColumns&, std::int32_t, DataLineSink&, ColumnProducer*);

struct OrderCase {
    const char* name;
    Writer write;
    std::int32_t points;
};

void PrintTo(const OrderCase& c, std::ostream* os) {
    *os << c.name << "/" << c.points;
}

class LineOrder : public ::testing::TestWithParam<OrderCase> {};

TEST_P(LineOrder, EveryLineOnceInPointOrder) {
    const OrderCase& c = GetParam();
    const Sweep sweep(c.points);
    RecordingSink sink;
    ASSERT_TRUE(c.write(sweep.Columns(), c.points, sink, nullptr));
    ASSERT_EQ(sink.lines.size(), static_cast<std::size_t>(c.points));
    for (std::size_t i = 0; i < sink.lines.size(); ++i) {
        ASSERT_EQ(sink.lines[i], sweep.Line(i)) << "point " << i;
    }
    EXPECT_EQ(FormattingThreadsRunning(), 0);
}

// Batch and ring boundaries: one line, a partial first batch, exactly one
// batch, one more, the ring wrapped many times with a partial last batch.
INSTANTIATE_TEST_SUITE_P(
    Table, LineOrder,
    ::testing::Values(OrderCase{"ahead", &WriteDataLinesFormattedAhead, 1},
                      OrderCase{"ahead", &WriteDataLinesFormattedAhead, 255},
                      OrderCase{"ahead", &WriteDataLinesFormattedAhead, 256},
                      OrderCase{"ahead", &WriteDataLinesFormattedAhead, 257},
                      OrderCase{"ahead", &WriteDataLinesFormattedAhead, 70 * 256 + 13},
                      OrderCase{"inline", &WriteDataLinesInline, 3001},
                      OrderCase{"chosen", &WriteDataLines, kFormatAheadMinPoints + 1}));

// Fills empty columns from a finished sweep when asked, and keeps the parts
// it was asked for.
class CopyingProducer final : public ColumnProducer {
public:
    CopyingProducer(const Sweep& from, std::int32_t n)
        : from_(from),
          f_(static_cast<std::size_t>(n)),
          s11_(f_.size()),
          s21_(f_.size()),
          s12_(f_.size()),
          s22_(f_.size()) {}

    void Produce(std::size_t first, std::size_t last) override {
        parts.emplace_back(first, last);
        for (std::size_t i = first; i < last; ++i) {
            f_[i] = from_.f[i];
            s11_[i] = from_.s11[i];
            s21_[i] = from_.s21[i];
            s12_[i] = from_.s12[i];
            s22_[i] = from_.s22[i];
        }
    }
    TouchstoneColumns Columns() const {
        return {f_.data(), s11_.data(), s21_.data(), s12_.data(), s22_.data()};
    }

    std::vector<std::pair<std::size_t, std::size_t>> parts;

private:
    const Sweep& from_;
    std::vector<double> f_;
    std::vector<ComplexValue> s11_, s21_, s12_, s22_;
};

// A line composed before its point was produced would show zeros; a part
// asked twice, or skipped, would show in the parts.
TEST_P(LineOrder, EveryPointProducedOnceBeforeItsLine) {
    const OrderCase& c = GetParam();
    const Sweep sweep(c.points);
    CopyingProducer producer(sweep, c.points);
    RecordingSink sink;
    ASSERT_TRUE(c.write(producer.Columns(), c.points, sink, &producer));
    ASSERT_EQ(sink.lines.size(), static_cast<std::size_t>(c.points));
    for (std::size_t i = 0; i < sink.lines.size(); ++i) {
        ASSERT_EQ(sink.lines[i], sweep.Line(i)) << "point " << i;
    }
    std::size_t next = 0;
    for (const auto& [first, last] : producer.parts) {
        ASSERT_EQ(first, next);
        ASSERT_GT(last, first);
        next = last;
    }
    EXPECT_EQ(next, static_cast<std::size_t>(c.points));
}

class RefusedLine : public ::testing::TestWithParam<std::int64_t> {};

// Refusals at the first line, at batch boundaries and deep in the sweep,
// where the formatter is waiting for a slot the writer will never free.
TEST_P(RefusedLine, StopsThereAndLeavesNoThread) {
    constexpr std::int32_t kPoints = 40000;
    const std::int64_t failAt = GetParam();
    const Sweep sweep(kPoints);
    RecordingSink sink(failAt);
    EXPECT_FALSE(WriteDataLinesFormattedAhead(sweep.Columns(), kPoints, sink));
    EXPECT_EQ(sink.refused, 1) << "no line may be offered after the refused one";
    ASSERT_EQ(sink.lines.size(), static_cast<std::size_t>(failAt));
    for (std::size_t i = 0; i < sink.lines.size(); ++i) {
        ASSERT_EQ(sink.lines[i], sweep.Line(i)) << "point " << i;
    }
    EXPECT_EQ(FormattingThreadsRunning(), 0);
}

INSTANTIATE_TEST_SUITE_P(Table, RefusedLine,
                         ::testing::Values(0, 1, 255, 256, 1024, 3000, 10000, 39999));

TEST(FormatAheadThreshold, NoThreadBelowItOneFromItOn) {
    const Sweep sweep(kFormatAheadMinPoints);
    RecordingSink below;
    std::uint64_t started = FormattingThreadsStarted();
    ASSERT_TRUE(WriteDataLines(sweep.Columns(), kFormatAheadMinPoints - 1, below));
    EXPECT_EQ(FormattingThreadsStarted(), started);
    EXPECT_EQ(below.lines.size(), static_cast<std::size_t>(kFormatAheadMinPoints - 1));

    RecordingSink at;
    started = FormattingThreadsStarted();
    ASSERT_TRUE(WriteDataLines(sweep.Columns(), kFormatAheadMinPoints, at));
    EXPECT_EQ(FormattingThreadsStarted(), started + 1);
    EXPECT_EQ(at.lines.size(), static_cast<std::size_t>(kFormatAheadMinPoints));
}

// Callers on several threads each get their own formatter and their own lines.
TEST(FormatAhead, SeveralCallersAtOnce) {
    constexpr int kCallers = 3;
    constexpr std::int32_t kPoints = 20000;
    const Sweep sweep(kPoints);
    std::vector<RecordingSink> sinks(kCallers);
    std::vector<int> results(kCallers, 0);
    std::vector<std::thread> callers;
    for (int c = 0; c < kCallers; ++c) {
        callers.emplace_back([&, c] {
            results[c] = WriteDataLinesFormattedAhead(sweep.Columns(), kPoints, sinks[c]) ? 1 : 0;
        });
    }
    for (std::thread& caller : callers) caller.join();
    for (int c = 0; c < kCallers; ++c) {
        EXPECT_EQ(results[c], 1);
        ASSERT_EQ(sinks[c].lines.size(), static_cast<std::size_t>(kPoints));
        for (std::size_t i = 0; i < sinks[c].lines.size(); i += 997) {
            ASSERT_EQ(sinks[c].lines[i], sweep.Line(i)) << "caller " << c << " point " << i;
        }
    }
    EXPECT_EQ(FormattingThreadsRunning(), 0);
}

}  // namespace
}  // namespace qvz
