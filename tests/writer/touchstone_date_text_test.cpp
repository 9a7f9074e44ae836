// The date line's text: English names from tables, day zero-filled, and the
// fallbacks when a time cannot be converted.
#include <ostream>

#include <gtest/gtest.h>

#include <ctime>
#include <limits>
#include <string>

#include "touchstone_date_text.h"
#include "param_names.h"

namespace qvz {
namespace {

std::tm Make(int year, int month0, int day, int weekday, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month0;
    t.tm_mday = day;
    t.tm_wday = weekday;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

std::string Text(const std::tm& t) {
    char out[kDateTextLength] = {};
    if (!FormatDateText(t, out)) {
        return "<rejected>";
    }
    return std::string(out, kDateTextLength);
}

struct DateCase {
    std::tm time;
    const char* text;
};

// Names the case in test listings (instead of its raw bytes).
void PrintTo(const DateCase& c, std::ostream* os) {
    *os << '"' << c.text << '"';
}

class DateTexts : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateTexts, Format) {
    EXPECT_EQ(Text(GetParam().time), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DateTexts,
    ::testing::Values(DateCase{Make(2026, 11, 6, 0, 22, 1, 43), "Sun Dec 06 22:01:43 2026"},
                      DateCase{Make(2024, 0, 1, 1, 0, 0, 0), "Mon Jan 01 00:00:00 2024"},
                      DateCase{Make(2024, 1, 29, 4, 23, 59, 59), "Thu Feb 29 23:59:59 2024"},
                      DateCase{Make(1999, 2, 9, 2, 9, 8, 7), "Tue Mar 09 09:08:07 1999"},
                      DateCase{Make(2030, 3, 10, 3, 12, 0, 0), "Wed Apr 10 12:00:00 2030"},
                      DateCase{Make(2025, 4, 2, 5, 1, 2, 3), "Fri May 02 01:02:03 2025"},
                      DateCase{Make(2025, 5, 7, 6, 13, 14, 15), "Sat Jun 07 13:14:15 2025"},
                      DateCase{Make(2025, 6, 31, 4, 0, 0, 0), "Thu Jul 31 00:00:00 2025"},
                      DateCase{Make(2025, 7, 15, 5, 0, 0, 0), "Fri Aug 15 00:00:00 2025"},
                      DateCase{Make(2025, 8, 30, 2, 0, 0, 0), "Tue Sep 30 00:00:00 2025"},
                      DateCase{Make(2025, 9, 3, 5, 0, 0, 0), "Fri Oct 03 00:00:00 2025"},
                      DateCase{Make(2025, 10, 4, 2, 0, 0, 60), "Tue Nov 04 00:00:60 2025"},
                      DateCase{Make(812, 0, 1, 0, 0, 0, 0), "Sun Jan 01 00:00:00 0812"},
                      // Out-of-range fields would index past the name tables or break the
                      // fixed width; they are refused.
                      DateCase{Make(2025, 12, 1, 0, 0, 0, 0), "<rejected>"},
                      DateCase{Make(2025, -1, 1, 0, 0, 0, 0), "<rejected>"},
                      DateCase{Make(2025, 0, 1, 7, 0, 0, 0), "<rejected>"},
                      DateCase{Make(2025, 0, 0, 0, 0, 0, 0), "<rejected>"},
                      DateCase{Make(2025, 0, 1, 0, 24, 0, 0), "<rejected>"},
                      DateCase{Make(10000, 0, 1, 0, 0, 0, 0), "<rejected>"},
                      DateCase{Make(-1, 0, 1, 0, 0, 0, 0), "<rejected>"}),
    qvz_test::NameByField<&DateCase::text>());

TEST(DateTextFor, UnavailableTimeGivesTheFixedText) {
    char out[kDateTextLength];
    DateTextFor(static_cast<std::time_t>(-1), out);
    EXPECT_EQ(std::string(out, kDateTextLength), kFallbackDateText);
}

TEST(DateTextFor, TimeBeyondFourDigitYearsFallsBackToTheFixedText) {
    // Neither local time nor UTC of this moment fits the date line (its year
    // has more than four digits, or the conversion itself fails).
    char out[kDateTextLength];
    DateTextFor(std::numeric_limits<std::time_t>::max(), out);
    EXPECT_EQ(std::string(out, kDateTextLength), kFallbackDateText);
    DateTextFor(static_cast<std::time_t>(400000000000LL), out);  // year 14645
    EXPECT_EQ(std::string(out, kDateTextLength), kFallbackDateText);
}

TEST(DateTextFor, OrdinaryTimeHasTheDateShape) {
    char out[kDateTextLength];
    DateTextFor(static_cast<std::time_t>(1767225600LL), out);  // 2026-01-01 00:00 UTC
    const std::string text(out, kDateTextLength);
    EXPECT_NE(text, kFallbackDateText);
    EXPECT_EQ(text[3], ' ');
    EXPECT_EQ(text[13], ':');
    EXPECT_EQ(text[16], ':');
    EXPECT_TRUE(text.substr(20) == "2025" || text.substr(20) == "2026") << text;
}

}  // namespace
}  // namespace qvz
