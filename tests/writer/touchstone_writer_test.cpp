// Whole files written by WriteTouchstoneFile: the exact bytes, the line
// structure, replacement of old files, failures, the date line and a
// read-back through an independent parser.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "touchstone_writer.h"
#include "writer_test_support.h"
#include "param_names.h"

namespace qvz {
namespace {

using test::FixedClock;
using test::ReadWholeFile;
using test::ScratchDirectory;
using test::SplitCrLfLines;

const std::string kOptionLine = "# Hz S RI R 50";
const std::string kHeaderLine =
    "! Freq "
    "                         S11"
    "                         S21"
    "                         S12"
    "                         S22";

struct Points {
    std::vector<double> f;
    std::vector<ComplexValue> s11, s21, s12, s22;

    void Add(double frequency, ComplexValue a, ComplexValue b, ComplexValue c, ComplexValue d) {
        f.push_back(frequency);
        s11.push_back(a);
        s21.push_back(b);
        s12.push_back(c);
        s22.push_back(d);
    }
    TouchstoneWriteResult WriteTo(const std::string& fileName) const {
        return WriteTouchstoneFile(fileName.c_str(), static_cast<std::int32_t>(f.size()), f.data(),
                                   s11.data(), s21.data(), s12.data(), s22.data());
    }
};

Points WorkedPoint() {
    Points p;
    p.Add(1e9, {0.1, -0.2}, {0.95, 0.0}, {0.95, 0.0}, {-0.05, 0.25});
    return p;
}

TEST(TouchstoneWriter, WorkedPointGivesTheWorkedFileByteForByte) {
    ScratchDirectory dir;
    const std::string name = dir.File("worked.s2p");
    ASSERT_EQ(WorkedPoint().WriteTo(name), TouchstoneWriteResult::kOk);

    const std::vector<std::string> lines = SplitCrLfLines(ReadWholeFile(name));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], kOptionLine);
    EXPECT_EQ(lines[1].substr(0, 8), "! Date: ");
    EXPECT_EQ(lines[1].size(), 8u + 24u);
    EXPECT_EQ(lines[2], kHeaderLine);
    EXPECT_EQ(lines[2].size(), 119u);
    EXPECT_EQ(lines[3],
              "1.000000000E+009"
              "  1.000000000E-001"
              " -2.000000000E-001"
              "  9.500000000E-001"
              "  0.000000000E+000"
              "  9.500000000E-001"
              "  0.000000000E+000"
              " -5.000000000E-002"
              "  2.500000000E-001");
    EXPECT_EQ(lines[3].size(), 160u);
}

TEST(TouchstoneWriter, EveryLineEndsWithCrLfAndNothingFollowsTheLast) {
    ScratchDirectory dir;
    const std::string name = dir.File("crlf.s2p");
    Points p = WorkedPoint();
    p.Add(2e9, {-0.3, 0.4}, {0.5, -0.6}, {0.5, -0.6}, {0.7, 0.0});
    ASSERT_EQ(p.WriteTo(name), TouchstoneWriteResult::kOk);

    const std::string text = ReadWholeFile(name);
    std::size_t lineEnds = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ASSERT_GT(i, 0u);
            EXPECT_EQ(text[i - 1], '\r') << "bare line feed at byte " << i;
            ++lineEnds;
        }
        if (text[i] == '\r') {
            ASSERT_LT(i + 1, text.size());
            EXPECT_EQ(text[i + 1], '\n') << "bare carriage return at byte " << i;
        }
    }
    EXPECT_EQ(lineEnds, 5u);
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_NE(text.substr(text.size() - 4), "\r\n\r\n");
    EXPECT_EQ(text.size(), 16u + 34u + 121u + 162u + 162u);
}

struct ExponentCase {
    double frequency;
    const char* text;
};

class FrequencyExponents : public ::testing::TestWithParam<ExponentCase> {};

TEST_P(FrequencyExponents, AlwaysHaveThreeDigits) {
    ScratchDirectory dir;
    const std::string name = dir.File("exponent.s2p");
    Points p;
    p.Add(GetParam().frequency, {0, 0}, {0, 0}, {0, 0}, {0, 0});
    ASSERT_EQ(p.WriteTo(name), TouchstoneWriteResult::kOk);
    const std::vector<std::string> lines = SplitCrLfLines(ReadWholeFile(name));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3].substr(0, 16), GetParam().text);
    EXPECT_EQ(lines[3].size(), 160u);
}

INSTANTIATE_TEST_SUITE_P(Table, FrequencyExponents,
                         ::testing::Values(ExponentCase{1e9, "1.000000000E+009"},
                                           ExponentCase{1e3, "1.000000000E+003"},
                                           ExponentCase{1.0, "1.000000000E+000"},
                                           ExponentCase{0.5, "5.000000000E-001"},
                                           ExponentCase{3e6, "3.000000000E+006"}),
                         qvz_test::NameByField<&ExponentCase::text>());

struct FieldCase {
    double value;
    const char* field;  // the value field as it must appear, spaces included
};

