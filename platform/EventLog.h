// The Application event log: SYSTEM_DIR/eventlog/Application.log, one record
// per line, each also sent to syslog (the journal) under the program's name,
// as a Linux service's messages are found (journalctl -t RingpostSvc).
//
// A record line is: local time TAB type TAB source TAB event id TAB message,
// e.g. "2024-05-01 10:00:00<TAB>Information<TAB>KOVARingpost<TAB>1073741824<TAB>...".
// The message is the text of the event id in the message table of the file
// registered for the source, with the insertion strings filled in; without
// one it names the missing text and lists the strings. CR, LF, TAB and the
// backslash inside a message are written as \r, \n, \t and \\, so a record
// always stays on one line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline constexpr uint16_t kEventError = 1;
inline constexpr uint16_t kEventWarning = 2;
inline constexpr uint16_t kEventInformation = 4;

// Registers `messageFile` (a program carrying a message table; %NAME% is
// expanded) as the message file of `source`, under
// HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\<source>.
int32_t installEventSource(std::string_view source, std::string_view messageFile);
int32_t removeEventSource(std::string_view source);

// An open event source (the stand-in for a registered event-source handle).
class EventSource {
public:
    EventSource() = default;
    // False when the log cannot be opened; the event is then dropped.
    bool open(std::string_view source);
    bool isOpen() const { return !source_.empty(); }
    void close() { source_.clear(); }

    // Appends one record in a single write. False when nothing was written.
    bool report(uint16_t type, uint16_t category, uint32_t eventId, const std::vector<std::string>& strings);

private:
    std::string source_;
};

// The log's file path.
std::string eventLogPath();

// One message to syslog under the program's name, at the priority of an
// event of `type`; line ends become spaces.
void writeToSystemLog(uint16_t type, std::string_view message);

// One record read back from the log.
struct EventRecord {
    std::string time;
    std::string type;  // "Error", "Warning", "Information", ...
    std::string source;
    uint32_t eventId = 0;
    std::string message;  // unescaped
};
std::vector<EventRecord> readEventLog();

// The record's escaping of a message, and back.
std::string escapeEventMessage(std::string_view message);
std::string unescapeEventMessage(std::string_view text);

}  // namespace platform
