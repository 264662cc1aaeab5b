// What the console's sign-in needs besides the token endpoint: the
// authorization request with PKCE (S256, RFC 7636) for the system browser
// and its loopback redirect (RFC 8252), and the device authorization of
// RFC 8628 for a console whose browser is on another machine.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "oauth/OAuthSettings.h"
#include "oauth/TokenEndpoint.h"

namespace oauth {

// Random bytes in base64url without padding (state, PKCE verifier).
std::string randomUrlSafe(size_t bytes);
// The S256 code challenge of a verifier.
std::string codeChallenge(const std::string& verifier);

struct AuthorizationRequest {
    std::string url;  // for the browser
    std::string state;
    std::string verifier;
    std::string redirectUri;
};
// `loginHint`: the account the provider should propose, or empty.
AuthorizationRequest makeAuthorizationRequest(const Settings& s, const std::string& redirectUri,
                                              const std::string& loginHint);

struct Redirect {
    std::string code;
    std::string state;
    std::string error;
    std::string errorDescription;
};
// The query of the request line the browser sent to the loopback address
// ("GET /?code=...&state=... HTTP/1.1", or just the part after '?').
Redirect parseRedirect(std::string_view requestLineOrQuery);

struct DeviceAuthorization {
    int32_t code = 0;
    std::string deviceCode;
    std::string userCode;
    std::string verificationUri;
    std::string verificationUriComplete;
    int interval = 5;     // seconds between polls
    int expiresIn = 900;  // seconds
    std::string why;
};
DeviceAuthorization startDeviceAuthorization(const Settings& s);

// Polls the token endpoint until the user has approved, refused, or the
// code expired, waiting the given interval between polls and five seconds
// more after each "slow_down". `wait(ms)` sleeps and returns false when the
// user cancelled; the result is then OAuthSignInAgain with error "cancelled".
TokenAnswer pollDeviceToken(const Settings& s, const DeviceAuthorization& d,
                            const std::function<bool(int milliseconds)>& wait);

}  // namespace oauth
