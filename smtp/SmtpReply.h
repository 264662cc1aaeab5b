// An SMTP server reply (RFC 5321 4.2) and the one reader every part of the
// library takes replies with: the greeting, EHLO, AUTH, each command of a
// transaction, grouped or not.
//
// Framing: a reply is one or more lines; every line but the last reads
// "NNN-text", the last "NNN text" or "NNN". A line that is neither (no
// three-digit code of class 2 to 5, or no space or hyphen behind it) ends
// the reply there, and the reply then has no code (0): whatever step awaited
// it fails as answered wrongly. The last line's code decides.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class MailSocket;

namespace smtp {

// No honest reply is longer; a longer one is taken as no reply at all, so a
// hostile server cannot make the caller hold it in memory.
inline constexpr size_t kMaxReplyBytes = 64 * 1024;

// RFC 3463 enhanced status code, "class.subject.detail" at the start of a
// reply line's text (RFC 2034): 5.1.1 is a bad mailbox, 4.2.2 a full one,
// 5.7.1 a policy refusal. Kept only when its class is the reply code's first
// digit, as RFC 3463 demands.
struct EnhancedStatus {
    int klass = 0;  // 2, 4 or 5; 0 when the reply carries none
    int subject = 0;
    int detail = 0;
    bool present() const { return klass != 0; }
    std::string text() const;  // "5.1.1", "" when none
};

struct Reply {
    int code = 0;  // 0: no reply, or a malformed one
    EnhancedStatus status;
    // Each line's text behind its code and separator, without the line end
    // (the enhanced status code left in); a malformed last line whole.
    std::vector<std::string> lines;

    // 2 done, 3 go on, 4 try later, 5 refused; 0 for no code.
    int klass() const { return code / 100; }
    // The lines joined by CR LF.
    std::string text() const;
};

// Takes a reply apart line by line as it arrives.
class ReplyParser {
public:
    // One line, with or without its line end (CR LF or LF). True when it
    // ends the reply, which take() then hands out.
    bool addLine(std::string_view line);
    Reply take();

private:
    Reply reply_;
};

// The first whole reply at the start of `text`: the bytes it takes, or 0
// while it is incomplete (`reply` then holds nothing).
size_t parseReply(std::string_view text, Reply& reply);

// Reads one whole reply and leaves what follows it, so the replies to
// grouped commands are taken one by one. ResponseTimeout when it does not
// complete within timeoutMs (from its first line on, as MailSocket counts),
// the link breaks first, or it grows over kMaxReplyBytes.
int32_t readReply(MailSocket& socket, Reply& reply, uint32_t timeoutMs);

}  // namespace smtp
