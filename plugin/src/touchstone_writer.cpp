// Writes the two-port Touchstone file the analyzer loads as a port's
// matching circuit. Every line is composed in one fixed work buffer and
// handed to the file in one piece; the file is flushed after the option
// line, the column-header line and every data line so that it grows line by
// line. It grows under a temporary name and replaces the named file whole
// once complete, so the analyzer never loads half a file.
#include "touchstone_writer.h"

#include <cstddef>
#include <cstring>

#include "platform/replacing_file.h"
#include "touchstone_clock.h"
#include "touchstone_date_text.h"
#include "touchstone_number_format.h"

namespace qvz {
namespace {

constexpr std::size_t kWorkBufferSize = 256;
constexpr const char* kLineEnd = "\r\n";
constexpr const char* kOptionLine = "# Hz S RI R 50";
constexpr const char* kDatePrefix = "! Date: ";
constexpr const char* kHeaderPrefix = "! Freq ";
constexpr const char* kColumnNames[4] = {"S11", "S21", "S12", "S22"};
constexpr std::size_t kColumnWidth = 28;  // each name right-aligned

// The longest data line: the frequency, eight value fields of at most one
// space more than a number (the 19-character negative zero) and the line end.
static_assert(kTouchstoneNumberMaxLength + 8 * (kTouchstoneNumberMaxLength + 2) + 2 <=
                  kWorkBufferSize,
              "a data line must fit the work buffer");

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
    void AppendNumber(double value) {
        length_ += FormatTouchstoneNumber(value, buffer_ + length_);
    }
    // One space, and a second one unless the number is below zero, so the
    // columns line up whether or not a minus sign follows. The test is on the
    // number: negative zero and NaN take two spaces.
    void AppendValueField(double value) {
        AppendSpaces(value < 0.0 ? 1 : 2);
        AppendNumber(value);
    }
    void EndLine() { Append(kLineEnd); }

    const char* data() const { return buffer_; }
    std::size_t size() const { return length_; }

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

void ComposeDataLine(LineBuilder& line, double frequency, const ComplexValue* const columns[4],
                     std::size_t point) {
    line.Clear();
    line.AppendNumber(frequency);
    for (int column = 0; column < 4; ++column) {
        const ComplexValue& value = columns[column][point];
        line.AppendValueField(value.re);
        line.AppendValueField(value.im);
    }
    line.EndLine();
}

bool WriteLine(ReplacingFile& file, const LineBuilder& line, bool flush) {
    return file.WriteLine(line.data(), line.size(), flush);
}

TouchstoneWriteResult WriteWholeFile(const char* fileName, std::int32_t n,
                                      const double* frequencies,
                                      const ComplexValue* const columns[4]) {
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
    for (std::int32_t i = 0; ok && i < n; ++i) {
        const std::size_t point = static_cast<std::size_t>(i);
        ComposeDataLine(line, frequencies[point], columns, point);
        ok = WriteLine(file, line, true);
    }

    // A failed write leaves the previous file as it was.
    return ok && file.Commit() ? TouchstoneWriteResult::kOk
                               : TouchstoneWriteResult::kWriteFailed;
}

}  // namespace

TouchstoneWriteResult WriteTouchstoneFile(const char* fileName, std::int32_t n,
                                          const double* frequencies,
                                          const ComplexValue* s11,
                                          const ComplexValue* s21,
                                          const ComplexValue* s12,
                                          const ComplexValue* s22) {
    if (fileName == nullptr || fileName[0] == '\0') {
        return TouchstoneWriteResult::kOpenFailed;
    }
    // Missing arrays would be read past; refuse before the file is touched.
    if (n > 0 && (frequencies == nullptr || s11 == nullptr || s21 == nullptr ||
                  s12 == nullptr || s22 == nullptr)) {
        return TouchstoneWriteResult::kWriteFailed;
    }
    const ComplexValue* const columns[4] = {s11, s21, s12, s22};
    try {
        return WriteWholeFile(fileName, n, frequencies, columns);
    } catch (...) {
        // Nothing may escape towards the C boundary (an allocation for the
        // temporary name).
        return TouchstoneWriteResult::kWriteFailed;
    }
}

}  // namespace qvz
