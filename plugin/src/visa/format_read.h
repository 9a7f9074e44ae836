// The read half of formatted I/O: parses one response message against a read
// format, storing through the pointers that follow in the argument list. Pure
// (no I/O, no state), so that it can be tested and fuzzed on plain buffers.
#ifndef QVZ_VISA_FORMAT_READ_H
#define QVZ_VISA_FORMAT_READ_H

#include <cstdarg>
#include <cstddef>

#include "visa/visa.h"

namespace qvz {
namespace visa {

// Read format directives and the argument each takes:
//   %d, %ld   std::int32_t*   optional sign and decimal digits (leading white
//                             space skipped); a value outside int32 fails
//   %lf       double*         a decimal floating-point number (leading '+'
//                             allowed, as instruments send it)
//   %,#lf     std::int32_t* count, double* array
//                             comma-separated numbers; *count is the array's
//                             capacity on entry and the number read on exit;
//                             never writes past the capacity; a capacity of 0
//                             reads nothing and succeeds
//   %N[set], %N[^set]  char*  at most N characters in (or not in) the set,
//                             then a terminator (so N + 1 bytes); zero
//                             matching characters store ""; ranges a-z and a
//                             leading ']' work as in C scanf; no white space
//                             is skipped first
//   %%                        a literal percent sign
//   white space               skips any white space in the message
//   other characters          must match the message exactly
//
// Returns VI_SUCCESS when every conversion got its value; what the format
// leaves of the message is ignored. VI_ERROR_INV_FMT when the message leaves a
// conversion unfilled (no number where one is due, a literal that does not
// match before a conversion, the message ending early): the arguments of the
// unfilled conversions keep whatever they held and must not be used.
// VI_ERROR_NSUP_FMT for a conversion outside the list above (checked before
// anything is stored), VI_ERROR_INV_FMT for a malformed format, and
// VI_ERROR_USER_BUF for a null argument pointer.
ViStatus ScanMessage(const char* data, std::size_t size, const char* format, va_list* args);

// The same with the arguments given directly.
ViStatus ScanMessageF(const char* data, std::size_t size, const char* format, ...);

// Checks a read format without touching any argument.
ViStatus ValidateReadFormat(const char* format);

}  // namespace visa
}  // namespace qvz

#endif
