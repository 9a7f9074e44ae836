// The data lines of a Touchstone file, handed to their writer in point
// order. Large sweeps are formatted ahead by a second thread, so that the
// calling thread spends its time in the writes (one flushed write per line)
// rather than in number formatting; small ones are formatted in line, where
// starting a thread would cost more than it saves.
#ifndef QVZ_TOUCHSTONE_LINE_PIPELINE_H
#define QVZ_TOUCHSTONE_LINE_PIPELINE_H

#include <cstddef>
#include <cstdint>

#include "touchstone_data_line.h"

namespace qvz {

// Receives each data line once, in point order, always on the thread that
// called WriteDataLines. Returning false stops the writing.
class DataLineSink {
public:
    virtual bool WriteLine(const char* data, std::size_t size) = 0;

protected:
    ~DataLineSink() = default;
};

// Supplies the column values of points first..last-1 just before their
// lines are composed, on the thread that composes them: a sweep's values can
// then be computed alongside the writes of the lines before them. Called
// at most once for every point, in parts in point order; after a refused
// line, the points produced ahead of it are never offered.
class ColumnProducer {
public:
    virtual void Produce(std::size_t first, std::size_t last) = 0;

protected:
    ~ColumnProducer() = default;
};

// From this many points on, WriteDataLines formats ahead on a second thread.
// Below it the thread's start and join, and the lines crossing between
// processors, cost as much as the overlap saves: measured with
// bench_line_pipeline, formatting ahead was slower at 1,024 and 4,096 points
// and only drew level around 16,384.
constexpr std::int32_t kFormatAheadMinPoints = 16384;

// Writes the lines of points 0..n-1 through `sink`; nothing for n <= 0.
// With a producer, each point's values are produced before its line is
// composed. False when the sink refused a line (no later line is offered)
// or the formatting thread failed. Every thread it started has ended when
// it returns, on every path.
bool WriteDataLines(const TouchstoneColumns& columns, std::int32_t n, DataLineSink& sink,
                    ColumnProducer* producer = nullptr);

// The two ways WriteDataLines chooses between, for measuring and testing.
// The second formats in line when no thread can be started.
bool WriteDataLinesInline(const TouchstoneColumns& columns, std::int32_t n, DataLineSink& sink,
                          ColumnProducer* producer = nullptr);
bool WriteDataLinesFormattedAhead(const TouchstoneColumns& columns, std::int32_t n,
                                  DataLineSink& sink, ColumnProducer* producer = nullptr);

// Formatting threads started since the library was loaded, and those
// running now.
std::uint64_t FormattingThreadsStarted();
int FormattingThreadsRunning();

}  // namespace qvz

#endif
