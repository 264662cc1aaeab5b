#include "SmtpDelivery.h"

#include <algorithm>
#include <string>

#include "smtp/MessageComposer.h"
#include "smtp/SmtpAuthentication.h"
#include "smtp/SmtpSession.h"
#include "transport/ResultCodes.h"

namespace smtp {

namespace {

// An address that carries CR or LF would end the command line early and let
// the rest be read as a command of its own.
bool safeAddress(std::string_view a) { return a.find_first_of("\r\n") == std::string_view::npos; }

}  // namespace

int32_t prepareCopy(Copy& copy, const char* server, const char* from, const char* to, const char* replyTo,
                    const char* subject, const char* body, size_t bodyLength, const char* attachments,
                    const char* headers, const Security& security) {
    if (!server || !from || !to || !subject) return ResultCode::NullPointer;
    if (!safeAddress(from) || !safeAddress(to)) return ResultCode::InvalidParameter;
    if (security.mode < Security::None || security.mode > Security::StartTls) return ResultCode::InvalidParameter;
    // Refused before connecting, so not even the user name goes out.
    if (security.mode == Security::None && !security.user.empty() && (security.bearer || !security.allowPlainAuth))
        return ResultCode::PlainAuthRefused;
    copy.from = from;
    copy.recipients = splitRecipients(to);
    copy.replyTo = replyTo;
    copy.subject = subject;
    copy.body = body;
    copy.bodyLength = bodyLength;
    copy.attachments = attachments;
    copy.extraHeaders.clear();
    if (headers && !checkExtraHeaders(headers, copy.extraHeaders)) return ResultCode::InvalidParameter;
    return ResultCode::Success;
}

void copyTranscript(std::string_view dialogue, const Security& security, char* transcript, size_t size) {
    if (!transcript || size <= 1) return;
    const std::string shown = maskCredentials(std::string(dialogue), security);
    shown.copy(transcript, std::min(shown.size(), size - 1));
}

int32_t sendEMail(const char* server, const char* from, const char* to, const char* replyTo, const char* subject,
                  const char* body, size_t bodyLength, const char* attachments, char* transcript,
                  size_t transcriptSize, const char* headers, const Security& security, Outcome* outcome) noexcept {
    if (outcome) *outcome = {};
    try {
        Copy copy;
        int32_t r = prepareCopy(copy, server, from, to, replyTo, subject, body, bodyLength, attachments, headers,
                                security);
        if (r != ResultCode::Success) return r;
        // The caller decides about trying again.
        Session session(server, from, security, Session::Resend::Never);
        std::string dialogue;
        std::string* recorded = transcript ? &dialogue : nullptr;
        r = session.send(copy, recorded);
        // A delivered message stays delivered whatever QUIT brings.
        session.close(recorded);
        copyTranscript(dialogue, security, transcript, transcriptSize);
        if (outcome) *outcome = {session.reply(), session.greeted()};
        return r;
    } catch (...) {
        // Only allocation can fail by throwing here.
        return ResultCode::OutOfMemory;
    }
}

}  // namespace smtp
