// POP3 status lines (RFC 1939 3): "+OK ..." or "-ERR ...", one line each,
// read exactly so that a multi-line answer behind it stays for its reader.
#pragma once

#include <cstdint>
#include <string_view>

class MailSocket;

namespace pop3 {

enum class Status { Ok, Error, Malformed };

// The indicator at the start of a status line. Only "+OK" lets a command go
// on; "-ERR" and anything else are answers the caller did not want.
Status parseStatus(std::string_view line);

// Reads one status line: Success for "+OK", IncorrectResponse for anything
// else, ResponseTimeout when no whole line comes in time or the link breaks.
int32_t readStatus(MailSocket& socket, uint32_t timeoutMs);

// Sends `command` and reads its status line. Bytes waiting before it goes
// out answer nothing it asks: they are dropped and the command is answered
// IncorrectResponse without being sent.
int32_t exchangeStatus(MailSocket& socket, std::string_view command, uint32_t timeoutMs);

}  // namespace pop3
