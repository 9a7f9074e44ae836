#include "platform/calendar_time.h"

#include <time.h>

namespace qvz {

bool ConvertToLocalTime(std::time_t time, std::tm& out) {
    return localtime_r(&time, &out) != nullptr;
}

bool ConvertToUniversalTime(std::time_t time, std::tm& out) {
    return gmtime_r(&time, &out) != nullptr;
}

}  // namespace qvz
