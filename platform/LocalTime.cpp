#include "LocalTime.h"

#include <ctime>

namespace platform {

LocalTime localNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    LocalTime t;
    if (!::localtime_r(&now, &tm)) return t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.weekday = tm.tm_wday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    t.utcOffsetMinutes = static_cast<int>(tm.tm_gmtoff / 60);
    return t;
}

}  // namespace platform
