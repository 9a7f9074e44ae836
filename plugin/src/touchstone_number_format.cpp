// Ten significant digits are decided cheaply for almost every double: scale
// the number into [1e9, 1e10) with at most two correctly rounded operations
// by exact powers of ten, and round the result to an integer. The scaled
// value is then known to within a few millionths, so unless its fraction
// lies within 1e-5 of one half the rounding is certain. The rare undecided
// cases (near-ties and numbers outside roughly 1e-31..1e31) go to
// std::to_chars, which is correctly rounded but about five times slower; the
// writer formats nine numbers per line, so this keeps formatting from
// dominating a file write.
#include "touchstone_number_format.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <system_error>

#include "exact_powers_of_ten.h"

namespace qvz {
namespace {

constexpr int kFractionDigits = 9;  // digits after the point
constexpr int kExponentDigits = 3;

// Two scalings with a relative error of 2^-53 each leave the scaled value
// (below 2^34) within 2^-18 < 4e-6 of the exact product; 1e-5 keeps a
// margin over that.
constexpr double kUndecidedHalfWidth = 1e-5;

constexpr double kLowestScaled = 1e9;
constexpr double kScaledLimit = 1e10;

std::size_t CopyText(const char* text, char* out) {
    const std::size_t length = std::strlen(text);
    std::memcpy(out, text, length);
    return length;
}

// |value| * 10^power, with power in [-2*22, 2*22]; false outside that range.
bool ScaleByPowerOfTen(double magnitude, int power, double& scaled) {
    if (power > 2 * kLargestExactPowerOfTen || power < -2 * kLargestExactPowerOfTen) {
        return false;
    }
    const int first = power > kLargestExactPowerOfTen    ? kLargestExactPowerOfTen
                      : power < -kLargestExactPowerOfTen ? -kLargestExactPowerOfTen
                                                         : power;
    const int second = power - first;
    scaled =
        first >= 0 ? magnitude * kExactPowersOfTen[first] : magnitude / kExactPowersOfTen[-first];
    if (second != 0) {
        scaled =
            second > 0 ? scaled * kExactPowersOfTen[second] : scaled / kExactPowersOfTen[-second];
    }
    return true;
}

// floor(a / b) for b > 0, also for negative a.
constexpr int FloorDivide(int a, int b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// The ten significant digits of |value| as an integer in [1e9, 1e10] and its
// decimal exponent, when they can be decided without exact arithmetic.
bool DecideDigits(double magnitude, std::uint64_t& digits, int& exponent) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &magnitude, sizeof bits);
    const int biasedExponent = static_cast<int>((bits >> 52) & 0x7FF);
    if (biasedExponent == 0) {
        return false;  // subnormal: far outside the scalable range anyway
    }
    // magnitude lies in [2^e2, 2^(e2+1)), so its decimal exponent is
    // floor(e2 * log10(2)) or one more. e2 * 78913 / 2^18 has the same floor
    // as e2 * log10(2) for every exponent a double can have; should it not,
    // the range check below hands the number to the exact path.
    const int e2 = biasedExponent - 1023;
    exponent = FloorDivide(e2 * 78913, 1 << 18);

    double scaled = 0.0;
    if (!ScaleByPowerOfTen(magnitude, kFractionDigits - exponent, scaled)) {
        return false;
    }
    if (scaled >= kScaledLimit) {
        ++exponent;
        if (!ScaleByPowerOfTen(magnitude, kFractionDigits - exponent, scaled)) {
            return false;
        }
    }
    if (!(scaled >= kLowestScaled && scaled < kScaledLimit)) {
        return false;  // rounding left it at a decade boundary: let the exact path decide
    }

