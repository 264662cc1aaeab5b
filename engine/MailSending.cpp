#include "MailSending.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "MainLoop.h"
#include "RefusalJudgement.h"
#include "SendingLimits.h"
#include "mime/MailAddress.h"
#include "smtp/KOVASMTP.h"

namespace {
constexpr int kAdministratorAttempts = 5;
// Tries of one member's copy of a post within a pass; what still fails
// waits for a later pass.
constexpr int kMemberAttempts = 3;
// Pauses between tries: after the first, the second, and any later one.
constexpr uint32_t kRetryPausesMs[] = {2000, 8000};
// Enough of a reply's text to show what the server meant.
constexpr int32_t kReplyTextBytes = 4096;
constexpr int32_t kReplyStatusBytes = 16;

// Servers that took no connection or gave no greeting in this pass, with
// the code they failed with: later sends to them fail at once.
std::map<std::string, int32_t>& serversDown() {
    static std::map<std::string, int32_t> down;
    return down;
}

AuthRefusedHandler& authRefused() {
    static AuthRefusedHandler handler;
    return handler;
}

RetryPause& retryPause() {
    static RetryPause pause;
    return pause;
}

// A failed TLS handshake or login, or a list that cannot sign in at its
// provider, says nothing about the member: every copy would fail alike until
// the administrator mends the settings or signs in again (or the provider is
// back), so the post waits as for a server that is down instead of counting
// as refused.
bool refusesUsAll(int32_t code) {
    return (code <= KOVA_TLS_HANDSHAKE_FAILED && code >= KOVA_AUTH_NOT_OFFERED) ||
           code == KOVA_OAUTH_SIGN_IN_AGAIN || code == KOVA_OAUTH_ENDPOINT_FAILED;
}

// The judgement of a failed send: by its result code where that says
// enough, else by the server's reply that decided it, as the library hands
// it over: no greeting, a refusal (5xx) of the member or of the list, or
// something worth another try.
Delivery judge(int32_t code, bool greeted, const ServerReply& reply) {
    if (code == KOVA_PORT_NOT_OPENED || refusesUsAll(code)) return Delivery::ServerDown;
    if (code == KOVA_NULL_POINTER || code == KOVA_INVALID_PARAMETER ||
        code == KOVA_FILE_NOT_OPENED)
        return Delivery::Refused;
    if (!greeted) return Delivery::ServerDown;
    if (reply.code / 100 != 5) return Delivery::Transient;
    return OwnerOfRefusal(reply) == RefusalOwner::List ? Delivery::Held : Delivery::Refused;
}

const char* orNull(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }

// The text of a library output array: up to its first zero byte.
std::string textOf(const std::vector<char>& a) { return std::string(a.data(), ::strnlen(a.data(), a.size())); }

// One send of one copy, judged by the reply the library hands over.
DeliveryResult sendOnce(const std::string& server, const std::string& from, const std::string& to,
                        const std::string& replyTo, const std::string& subject, const std::string& body,
                        const std::string& attachments, const std::string& headers, KOVASMTP_Session* session) {
    DeliveryResult result;
    const auto length = static_cast<int32_t>(body.size());
    int32_t greeted = 0;
    std::vector<char> status(kReplyStatusBytes), text(kReplyTextBytes);
    if (session) {
        result.code = KOVASMTP_SessionSend(session, orNull(to), orNull(replyTo), orNull(subject), orNull(body), length,
                                           orNull(attachments), orNull(headers), nullptr, 0);
        KOVASMTP_SessionReply(session, &result.reply.code, &greeted, status.data(), kReplyStatusBytes, text.data(),
                              kReplyTextBytes);
    } else {
        result.code = KOVASMTP_SendEMailWithHeaders(orNull(server), orNull(from), orNull(to), orNull(replyTo),
                                                    orNull(subject), orNull(body), length, orNull(attachments),
                                                    orNull(headers), nullptr, 0);
        KOVASMTP_LastReply(&result.reply.code, &greeted, status.data(), kReplyStatusBytes, text.data(),
                           kReplyTextBytes);
    }
    result.reply.status = textOf(status);
    result.reply.text = textOf(text);
    if (result.code != 0) result.kind = judge(result.code, greeted != 0, result.reply);
    return result;
}

// Up to `attempts` sends, a pause (cut short by a stop request) between two;
// a refusal, or a server that takes no connection or gives no greeting, ends
// the tries at once: repeating them would only cost time.
DeliveryResult deliver(const std::string& server, const std::string& from, const std::string& to,
                       const std::string& replyTo, const std::string& subject, const std::string& body,
                       const std::string& attachments, const std::string& headers, int attempts,
                       PostSession* post = nullptr) {
    DeliveryResult result;
    // The library reads a comma as a list of recipients: only ever one
    // address goes to it, whatever a member file line holds.
    if (!to.empty() && !mime::isBareAddress(to)) {
        result.kind = Delivery::Refused;
        result.code = KOVA_INVALID_PARAMETER;
        return result;
    }
    if (const auto it = serversDown().find(server); it != serversDown().end()) {
        result.kind = Delivery::ServerDown;
        result.code = it->second;
        return result;
    }
    bool renewed = false;
    for (int attempt = 0;; ++attempt) {
        result = sendOnce(server, from, to, replyTo, subject, body, attachments, headers, post ? post->get() : nullptr);
        if (result.kind == Delivery::Delivered) return result;
        if (result.code == KOVA_AUTH_REFUSED && !renewed && authRefused()) {
            // A refused token gets one fresh one; a refused password never another try.
            renewed = true;
            result.code = authRefused()();
            if (result.code == 0) {
                if (post) post->renew();
                --attempt;
                continue;
            }
            // -44 after the renewal, -48 or -49: every copy would fail alike.
            result.kind = Delivery::ServerDown;
        }
        if (result.kind == Delivery::ServerDown) serversDown()[server] = result.code;
        if (result.kind != Delivery::Transient || attempt + 1 >= attempts) return result;
        const uint32_t ms = kRetryPausesMs[std::min<size_t>(static_cast<size_t>(attempt), std::size(kRetryPausesMs) - 1)];
        const bool goOn = retryPause() ? retryPause()(ms) : !WaitForStopRequest(ms);
        if (!goOn) return result;
    }
}

}  // namespace

