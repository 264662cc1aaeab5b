#include "SmtpReply.h"

#include "platform/Clock.h"
#include "transport/MailSocket.h"
#include "transport/ResultCodes.h"

namespace smtp {

namespace {

bool digit(char c) { return c >= '0' && c <= '9'; }

std::string_view withoutLineEnd(std::string_view line) {
    if (line.ends_with('\n')) line.remove_suffix(1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    return line;
}

// 1 to 3 digits at `at`; the value, or -1.
int number(std::string_view text, size_t& at) {
    int value = 0;
    size_t n = 0;
    while (at < text.size() && digit(text[at]) && n < 3) {
        value = value * 10 + (text[at++] - '0');
        ++n;
    }
    if (n == 0 || (at < text.size() && digit(text[at]))) return -1;
    return value;
}

// "5.1.1" or "5.1.1 text" at the start of a line's text.
EnhancedStatus enhancedStatus(std::string_view text) {
    if (text.size() < 5 || (text[0] != '2' && text[0] != '4' && text[0] != '5') || text[1] != '.') return {};
    size_t at = 2;
    const int subject = number(text, at);
    if (subject < 0 || at >= text.size() || text[at] != '.') return {};
    ++at;
    const int detail = number(text, at);
    if (detail < 0 || (at < text.size() && text[at] != ' ')) return {};
    return {text[0] - '0', subject, detail};
}

}  // namespace

std::string EnhancedStatus::text() const {
    if (!present()) return {};
    return std::to_string(klass) + "." + std::to_string(subject) + "." + std::to_string(detail);
}

std::string Reply::text() const {
    std::string out;
    for (const auto& line : lines) {
        if (!out.empty()) out += "\r\n";
        out += line;
    }
    return out;
}

bool ReplyParser::addLine(std::string_view raw) {
    const std::string_view line = withoutLineEnd(raw);
    const bool coded = line.size() >= 3 && line[0] >= '2' && line[0] <= '5' && digit(line[1]) && digit(line[2]) &&
                       (line.size() == 3 || line[3] == ' ' || line[3] == '-');
    if (!coded) {
        reply_.code = 0;
        reply_.status = {};
        reply_.lines.emplace_back(line);
        return true;
    }
    const std::string_view text = line.size() > 4 ? line.substr(4) : std::string_view{};
    reply_.lines.emplace_back(text);
    const int code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    // The last line that carries an enhanced status code of the reply's class.
    if (const EnhancedStatus s = enhancedStatus(text); s.present()) reply_.status = s;
    if (line.size() > 3 && line[3] == '-') return false;
    reply_.code = code;
    if (reply_.status.klass != reply_.klass()) reply_.status = {};
    return true;
}

Reply ReplyParser::take() {
    Reply done = std::move(reply_);
    reply_ = {};
    return done;
}

size_t parseReply(std::string_view text, Reply& reply) {
    reply = {};
    ReplyParser parser;
    size_t pos = 0;
    while (pos < text.size() && pos < kMaxReplyBytes) {
        const size_t lf = text.find('\n', pos);
        if (lf == std::string_view::npos || lf >= kMaxReplyBytes) break;
        const bool last = parser.addLine(text.substr(pos, lf + 1 - pos));
        pos = lf + 1;
        if (last) {
            reply = parser.take();
            return pos;
        }
    }
    return 0;
}

int32_t readReply(MailSocket& socket, Reply& reply, uint32_t timeoutMs) {
    reply = {};
    ReplyParser parser;
    std::string line;
    size_t budget = kMaxReplyBytes;
    // The first line is awaited as the socket counts (from when what was
    // queued has gone out); the rest must follow within the limit of it, so
    // a server cannot keep the caller by trickling lines.
    uint32_t firstLine = 0;
    for (bool first = true;; first = false) {
        uint32_t wait = timeoutMs;
        if (!first) {
            const uint32_t spent = platform::tickCount() - firstLine;
            if (spent >= timeoutMs) return ResultCode::ResponseTimeout;
            wait = timeoutMs - spent;
        }
        const int32_t r = socket.ReadLine(line, budget, wait);
        if (r != ResultCode::Success) return r;
        if (first) firstLine = platform::tickCount();
        budget -= line.size();
        if (parser.addLine(line)) {
            reply = parser.take();
            return ResultCode::Success;
        }
        if (budget == 0) return ResultCode::ResponseTimeout;
    }
}

}  // namespace smtp
