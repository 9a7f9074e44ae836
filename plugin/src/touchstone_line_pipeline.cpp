// Formatting ahead: the formatting thread fills batches of lines in a
// ring; the calling thread takes them in order and writes line by line. The
// ring is bounded, so the formatter runs at most kBatchCount batches ahead
// and the memory stays fixed whatever the point count. When the writer stops
// early (a failed write), it stops the formatter and joins it before
// returning, so no thread outlives the call.
#include "touchstone_line_pipeline.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

namespace qvz {
namespace {

// A batch is small enough that the first write starts soon after the
// thread, large enough that handing it over costs little per line. Sixteen
// of them (4,096 lines, about 0.7 MB) let the formatter get well ahead
// whenever it is scheduled on a busy machine.
constexpr std::size_t kLinesPerBatch = 256;
constexpr std::size_t kBatchCount = 16;

std::atomic<std::uint64_t> g_threadsStarted{0};
std::atomic<int> g_threadsRunning{0};

struct Batch {
    std::size_t lineCount;
    std::size_t lineEnds[kLinesPerBatch];  // offset in text after each line
    char text[kLinesPerBatch * kMaxDataLineLength];
};

std::size_t BatchCount(std::int32_t n) {
    const std::size_t points = static_cast<std::size_t>(n);
    return (points + kLinesPerBatch - 1) / kLinesPerBatch;
}

// What the formatting thread works from.
struct LineSource {
    TouchstoneColumns columns;
    std::int32_t n;
    ColumnProducer* producer;  // may be null
};

// Produces and formats batch `sequence` (points sequence * kLinesPerBatch
// onwards).
void FillBatch(const LineSource& source, std::size_t sequence, Batch& batch) {
    const std::size_t first = sequence * kLinesPerBatch;
    const std::size_t remaining = static_cast<std::size_t>(source.n) - first;
    batch.lineCount = remaining < kLinesPerBatch ? remaining : kLinesPerBatch;
    if (source.producer != nullptr) {
        source.producer->Produce(first, first + batch.lineCount);
    }
    const TouchstoneColumns& columns = source.columns;
    std::size_t offset = 0;
    for (std::size_t line = 0; line < batch.lineCount; ++line) {
        offset += ComposeDataLine(columns, first + line, batch.text + offset);
        batch.lineEnds[line] = offset;
    }
}

// Hands the batches from the formatter to the writer, in order. Batch k
// lives in slot k % kBatchCount; the formatter may fill it once the writer
// has released batch k - kBatchCount.
class BatchRing {
public:
    explicit BatchRing(Batch* slots) : slots_(slots) {}

    // Formatter side: the slot for batch `sequence`, or null once stopped.
    // A formatter that finds the ring full sleeps until half of it is free:
    // one wake-up then pays for several batches, not one per batch written.
    Batch* WaitToFill(std::size_t sequence) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!stopped_ && sequence >= released_ + kBatchCount) {
            resumeAt_ = sequence + kBatchCount / 2 + 1 - kBatchCount;
            formatterWaiting_ = true;
            slotFreed_.wait(lock, [&] { return stopped_ || released_ >= resumeAt_; });
            formatterWaiting_ = false;
        }
        return stopped_ ? nullptr : &slots_[sequence % kBatchCount];
    }

    void Publish(std::size_t sequence) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            filled_ = sequence + 1;
        }
        batchFilled_.notify_one();
    }

    // The formatter could not go on; the writer gives up at the next batch.
    void Abandon() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            abandoned_ = true;
        }
        batchFilled_.notify_one();
    }

    // Writer side: batch `sequence` once filled, or null if it never will be.
    const Batch* WaitToWrite(std::size_t sequence) {
        std::unique_lock<std::mutex> lock(mutex_);
        batchFilled_.wait(lock, [&] { return abandoned_ || sequence < filled_; });
        return sequence < filled_ ? &slots_[sequence % kBatchCount] : nullptr;
    }

    void Release(std::size_t sequence) {
        bool wake;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            released_ = sequence + 1;
            wake = formatterWaiting_ && released_ >= resumeAt_;
        }
        if (wake) {
            slotFreed_.notify_one();
        }
    }

    // Tells a formatter waiting for a slot that none will come.
    void Stop() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stopped_ = true;
        }
        slotFreed_.notify_one();
    }

