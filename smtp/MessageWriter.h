// Writes one message in the DATA phase: the composed header block and body,
// then each attachment streamed from its file as base64.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class MailSocket;

namespace smtp {

// One message as the exports take it, its recipients split and its extra
// header lines checked.
struct Copy {
    const char* from = nullptr;
    std::vector<std::string> recipients;
    const char* replyTo = nullptr;
    const char* subject = nullptr;
    const char* body = nullptr;
    size_t bodyLength = 0;
    const char* attachments = nullptr;
    std::string extraHeaders;
};

// Queues the message text and its attachments after the server's 354. The
// end of the data is left in `end` for the caller to send with its wait for
// the reply, so without attachments the whole message goes in one write.
int32_t writeMessage(MailSocket& s, const Copy& copy, std::string& end);

// Sends a file as base64 lines of 60 characters plus CR LF, the last one
// shorter, then an empty line; never more than a few MB of it in memory.
// FileNotOpened for a file that cannot be read, WriteError when the
// connection does not take it.
int32_t sendFileBase64(MailSocket& s, const char* path);

}  // namespace smtp
