#include "MailSending.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <vector>

#include "MainLoop.h"
#include "smtp/KOVASMTP.h"

namespace {
constexpr int kAdministratorAttempts = 5;
// Tries of one member's copy of a post within a pass; what still fails
// waits for a later pass.
constexpr int kMemberAttempts = 3;
// Pauses between tries: after the first, the second, and any later one.
constexpr uint32_t kRetryPausesMs[] = {2000, 8000};
// Enough of the dialogue to hold every reply before the message text.
constexpr size_t kTranscriptBytes = 64 * 1024;

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

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The last line of text (CR LF at its end ignored).
std::string_view lastLine(std::string_view text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    const size_t nl = text.rfind('\n');
    return nl == std::string_view::npos ? text : text.substr(nl + 1);
}

// A failed TLS handshake or login says nothing about the member: every
// copy would fail alike until the administrator mends the settings, so the
// post waits as for a server that is down instead of counting as refused.
bool refusesUsAll(int32_t code) { return code <= KOVA_TLS_HANDSHAKE_FAILED && code >= KOVA_AUTH_NOT_OFFERED; }

// The judgement of a failed send: by its result code where that says
// enough, else by whether the server greeted and refused with a 5xx reply.
Delivery judge(int32_t code, bool greeted, bool refusedByReply) {
    if (code == KOVA_PORT_NOT_OPENED || refusesUsAll(code)) return Delivery::ServerDown;
    if (code == KOVA_NULL_POINTER || code == KOVA_INVALID_PARAMETER ||
        code == KOVA_FILE_NOT_OPENED)
        return Delivery::Refused;
    if (!greeted) return Delivery::ServerDown;
    return refusedByReply ? Delivery::Refused : Delivery::Transient;
}

// Whether the server's last reply in the dialogue refused. Commands go out
// in lower case, so before DATA every line starting with a digit is a reply;
// after it only the very end is, and only when the whole dialogue fit.
bool lastReplyRefuses(std::string_view dialogue, bool whole) {
    std::string_view reply;
    if (dialogue.find("\r\n354") == std::string_view::npos) {
        size_t pos = 0;
        while (pos < dialogue.size()) {
            size_t end = dialogue.find('\n', pos);
            if (end == std::string_view::npos) end = dialogue.size();
            const std::string_view line = dialogue.substr(pos, end - pos);
            if (!line.empty() && isDigit(line[0])) reply = line;
            pos = end + 1;
        }
    } else if (whole) {
        reply = lastLine(dialogue);
    }
    return !reply.empty() && reply[0] == '5';
}

const char* orNull(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }

// One send of one copy, judged.
DeliveryResult sendOnce(const std::string& server, const std::string& from, const std::string& to,
                        const std::string& replyTo, const std::string& subject, const std::string& body,
                        const std::string& attachments, const std::string& headers, KOVASMTP_Session* session) {
    DeliveryResult result;
    if (session) {
        result.code = KOVASMTP_SessionSend(session, orNull(to), orNull(replyTo), orNull(subject), orNull(body),
                                           static_cast<int32_t>(body.size()), orNull(attachments), orNull(headers),
                                           nullptr, 0);
        int32_t reply = 0, greeted = 0;
        KOVASMTP_SessionOutcome(session, &reply, &greeted);
        result.kind = result.code == 0 ? Delivery::Delivered : judge(result.code, greeted != 0, reply / 100 == 5);
        return result;
    }
    std::vector<char> dialogue(kTranscriptBytes, '\0');
    result.code = KOVASMTP_SendEMailWithHeaders(
        orNull(server), orNull(from), orNull(to), orNull(replyTo), orNull(subject), orNull(body),
        static_cast<int32_t>(body.size()), orNull(attachments), orNull(headers), dialogue.data(),
        static_cast<int32_t>(dialogue.size()));
    if (result.code == 0) return result;
    const size_t n = std::string_view(dialogue.data(), dialogue.size()).find('\0');
    const size_t used = n == std::string_view::npos ? dialogue.size() : n;
    const std::string_view said(dialogue.data(), used);
    result.kind = judge(result.code, said.starts_with("220"), lastReplyRefuses(said, used + 1 < dialogue.size()));
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
