// The polling interval from the service key's WaitTimeInMinutes.
#pragma once

#include <cstdint>

namespace platform {
class RegistryKey;
}

inline constexpr uint32_t kDefaultIntervalMinutes = 10;
inline constexpr uint32_t kMinimumIntervalMinutes = 2;
inline constexpr uint32_t kMaximumIntervalMinutes = 60;
inline constexpr uint32_t kMillisecondsPerMinute = 60000;

// Milliseconds for a stored value: absent 10 minutes, otherwise 2..60.
uint32_t IntervalFromMinutes(bool present, uint32_t minutes);

// Milliseconds for the WaitTimeInMinutes value of an open service key; a
// missing value or one that is not a 4-byte number counts as absent.
uint32_t IntervalFromServiceKey(const platform::RegistryKey& key);
