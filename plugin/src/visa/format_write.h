// The write half of formatted I/O: turns a write format and its arguments
// into the bytes of one command.
#ifndef QVZ_VISA_FORMAT_WRITE_H
#define QVZ_VISA_FORMAT_WRITE_H

#include <cstdarg>
#include <string>

#include "visa/visa.h"

namespace qvz {
namespace visa {

// Appends the formatted text to `*out`, taking each conversion's argument
// from `*args` in order:
//   %d, %ld  a 32-bit int (ViInt32 on every platform, as on the read side)
//   %hd      an int, printed as the 16-bit value it holds
//   %s       a zero-terminated string, copied whole (no length limit)
//   %%       a percent sign
// Other text is copied as it is. VI_ERROR_NSUP_FMT for any other conversion
// (flags, widths and precisions included), VI_ERROR_INV_FMT for a null format
// or a lone '%' at its end, VI_ERROR_USER_BUF for a null %s argument; on any
// failure `*out` is left as it was.
ViStatus FormatWrite(const char* format, va_list* args, std::string* out);

// Checks a write format without touching any argument.
ViStatus ValidateWriteFormat(const char* format);

}  // namespace visa
}  // namespace qvz

#endif
