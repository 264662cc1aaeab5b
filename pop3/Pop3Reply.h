// POP3 status lines (RFC 1939 3): "+OK ..." or "-ERR ...", one line each,
// read exactly so that a multi-line answer behind it stays for its reader;
// during AUTH (RFC 5034) also the server's challenge, "+ " and base64.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class MailSocket;

namespace pop3 {

// No status or capability line needs more (RFC 1939 allows 512 octets); a
// longer one is no answer.
inline constexpr size_t kMaxStatusLine = 64 * 1024;

enum class Status { Ok, Error, Challenge, Malformed };

// The indicator at the start of a status line. Only "+OK" lets a command go
// on; "-ERR" and anything else are answers the caller did not want. A "+"
// without "OK" is a challenge, which only an AUTH exchange asks for.
Status parseStatus(std::string_view line);

// Reads one status line: Success for "+OK", IncorrectResponse for anything
// else, ResponseTimeout when no whole line comes in time or the link breaks.
int32_t readStatus(MailSocket& socket, uint32_t timeoutMs);

// Sends `command` and reads the line that answers it into `line`, for the
// caller to judge: Success when one came. Bytes waiting before it goes out
// answer nothing it asks: they are dropped and the command is answered
// IncorrectResponse without being sent.
int32_t exchangeLine(MailSocket& socket, std::string_view command, uint32_t timeoutMs, std::string& line);

// exchangeLine judged as readStatus judges.
int32_t exchangeStatus(MailSocket& socket, std::string_view command, uint32_t timeoutMs);

}  // namespace pop3
