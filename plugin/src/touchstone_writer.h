// Two-port Touchstone (version 1) file writer.
#ifndef QVZ_TOUCHSTONE_WRITER_H
#define QVZ_TOUCHSTONE_WRITER_H

#include <cstdint>

#include "complex_value.h"

namespace qvz {

enum class TouchstoneWriteResult {
    kOk,
    kOpenFailed,   // the file could not be created or truncated
    kWriteFailed,  // a line or the close failed part-way
};

// Creates or replaces `fileName` with the option line, the date line, the
// column-header line and one data line per point (none for n <= 0). Writes of
// the same name from several threads are serialised.
TouchstoneWriteResult WriteTouchstoneFile(const char* fileName, std::int32_t n,
                                          const double* frequencies,
                                          const ComplexValue* s11,
                                          const ComplexValue* s21,
                                          const ComplexValue* s12,
                                          const ComplexValue* s22);

}  // namespace qvz

#endif
