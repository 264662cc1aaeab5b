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

namespace {

int32_t judged(int32_t r, const std::string& line) {
    if (r != ResultCode::Success) return r;
    return parseStatus(line) == Status::Ok ? ResultCode::Success : ResultCode::IncorrectResponse;
}

}  // namespace

int32_t readStatus(MailSocket& socket, uint32_t timeoutMs) {
    std::string line;
    return judged(socket.ReadLine(line, kMaxStatusLine, timeoutMs), line);
}

int32_t exchangeLine(MailSocket& socket, std::string_view command, uint32_t timeoutMs, std::string& line) {
    line.clear();
    if (socket.DiscardReceived()) return ResultCode::IncorrectResponse;
    const int32_t r = socket.Send(command);
    if (r != ResultCode::Success) return r;
    return socket.ReadLine(line, kMaxStatusLine, timeoutMs);
}

int32_t exchangeStatus(MailSocket& socket, std::string_view command, uint32_t timeoutMs) {
    std::string line;
    return judged(exchangeLine(socket, command, timeoutMs, line), line);
}

}  // namespace pop3
