#include "Pop3Reply.h"

#include <string>

#include "transport/MailSocket.h"
#include "transport/ResultCodes.h"

namespace pop3 {

namespace {
// No status line needs more (RFC 1939 allows 512 octets); a longer one is no answer.
constexpr size_t kMaxStatusLine = 64 * 1024;
}  // namespace

Status parseStatus(std::string_view line) {
    if (line.starts_with("+OK")) return Status::Ok;
    if (line.starts_with("-ERR")) return Status::Error;
    return Status::Malformed;
}

int32_t readStatus(MailSocket& socket, uint32_t timeoutMs) {
    std::string line;
    const int32_t r = socket.ReadLine(line, kMaxStatusLine, timeoutMs);
    if (r != ResultCode::Success) return r;
    return parseStatus(line) == Status::Ok ? ResultCode::Success : ResultCode::IncorrectResponse;
}

int32_t exchangeStatus(MailSocket& socket, std::string_view command, uint32_t timeoutMs) {
    if (socket.DiscardReceived()) return ResultCode::IncorrectResponse;
    const int32_t r = socket.Send(command);
    if (r != ResultCode::Success) return r;
    return readStatus(socket, timeoutMs);
}

}  // namespace pop3