private:
    Batch* const slots_;
    std::mutex mutex_;
    std::condition_variable batchFilled_;
    std::condition_variable slotFreed_;
    std::size_t filled_ = 0;    // batches published
    std::size_t released_ = 0;  // batches written and given back
    std::size_t resumeAt_ = 0;  // the released_ a waiting formatter needs
    bool formatterWaiting_ = false;
    bool stopped_ = false;
    bool abandoned_ = false;
};

void FormatAhead(const LineSource& source, BatchRing& ring) {
    try {
        const std::size_t batches = BatchCount(source.n);
        for (std::size_t sequence = 0; sequence < batches; ++sequence) {
            Batch* const batch = ring.WaitToFill(sequence);
            if (batch == nullptr) {
                break;
            }
            FillBatch(source, sequence, *batch);
            ring.Publish(sequence);
        }
    } catch (...) {
        // The ring's own locking or a producer threw; the writer must not
        // wait for a batch that will never come, and nothing may escape a
        // thread.
        try {
            ring.Abandon();
        } catch (...) {
        }
    }
    g_threadsRunning.fetch_sub(1);
}

// Stops and joins the formatter on every way out of the writer's loop,
// exceptions from the sink included.
class FormatterThread {
public:
    FormatterThread(const LineSource& source, BatchRing& ring) : ring_(ring) {
        g_threadsRunning.fetch_add(1);
        try {
            thread_ = std::thread(&FormatAhead, source, std::ref(ring));
        } catch (...) {
            g_threadsRunning.fetch_sub(1);
            throw;
        }
        g_threadsStarted.fetch_add(1);
    }

    ~FormatterThread() {
        ring_.Stop();
        thread_.join();
    }

    FormatterThread(const FormatterThread&) = delete;
    FormatterThread& operator=(const FormatterThread&) = delete;

private:
    BatchRing& ring_;
    std::thread thread_;
};

bool WriteBatch(const Batch& batch, DataLineSink& sink) {
    std::size_t begin = 0;
    for (std::size_t line = 0; line < batch.lineCount; ++line) {
        const std::size_t end = batch.lineEnds[line];
        if (!sink.WriteLine(batch.text + begin, end - begin)) {
            return false;
        }
        begin = end;
    }
    return true;
}

}  // namespace

bool WriteDataLinesInline(const TouchstoneColumns& columns, std::int32_t n, DataLineSink& sink,
                          ColumnProducer* producer) {
    if (producer != nullptr && n > 0) {
        producer->Produce(0, static_cast<std::size_t>(n));
    }
    char line[kMaxDataLineLength];
    for (std::int32_t i = 0; i < n; ++i) {
        const std::size_t size = ComposeDataLine(columns, static_cast<std::size_t>(i), line);
        if (!sink.WriteLine(line, size)) {
            return false;
        }
    }
    return true;
}

bool WriteDataLinesFormattedAhead(const TouchstoneColumns& columns, std::int32_t n,
                                  DataLineSink& sink, ColumnProducer* producer) {
    if (n <= 0) {
        return true;
    }
    // Not zero-filled: every byte written is formatted first.
    const std::unique_ptr<Batch[]> slots(new (std::nothrow) Batch[kBatchCount]);
    if (slots == nullptr) {
        return WriteDataLinesInline(columns, n, sink, producer);
    }
    BatchRing ring(slots.get());
    std::optional<FormatterThread> formatter;
    try {
        formatter.emplace(LineSource{columns, n, producer}, ring);
    } catch (const std::system_error&) {
        return WriteDataLinesInline(columns, n, sink, producer);  // no thread to be had
    }

    const std::size_t batches = BatchCount(n);
    for (std::size_t sequence = 0; sequence < batches; ++sequence) {
        const Batch* const batch = ring.WaitToWrite(sequence);
        if (batch == nullptr || !WriteBatch(*batch, sink)) {
            return false;  // the formatter is stopped and joined on the way out
        }
        ring.Release(sequence);
    }
    return true;
}

bool WriteDataLines(const TouchstoneColumns& columns, std::int32_t n, DataLineSink& sink,
                    ColumnProducer* producer) {
    if (n >= kFormatAheadMinPoints) {
        return WriteDataLinesFormattedAhead(columns, n, sink, producer);
    }
    return WriteDataLinesInline(columns, n, sink, producer);
}

std::uint64_t FormattingThreadsStarted() {
    return g_threadsStarted.load();
}

int FormattingThreadsRunning() {
    return g_threadsRunning.load();
}

}  // namespace qvz