class ValueFields : public ::testing::TestWithParam<FieldCase> {};

// The sign rule is decided on the number, not on its text.
TEST_P(ValueFields, FollowTheSignRule) {
    ScratchDirectory dir;
    const std::string name = dir.File("field.s2p");
    Points p;
    p.Add(1e9, {GetParam().value, 0.5}, {0, 0}, {0, 0}, {0, 0});
    ASSERT_EQ(p.WriteTo(name), TouchstoneWriteResult::kOk);
    const std::vector<std::string> lines = SplitCrLfLines(ReadWholeFile(name));
    ASSERT_EQ(lines.size(), 4u);
    const std::string field = GetParam().field;
    EXPECT_EQ(lines[3].substr(16, field.size()), field);
    EXPECT_EQ(lines[3].substr(16 + field.size(), 18), "  5.000000000E-001");
}

INSTANTIATE_TEST_SUITE_P(
    Table, ValueFields,
    ::testing::Values(FieldCase{0.0, "  0.000000000E+000"},
                      FieldCase{-0.0, "  -0.000000000E+000"},  // 19 characters
                      FieldCase{-0.2, " -2.000000000E-001"},
                      FieldCase{std::numeric_limits<double>::quiet_NaN(), "  NAN"},
                      FieldCase{std::numeric_limits<double>::infinity(), "  INF"},
                      FieldCase{-std::numeric_limits<double>::infinity(), " -INF"}),
    qvz_test::NameByField<&FieldCase::field>());

class NoDataLines : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(NoDataLines, GiveExactlyThreeLines) {
    ScratchDirectory dir;
    const std::string name = dir.File("empty.s2p");
    const double f[1] = {1e9};
    const ComplexValue v[1] = {{0.5, 0.5}};
    ASSERT_EQ(WriteTouchstoneFile(name.c_str(), GetParam(), f, v, v, v, v),
              TouchstoneWriteResult::kOk);
    const std::string text = ReadWholeFile(name);
    const std::vector<std::string> lines = SplitCrLfLines(text);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], kOptionLine);
    EXPECT_EQ(lines[2], kHeaderLine);
    EXPECT_EQ(text.size(), 16u + 34u + 121u);
}

INSTANTIATE_TEST_SUITE_P(ZeroAndNegative, NoDataLines,
                         ::testing::Values(0, -1, std::numeric_limits<std::int32_t>::min()));

TEST(TouchstoneWriter, ReplacesALongerFileCompletely) {
    ScratchDirectory dir;
    const std::string name = dir.File("replace.s2p");
    {
        std::ofstream old(name, std::ios::binary);
        old << std::string(10000, 'x');
    }
    ASSERT_EQ(WorkedPoint().WriteTo(name), TouchstoneWriteResult::kOk);
    const std::string text = ReadWholeFile(name);
    EXPECT_EQ(text.size(), 16u + 34u + 121u + 162u);
    EXPECT_EQ(text.find('x'), std::string::npos);
}

TEST(TouchstoneWriter, MissingDirectoryLeavesNoFileAndReportsFailure) {
    ScratchDirectory dir;
    const std::filesystem::path missing = dir.Path() / "no_such_dir";
    const std::string name = (missing / "port.s2p").string();
    EXPECT_EQ(WorkedPoint().WriteTo(name), TouchstoneWriteResult::kOpenFailed);
    EXPECT_FALSE(std::filesystem::exists(missing));
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(TouchstoneWriter, EmptyOrMissingNameIsAnOpenFailure) {
    const double f[1] = {1e9};
    const ComplexValue v[1] = {{0.5, 0.5}};
    EXPECT_EQ(WriteTouchstoneFile("", 1, f, v, v, v, v), TouchstoneWriteResult::kOpenFailed);
    EXPECT_EQ(WriteTouchstoneFile(nullptr, 1, f, v, v, v, v), TouchstoneWriteResult::kOpenFailed);
}

TEST(TouchstoneWriter, MissingArrayIsRefusedBeforeTheFileIsTouched) {
    ScratchDirectory dir;
    const std::string name = dir.File("refused.s2p");
    const double f[1] = {1e9};
    const ComplexValue v[1] = {{0.5, 0.5}};
    EXPECT_EQ(WriteTouchstoneFile(name.c_str(), 1, f, v, nullptr, v, v),
              TouchstoneWriteResult::kWriteFailed);
    EXPECT_EQ(WriteTouchstoneFile(name.c_str(), 1, nullptr, v, v, v, v),
              TouchstoneWriteResult::kWriteFailed);
    EXPECT_FALSE(std::filesystem::exists(name));
}

#if defined(__linux__)
// /dev/full opens fine and then fails every write that reaches the device, so
// the first flush fails: the result must say so.
// A failed write (the file system full, here a file-size limit) is
// reported. The device /dev/full is not used for this any more: a device at
// the name is now replaced, not written through.
TEST(TouchstoneWriter, FailedWritesAreReportedAsWriteFailure) {
    ScratchDirectory dir;
    EXPECT_EQ(test::WithFileSizeLimit(
                  100, [&] { return WorkedPoint().WriteTo(dir.File("limited.s2p")); }),
              TouchstoneWriteResult::kWriteFailed);
}
#endif

// S12 is written from S21's text only where the two are the same bits:
// 0 and -0 compare equal but are spelled differently.
TEST(TouchstoneWriter, S12KeepsItsOwnTextWhereItsBitsDifferFromS21) {
    Points p;
    p.Add(1e9, {0.1, -0.2}, {0.0, 0.5}, {-0.0, 0.5}, {-0.05, 0.25});
    ScratchDirectory dir;
    const std::string name = dir.File("sign.s2p");
    ASSERT_EQ(p.WriteTo(name), TouchstoneWriteResult::kOk);
    const std::vector<std::string> lines = SplitCrLfLines(ReadWholeFile(name));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3],
              "1.000000000E+009  1.000000000E-001 -2.000000000E-001"
              "  0.000000000E+000  5.000000000E-001"
              "  -0.000000000E+000  5.000000000E-001"
              " -5.000000000E-002  2.500000000E-001");
}

