// Writing the engine's starts, stops and failures to the event log under
// the source "KOVARingpost".
#pragma once

#include <cstdint>
#include <string>

inline constexpr uint16_t EVENTLOG_ERROR_TYPE = 1;
inline constexpr uint16_t EVENTLOG_WARNING_TYPE = 2;
inline constexpr uint16_t EVENTLOG_INFORMATION_TYPE = 4;

// Event id 0 and error code 0 take the last system error as the code.
void LogEvent(uint32_t eventId, uint32_t errorCode, const std::string& text, uint16_t eventType);
