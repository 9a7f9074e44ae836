// Thread-safe conversion of a calendar time to broken-down time. Each call
// fills the caller's own std::tm, never a buffer shared between threads
// (posix/: localtime_r and gmtime_r; win/: localtime_s and gmtime_s).
#ifndef QVZ_CALENDAR_TIME_H
#define QVZ_CALENDAR_TIME_H

#include <ctime>

namespace qvz {

// Local time in the process's time zone. False when it cannot be converted.
bool ConvertToLocalTime(std::time_t time, std::tm& out);

// Coordinated universal time. False when it cannot be converted.
bool ConvertToUniversalTime(std::time_t time, std::tm& out);

}  // namespace qvz

#endif
