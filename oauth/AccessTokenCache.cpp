#include "AccessTokenCache.h"

#include <algorithm>

#include "oauth/TokenEndpoint.h"
#include "oauth/TokenFile.h"
#include "platform/FileLock.h"
#include "platform/FileSystem.h"
#include "transport/KOVAMail.h"

namespace oauth {

namespace {

// A token is given up this long before the provider's end, so that it does
// not expire between being handed out and a server checking it; a short
// lifetime gives up half of itself.
constexpr std::chrono::seconds kEarly{300};
// Lifetime assumed when the provider does not say.
constexpr int64_t kDefaultLifetime = 3600;

}  // namespace

void AccessTokenCache::clear() {
    accessToken_.clear();
    unsavedRefresh_.clear();
}

int32_t AccessTokenCache::accessToken(const Settings& settings, const std::string& listDir, bool renew,
                                      std::string& token, std::string* why) {
    token.clear();
    if (!renew && !accessToken_.empty() && now_() < expires_) {
        token = accessToken_;
        return KOVA_SUCCESS;
    }
    accessToken_.clear();
    // The engine and an administrator's console share the lock in a shared list.
    const platform::FileLock lock(platform::joinPath(listDir, kTokenLockFile), tokenFileMode(listDir));
    TokenRecord record;
    if (!readTokenFile(listDir, record) && unsavedRefresh_.empty()) {
        if (why) *why = "nobody has signed in (no refresh token in OAuth2.TOK)";
        return KOVA_OAUTH_SIGN_IN_AGAIN;
    }
    const std::string refresh = unsavedRefresh_.empty() ? record.refreshToken : unsavedRefresh_;
    ++requests_;
    const TokenAnswer answer = refreshGrant(settings, refresh);
    if (answer.code != KOVA_SUCCESS) {
        if (why) *why = answer.why;
        return answer.code;
    }
    if (!answer.refreshToken.empty() && answer.refreshToken != refresh) {
        record.refreshToken = answer.refreshToken;
        record.obtained = utcNow();
        if (!answer.scope.empty()) record.scope = answer.scope;
        unsavedRefresh_ = writeTokenFile(listDir, record) ? std::string() : answer.refreshToken;
    } else if (!unsavedRefresh_.empty()) {
        record.refreshToken = unsavedRefresh_;
        if (writeTokenFile(listDir, record)) unsavedRefresh_.clear();
    }
    const int64_t lifetime = answer.expiresIn > 0 ? answer.expiresIn : kDefaultLifetime;
    const auto early = std::min<std::chrono::seconds>(kEarly, std::chrono::seconds(lifetime / 2));
    expires_ = now_() + std::chrono::seconds(lifetime) - early;
    accessToken_ = answer.accessToken;
    token = accessToken_;
    return KOVA_SUCCESS;
}

}  // namespace oauth
