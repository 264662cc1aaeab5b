#include "SmtpSession.h"

#include <utility>
#include <vector>

#include "transport/ByteBuffer.h"
#include "transport/Limits.h"
#include "transport/MailSocket.h"
#include "transport/ResultCodes.h"

namespace smtp {

namespace {

bool digit(char c) { return c >= '0' && c <= '9'; }

// The code of a reply (its last line decides), 0 when it carries none.
int replyCode(std::string_view reply) {
    while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r')) reply.remove_suffix(1);
    const size_t nl = reply.rfind('\n');
    const std::string_view last = nl == std::string_view::npos ? reply : reply.substr(nl + 1);
    if (last.size() < 3 || !digit(last[0]) || !digit(last[1]) || !digit(last[2])) return 0;
    return (last[0] - '0') * 100 + (last[1] - '0') * 10 + (last[2] - '0');
}

// The last reply of a dialogue. Commands go out as words, so every line
// that starts with three digits is a reply.
int lastReplyIn(std::string_view dialogue) {
    int code = 0;
    for (size_t pos = 0; pos < dialogue.size();) {
        size_t end = dialogue.find('\n', pos);
        if (end == std::string_view::npos) end = dialogue.size();
        if (const int c = replyCode(dialogue.substr(pos, end - pos)); c != 0) code = c;
        pos = end + 1;
    }
    return code;
}

enum class Step { Reset, Mail, Recipient, Data };

}  // namespace

Session::Session(std::string server, std::string from, Security security)
    : server_(std::move(server)), from_(std::move(from)), security_(std::move(security)) {}

Session::~Session() { close(); }

void Session::keepTranscript() {
    if (!socket_) return;
    if (recording_) dialogue_ += socket_->GetTranscript().view();
    socket_->ClearTranscript();
}

void Session::drop() {
    keepTranscript();
    if (socket_) socket_->Disconnect();
    open_ = false;
}

int32_t Session::command(const std::string& text, std::string& reply) {
    reply.clear();
    // Bytes waiting before a command answer nothing it asks; taking them
    // for its reply would put the dialogue out of step for good.
    if (socket_->BytesAvailable() > 0) return ResultCode::IncorrectResponse;
    const int32_t r = socket_->Send(text);
    if (r != ResultCode::Success) return r;
    return socket_->ReadReply(reply, transport::limits().replyMs);
}

void Session::quit() {
    if (open_ && !socket_->LinkBroken()) {
        std::string reply;
        command("quit\r\n", reply);
    }
    drop();
}

void Session::close() noexcept {
    try {
        if (open_) quit();
        recording_ = false;
        dialogue_.clear();
    } catch (...) {
        // Only allocation can throw here; the socket goes with the object.
    }
}

int32_t Session::open() {
    if (!socket_) socket_ = std::make_unique<MailSocket>();
    // The opening is always recorded: its replies tell how it failed.
    const int32_t r = openConnection(*socket_, server_.c_str(), from_.c_str(), security_, true, offered_);
    greeted_ = socket_->GetTranscript().view().starts_with("220");
    if (greeted_) ++connections_;
    if (r == ResultCode::Success) open_ = true;
    return r;
}

Session::Outcome Session::attempt(const Copy& copy) {
    // A server that ended the connection since the last message, or spoke
    // unasked (a 421 on its way out), gets a fresh connection first.
    if (open_ && (socket_->LinkBroken() || socket_->BytesAvailable() > 0)) drop();
    bool fresh = false;
    if (!open_) {
        const int32_t r = open();
        if (r != ResultCode::Success) {
            Outcome failed{r, lastReplyIn(socket_->GetTranscript().view()), false};
            drop();
            return failed;
        }
        fresh = true;
        // Kept only as long as the opening could fail: a post's copies need
        // not pile up in memory when nobody asked for them.
        if (!recording_) socket_->SetRecording(false);
    }
    const Outcome o = envelope(copy, fresh);
    if (o.result != ResultCode::Success) return o;
    return message(copy);
}

Session::Outcome Session::envelope(const Copy& copy, bool fresh) {
    std::vector<std::pair<Step, std::string>> commands;
    if (!fresh) commands.emplace_back(Step::Reset, "rset\r\n");
    commands.emplace_back(Step::Mail, std::string("mail from:<") + copy.from + ">\r\n");
    for (const auto& rcpt : copy.recipients) commands.emplace_back(Step::Recipient, "rcpt to:<" + rcpt + ">\r\n");
    commands.emplace_back(Step::Data, "data\r\n");

    // Replies in the order of the commands; a missing one ends the list.
    std::vector<std::string> replies;
    int32_t readResult = ResultCode::Success;
    const bool grouped = offered_.pipelining;
    if (grouped) {
        std::string group;
        for (const auto& c : commands) group += c.second;
        readResult = socket_->Send(group);
        for (size_t i = 0; readResult == ResultCode::Success && i < commands.size(); ++i) {
            std::string reply;
            readResult = socket_->ReadReply(reply, transport::limits().replyMs);
            if (readResult == ResultCode::Success) replies.push_back(std::move(reply));
        }
    } else {
        for (const auto& c : commands) {
            std::string reply;
            readResult = command(c.second, reply);
            if (readResult != ResultCode::Success) break;
            const int code = replyCode(reply);
            replies.push_back(std::move(reply));
            if (code != (c.first == Step::Data ? 354 : 250)) break;
        }
    }

    for (size_t i = 0; i < commands.size(); ++i) {
        const Step step = commands[i].first;
        if (i >= replies.size()) {
            // No reply: a connection the server closed took nothing of the
            // message yet, so a fresh one may have it; silence is not retried.
            const bool closed = socket_->LinkBroken();
            drop();
            return {readResult == ResultCode::Success ? ResultCode::ResponseTimeout : readResult, 0, closed};
        }
        const int code = replyCode(replies[i]);
        if (code == (step == Step::Data ? 354 : 250)) continue;

        Outcome o{ResultCode::IncorrectResponse, code, false};
        if (code == 421) {
            // The server closes this connection; nothing of the message was taken.
            o.again = true;
            drop();
        } else if (code / 100 == 4 && (step == Step::Reset || step == Step::Mail)) {
            // No more messages on this connection (a server's limit).
            o.again = true;
            if (grouped && replies.size() < commands.size()) drop();
            else if (grouped && replyCode(replies.back()) == 354) drop();
            else quit();
        } else if (grouped && (replies.size() < commands.size() || replyCode(replies.back()) == 354)) {
            // Out of step, or the server waits for message text that would
            // reach the recipients it did accept: only closing ends that.
            drop();
        }
        return o;
    }
    return {};
}

Session::Outcome Session::message(const Copy& copy) {
    std::string end;
    int32_t r = writeMessage(*socket_, copy, end);
    if (r != ResultCode::Success) {
        drop();  // the data is left unfinished
        return {r, 0, false};
    }
    std::string reply;
    r = command(end, reply);
    if (r != ResultCode::Success) {
        // The end may have reached the server: whether it took the message
        // is unknown, so it is never sent again from here.
        drop();
        return {r, 0, false};
    }
    const int code = replyCode(reply);
    if (code == 250) return {};
    if (code == 421) drop();
    return {ResultCode::IncorrectResponse, code, false};
}

int32_t Session::send(const char* to, const char* replyTo, const char* subject, const char* body,
                      int32_t bodyLength, const char* attachments, const char* headers, char* transcript,
                      int32_t transcriptSize) noexcept {
    lastReply_ = 0;
    // Refused before any server is asked, as a single send reports it.
    greeted_ = false;
    if (!subject) return ResultCode::NullPointer;
    int32_t r = checkDelivery(server_.c_str(), from_.c_str(), to, security_);
    if (r != ResultCode::Success) return r;
    greeted_ = open_;
    try {
        Copy copy;
        r = prepareCopy(copy, from_.c_str(), to, replyTo, subject, body, bodyLength, attachments, headers);
        if (r != ResultCode::Success) {
            greeted_ = false;
            return r;
        }
        recording_ = transcript != nullptr;
        dialogue_.clear();
        if (socket_ && open_) {
            socket_->ClearTranscript();
            socket_->SetRecording(recording_);
        }
        Outcome o = attempt(copy);
        if (o.again) o = attempt(copy);  // once, on a fresh connection
        keepTranscript();
        copyTranscript(dialogue_, security_, transcript, transcriptSize);
        dialogue_.clear();
        lastReply_ = o.reply;
        return o.result;
    } catch (...) {
        // Only allocation can fail by throwing here.
        drop();
        return ResultCode::OutOfMemory;
    }
}

}  // namespace smtp
