// The date line's text, "Www Mmm dd hh:mm:ss yyyy", always in English and
// always 24 characters, independent of the process's locale.
#ifndef QVZ_TOUCHSTONE_DATE_TEXT_H
#define QVZ_TOUCHSTONE_DATE_TEXT_H

#include <cstddef>
#include <ctime>

namespace qvz {

constexpr std::size_t kDateTextLength = 24;

// Used when neither local time nor UTC can be had.
constexpr const char* kFallbackDateText = "Thu Jan 01 00:00:00 1970";

// Writes `time` as the date text (day zero-filled) into `out`, which must
// hold kDateTextLength characters; no terminator. False, with `out`
// untouched, when a field is out of range (including years beyond 9999).
bool FormatDateText(const std::tm& time, char* out);

// The date text of `now` in local time; in UTC when local time cannot be
// had; kFallbackDateText when neither can (also for (std::time_t)-1, the
// C library's "time unavailable").
void DateTextFor(std::time_t now, char* out);

}  // namespace qvz

#endif