// The day of the month is zero-filled; the clock is set, never waited for.
class FirstDaysOfTheMonth : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        hadTz_ = tz != nullptr;
        if (hadTz_) savedTz_ = tz;
        SetTimeZone("UTC0");
    }
    void TearDown() override { SetTimeZone(hadTz_ ? savedTz_.c_str() : nullptr); }

    static void SetTimeZone(const char* value) {
#if defined(_WIN32)
        _putenv_s("TZ", value != nullptr ? value : "");
        _tzset();
#else
        if (value != nullptr) {
            setenv("TZ", value, 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
#endif
    }

private:
    bool hadTz_ = false;
    std::string savedTz_;
};

TEST_P(FirstDaysOfTheMonth, ShowTheDayWithALeadingZero) {
    const int day = GetParam();
    // 2026-03-01 is a Sunday; 13:04:05 UTC on day `day` of March 2026.
    const std::time_t march1 = static_cast<std::time_t>(1772323200LL);
    FixedClock clock(march1 + (day - 1) * 86400 + 13 * 3600 + 4 * 60 + 5);
    static const char* const kWeekdays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

    ScratchDirectory dir;
    const std::string name = dir.File("date.s2p");
    ASSERT_EQ(WorkedPoint().WriteTo(name), TouchstoneWriteResult::kOk);
    const std::vector<std::string> lines = SplitCrLfLines(ReadWholeFile(name));
    ASSERT_GE(lines.size(), 2u);
    char expected[64];
    std::snprintf(expected, sizeof expected, "! Date: %s Mar 0%d 13:04:05 2026",
                  kWeekdays[(day - 1) % 7], day);
    EXPECT_EQ(lines[1], expected);
}

INSTANTIATE_TEST_SUITE_P(OneToNine, FirstDaysOfTheMonth, ::testing::Range(1, 10));

// An independent reader: whitespace-separated tokens parsed with strtod.
struct ParsedPoint {
    double values[9];
};

std::vector<ParsedPoint> ParseTouchstone(const std::string& text) {
    std::vector<ParsedPoint> points;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#' || line[0] == '!') continue;
        ParsedPoint p{};
        const char* cursor = line.c_str();
        for (double& v : p.values) {
            char* end = nullptr;
            v = std::strtod(cursor, &end);
            EXPECT_NE(end, cursor) << "not a number in: " << line;
            cursor = end;
        }
        EXPECT_STREQ(cursor, "") << "trailing text in: " << line;
        points.push_back(p);
    }
    return points;
}

std::string TenDigits(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9e", value);
    return text;
}

TEST(TouchstoneWriter, IndependentReaderGetsTheSameNumbersToTenDigits) {
    std::mt19937_64 random(42);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_real_distribution<double> logFrequency(0.0, 11.0);
    Points p;
    for (int i = 0; i < 500; ++i) {
        auto value = [&] { return ComplexValue{unit(random), unit(random) * 1e-3}; };
        p.Add(std::pow(10.0, logFrequency(random)), value(), value(), value(), value());
    }
    ScratchDirectory dir;
    const std::string name = dir.File("readback.s2p");
    ASSERT_EQ(p.WriteTo(name), TouchstoneWriteResult::kOk);

    const std::vector<ParsedPoint> parsed = ParseTouchstone(ReadWholeFile(name));
    ASSERT_EQ(parsed.size(), p.f.size());
    for (std::size_t i = 0; i < parsed.size(); ++i) {
        const double want[9] = {p.f[i],      p.s11[i].re, p.s11[i].im, p.s21[i].re, p.s21[i].im,
                                p.s12[i].re, p.s12[i].im, p.s22[i].re, p.s22[i].im};
        for (int k = 0; k < 9; ++k) {
            ASSERT_EQ(TenDigits(parsed[i].values[k]), TenDigits(want[k]))
                << "point " << i << " column " << k;
        }
    }
}

}  // namespace
}  // namespace qvz
