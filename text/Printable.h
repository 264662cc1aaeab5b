// Text that came with mail (subjects, addresses, names), made safe to print
// in the progress log: a sender must not be able to move the cursor, clear a
// line or start a new one that looks like the engine's own.
#pragma once

#include <string>
#include <string_view>

namespace text {

// Control bytes become C-style escapes: "\r", "\n", "\t", else "\xHH" with
// upper-case hex (ESC is "\x1B", DEL "\x7F"), and so do the C1 controls,
// whether raw (0x80-0x9F) or UTF-8 encoded (C2 80 to C2 9F, "\xC2\x9B").
// A backslash becomes "\\", so an escape in the log is never the sender's
// own text. Everything else, UTF-8 included, is kept.
std::string printable(std::string_view s);
// The same for at most the first `maxBytes` bytes of `s` (never a UTF-8
// character cut in two), followed by "..." when anything was left out.
std::string printable(std::string_view s, size_t maxBytes);

}  // namespace text
