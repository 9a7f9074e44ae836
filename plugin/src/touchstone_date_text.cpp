#include "touchstone_date_text.h"

#include <cstring>

#include "platform/calendar_time.h"

namespace qvz {
namespace {

// Tables rather than strftime: the analyzer expects English names whatever
// locale the host process runs in.
constexpr const char* kWeekdayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr int kTmYearBase = 1900;
constexpr int kLargestFourDigitYear = 9999;

bool InRange(int value, int low, int high) {
    return value >= low && value <= high;
}

char* PutName(char* cursor, const char* name) {
    std::memcpy(cursor, name, 3);
    return cursor + 3;
}

char* PutDigits(char* cursor, int value, int width) {
    for (int position = width - 1; position >= 0; --position) {
        cursor[position] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return cursor + width;
}

}  // namespace

bool FormatDateText(const std::tm& time, char* out) {
    // 60 allows a leap second; the year must fit its four digits.
    if (!InRange(time.tm_wday, 0, 6) || !InRange(time.tm_mon, 0, 11) ||
        !InRange(time.tm_mday, 1, 31) || !InRange(time.tm_hour, 0, 23) ||
        !InRange(time.tm_min, 0, 59) || !InRange(time.tm_sec, 0, 60) ||
        !InRange(time.tm_year, -kTmYearBase, kLargestFourDigitYear - kTmYearBase)) {
        return false;
    }
    const int year = time.tm_year + kTmYearBase;

    char text[kDateTextLength];
    char* cursor = text;
    cursor = PutName(cursor, kWeekdayNames[time.tm_wday]);
    *cursor++ = ' ';
    cursor = PutName(cursor, kMonthNames[time.tm_mon]);
    *cursor++ = ' ';
    cursor = PutDigits(cursor, time.tm_mday, 2);
    *cursor++ = ' ';
    cursor = PutDigits(cursor, time.tm_hour, 2);
    *cursor++ = ':';
    cursor = PutDigits(cursor, time.tm_min, 2);
    *cursor++ = ':';
    cursor = PutDigits(cursor, time.tm_sec, 2);
    *cursor++ = ' ';
    PutDigits(cursor, year, 4);
    std::memcpy(out, text, kDateTextLength);
    return true;
}

void DateTextFor(std::time_t now, char* out) {
    if (now != static_cast<std::time_t>(-1)) {
        std::tm broken{};
        if (ConvertToLocalTime(now, broken) && FormatDateText(broken, out)) {
            return;
        }
        broken = std::tm{};
        if (ConvertToUniversalTime(now, broken) && FormatDateText(broken, out)) {
            return;
        }
    }
    std::memcpy(out, kFallbackDateText, kDateTextLength);
}

}  // namespace qvz
