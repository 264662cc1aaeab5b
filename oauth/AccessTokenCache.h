// One list's access token, kept in memory until shortly before it expires
// and shared by the list's POP3 and SMTP work. A refresh that brings a new
// refresh token (providers rotate them) stores it in OAuth2.TOK before the
// access token that came with it is handed out: a crash right after the
// answer loses nothing.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "oauth/OAuthSettings.h"

namespace oauth {

class AccessTokenCache {
public:
    using Clock = std::chrono::steady_clock;
    // Tests pass a clock of their own to let tokens expire at once.
    explicit AccessTokenCache(std::function<Clock::time_point()> now = Clock::now) : now_(std::move(now)) {}

    // A usable access token for the list in `listDir`: the cached one, or a
    // new one from OAuth2.TOK's refresh token. `renew` refreshes even though
    // the cached one has not expired (a server refused it). Results: 0,
    // OAuthSignInAgain (no token file, or the grant was refused),
    // OAuthEndpointFailed, InvalidParameter (settings lacking), PlainAuthRefused
    // (a token address that is not https). `why` says more, for people.
    int32_t accessToken(const Settings& settings, const std::string& listDir, bool renew, std::string& token,
                        std::string* why = nullptr);

    // Forgets the cached access token (a sign-in or sign-out happened).
    void clear();

    // Token requests made so far, for tests.
    int requests() const { return requests_; }

private:
    std::function<Clock::time_point()> now_;
    std::string accessToken_;
    Clock::time_point expires_{};
    // A rotated refresh token that could not be stored: used for the next
    // refresh all the same, and stored again then.
    std::string unsavedRefresh_;
    int requests_ = 0;
};

}  // namespace oauth
