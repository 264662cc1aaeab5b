// What the exports check before anything goes out, the single-message send
// (a session of one), and the transcript handed to callers. The library
// exports are thin wrappers; tests call these directly with shortened time
// limits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "smtp/MessageWriter.h"
#include "smtp/SmtpConnection.h"
#include "smtp/SmtpReply.h"

namespace smtp {

// Fills `copy` from the exports' arguments after the checks that hold before
// anything goes out: NullPointer (server, from, to or subject null),
// InvalidParameter (CR or LF in an address, an unknown security mode, extra
// header lines that could break the header block) or PlainAuthRefused.
int32_t prepareCopy(Copy& copy, const char* server, const char* from, const char* to, const char* replyTo,
                    const char* subject, const char* body, size_t bodyLength, const char* attachments,
                    const char* headers, const Security& security);

// The dialogue into the caller's array (at most size - 1 bytes, no
// terminator), any credential in it masked.
void copyTranscript(std::string_view dialogue, const Security& security, char* transcript, size_t size);

// How a single send ended, for the caller that judges it.
struct Outcome {
    Reply reply;           // the reply that made it fail; code 0 when none did
    bool greeted = false;  // the server gave its greeting
};

// Arguments and results as KOVASMTP_SendEMail; `headers` as
// KOVASMTP_SendEMailWithHeaders takes them. Never throws.
int32_t sendEMail(const char* server, const char* from, const char* to, const char* replyTo, const char* subject,
                  const char* body, size_t bodyLength, const char* attachments, char* transcript,
                  size_t transcriptSize, const char* headers = nullptr, const Security& security = {},
                  Outcome* outcome = nullptr) noexcept;

}  // namespace smtp
