// One data line of the Touchstone file: the frequency text and the eight
// value fields of S11, S21, S12 and S22, ended by CR LF.
#ifndef QVZ_TOUCHSTONE_DATA_LINE_H
#define QVZ_TOUCHSTONE_DATA_LINE_H

#include <cstddef>

#include "complex_value.h"
#include "touchstone_number_format.h"

namespace qvz {

// The five arrays of one sweep; element i of each belongs to point i.
struct TouchstoneColumns {
    const double* frequencies;
    const ComplexValue* s11;
    const ComplexValue* s21;
    const ComplexValue* s12;
    const ComplexValue* s22;
};

// The longest data line: the frequency, eight value fields of at most two
// spaces and a number, and the line end.
constexpr std::size_t kMaxDataLineLength =
    kTouchstoneNumberMaxLength + 8 * (kTouchstoneNumberMaxLength + 2) + 2;

// Writes the line of `point` to `out`, which must hold kMaxDataLineLength
// characters; returns its length. No terminator; never allocates.
std::size_t ComposeDataLine(const TouchstoneColumns& columns, std::size_t point, char* out);

}  // namespace qvz

#endif
