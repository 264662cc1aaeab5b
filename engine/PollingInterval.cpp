#include "PollingInterval.h"

#include <algorithm>

#include "platform/Registry.h"

uint32_t IntervalFromMinutes(bool present, uint32_t minutes) {
    if (!present) return kDefaultIntervalMinutes * kMillisecondsPerMinute;
    return std::clamp(minutes, kMinimumIntervalMinutes, kMaximumIntervalMinutes) * kMillisecondsPerMinute;
}

uint32_t IntervalFromServiceKey(const platform::RegistryKey& key) {
    uint32_t type = 0;
    uint8_t data[4] = {};
    uint32_t size = sizeof data;
    const int32_t rc = platform::regQueryValue(key, "WaitTimeInMinutes", type, data, size);
    // The value is read as 4 bytes: a longer one fails ("more data") and
    // counts as unreadable, as does any other size.
    const bool present = rc == platform::kRegOk && size == 4 && type != platform::REG_DWORD_BIG_ENDIAN;
    uint32_t minutes = 0;
    if (present)
        minutes = uint32_t{data[0]} | uint32_t{data[1]} << 8 | uint32_t{data[2]} << 16 | uint32_t{data[3]} << 24;
    return IntervalFromMinutes(present, minutes);
}
