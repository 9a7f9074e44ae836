// The one number format of the Touchstone files: "%-.9E" with the exponent
// always written with three digits, whatever the platform's printf does.
#ifndef QVZ_TOUCHSTONE_NUMBER_FORMAT_H
#define QVZ_TOUCHSTONE_NUMBER_FORMAT_H

#include <cstddef>

namespace qvz {

// Longest text FormatTouchstoneNumber produces: "-1.234567890E-308".
constexpr std::size_t kTouchstoneNumberMaxLength = 17;

// Writes `value` rounded to ten significant digits (correctly rounded, ties
// to even, like the C library) as "d.dddddddddE+xxx", with a leading minus
// sign for negative numbers including negative zero. Non-finite values are
// spelled "NAN" (whatever its sign bit), "INF" and "-INF". `out` must hold
// kTouchstoneNumberMaxLength characters; no terminator is written. Returns
// the number of characters written. Locale-independent; never allocates.
std::size_t FormatTouchstoneNumber(double value, char* out);

}  // namespace qvz

#endif
