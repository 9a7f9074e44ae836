// Writes the two-port Touchstone file the analyzer loads as a port's
// matching circuit. Every line is composed in a fixed buffer and handed to
// the file in one piece; the file is flushed after the option line, the
// column-header line and every data line so that it grows line by line. The
// data lines come from the line pipeline, which formats large sweeps ahead of
// the writes. The file grows under a temporary name and replaces the named
// file whole once complete, so the analyzer never loads half a file.
#include "touchstone_writer.h"

#include <cstddef>
#include <cstring>

#include "platform/replacing_file.h"
#include "touchstone_clock.h"
#include "touchstone_date_text.h"
#include "touchstone_line_pipeline.h"

namespace qvz {
namespace {

constexpr std::size_t kWorkBufferSize = 256;
constexpr const char* kLineEnd = "\r\n";
constexpr const char* kOptionLine = "# Hz S RI R 50";
constexpr const char* kDatePrefix = "! Date: ";
constexpr const char* kHeaderPrefix = "! Freq ";
constexpr const char* kColumnNames[4] = {"S11", "S21", "S12", "S22"};
constexpr std::size_t kColumnWidth = 28;  // each name right-aligned

static_assert(kMaxDataLineLength <= kWorkBufferSize, "a data line must fit the work buffer");

// Appends text to the work buffer, one line at a time.
class LineBuilder {
public:
    explicit LineBuilder(char* buffer) : buffer_(buffer), length_(0) {}

    void Clear() { length_ = 0; }
    void Append(const char* text) { Append(text, std::strlen(text)); }
    void Append(const char* text, std::size_t count) {
        std::memcpy(buffer_ + length_, text, count);
        length_ += count;
    }
    void AppendSpaces(std::size_t count) {
        std::memset(buffer_ + length_, ' ', count);
        length_ += count;
    }
    void EndLine() { Append(kLineEnd); }

    const char* Data() const { return buffer_; }
    std::size_t Size() const { return length_; }

private:
    char* buffer_;
    std::size_t length_;
};

void ComposeOptionLine(LineBuilder& line) {
    line.Clear();
    line.Append(kOptionLine);
    line.EndLine();
}

void ComposeDateLine(LineBuilder& line, std::time_t now) {
    line.Clear();
    line.Append(kDatePrefix);
    char date[kDateTextLength];
    DateTextFor(now, date);
    line.Append(date, kDateTextLength);
    line.EndLine();
}

void ComposeHeaderLine(LineBuilder& line) {
    line.Clear();
    line.Append(kHeaderPrefix);
    for (const char* name : kColumnNames) {
        const std::size_t nameLength = std::strlen(name);
        line.AppendSpaces(kColumnWidth - nameLength);
        line.Append(name, nameLength);
    }
    line.EndLine();
}

// The one way a line reaches the file.
bool WriteLine(ReplacingFile& file, const LineBuilder& line, bool flush) {
    return file.WriteLine(line.Data(), line.Size(), flush);
}

// Every data line is flushed on its own.
class FileLineSink final : public DataLineSink {
public:
    explicit FileLineSink(ReplacingFile& file) : file_(file) {}

    bool WriteLine(const char* data, std::size_t size) override {
        return file_.WriteLine(data, size, true);
    }

private:
    ReplacingFile& file_;
};

TouchstoneWriteResult WriteWholeFile(const char* fileName, std::int32_t n,
                                     const TouchstoneColumns& columns, ColumnProducer* producer) {
    // Binary: the line ends are written as CR LF on every platform and never
    // translated.
    ReplacingFile file;
    if (!file.Open(fileName)) {
        return TouchstoneWriteResult::kOpenFailed;
    }

    const std::time_t now = TouchstoneClockNow();
    char buffer[kWorkBufferSize];
    LineBuilder line(buffer);

    ComposeOptionLine(line);
    bool ok = WriteLine(file, line, true);
    if (ok) {
        ComposeDateLine(line, now);
        ok = WriteLine(file, line, false);
    }
    if (ok) {
        ComposeHeaderLine(line);
        ok = WriteLine(file, line, true);
    }
    if (ok) {
        FileLineSink sink(file);
        ok = WriteDataLines(columns, n, sink, producer);
    }

    // A failed write leaves the previous file as it was.
    return ok && file.Commit() ? TouchstoneWriteResult::kOk : TouchstoneWriteResult::kWriteFailed;
}

}  // namespace

TouchstoneWriteResult WriteTouchstoneFile(const char* fileName, std::int32_t n,
                                          const double* frequencies, const ComplexValue* s11,
                                          const ComplexValue* s21, const ComplexValue* s12,
                                          const ComplexValue* s22, ColumnProducer* producer) {
    if (fileName == nullptr || fileName[0] == '\0') {
        return TouchstoneWriteResult::kOpenFailed;
    }
    // Missing arrays would be read past; refuse before the file is touched.
    if (n > 0 && (frequencies == nullptr || s11 == nullptr || s21 == nullptr || s12 == nullptr ||
                  s22 == nullptr)) {
        return TouchstoneWriteResult::kWriteFailed;
    }
    const TouchstoneColumns columns{frequencies, s11, s21, s12, s22};
    try {
        return WriteWholeFile(fileName, n, columns, producer);
    } catch (...) {
        // Nothing may escape towards the C boundary (an allocation for the
        // temporary name).
        return TouchstoneWriteResult::kWriteFailed;
    }
}

}  // namespace qvz
