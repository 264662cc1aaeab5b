// Message tables: the texts a program carries for its event ids, as a
// resource inside the program file, so that the event log can format an event
// from the file registered for its source.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Defines a program's message table. ENTRIES is a sequence of
// RINGPOST_MESSAGE(id, "text") string literals.
#define RINGPOST_MESSAGE(id, text) #id "\x1F" text "\x1E"
#define RINGPOST_MESSAGE_TABLE(name, entries) \
    extern const char name[];                  \
    [[gnu::used]] const char name[] = "\x01RINGPOST-MESSAGE-TABLE\x02" entries "\x03"

using MessageTable = std::map<uint32_t, std::string>;

// Finds and reads the message table inside a program file's bytes (or a
// table's own text). False when there is none.
bool parseMessageTable(std::string_view bytes, MessageTable& out);
bool loadMessageTable(const std::string& programFile, MessageTable& out);

// Fills in %1 .. %99 from `strings` (a missing one stays as written), "%%" is
// one '%'.
std::string formatMessage(std::string_view text, const std::vector<std::string>& strings);

}  // namespace platform
