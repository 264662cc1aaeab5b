// Result codes returned by every export of both mail libraries. 0 is success,
// failures are negative; the values are part of the library contract.
#pragma once

#include <cstdint>

namespace ResultCode {

inline constexpr int32_t Success = 0;
inline constexpr int32_t PortNotOpened = -3;
inline constexpr int32_t ThreadNotCreated = -11;
inline constexpr int32_t OutOfMemory = -14;
inline constexpr int32_t IncorrectResponse = -17;
inline constexpr int32_t ResponseTimeout = -18;
inline constexpr int32_t NotLoggedIn = -19;
inline constexpr int32_t InvalidParameter = -20;
inline constexpr int32_t NullPointer = -21;
inline constexpr int32_t FileNotOpened = -23;
inline constexpr int32_t HeaderIncomplete = -24;
inline constexpr int32_t FileNotCreated = -25;
inline constexpr int32_t WriteError = -26;
inline constexpr int32_t RemoveFailed = -27;
inline constexpr int32_t RenameFailed = -28;
inline constexpr int32_t DecodeFailed = -30;
// Internal result of MailSocket::ReadUntil; never returned by an export.
inline constexpr int32_t TerminatorFound = -35;

}  // namespace ResultCode
