#include "platform/calendar_time.h"

#include <time.h>

namespace qvz {

bool ConvertToLocalTime(std::time_t time, std::tm& out) {
    return localtime_s(&out, &time) == 0;
}

bool ConvertToUniversalTime(std::time_t time, std::tm& out) {
    return gmtime_s(&out, &time) == 0;
}

}  // namespace qvz
