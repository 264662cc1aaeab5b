#include "SmtpSession.h"

#include <utility>
#include <vector>

#include "smtp/SmtpDelivery.h"
#include "transport/ResultCodes.h"

namespace smtp {

Session::Session(std::string server, std::string from, Security security, Resend resend)
    : server_(std::move(server)), from_(std::move(from)), security_(std::move(security)), resend_(resend) {}

Session::~Session() { close(); }

void Session::keepTranscript() {
    MailSocket& s = connection_.socket();
    if (dialogue_) *dialogue_ += s.GetTranscript().view();
    s.ClearTranscript();
}

void Session::drop() {
    keepTranscript();
    connection_.close();
    open_ = false;
}

void Session::goodbye() {
    if (connection_.socket().LinkBroken()) return;
    Reply reply;
    connection_.command("quit\r\n", Step::Quit, reply);
}

void Session::quit() {
    if (open_) goodbye();
    drop();
}

void Session::close(std::string* dialogue) noexcept {
    dialogue_ = dialogue;
    try {
        if (open_) quit();
    } catch (...) {
        // Only allocation can throw here; the socket goes with the object.
    }
    dialogue_ = nullptr;
}

int32_t Session::open() {
    const int32_t r = connection_.open(server_, from_, security_, dialogue_ != nullptr);
    greeted_ = connection_.greeted();
    if (greeted_) ++connections_;
    if (r == ResultCode::Success) open_ = true;
    return r;
}

Session::Attempt Session::attempt(const Copy& copy) {
    // A server that ended the connection since the last message, or spoke
    // unasked (a 421 on its way out), gets a fresh connection first.
    MailSocket& s = connection_.socket();
    if (open_ && (s.LinkBroken() || s.BytesAvailable() > 0)) drop();
    bool fresh = false;
    if (!open_) {
        const int32_t r = open();
        if (r != ResultCode::Success) {
            Attempt failed{r, connection_.refusal(), false};
            // A refused login leaves the dialogue in step: servers that count
            // failed logins expect a goodbye, not a dropped line.
            if (r == ResultCode::AuthenticationRefused) goodbye();
            drop();
            return failed;
        }
        fresh = true;
    }
    Attempt o = envelope(copy, fresh);
    if (o.result != ResultCode::Success) return o;
    return message(copy);
}

Session::Attempt Session::envelope(const Copy& copy, bool fresh) {
    // The transaction's commands, each with the step that judges its reply.
    std::vector<Command> commands;
    if (!fresh) commands.push_back({Step::Reset, "rset\r\n"});
    commands.push_back({Step::Mail, std::string("mail from:<") + copy.from + ">\r\n"});
    for (const auto& rcpt : copy.recipients) commands.push_back({Step::Recipient, "rcpt to:<" + rcpt + ">\r\n"});
    commands.push_back({Step::Data, "data\r\n"});

    // Replies in the order of the commands; a missing one ends the list.
    std::vector<Reply> replies;
    int32_t readResult = ResultCode::Success;
    const bool grouped = connection_.offered().pipelining;
    if (grouped) {
        std::string group;
        for (const auto& c : commands) group += c.text;
        readResult = connection_.socket().Send(group);
        for (size_t i = 0; readResult == ResultCode::Success && i < commands.size(); ++i) {
            Reply reply;
            readResult = connection_.await(commands[i].step, reply);
            if (readResult == ResultCode::Success) replies.push_back(std::move(reply));
        }
    } else {
        for (const auto& c : commands) {
            Reply reply;
            readResult = connection_.command(c.text, c.step, reply);
            if (readResult != ResultCode::Success) break;
            const bool goOn = accepted(c.step, reply);
            replies.push_back(std::move(reply));
            if (!goOn) break;
        }
    }

    for (size_t i = 0; i < commands.size(); ++i) {
        const Step step = commands[i].step;
        if (i >= replies.size()) {
            // No reply: a connection the server closed took nothing of the
            // message yet, so a fresh one may have it; silence is not retried.
            const bool closed = connection_.socket().LinkBroken();
            drop();
            return {readResult == ResultCode::Success ? ResultCode::ResponseTimeout : readResult, {}, closed};
        }
        if (accepted(step, replies[i])) continue;

        Attempt o{ResultCode::IncorrectResponse, replies[i], false};
        // Out of step, or the server waits for message text that would
        // reach the recipients it did accept: only closing ends that. A
        // malformed reply leaves nothing to trust of what follows either.
        const bool outOfStep = o.reply.code == 0 || (grouped && (replies.size() < commands.size() ||
                                                                 replies.back().code == rule(Step::Data).accepts));
        if (o.reply.code == 421) {
            // The server closes this connection; nothing of the message was taken.
            o.again = true;
            drop();
        } else if (o.reply.klass() == 4 && (step == Step::Reset || step == Step::Mail)) {
            // No more messages on this connection (a server's limit).
            o.again = true;
            if (outOfStep) drop();
            else quit();
        } else if (outOfStep) {
            drop();
        }
        return o;
    }
    return {};
}

Session::Attempt Session::message(const Copy& copy) {
    std::string end;
    int32_t r = writeMessage(connection_.socket(), copy, end);
    if (r != ResultCode::Success) {
        drop();  // the data is left unfinished
        return {r, {}, false};
    }
    Reply reply;
    r = connection_.command(end, Step::EndOfData, reply);
    if (r != ResultCode::Success) {
        // The end may have reached the server: whether it took the message
        // is unknown, so it is never sent again from here.
        drop();
        return {r, {}, false};
    }
    if (accepted(Step::EndOfData, reply)) return {};
    if (reply.code == 421 || reply.code == 0) drop();
    return {ResultCode::IncorrectResponse, std::move(reply), false};
}

int32_t Session::send(const Copy& copy, std::string* dialogue) noexcept {
    reply_ = {};
    greeted_ = open_;
    dialogue_ = dialogue;
    int32_t result = ResultCode::Success;
    try {
        if (open_) {
            connection_.socket().ClearTranscript();
            connection_.socket().SetRecording(dialogue != nullptr);
        }
        Attempt o = attempt(copy);
        if (o.again && resend_ == Resend::Once) o = attempt(copy);  // once, on a fresh connection
        keepTranscript();
        reply_ = std::move(o.reply);
        result = o.result;
    } catch (...) {
        // Only allocation can fail by throwing here.
        drop();
        result = ResultCode::OutOfMemory;
    }
    dialogue_ = nullptr;
    return result;
}

int32_t Session::send(const char* to, const char* replyTo, const char* subject, const char* body,
                      size_t bodyLength, const char* attachments, const char* headers, char* transcript,
                      size_t transcriptSize) noexcept {
    reply_ = {};
    // Refused before any server is asked, as a single send reports it.
    greeted_ = false;
    try {
        Copy copy;
        const int32_t r = prepareCopy(copy, server_.c_str(), from_.c_str(), to, replyTo, subject, body, bodyLength,
                                      attachments, headers, security_);
        if (r != ResultCode::Success) return r;
        std::string dialogue;
        const int32_t sent = send(copy, transcript ? &dialogue : nullptr);
        copyTranscript(dialogue, security_, transcript, transcriptSize);
        return sent;
    } catch (...) {
        return ResultCode::OutOfMemory;
    }
}

}  // namespace smtp
