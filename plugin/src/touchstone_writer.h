// Two-port Touchstone (version 1) file writer.
#ifndef QVZ_TOUCHSTONE_WRITER_H
#define QVZ_TOUCHSTONE_WRITER_H

#include <cstdint>

#include "complex_value.h"

namespace qvz {

class ColumnProducer;

enum class TouchstoneWriteResult {
    kOk,
    kOpenFailed,   // the file could not be created (or a directory is in the way)
    kWriteFailed,  // a line, the close or the rename failed; the old file stays
};

// Creates or replaces `fileName` with the option line, the date line, the
// column-header line and one data line per point (none for n <= 0). The file
// is written under a temporary name in the same directory and renamed over
// `fileName` once complete: readers see the previous file or the new one,
// never part of one, and a failed write keeps the previous file. A directory
// at `fileName` is kOpenFailed. Callers that must keep other threads from
// replacing the file (until the analyzer has loaded it) hold its
// FileNameLock.
//
// With a producer, the S-parameter values of each point may be filled in
// during the write: a point's line is composed only after the producer has
// produced it (ColumnProducer), so the values can be computed while the
// lines before them are written.
TouchstoneWriteResult WriteTouchstoneFile(const char* fileName, std::int32_t n,
                                          const double* frequencies, const ComplexValue* s11,
                                          const ComplexValue* s21, const ComplexValue* s12,
                                          const ComplexValue* s22,
                                          ColumnProducer* producer = nullptr);

}  // namespace qvz

#endif
