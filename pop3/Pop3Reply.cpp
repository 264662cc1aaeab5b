#include "Pop3Reply.h"

#include "transport/MailSocket.h"
#include "transport/ResultCodes.h"

namespace pop3 {

Status parseStatus(std::string_view line) {
    if (line.starts_with("+OK")) return Status::Ok;
    if (line.starts_with("-ERR")) return Status::Error;
    if (line.starts_with("+")) return Status::Challenge;
    return Status::Malformed;
}

int32_t readStatus(MailSocket& socket, uint32_t timeoutMs, std::string* line) {
    std::string own;
    std::string& read = line ? *line : own;
    read.clear();
    const int32_t r = socket.ReadLine(read, kMaxStatusLine, timeoutMs);
    if (r != ResultCode::Success) return r;
    return parseStatus(read) == Status::Ok ? ResultCode::Success : ResultCode::IncorrectResponse;
}

int32_t exchangeStatus(MailSocket& socket, std::string_view command, uint32_t timeoutMs, std::string* line) {
    if (line) line->clear();
    if (socket.DiscardReceived()) return ResultCode::IncorrectResponse;
    const int32_t r = socket.Send(command);
    if (r != ResultCode::Success) return r;
    return readStatus(socket, timeoutMs, line);
}

}  // namespace pop3
