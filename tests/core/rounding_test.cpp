// RoundToStandardValue compared bit for bit with the products the rounding
// is defined to form (series value x decade, or step count x step).
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "public_settings.h"
#include "qvzfix.h"
#include "rounding.h"

namespace {

using qvz::RoundToStandardValue;

// The smoothing modes of the API, as the int32 the setter stores.
constexpr std::int32_t kE6 = QVZ_E6;
constexpr std::int32_t kE12 = QVZ_E12;
constexpr std::int32_t kE24 = QVZ_E24;
constexpr std::int32_t kSmooth = QVZ_SMOOTH;

std::uint64_t Bits(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

struct Product {
    double mantissa;
    double decade;
    double Value() const { return mantissa * decade; }
};

struct Row {
    double input;
    std::int32_t mode;
    Product expected;
};

std::string Describe(const Row& row) {
    char text[128];
    std::snprintf(text, sizeof text, "input %.17g mode %d", row.input, row.mode);
    return text;
}

void ExpectRows(const std::initializer_list<Row>& rows) {
    for (const Row& row : rows) {
        const double got = RoundToStandardValue(row.input, row.mode);
        const double want = row.expected.Value();
        EXPECT_EQ(Bits(got), Bits(want)) << Describe(row) << ": got " << got << ", want " << want;
    }
}

TEST(Rounding, WorkedTableInEveryMode) {
    ExpectRows({
        {50, kE6, {4.7, 10}},
        {50, kE12, {4.7, 10}},
        {50, kE24, {5.1, 10}},
        {50, kSmooth, {500, 0.1}},
        {51.31, kE6, {4.7, 10}},
        {51.31, kE12, {4.7, 10}},
        {51.31, kE24, {5.1, 10}},
        {51.31, kSmooth, {513, 0.1}},
        {1.127e-9, kE6, {1.0, 1e-9}},
        {1.127e-9, kE12, {1.2, 1e-9}},
        {1.127e-9, kE24, {1.1, 1e-9}},
        {1.127e-9, kSmooth, {113, 1e-11}},
        {1.3014e-12, kE6, {1.5, 1e-12}},
        {1.3014e-12, kE12, {1.2, 1e-12}},
        {1.3014e-12, kE24, {1.3, 1e-12}},
        {1.3014e-12, kSmooth, {130, 1e-14}},
        {0.01922, kE6, {2.2, 0.01}},
        {0.01922, kE12, {1.8, 0.01}},
        {0.01922, kE24, {2.0, 0.01}},
        {0.01922, kSmooth, {192, 1e-4}},
        {0.02, kE6, {2.2, 0.01}},
        {0.02, kE12, {1.8, 0.01}},
        {0.02, kE24, {2.0, 0.01}},
        {0.02, kSmooth, {200, 1e-4}},
    });
}

TEST(Rounding, SeriesValuesAndDefaultsStay) {
    ExpectRows({
        {47, kE6, {4.7, 10}},
        {3.3e-10, kE12, {3.3, 1e-10}},
        {1e-9, kE6, {1.0, 1e-9}},
        {1e-9, kE12, {1.0, 1e-9}},
        {1e-9, kE24, {1.0, 1e-9}},
        {1e-12, kE6, {1.0, 1e-12}},
        {1e-12, kE12, {1.0, 1e-12}},
        {1e-12, kE24, {1.0, 1e-12}},
        {1e-9, kSmooth, {100, 1e-11}},
        {1e-12, kSmooth, {100, 1e-14}},
    });
}

TEST(Rounding, SmoothDefaultIsOneUlpBelowTheNearestDouble) {
    EXPECT_EQ(Bits(RoundToStandardValue(1e-9, kSmooth)), Bits(std::nextafter(1e-9, 0.0)));
}

TEST(Rounding, ExactTiesGoToTheLowerValue) {
    ExpectRows({
        {125, kE6, {1.0, 100}},
        {575, kE6, {4.7, 100}},
        {125, kE24, {1.2, 100}},
        {91, kE12, {8.2, 10}},  // last series value beats the next decade
    });
}

TEST(Rounding, DecimalMidpointsAreDecidedByTheDoubles) {
    ExpectRows({
        {110, kE12, {1.2, 100}},
        {840, kE6, {10, 100}},
        {955, kE24, {10, 100}},
        {0.02, kE12, {1.8, 0.01}},
    });
}

TEST(Rounding, DistanceIsLinearAndTheNextDecadeCompetes) {
    ExpectRows({
        {830, kE6, {6.8, 100}},
        {9.6e-9, kE6, {10, 1e-9}},
        {96, kE24, {10, 10}},
    });
}

TEST(Rounding, SmoothKeepsThreeDigitsThenFewerBelowOnePicofarad) {
    ExpectRows({
        {1.2345e-9, kSmooth, {123, 1e-11}},
        {1005, kSmooth, {101, 10}},
        {12.35, kSmooth, {123, 0.1}},
        {999.6, kSmooth, {1000, 1}},
        {4999.6, kSmooth, {500, 10}},
        {1.234e-13, kSmooth, {12, 1e-14}},
        {1.5e-14, kSmooth, {2, 1e-14}},
        {1.23456e-14, kSmooth, {1, 1e-14}},
    });
}

TEST(Rounding, ModesOutsideTheSeriesRoundAsSmooth) {
    ExpectRows({
        {1.2345e-9, -1, {123, 1e-11}},
        {1.2345e-9, 4, {123, 1e-11}},
        {1.2345e-9, 7, {123, 1e-11}},
        {1.2345e-9, std::numeric_limits<std::int32_t>::min(), {123, 1e-11}},
    });
}

TEST(Rounding, SpecialInputsInEveryMode) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (std::int32_t mode : {kE6, kE12, kE24, kSmooth, -1, 4}) {
        SCOPED_TRACE(mode);
        for (double belowFloor : {0.0, -0.0, -5.0, 9.9e-15, -inf}) {
            EXPECT_EQ(Bits(RoundToStandardValue(belowFloor, mode)), Bits(0.0)) << belowFloor;
        }
        EXPECT_EQ(Bits(RoundToStandardValue(1e-14, mode)), Bits(1e-14));
        EXPECT_EQ(Bits(RoundToStandardValue(nan, mode)), Bits(1e-14));
    }
    for (std::int32_t mode : {kE6, kE12, kE24}) {
        EXPECT_EQ(RoundToStandardValue(inf, mode), inf) << mode;
    }
    EXPECT_EQ(Bits(RoundToStandardValue(inf, kSmooth)), Bits(0.0));
}

TEST(Rounding, ResultIsNeverNegativeNorNaNAcrossDecades) {
    // A sweep over twenty decades in every mode: each result is a finite,
    // non-negative value within one series step of the input.
    for (std::int32_t mode : qvz_test::kEverySmoothingMode) {
        for (double v = 1.7e-13; v < 1e8; v *= 1.37) {
            const double r = RoundToStandardValue(v, mode);
            ASSERT_FALSE(std::isnan(r)) << v;
            ASSERT_GT(r, 0.0) << v;
            // E6 steps are at most 1.5x apart, so no result strays further.
            ASSERT_LT(r / v, 1.5) << v << " mode " << mode;
            ASSERT_GT(r / v, 1.0 / 1.5) << v << " mode " << mode;
        }
    }
}

}  // namespace
