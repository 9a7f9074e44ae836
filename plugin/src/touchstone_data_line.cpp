// The circuit model computes S12 and S21 by the same expression, so in an
// apply the two are bit-identical at every point; their text is then
// formatted once and copied. The copy is made only when the bits agree, so
// arrays from any other caller are written exactly as they are.
#include "touchstone_data_line.h"

#include <cstdint>
#include <cstring>

namespace qvz {
namespace {

// One space, and a second one unless the number is below zero, so the
// columns line up whether or not a minus sign follows. The test is on the
// number: negative zero and NaN take two spaces.
char* AppendValueField(double value, char* cursor) {
    *cursor++ = ' ';
    if (!(value < 0.0)) {
        *cursor++ = ' ';
    }
    return cursor + FormatTouchstoneNumber(value, cursor);
}

char* AppendComplexFields(const ComplexValue& value, char* cursor) {
    cursor = AppendValueField(value.re, cursor);
    return AppendValueField(value.im, cursor);
}

bool SameBits(double a, double b) {
    std::uint64_t x = 0;
    std::uint64_t y = 0;
    std::memcpy(&x, &a, sizeof x);
    std::memcpy(&y, &b, sizeof y);
    return x == y;
}

bool SameBits(const ComplexValue& a, const ComplexValue& b) {
    return SameBits(a.re, b.re) && SameBits(a.im, b.im);
}

}  // namespace

std::size_t ComposeDataLine(const TouchstoneColumns& columns, std::size_t point, char* out) {
    char* cursor = out + FormatTouchstoneNumber(columns.frequencies[point], out);
    cursor = AppendComplexFields(columns.s11[point], cursor);
    char* const s21Text = cursor;
    cursor = AppendComplexFields(columns.s21[point], cursor);
    if (SameBits(columns.s12[point], columns.s21[point])) {
        const std::size_t length = static_cast<std::size_t>(cursor - s21Text);
        std::memcpy(cursor, s21Text, length);
        cursor += length;
    } else {
        cursor = AppendComplexFields(columns.s12[point], cursor);
    }
    cursor = AppendComplexFields(columns.s22[point], cursor);
    *cursor++ = '\r';
    *cursor++ = '\n';
    return static_cast<std::size_t>(cursor - out);
}

}  // namespace qvz