    // Truncation equals floor for these positive values below 2^34, and the
    // difference is exact.
    const std::uint64_t whole = static_cast<std::uint64_t>(scaled);
    const double fraction = scaled - static_cast<double>(whole);
    if (std::fabs(fraction - 0.5) < kUndecidedHalfWidth) {
        return false;
    }
    digits = whole + (fraction > 0.5 ? 1u : 0u);
    if (digits == 10000000000ULL) {  // 9.9999999996 rounds up to 10
        digits = 1000000000ULL;
        ++exponent;
    }
    return true;
}

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes `value` (below 100000) as exactly five digits.
void PutFiveDigits(std::uint32_t value, char* out) {
    const std::uint32_t high = value / 1000;  // 0..99
    const std::uint32_t middle = (value / 10) % 100;
    out[0] = kDigitPairs[2 * high];
    out[1] = kDigitPairs[2 * high + 1];
    out[2] = kDigitPairs[2 * middle];
    out[3] = kDigitPairs[2 * middle + 1];
    out[4] = static_cast<char>('0' + value % 10);
}

std::size_t WriteScientific(bool negative, std::uint64_t digits, int exponent, char* out) {
    char* cursor = out;
    if (negative) {
        *cursor++ = '-';
    }
    char text[kFractionDigits + 1];
    PutFiveDigits(static_cast<std::uint32_t>(digits / 100000), text);
    PutFiveDigits(static_cast<std::uint32_t>(digits % 100000), text + 5);
    *cursor++ = text[0];
    *cursor++ = '.';
    std::memcpy(cursor, text + 1, kFractionDigits);
    cursor += kFractionDigits;
    *cursor++ = 'E';
    *cursor++ = exponent < 0 ? '-' : '+';
    const int magnitude = exponent < 0 ? -exponent : exponent;  // at most 324
    cursor[0] = static_cast<char>('0' + magnitude / 100);
    cursor[1] = static_cast<char>('0' + magnitude / 10 % 10);
    cursor[2] = static_cast<char>('0' + magnitude % 10);
    cursor += kExponentDigits;
    return static_cast<std::size_t>(cursor - out);
}

// The exact path: to_chars is correctly rounded (ties to even) and ignores
// the locale; it writes "[-]d.ddddddddde[+-]dd[d]" with at least two
// exponent digits, which are widened to three.
std::size_t FormatExactly(double value, char* out) {
    char text[32];
    const std::to_chars_result converted = std::to_chars(
        text, text + sizeof text, value, std::chars_format::scientific, kFractionDigits);
    if (converted.ec != std::errc()) {
        return CopyText("NAN", out);  // cannot happen with 32 characters
    }
    const char* const end = converted.ptr;
    const char* const e =
        static_cast<const char*>(std::memchr(text, 'e', static_cast<std::size_t>(end - text)));
    if (e == nullptr || end - e < 3) {
        return CopyText("NAN", out);  // not the scientific form; cannot happen
    }

    const std::size_t mantissaLength = static_cast<std::size_t>(e - text);
    std::memcpy(out, text, mantissaLength);
    char* cursor = out + mantissaLength;
    *cursor++ = 'E';
    *cursor++ = e[1];
    const char* const exponent = e + 2;
    const std::size_t exponentLength = static_cast<std::size_t>(end - exponent);
    for (std::size_t pad = exponentLength; pad < static_cast<std::size_t>(kExponentDigits); ++pad) {
        *cursor++ = '0';
    }
    std::memcpy(cursor, exponent, exponentLength);
    cursor += exponentLength;
    return static_cast<std::size_t>(cursor - out);
}

}  // namespace

std::size_t FormatTouchstoneNumber(double value, char* out) {
    // std::to_chars would spell these "nan", "-nan", "inf"; the files use the
    // C library's upper-case %E spelling, and a NaN never carries a sign so
    // that its value field keeps the width of a non-negative number.
    if (std::isnan(value)) {
        return CopyText("NAN", out);
    }
    if (std::isinf(value)) {
        return CopyText(value < 0.0 ? "-INF" : "INF", out);
    }
    const bool negative = std::signbit(value);
    if (value == 0.0) {
        return WriteScientific(negative, 0, 0, out);
    }
    std::uint64_t digits = 0;
    int exponent = 0;
    if (DecideDigits(std::fabs(value), digits, exponent)) {
        return WriteScientific(negative, digits, exponent, out);
    }
    return FormatExactly(value, out);
}

}  // namespace qvz
