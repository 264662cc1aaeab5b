// The two ways an administrator signs a list in, without any window: the
// authorization code flow finished at a loopback address the browser is
// sent back to (RFC 8252), and the device flow (RFC 8628). Both end by
// storing the refresh token in the list's OAuth2.TOK. The console runs
// them off its window's thread; every wait can be cut short from another
// thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "oauth/SignInRequest.h"
#include "oauth/TokenEndpoint.h"

namespace platform {
class TcpListener;
}

namespace oauth {

// Where the provider sends the browser back: 127.0.0.1 on a free port.
class LoopbackRedirect {
public:
    LoopbackRedirect();
    ~LoopbackRedirect();
    LoopbackRedirect(const LoopbackRedirect&) = delete;
    LoopbackRedirect& operator=(const LoopbackRedirect&) = delete;

    bool listen(std::string* why = nullptr);
    // "http://127.0.0.1:PORT/"
    std::string redirectUri() const;
    // Waits for the request that carries the provider's answer (other
    // requests, such as for an icon, are turned away) and answers it with a
    // page telling the person to go back to the console. False on time-out
    // or stop().
    bool wait(uint32_t timeoutMs, Redirect& out);
    // From any thread: ends the wait at once.
    void stop();

private:
    std::unique_ptr<platform::TcpListener> listener_;
    std::atomic<bool> stopped_{false};
};

// Waits for the redirect, checks `state` (a foreign or replayed answer is
// refused), exchanges the code with the PKCE verifier and stores the token.
// `loginHint` names the account when the provider's answer does not.
TokenAnswer finishCodeFlow(const Settings& s, const AuthorizationRequest& request, LoopbackRedirect& redirect,
                           uint32_t timeoutMs, const std::string& listDir, const std::string& loginHint);

// Polls until the person approved the code, then stores the token.
TokenAnswer finishDeviceFlow(const Settings& s, const DeviceAuthorization& d,
                             const std::function<bool(int milliseconds)>& wait, const std::string& listDir,
                             const std::string& loginHint);

}  // namespace oauth
