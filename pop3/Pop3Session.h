// The library's one POP3 session: USER/PASS login, LIST and UIDL listings,
// RETR into a file, DELE and QUIT, over one MailSocket.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "transport/MailSocket.h"

namespace pop3 {

class Pop3Session {
public:
    // The process-wide session, made on first use. It is destroyed (the
    // connection closed, its threads joined, no QUIT sent) when the library
    // is unloaded or the process ends.
    static Pop3Session& instance();

    Pop3Session() = default;
    Pop3Session(const Pop3Session&) = delete;
    Pop3Session& operator=(const Pop3Session&) = delete;

    enum class Security { None = 0, Tls = 1, StartTls = 2 };
    // How the following logins connect. Until first set: plain, no TLS.
    // With Security::None and allowPlainAuth false a login is refused
    // (PlainAuthRefused) before anything is sent. An unknown value gives
    // InvalidParameter, and so does every login until a valid one is set.
    // With `bearer` the password is an OAuth 2.0 access token, sent by SASL
    // and only over TLS.
    int32_t setSecurity(int32_t security, const char* caFile, bool allowPlainAuth, bool bearer = false);

    int32_t login(const char* server, const char* user, const char* password);
    int32_t logout();
    // command: "LIST" or "UIDL".
    int32_t listing(std::string_view command, char* target, int32_t targetSize);
    int32_t retrieve(int32_t messageNumber, const char* path);
    int32_t remove(int32_t messageNumber);

private:
    using Sink = std::function<int32_t(const char* bytes, size_t n)>;

    int32_t logoutLocked();
    int32_t openSession(const char* server);
    // Sends a command and takes exactly its status line: Success for "+OK".
    int32_t command(const std::string& line);
    // Takes the rest of a multi-line answer, piece by piece, until its end
    // line; fails with ResponseTimeout when inactivityMs pass without a new
    // piece, the whole transfer overruns its time limit, more than maxBytes
    // arrive, or the connection ends first.
    int32_t receiveMultiLine(uint32_t inactivityMs, uint64_t maxBytes, const Sink& sink);
    // After a failure that may have left the dialogue out of step: closes the
    // connection, so every later call of the session fails at once with
    // ResponseTimeout instead of reading stray bytes as its answer.
    int32_t dropOnFailure(int32_t rc);

    // The library promises nothing for concurrent callers; this only keeps
    // two of them from corrupting the one session.
    std::mutex callLock_;
    MailSocket socket_;
    bool loggedIn_ = false;
    Security security_ = Security::None;
    bool securityValid_ = true;
    std::string caFile_;
    bool allowPlainAuth_ = true;
    bool bearer_ = false;
};

}  // namespace pop3
