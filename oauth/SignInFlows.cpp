#include "SignInFlows.h"

#include "oauth/TokenFile.h"
#include "platform/Clock.h"
#include "platform/TcpListener.h"
#include "transport/KOVAMail.h"

namespace oauth {

namespace {

constexpr uint32_t kPollMs = 200;
constexpr size_t kMaxRequest = 16 * 1024;

const char kDonePage[] =
    "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nConnection: close\r\n\r\n"
    "<html><body><h1>KOVA(tm) Ringpost</h1><p>The sign-in has reached the console. You may close this window "
    "and go back to the console.</p></body></html>";
const char kNotFound[] = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";

TokenAnswer failed(int32_t code, std::string why) {
    TokenAnswer a;
    a.code = code;
    a.why = std::move(why);
    return a;
}

TokenAnswer store(TokenAnswer answer, const std::string& listDir, const std::string& loginHint) {
    if (answer.code != KOVA_SUCCESS) return answer;
    if (answer.refreshToken.empty())
        return failed(KOVA_OAUTH_SIGN_IN_AGAIN,
                      "the provider granted no refresh token (is offline access in the scope?)");
    TokenRecord record;
    record.refreshToken = answer.refreshToken;
    record.account = answer.account.empty() ? loginHint : answer.account;
    record.scope = answer.scope;
    record.obtained = utcNow();
    if (!writeTokenFile(listDir, record)) return failed(KOVA_WRITE_ERROR, "OAuth2.TOK could not be written");
    answer.account = record.account;
    return answer;
}

}  // namespace

LoopbackRedirect::LoopbackRedirect() : listener_(std::make_unique<platform::TcpListener>()) {}

LoopbackRedirect::~LoopbackRedirect() = default;

bool LoopbackRedirect::listen(std::string* why) { return listener_->listen("127.0.0.1", 0, why); }

std::string LoopbackRedirect::redirectUri() const {
    return "http://127.0.0.1:" + std::to_string(listener_->port()) + "/";
}

void LoopbackRedirect::stop() {
    stopped_ = true;
    listener_->stop();
}

bool LoopbackRedirect::wait(uint32_t timeoutMs, Redirect& out) {
    const uint32_t started = platform::tickCount();
    while (!stopped_) {
        const uint32_t spent = platform::tickCount() - started;
        if (spent >= timeoutMs) return false;
        auto client = listener_->accept(timeoutMs - spent);
        if (!client) continue;
        std::string request;
        char piece[2048];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxRequest) {
            const long n = client->receive(piece, sizeof piece, kPollMs * 25);
            if (n <= 0) break;
            request.append(piece, static_cast<size_t>(n));
        }
        const std::string line = request.substr(0, request.find("\r\n"));
        const Redirect r = parseRedirect(line.starts_with("GET ") ? line : std::string());
        if (r.code.empty() && r.error.empty()) {
            client->sendAll(kNotFound);
            continue;
        }
        client->sendAll(kDonePage);
        client->shutdownWrite();
        out = r;
        return true;
    }
    return false;
}

TokenAnswer finishCodeFlow(const Settings& s, const AuthorizationRequest& request, LoopbackRedirect& redirect,
                           uint32_t timeoutMs, const std::string& listDir, const std::string& loginHint) {
    Redirect r;
    if (!redirect.wait(timeoutMs, r)) return failed(KOVA_OAUTH_SIGN_IN_AGAIN, "no answer came from the browser");
    if (r.state != request.state)
        return failed(KOVA_OAUTH_SIGN_IN_AGAIN, "the browser brought back an answer to another sign-in");
    if (!r.error.empty())
        return failed(KOVA_OAUTH_SIGN_IN_AGAIN, r.errorDescription.empty() ? r.error : r.errorDescription);
    return store(authorizationCodeGrant(s, r.code, request.redirectUri, request.verifier), listDir, loginHint);
}

TokenAnswer finishDeviceFlow(const Settings& s, const DeviceAuthorization& d,
                             const std::function<bool(int milliseconds)>& wait, const std::string& listDir,
                             const std::string& loginHint) {
    return store(pollDeviceToken(s, d, wait), listDir, loginHint);
}

}  // namespace oauth
