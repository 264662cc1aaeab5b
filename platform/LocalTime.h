// The local wall-clock time with the zone's offset from UTC, as a mail Date
// line needs it.
#pragma once

namespace platform {

struct LocalTime {
    int year = 1970;
    int month = 1;     // 1..12
    int day = 1;       // 1..31
    int weekday = 4;   // 0 = Sunday
    int hour = 0;
    int minute = 0;
    int second = 0;
    int utcOffsetMinutes = 0;  // local minus UTC, e.g. +330 for +0530
};

LocalTime localNow();

}  // namespace platform
