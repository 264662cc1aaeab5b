#include "Pop3Session.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/Clock.h"
#include "pop3/MultiLineEnd.h"
#include "pop3/Pop3Authentication.h"
#include "pop3/Pop3Reply.h"
#include "transport/Limits.h"
#include "transport/ResultCodes.h"

namespace pop3 {

namespace {

constexpr uint16_t kPop3Port = 110;
constexpr uint16_t kPop3sPort = 995;
constexpr char kLineEnd[] = "\r\n";

bool hasLineBreak(const char* s) { return std::strpbrk(s, "\r\n") != nullptr; }

}  // namespace

Pop3Session& Pop3Session::instance() {
    static Pop3Session session;
    return session;
}

int32_t Pop3Session::dropOnFailure(int32_t rc) {
    // "-ERR" is an answer in step; anything else broke the exchange midway.
    if (rc == ResultCode::Success || rc == ResultCode::IncorrectResponse) return rc;
    socket_.Disconnect();
    socket_.DiscardReceived();
    return rc;
}

int32_t Pop3Session::command(const std::string& line) {
    return dropOnFailure(exchangeStatus(socket_, line, transport::limits().replyMs));
}

int32_t Pop3Session::setSecurity(int32_t security, const char* caFile, bool allowPlainAuth, bool bearer) {
    std::lock_guard lock(callLock_);
    // An unknown value is kept so that logins fail until a valid one is set:
    // a mistyped setting must not end in a plain login.
    securityValid_ = security >= 0 && security <= 2;
    if (!securityValid_) return ResultCode::InvalidParameter;
    security_ = static_cast<Security>(security);
    caFile_ = caFile ? caFile : "";
    allowPlainAuth_ = allowPlainAuth;
    bearer_ = bearer;
    return ResultCode::Success;
}

int32_t Pop3Session::openSession(const char* server) {
    const uint16_t port = security_ == Security::Tls ? kPop3sPort : kPop3Port;
    int32_t rc = socket_.Connect(server, port, true, false);
    if (rc != ResultCode::Success) return rc;
    const transport::TlsOptions tls{caFile_};
    if (security_ == Security::Tls) {
        rc = socket_.StartTls(tls);
        if (rc != ResultCode::Success) return rc;
    }
    rc = readStatus(socket_, transport::limits().replyMs);
    if (rc != ResultCode::Success || security_ != Security::StartTls) return rc;
    // The reply line is taken exactly, so anything behind it is seen as
    // injected ahead of the handshake.
    rc = command("STLS\r\n");
    if (rc == ResultCode::IncorrectResponse) return ResultCode::StartTlsNotOffered;
    if (rc != ResultCode::Success) return rc;
    return socket_.StartTls(tls);
}

int32_t Pop3Session::login(const char* server, const char* user, const char* password) {
    if (!server || !user || !password) return ResultCode::NullPointer;
    // A line break would end the command early and let the rest be read as
    // another command.
    if (hasLineBreak(user) || hasLineBreak(password)) return ResultCode::InvalidParameter;

    std::lock_guard lock(callLock_);
    if (loggedIn_) {
        const int32_t rc = logoutLocked();
        if (rc != ResultCode::Success) return rc;
    }
    if (!securityValid_) return ResultCode::InvalidParameter;
    // A token never goes in clear, whatever the plain-text permission says.
    if (security_ == Security::None && (bearer_ || !allowPlainAuth_)) return ResultCode::PlainAuthRefused;

    int32_t rc = openSession(server);
    if (rc == ResultCode::Success)
        rc = bearer_ ? bearerLogin(socket_, user, password) : passwordLogin(socket_, user, password);
    if (rc != ResultCode::Success) {
        socket_.Disconnect();
        return rc;
    }
    loggedIn_ = true;
    return ResultCode::Success;
}

int32_t Pop3Session::logout() {
    std::lock_guard lock(callLock_);
    return logoutLocked();
}

int32_t Pop3Session::logoutLocked() {
    if (!loggedIn_) return ResultCode::Success;
    loggedIn_ = false;
    const int32_t rc = command("QUIT\r\n");
    socket_.Disconnect();
    return rc;
}

int32_t Pop3Session::receiveMultiLine(uint32_t inactivityMs, uint64_t maxBytes, const Sink& sink) {
    MultiLineEnd end;
    std::string piece;
    uint32_t lastPiece = platform::tickCount();
    const uint32_t started = lastPiece;
    const auto& lim = transport::limits();
    uint64_t total = 0;
    for (;;) {
        const uint64_t allowed =
            lim.transferBaseMs + total * 1000 / std::max<uint32_t>(lim.transferBytesPerSecond, 1);
        if (platform::tickCount() - started > allowed) return ResultCode::ResponseTimeout;
        const size_t available = socket_.BytesAvailable();
        if (available > 0) {
            piece.resize(available);
            const size_t got = socket_.Read(piece.data(), piece.size());
            if (got == 0) continue;
            const size_t part = end.feed(std::string_view(piece.data(), got));
            total += part;
            if (total > maxBytes) return ResultCode::ResponseTimeout;
            const int32_t sinkRc = sink(piece.data(), part);
            if (sinkRc != ResultCode::Success) return sinkRc;
            if (end.found()) return ResultCode::Success;
            lastPiece = platform::tickCount();
            continue;
        }
        const uint32_t idle = platform::tickCount() - lastPiece;
        if (idle >= inactivityMs) return ResultCode::ResponseTimeout;
        // Wakes as soon as bytes arrive; false at the limit or at once when
        // the server has gone, and nothing more can come then. Never sleeps
        // past the overall limit either.
        const uint32_t sinceStart = platform::tickCount() - started;
        const uint32_t toOverrun = sinceStart < allowed ? static_cast<uint32_t>(allowed - sinceStart) + 1 : 1;
        if (!socket_.WaitForBytes(0, std::min(inactivityMs - idle, toOverrun)) && socket_.BytesAvailable() == 0 &&
            (socket_.LinkBroken() || !socket_.IsConnected()))
            return ResultCode::ResponseTimeout;
    }
}

int32_t Pop3Session::listing(std::string_view command, char* target, int32_t targetSize) {
    if (!target) return ResultCode::NullPointer;
    if (targetSize < 0) return ResultCode::InvalidParameter;
    std::lock_guard lock(callLock_);
    if (!loggedIn_) return ResultCode::NotLoggedIn;

    int32_t rc = this->command(std::string(command) + kLineEnd);
    if (rc != ResultCode::Success) return rc;

    ByteBuffer answer;
    rc = dropOnFailure(receiveMultiLine(transport::limits().listInactivityMs, transport::limits().listingMaxBytes,
                                        [&](const char* bytes, size_t n) {
                                            answer.append(bytes, n);
                                            return ResultCode::Success;
                                        }));
    // The caller's array always ends up zero-filled and holding what arrived.
    answer.copyOut(target, static_cast<size_t>(targetSize));
    if (rc != ResultCode::Success) return rc;
    return static_cast<int32_t>(answer.size());
}

int32_t Pop3Session::retrieve(int32_t messageNumber, const char* path) {
    if (!path) return ResultCode::NullPointer;
    std::lock_guard lock(callLock_);
    if (!loggedIn_) return ResultCode::NotLoggedIn;

    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) return ResultCode::FileNotCreated;

    int32_t rc = command("RETR " + std::to_string(messageNumber) + kLineEnd);
    if (rc != ResultCode::Success) return rc;

    rc = dropOnFailure(receiveMultiLine(transport::limits().messageInactivityMs, UINT64_MAX,
                                        [&](const char* bytes, size_t n) {
                                            file.write(bytes, static_cast<std::streamsize>(n));
                                            return file ? ResultCode::Success : ResultCode::WriteError;
                                        }));
    // What arrived stays in the file, also when the transfer broke off.
    file.close();
    if (rc != ResultCode::Success) return rc;
    return file ? ResultCode::Success : ResultCode::WriteError;
}

int32_t Pop3Session::remove(int32_t messageNumber) {
    std::lock_guard lock(callLock_);
    if (!loggedIn_) return ResultCode::NotLoggedIn;
    return command("DELE " + std::to_string(messageNumber) + kLineEnd);
}

}  // namespace pop3
