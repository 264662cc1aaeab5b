// The token endpoint's grants (RFC 6749): a refresh token for an access
// token, an authorization code (with its PKCE verifier) for both, and the
// device code of RFC 8628. Answers are judged into the result codes:
// 0, OAuthSignInAgain (the grant or the client was refused: only a new
// sign-in helps), OAuthEndpointFailed (no answer, or not the JSON expected).
#pragma once

#include <cstdint>
#include <string>

#include "oauth/OAuthSettings.h"

namespace oauth {

struct TokenAnswer {
    int32_t code = 0;
    std::string accessToken;
    std::string refreshToken;  // empty when the provider kept the old one
    std::string scope;
    std::string account;    // from an ID token, when one came
    int64_t expiresIn = 0;  // seconds; 0 when not said
    std::string error;      // the OAuth error word ("invalid_grant", "slow_down", ...)
    std::string why;        // for people: the provider's description or what failed
};

// Judges an HTTP answer of the token endpoint.
TokenAnswer judgeTokenAnswer(long status, const std::string& body);

TokenAnswer refreshGrant(const Settings& s, const std::string& refreshToken);
TokenAnswer authorizationCodeGrant(const Settings& s, const std::string& code, const std::string& redirectUri,
                                   const std::string& verifier);
TokenAnswer deviceCodeGrant(const Settings& s, const std::string& deviceCode);

// The signed-in account named in an ID token (preferred_username, email or
// upn), without checking its signature: it is only shown. Empty when none.
std::string accountFromIdToken(const std::string& idToken);

}  // namespace oauth