int32_t SendWithRetry(const std::string& server, const std::string& from, const std::string& to,
                      const std::string& replyTo, const std::string& subject, const std::string& body,
                      const std::string& attachments, int attempts, const std::string& headers) {
    if (attempts < 1 || attempts > 10) attempts = 1;
    CountSingleSend();
    return deliver(server, from, to, replyTo, subject, body, attachments, headers, attempts).code;
}

int32_t SendToAdministrators(const MailList& list, const std::string& subject, const std::string& body,
                             const std::string& attachments, bool stopOnFailure, const std::string& headers) {
    int32_t result = 0;
    for (const Member& m : list.members.entries()) {
        if (m.address.empty() || !m.isAdministrator) continue;
        result = SendWithRetry(list.smtpServer, list.fromAddress, m.address, list.replyToAddress, subject, body,
                               attachments, kAdministratorAttempts, headers);
        if (result != 0 && stopOnFailure) break;
    }
    return result;
}

void SetRetryPauseForTesting(RetryPause pause) { retryPause() = std::move(pause); }

void SetAuthRefusedHandler(AuthRefusedHandler handler) { authRefused() = std::move(handler); }

void MarkServerDown(const std::string& server, int32_t code) { serversDown()[server] = code; }

void ForgetServersDown() { serversDown().clear(); }

bool ServerDownThisPass(const std::string& server) { return serversDown().count(server) != 0; }

DeliveryResult SendToMember(const MailList& list, const std::string& to, const std::string& subject,
                            const std::string& body, const std::string& attachments, const std::string& headers) {
    return deliver(list.smtpServer, list.fromAddress, to, list.replyToAddress, subject, body, attachments, headers,
                   kMemberAttempts);
}

PostSession::PostSession(const MailList& list) : server_(list.smtpServer), from_(list.fromAddress) { open(); }

void PostSession::open() {
    // Without a session the copies still go out, each on its own connection.
    if (KOVASMTP_OpenSession(orNull(server_), orNull(from_), &session_) != 0) session_ = nullptr;
}

void PostSession::renew() {
    if (session_) KOVASMTP_CloseSession(session_);
    session_ = nullptr;
    open();
}

PostSession::~PostSession() {
    if (session_) KOVASMTP_CloseSession(session_);
}

DeliveryResult SendToMember(const MailList& list, PostSession& session, const std::string& to,
                            const std::string& subject, const std::string& body, const std::string& attachments,
                            const std::string& headers) {
    return deliver(list.smtpServer, list.fromAddress, to, list.replyToAddress, subject, body, attachments, headers,
                   kMemberAttempts, &session);
}
