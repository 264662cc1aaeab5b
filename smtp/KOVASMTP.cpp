// The C entry points of libKOVASMTP.so. Lengths arrive as 32-bit values and
// are taken as sizes here, once; no exception leaves the library.
#include "KOVASMTP.h"

#include <cstring>
#include <memory>

#include "smtp/SmtpDelivery.h"
#include "smtp/SmtpSession.h"
#include "transport/OpenConnections.h"
#include "transport/ResultCodes.h"

namespace {

// Per calling thread, so two threads sending for different lists never mix
// their settings or their outcomes.
thread_local smtp::Security security;
thread_local smtp::Outcome lastSend;

size_t sizeOf(int32_t n) { return n > 0 ? static_cast<size_t>(n) : 0; }

// Zero-fills the array, then copies at most its size.
void copyOut(std::string_view value, char* target, int32_t size) {
    if (!target || size <= 0) return;
    const size_t n = sizeOf(size);
    std::memset(target, 0, n);
    value.copy(target, n);
}

void replyOut(const smtp::Reply& reply, bool greeted, int32_t* code, int32_t* wasGreeted, char* status,
              int32_t statusSize, char* text, int32_t textSize) {
    if (code) *code = reply.code;
    if (wasGreeted) *wasGreeted = greeted ? 1 : 0;
    copyOut(reply.status.text(), status, statusSize);
    copyOut(reply.text(), text, textSize);
}

}  // namespace

struct KOVASMTP_Session {
    KOVASMTP_Session(const char* server, const char* from, const smtp::Security& security)
        : session(server, from, security) {}
    smtp::Session session;
};

extern "C" KOVASMTP_EXPORT int32_t KOVASMTP_SendEMail(const char* server, const char* from, const char* to,
                                                      const char* replyTo, const char* subject, const char* body,
                                                      int32_t bodyLength, const char* attachments,
                                                      char* transcript, int32_t transcriptSize) {
    return smtp::sendEMail(server, from, to, replyTo, subject, body, sizeOf(bodyLength), attachments, transcript,
                           sizeOf(transcriptSize), nullptr, security, &lastSend);
}

extern "C" KOVASMTP_EXPORT int32_t KOVASMTP_SetSecurity(int32_t mode, const char* caFile, const char* user,
                                                        const char* password, int32_t flags) {
    try {
        smtp::Security s;
        s.mode = mode;
        s.caFile = caFile ? caFile : "";
        s.user = user ? user : "";
        s.password = password ? password : "";
        s.allowPlainAuth = (flags & KOVA_ALLOW_PLAIN_AUTH) != 0;
        s.bearer = (flags & KOVA_BEARER_TOKEN) != 0;
        // An unknown mode is kept: sending then fails with InvalidParameter
        // until a valid one is set, rather than going out plain.
        security = std::move(s);
        if (mode < smtp::Security::None || mode > smtp::Security::StartTls) return ResultCode::InvalidParameter;
        return ResultCode::Success;
    } catch (...) {
        return ResultCode::OutOfMemory;
    }
}

extern "C" KOVASMTP_EXPORT int32_t KOVASMTP_SendEMailWithHeaders(const char* server, const char* from,
                                                                 const char* to, const char* replyTo,
                                                                 const char* subject, const char* body,
                                                                 int32_t bodyLength, const char* attachments,
                                                                 const char* headers, char* transcript,
                                                                 int32_t transcriptSize) {
    return smtp::sendEMail(server, from, to, replyTo, subject, body, sizeOf(bodyLength), attachments, transcript,
                           sizeOf(transcriptSize), headers, security, &lastSend);
}

extern "C" KOVASMTP_EXPORT int32_t KOVASMTP_LastReply(int32_t* replyCode, int32_t* greeted, char* status,
                                                      int32_t statusSize, char* text, int32_t textSize) {
    try {
        replyOut(lastSend.reply, lastSend.greeted, replyCode, greeted, status, statusSize, text, textSize);
        return ResultCode::Success;
    } catch (...) {
        return ResultCode::OutOfMemory;
    }
}

extern "C" KOVASMTP_EXPORT int32_t KOVASMTP_OpenSession(const char* server, const char* from,
                                                        KOVASMTP_Session** session) {
    if (!session) return ResultCode::NullPointer;
    *session = nullptr;
    if (!server || !from) return ResultCode::NullPointer;
    try {
        *session = std::make_unique<KOVASMTP_Session>(server, from, security).release();
        return ResultCode::Success;
    } catch (...) {
        return ResultCode::OutOfMemory;
    }
}

extern "C" KOVASMTP_EXPORT int32_t KOVASMTP_SessionSend(KOVASMTP_Session* session, const char* to,
                                                        const char* replyTo, const char* subject, const char* body,
                                                        int32_t bodyLength, const char* attachments,
                                                        const char* headers, char* transcript,
                                                        int32_t transcriptSize) {
    if (!session) return ResultCode::NullPointer;
    return session->session.send(to, replyTo, subject, body, sizeOf(bodyLength), attachments, headers, transcript,
                                 sizeOf(transcriptSize));
}

extern "C" KOVASMTP_EXPORT int32_t KOVASMTP_SessionOutcome(const KOVASMTP_Session* session, int32_t* replyCode,
                                                           int32_t* greeted) {
    if (!session) return ResultCode::NullPointer;
    if (replyCode) *replyCode = session->session.lastReply();
    if (greeted) *greeted = session->session.greeted() ? 1 : 0;
    return ResultCode::Success;
}

extern "C" KOVASMTP_EXPORT int32_t KOVASMTP_SessionReply(const KOVASMTP_Session* session, int32_t* replyCode,
                                                         int32_t* greeted, char* status, int32_t statusSize,
                                                         char* text, int32_t textSize) {
    if (!session) return ResultCode::NullPointer;
    try {
        replyOut(session->session.reply(), session->session.greeted(), replyCode, greeted, status, statusSize, text,
                 textSize);
        return ResultCode::Success;
    } catch (...) {
        return ResultCode::OutOfMemory;
    }
}

extern "C" KOVASMTP_EXPORT int32_t KOVASMTP_CloseSession(KOVASMTP_Session* session) {
    if (!session) return ResultCode::NullPointer;
    const std::unique_ptr<KOVASMTP_Session> owned(session);
    owned->session.close();
    return ResultCode::Success;
}

extern "C" KOVASMTP_EXPORT int32_t KOVASMTP_Cancel(void) {
    transport::OpenConnections::instance().abortAll();
    return ResultCode::Success;
}
