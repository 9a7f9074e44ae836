// The number text of the files: "%-.9E" digits with a three-digit exponent.
#include <ostream>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "touchstone_number_format.h"
#include "param_names.h"

namespace qvz {
namespace {

std::string Format(double value) {
    char out[kTouchstoneNumberMaxLength + 8];
    std::memset(out, '#', sizeof out);
    const std::size_t length = FormatTouchstoneNumber(value, out);
    EXPECT_LE(length, kTouchstoneNumberMaxLength);
    EXPECT_EQ(out[length], '#') << "wrote past the reported length";
    return std::string(out, length);
}

// The C library's own "%-.9E", with its exponent widened to three digits:
// the reference the files must match digit for digit.
std::string CLibraryReference(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%-.9E", value);
    std::string s(text);
    const std::size_t e = s.find('E');
    if (e == std::string::npos) {
        return s;
    }
    std::string exponent = s.substr(e + 2);
    while (exponent.size() < 3) {
        exponent.insert(0, "0");
    }
    return s.substr(0, e + 2) + exponent;
}

struct Case {
    double value;
    const char* text;
};

// Names the case in test listings (instead of its raw bytes).
void PrintTo(const Case& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class KnownNumbers : public ::testing::TestWithParam<Case> {};

TEST_P(KnownNumbers, FormatExactly) {
    EXPECT_EQ(Format(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, KnownNumbers,
    ::testing::Values(
        Case{0.0, "0.000000000E+000"}, Case{-0.0, "-0.000000000E+000"},
        Case{1e9, "1.000000000E+009"}, Case{1e3, "1.000000000E+003"}, Case{1.0, "1.000000000E+000"},
        Case{0.5, "5.000000000E-001"}, Case{0.1, "1.000000000E-001"},
        Case{-0.2, "-2.000000000E-001"}, Case{3e6, "3.000000000E+006"},
        Case{0.95, "9.500000000E-001"}, Case{-0.05, "-5.000000000E-002"},
        Case{0.25, "2.500000000E-001"}, Case{0.1964404598, "1.964404598E-001"},
        Case{1e100, "1.000000000E+100"}, Case{-1e-100, "-1.000000000E-100"},
        Case{1.7976931348623157e308, "1.797693135E+308"},
        Case{-2.2250738585072014e-308, "-2.225073859E-308"},
        Case{4.9406564584124654e-324, "4.940656458E-324"},
        // Rounding carries into the exponent.
        Case{9.9999999996, "1.000000000E+001"}, Case{9.9999999994, "9.999999999E+000"},
        // Exact binary ties go to even, as the C library rounds.
        Case{1234567890.5, "1.234567890E+009"}, Case{1234567891.5, "1.234567892E+009"},
        Case{std::numeric_limits<double>::quiet_NaN(), "NAN"},
        Case{-std::numeric_limits<double>::quiet_NaN(), "NAN"},
        Case{std::numeric_limits<double>::infinity(), "INF"},
        Case{-std::numeric_limits<double>::infinity(), "-INF"}),
    qvz_test::NameByField<&Case::text>());

class AgainstCLibrary : public ::testing::TestWithParam<int> {};

// Random bit patterns cover every exponent, subnormals included; a second
// population of S-parameter-like magnitudes covers the common case.
TEST_P(AgainstCLibrary, SameDigitsForRandomDoubles) {
    std::mt19937_64 random(static_cast<std::uint64_t>(GetParam()));
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int i = 0; i < 20000; ++i) {
        const std::uint64_t bits = random();
        double any;
        std::memcpy(&any, &bits, sizeof any);
        if (std::isfinite(any)) {
            ASSERT_EQ(Format(any), CLibraryReference(any)) << any;
        }
        const double typical = unit(random);
        ASSERT_EQ(Format(typical), CLibraryReference(typical)) << typical;
    }
}

// Doubles next to a rounding boundary of the tenth digit (decimal midpoints
// "d.ddddddddd5" and their neighbours), and exact binary ties, are where a
// shortcut through floating-point scaling would go wrong.
TEST_P(AgainstCLibrary, SameDigitsNextToRoundingBoundaries) {
    std::mt19937_64 random(static_cast<std::uint64_t>(GetParam()));
    std::uniform_int_distribution<long long> mantissa(1000000000LL, 9999999999LL);
    std::uniform_int_distribution<int> exponent(-45, 45);
    for (int i = 0; i < 20000; ++i) {
        char text[64];
        std::snprintf(text, sizeof text, "%lld5e%d", mantissa(random), exponent(random));
        const double midpoint = std::strtod(text, nullptr);
        for (double value : {midpoint, std::nextafter(midpoint, 0.0),
                             std::nextafter(midpoint, 1e300), -midpoint}) {
            ASSERT_EQ(Format(value), CLibraryReference(value)) << text;
        }
        const double binaryTie = static_cast<double>(mantissa(random)) + 0.5;
        ASSERT_EQ(Format(binaryTie), CLibraryReference(binaryTie)) << binaryTie;
        const double nearPowerOfTen = std::nextafter(std::pow(10.0, exponent(random)), 0.0);
        ASSERT_EQ(Format(nearPowerOfTen), CLibraryReference(nearPowerOfTen)) << nearPowerOfTen;
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, AgainstCLibrary, ::testing::Values(1, 2, 3));

}  // namespace
}  // namespace qvz
