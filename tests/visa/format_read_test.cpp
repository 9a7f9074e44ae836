#include "visa/format_read.h"

#include <ostream>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>
#include "param_names.h"

namespace qvz::visa {
namespace {

ViStatus Scan(const std::string& message, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const ViStatus status = ScanMessage(message.data(), message.size(), format, &args);
    va_end(args);
    return status;
}

// --- %d and %ld ------------------------------------------------------------

struct IntCase {
    const char* message;
    const char* format;
    ViStatus status;
    std::int32_t value;  // expected when VI_SUCCESS
};

// Names the case in test listings (instead of its raw bytes).
void PrintTo(const IntCase& c, std::ostream* os) {
    *os << '"' << c.message << '"';
}

class ReadIntTest : public ::testing::TestWithParam<IntCase> {};

TEST_P(ReadIntTest, FillsOneInt32) {
    const IntCase& c = GetParam();
    // The neighbours catch a conversion that writes a C long (8 bytes).
    std::int32_t slots[3] = {111, 222, 333};
    EXPECT_EQ(Scan(c.message, c.format, &slots[1]), c.status) << c.message;
    EXPECT_EQ(slots[0], 111);
    EXPECT_EQ(slots[2], 333);
    if (c.status == VI_SUCCESS) {
        EXPECT_EQ(slots[1], c.value) << c.message;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadIntTest,
    ::testing::Values(
        IntCase{"1", "%d", VI_SUCCESS, 1}, IntCase{"201", "%ld", VI_SUCCESS, 201},
        IntCase{"  +42", "%d", VI_SUCCESS, 42}, IntCase{"-7", "%ld", VI_SUCCESS, -7},
        IntCase{"2147483647", "%ld", VI_SUCCESS, 2147483647},
        IntCase{"-2147483648", "%ld", VI_SUCCESS, -2147483647 - 1},
        IntCase{"12abc", "%d", VI_SUCCESS, 12}, IntCase{"1.000000E+00", "%d", VI_SUCCESS, 1},
        IntCase{"2147483648", "%ld", VI_ERROR_INV_FMT, 0},
        IntCase{"-2147483649", "%d", VI_ERROR_INV_FMT, 0},
        IntCase{"99999999999999999999", "%d", VI_ERROR_INV_FMT, 0},
        IntCase{"", "%d", VI_ERROR_INV_FMT, 0}, IntCase{"   ", "%d", VI_ERROR_INV_FMT, 0},
        IntCase{"abc", "%d", VI_ERROR_INV_FMT, 0}, IntCase{"+", "%d", VI_ERROR_INV_FMT, 0},
        IntCase{"- 5", "%d", VI_ERROR_INV_FMT, 0}, IntCase{"CH 3", "CH %d", VI_SUCCESS, 3},
        IntCase{"CH3", "CH %d", VI_SUCCESS, 3}, IntCase{"XX 3", "CH %d", VI_ERROR_INV_FMT, 0}),
    qvz_test::NameByField<&IntCase::message>());

// --- %lf -------------------------------------------------------------------

struct DoubleCase {
    const char* message;
    ViStatus status;
    double value;
};

// Names the case in test listings (instead of its raw bytes).
void PrintTo(const DoubleCase& c, std::ostream* os) {
    *os << '"' << c.message << '"';
}

class ReadDoubleTest : public ::testing::TestWithParam<DoubleCase> {};

TEST_P(ReadDoubleTest, FillsOneDouble) {
    const DoubleCase& c = GetParam();
    double value = -12345.0;
    EXPECT_EQ(Scan(c.message, "%lf", &value), c.status) << c.message;
    if (c.status == VI_SUCCESS) {
        EXPECT_EQ(value, c.value) << c.message;
    } else {
        EXPECT_EQ(value, -12345.0) << "an unfilled conversion leaves its argument alone";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadDoubleTest,
    ::testing::Values(
        DoubleCase{"1e9", VI_SUCCESS, 1e9}, DoubleCase{"+1.00000000000E+009", VI_SUCCESS, 1e9},
        DoubleCase{" -2.5", VI_SUCCESS, -2.5}, DoubleCase{"300000", VI_SUCCESS, 300000.0},
        DoubleCase{"0.1", VI_SUCCESS, 0.1}, DoubleCase{"9.9E37", VI_SUCCESS, 9.9e37},
        DoubleCase{"1.0000000000000002", VI_SUCCESS, 1.0000000000000002},
        DoubleCase{"4.9406564584124654e-324", VI_SUCCESS, 4.9406564584124654e-324},
        DoubleCase{"", VI_ERROR_INV_FMT, 0}, DoubleCase{"x1", VI_ERROR_INV_FMT, 0},
        DoubleCase{"+-1", VI_ERROR_INV_FMT, 0}, DoubleCase{"++1", VI_ERROR_INV_FMT, 0},
        DoubleCase{"1e999", VI_ERROR_INV_FMT, 0}),
    qvz_test::NameByField<&DoubleCase::message>());

// --- %,#lf -----------------------------------------------------------------

struct ListCase {
    const char* message;
    std::int32_t capacity;
    ViStatus status;
    std::vector<double> values;  // what must be read (count = size)
};

// Names the case in test listings (instead of its raw bytes).
void PrintTo(const ListCase& c, std::ostream* os) {
    *os << '"' << c.message << '"';
}

class ReadListTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(ReadListTest, ReadsUpToCapacityAndNeverPast) {
    const ListCase& c = GetParam();
    constexpr double kSentinel = -777.0;
    std::vector<double> array(static_cast<std::size_t>(c.capacity) + 4, kSentinel);
    std::int32_t count = c.capacity;
    EXPECT_EQ(Scan(c.message, "%,#lf", &count, array.data()), c.status) << c.message;
    if (c.status != VI_SUCCESS) {
        return;
    }
    ASSERT_EQ(count, static_cast<std::int32_t>(c.values.size())) << c.message;
    for (std::size_t i = 0; i < c.values.size(); ++i) {
        EXPECT_EQ(array[i], c.values[i]) << c.message << " value " << i;
    }
    for (std::size_t i = c.values.size(); i < array.size(); ++i) {
        EXPECT_EQ(array[i], kSentinel) << c.message << ": written past the values at " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadListTest,
    ::testing::Values(ListCase{"1,2,3", 3, VI_SUCCESS, {1, 2, 3}},
                      ListCase{"1e9,+2.5E+009,-3", 3, VI_SUCCESS, {1e9, 2.5e9, -3}},
                      ListCase{"1 , 2 ,3", 3, VI_SUCCESS, {1, 2, 3}},
                      ListCase{"1,2,3,4,5", 3, VI_SUCCESS, {1, 2, 3}},
                      ListCase{"1,2", 5, VI_SUCCESS, {1, 2}}, ListCase{"7", 1, VI_SUCCESS, {7}},
                      ListCase{"1,2,", 5, VI_SUCCESS, {1, 2}},
                      ListCase{"1,2,x", 5, VI_SUCCESS, {1, 2}}, ListCase{"1;2", 5, VI_SUCCESS, {1}},
                      ListCase{"", 0, VI_SUCCESS, {}}, ListCase{"1,2", 0, VI_SUCCESS, {}},
                      ListCase{"", 3, VI_ERROR_INV_FMT, {}},
                      ListCase{"abc", 3, VI_ERROR_INV_FMT, {}}),
    qvz_test::NameByField<&ListCase::message>());

TEST(ReadList, NegativeCapacityIsRefused) {
    double array[2] = {};
    std::int32_t count = -1;
    EXPECT_EQ(Scan("1,2", "%,#lf", &count, array), VI_ERROR_INV_PARAMETER);
    EXPECT_EQ(array[0], 0.0);
}

TEST(ReadList, HundredThousandAndOneValues) {
    constexpr std::int32_t kPoints = 100001;
    std::string message;
    std::vector<double> expected;
    char number[32];
    for (std::int32_t i = 0; i < kPoints; ++i) {
        const double f = 300e3 + i * (8.5e9 - 300e3) / (kPoints - 1);
        expected.push_back(f);
        std::snprintf(number, sizeof number, "%s%.17g", i == 0 ? "" : ",", f);
        message += number;
    }
    std::vector<double> array(kPoints + 1, -1.0);
    std::int32_t count = kPoints;
    ASSERT_EQ(Scan(message, "%,#lf", &count, array.data()), VI_SUCCESS);
    ASSERT_EQ(count, kPoints);
    for (std::int32_t i = 0; i < kPoints; ++i) {
        ASSERT_EQ(array[static_cast<std::size_t>(i)], expected[static_cast<std::size_t>(i)]) << i;
    }
    EXPECT_EQ(array[kPoints], -1.0);
}

// --- %N[set] ---------------------------------------------------------------

struct SetCase {
    const char* message;
    const char* format;
    std::size_t width;
    ViStatus status;
    const char* text;
};

// Names the case in test listings (instead of its raw bytes).
void PrintTo(const SetCase& c, std::ostream* os) {
    *os << '"' << c.message << '"';
}

class ReadSetTest : public ::testing::TestWithParam<SetCase> {};

TEST_P(ReadSetTest, CopiesAtMostWidthCharactersAndATerminator) {
    const SetCase& c = GetParam();
    std::vector<char> buffer(c.width + 8, '#');
    EXPECT_EQ(Scan(c.message, c.format, buffer.data()), c.status) << c.message;
    if (c.status != VI_SUCCESS) {
        return;
    }
    EXPECT_STREQ(buffer.data(), c.text) << c.message;
    for (std::size_t i = c.width + 1; i < buffer.size(); ++i) {
        EXPECT_EQ(buffer[i], '#') << c.message << ": written past width + 1 at " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ReadSetTest,
                         ::testing::Values(SetCase{"No error\"", "%256[^\"]", 256, VI_SUCCESS,
                                                   "No error"},
                                           SetCase{"\"", "%256[^\"]", 256, VI_SUCCESS, ""},
                                           SetCase{"", "%256[^\"]", 256, VI_SUCCESS, ""},
                                           SetCase{"abcdefgh", "%4[^\"]", 4, VI_SUCCESS, "abcd"},
                                           SetCase{"abc123", "%10[a-z]", 10, VI_SUCCESS, "abc"},
                                           SetCase{"123abc", "%10[a-z]", 10, VI_SUCCESS, ""},
                                           SetCase{"a-b-c+", "%10[-a-c]", 10, VI_SUCCESS, "a-b-c"},
                                           SetCase{"]]x", "%10[]]", 10, VI_SUCCESS, "]]"},
                                           SetCase{"ab]cd", "%10[^]]", 10, VI_SUCCESS, "ab"},
                                           SetCase{"  lead", "%10[^\"]", 10, VI_SUCCESS, "  lead"},
                                           SetCase{"x", "%1[x]", 1, VI_SUCCESS, "x"}),
                         qvz_test::NameByField<&SetCase::message>());

// --- whole formats ---------------------------------------------------------

struct ErrorEntryCase {
    const char* message;
    ViStatus status;
    std::int32_t number;
    const char* text;
};

// Names the case in test listings (instead of its raw bytes).
void PrintTo(const ErrorEntryCase& c, std::ostream* os) {
    const std::string message = c.message;
    *os << '"' << (message.size() > 40 ? message.substr(0, 40) + "..." : message) << '"';
}

class ReadErrorEntryTest : public ::testing::TestWithParam<ErrorEntryCase> {};

TEST_P(ReadErrorEntryTest, ParsesTheErrorQueueFormat) {
    const ErrorEntryCase& c = GetParam();
    std::int32_t number = 12345;
    char text[257];
    std::memset(text, '#', sizeof text);
    EXPECT_EQ(Scan(c.message, "%ld,\"%256[^\"]", &number, text), c.status) << c.message;
    if (c.status == VI_SUCCESS) {
        EXPECT_EQ(number, c.number);
        EXPECT_STREQ(text, c.text);
    }
}

const std::string kLongMessage = "0,\"" + std::string(300, 'm') + "\"";

INSTANTIATE_TEST_SUITE_P(
    Table, ReadErrorEntryTest,
    ::testing::Values(
        ErrorEntryCase{"0,\"No error\"", VI_SUCCESS, 0, "No error"},
        ErrorEntryCase{"+0,\"No error\"", VI_SUCCESS, 0, "No error"},
        ErrorEntryCase{"-256,\"File name not found\"", VI_SUCCESS, -256, "File name not found"},
        ErrorEntryCase{"1,\"\"", VI_SUCCESS, 1, ""},
        ErrorEntryCase{"2147483647,\"x\"", VI_SUCCESS, 2147483647, "x"},
        ErrorEntryCase{"0,\"unterminated", VI_SUCCESS, 0, "unterminated"},
        ErrorEntryCase{
            kLongMessage.c_str(), VI_SUCCESS, 0,
            "mmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmm"
            "mmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmm"
            "mmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmmm"
            "mmmmmmmmmmmmmmmmmmmmmm"},
        // Literal mismatches ahead of a conversion leave it unfilled.
        ErrorEntryCase{"0;\"No error\"", VI_ERROR_INV_FMT, 0, ""},
        ErrorEntryCase{"0,No error", VI_ERROR_INV_FMT, 0, ""},
        ErrorEntryCase{"0", VI_ERROR_INV_FMT, 0, ""}, ErrorEntryCase{"", VI_ERROR_INV_FMT, 0, ""},
        ErrorEntryCase{"\"No error\"", VI_ERROR_INV_FMT, 0, ""}),
    qvz_test::NameByField<&ErrorEntryCase::message>());

TEST(ReadFormat, ConversionsFillInOrder) {
    std::int32_t a = 0;
    std::int32_t b = 0;
    double d = 0;
    char word[8];
    EXPECT_EQ(Scan("  7 ; -2 :  3.5 tail", "%d ; %ld : %lf %7[a-z]", &a, &b, &d, word), VI_SUCCESS);
    EXPECT_EQ(a, 7);
    EXPECT_EQ(b, -2);
    EXPECT_EQ(d, 3.5);
    EXPECT_STREQ(word, "tail");
}

TEST(ReadFormat, ATrailingLiteralThatDoesNotMatchCostsNothing) {
    std::int32_t value = 0;
    EXPECT_EQ(Scan("5", "%d;", &value), VI_SUCCESS);
    EXPECT_EQ(value, 5);
    EXPECT_EQ(Scan("", ""), VI_SUCCESS);
    EXPECT_EQ(Scan("100%", "%d%%", &value), VI_SUCCESS);
    EXPECT_EQ(value, 100);
}

TEST(ReadFormat, NullArgumentsAreRefused) {
    EXPECT_EQ(Scan("1", "%d", static_cast<std::int32_t*>(nullptr)), VI_ERROR_USER_BUF);
    EXPECT_EQ(Scan("1", "%lf", static_cast<double*>(nullptr)), VI_ERROR_USER_BUF);
    EXPECT_EQ(Scan("x", "%4[x]", static_cast<char*>(nullptr)), VI_ERROR_USER_BUF);
    double array[1];
    EXPECT_EQ(Scan("1", "%,#lf", static_cast<std::int32_t*>(nullptr), array), VI_ERROR_USER_BUF);
    std::int32_t count = 1;
    EXPECT_EQ(Scan("1", "%,#lf", &count, static_cast<double*>(nullptr)), VI_ERROR_USER_BUF);
}

struct FormatCase {
    const char* format;
    ViStatus status;
};

// Names the case in test listings (instead of its raw bytes).
void PrintTo(const FormatCase& c, std::ostream* os) {
    *os << '"' << c.format << '"';
}

class ReadFormatValidationTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(ReadFormatValidationTest, RefusesWhatItCannotDoBeforeStoringAnything) {
    const FormatCase& c = GetParam();
    EXPECT_EQ(ValidateReadFormat(c.format), c.status) << c.format;
    // The scan refuses too, and before the first conversion stores anything.
    std::int32_t first = -1;
    char spare[64] = {};
    if (c.status != VI_SUCCESS) {
        EXPECT_EQ(Scan("5 5 5 5", c.format, &first, spare, spare, spare), c.status) << c.format;
        EXPECT_EQ(first, -1) << c.format;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadFormatValidationTest,
    ::testing::Values(
        FormatCase{"%d", VI_SUCCESS}, FormatCase{"%ld,\"%256[^\"]", VI_SUCCESS},
        FormatCase{"%,#lf", VI_SUCCESS}, FormatCase{"%d %f", VI_ERROR_NSUP_FMT},
        FormatCase{"%d %s", VI_ERROR_NSUP_FMT}, FormatCase{"%d %c", VI_ERROR_NSUP_FMT},
        FormatCase{"%d %hd", VI_ERROR_NSUP_FMT}, FormatCase{"%d %5d", VI_ERROR_NSUP_FMT},
        FormatCase{"%d %*d", VI_ERROR_NSUP_FMT}, FormatCase{"%d %#lf", VI_ERROR_NSUP_FMT},
        FormatCase{"%d %,lf", VI_ERROR_NSUP_FMT}, FormatCase{"%d %[abc]", VI_ERROR_NSUP_FMT},
        FormatCase{"%d %0[abc]", VI_ERROR_NSUP_FMT},
        FormatCase{"%d %99999999999[abc]", VI_ERROR_NSUP_FMT},
        FormatCase{"%d %4[abc", VI_ERROR_INV_FMT}, FormatCase{"%d %", VI_ERROR_INV_FMT}),
    qvz_test::NameByField<&FormatCase::format>());

TEST(ReadFormat, NullFormatIsInvalid) {
    EXPECT_EQ(ValidateReadFormat(nullptr), VI_ERROR_INV_FMT);
    EXPECT_EQ(ScanMessageF("1", 1, nullptr), VI_ERROR_INV_FMT);
}

TEST(ReadFormat, ScansOnlyTheGivenBytes) {
    // The message is a view into a larger buffer; nothing past its end counts.
    const char buffer[] = "12345";
    std::int32_t value = 0;
    EXPECT_EQ(ScanMessageF(buffer, 2, "%d", &value), VI_SUCCESS);
    EXPECT_EQ(value, 12);
    double d = 0;
    EXPECT_EQ(ScanMessageF(buffer, 3, "%lf", &d), VI_SUCCESS);
    EXPECT_EQ(d, 123.0);
}

}  // namespace
}  // namespace qvz::visa
