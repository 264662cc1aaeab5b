#include "SignInRequest.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <nlohmann/json.hpp>
#include <vector>

#include "oauth/HttpsClient.h"
#include "oauth/JsonText.h"
#include "text/TextRules.h"
#include "transport/KOVAMail.h"

namespace oauth {

namespace {

std::string base64Url(const unsigned char* bytes, size_t n) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string out;
    unsigned value = 0;
    int bits = 0;
    for (size_t i = 0; i < n; ++i) {
        value = (value << 8) | bytes[i];
        bits += 8;
        while (bits >= 6) {
            bits -= 6;
            out += kAlphabet[(value >> bits) & 0x3F];
        }
    }
    if (bits > 0) out += kAlphabet[(value << (6 - bits)) & 0x3F];
    return out;
}

std::string percentDecode(std::string_view in) {
    std::string out;
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '+') {
            out += ' ';
        } else if (in[i] == '%' && i + 2 < in.size() && text::hexDigitValue(in[i + 1]) >= 0 &&
                   text::hexDigitValue(in[i + 2]) >= 0) {
            out += static_cast<char>(text::hexDigitValue(in[i + 1]) * 16 + text::hexDigitValue(in[i + 2]));
            i += 2;
        } else {
            out += in[i];
        }
    }
    return out;
}

int jsonSeconds(const nlohmann::json& j, const char* name, int fallback) {
    const auto it = j.find(name);
    return it != j.end() && it->is_number_integer() && it->get<int>() > 0 ? it->get<int>() : fallback;
}

constexpr int kSlowDownStepMs = 5000;

}  // namespace

std::string randomUrlSafe(size_t bytes) {
    std::vector<unsigned char> raw(bytes);
    if (RAND_bytes(raw.data(), static_cast<int>(raw.size())) != 1) return {};
    return base64Url(raw.data(), raw.size());
}

std::string codeChallenge(const std::string& verifier) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    if (EVP_Digest(verifier.data(), verifier.size(), digest, &n, EVP_sha256(), nullptr) != 1) return {};
    return base64Url(digest, n);
}

AuthorizationRequest makeAuthorizationRequest(const Settings& s, const std::string& redirectUri,
                                              const std::string& loginHint) {
    AuthorizationRequest r;
    r.state = randomUrlSafe(24);
    r.verifier = randomUrlSafe(48);  // 64 characters, within RFC 7636's 43 to 128
    r.redirectUri = redirectUri;
    r.url = s.authorizeUrl + (s.authorizeUrl.find('?') == std::string::npos ? "?" : "&") +
            formEncode({{"response_type", "code"},
                        {"client_id", s.clientId},
                        {"redirect_uri", redirectUri},
                        {"scope", s.scope},
                        {"state", r.state},
                        {"code_challenge", codeChallenge(r.verifier)},
                        {"code_challenge_method", "S256"}});
    if (!loginHint.empty()) r.url += "&login_hint=" + urlEncode(loginHint);
    r.url += s.authorizeExtra;
    return r;
}

Redirect parseRedirect(std::string_view line) {
    if (const size_t q = line.find('?'); q != std::string_view::npos) line.remove_prefix(q + 1);
    if (const size_t end = line.find_first_of(" #\r\n"); end != std::string_view::npos) line = line.substr(0, end);
    Redirect r;
    while (!line.empty()) {
        const size_t amp = line.find('&');
        const std::string_view pair = line.substr(0, amp);
        line = amp == std::string_view::npos ? std::string_view{} : line.substr(amp + 1);
        const size_t eq = pair.find('=');
        const std::string name = percentDecode(pair.substr(0, eq));
        const std::string value = eq == std::string_view::npos ? std::string() : percentDecode(pair.substr(eq + 1));
        if (name == "code") r.code = value;
        if (name == "state") r.state = value;
        if (name == "error") r.error = value;
        if (name == "error_description") r.errorDescription = value;
    }
    return r;
}

DeviceAuthorization startDeviceAuthorization(const Settings& s) {
    DeviceAuthorization d;
    if (s.deviceUrl.empty() || s.clientId.empty()) {
        d.code = KOVA_INVALID_PARAMETER;
        d.why = "this provider offers no sign-in with a code for these settings";
        return d;
    }
    FormFields f{{"client_id", s.clientId}, {"scope", s.scope}};
    if (!s.clientSecret.empty()) f.emplace_back("client_secret", s.clientSecret);
    HttpAnswer http;
    d.code = postForm(s.deviceUrl, f, s.caFile, http, &d.why);
    if (d.code != KOVA_SUCCESS) return d;
    const auto j = nlohmann::json::parse(http.body, nullptr, false);
    if (!j.is_object()) {
        d.code = KOVA_OAUTH_ENDPOINT_FAILED;
        d.why = "the device endpoint answered HTTP " + std::to_string(http.status) + " without JSON";
        return d;
    }
    d.deviceCode = jsonText(j, "device_code");
    d.userCode = jsonText(j, "user_code");
    d.verificationUri = jsonText(j, "verification_uri");
    if (d.verificationUri.empty()) d.verificationUri = jsonText(j, "verification_url");  // an older spelling
    d.verificationUriComplete = jsonText(j, "verification_uri_complete");
    d.interval = jsonSeconds(j, "interval", 5);
    d.expiresIn = jsonSeconds(j, "expires_in", 900);
    if (http.status != 200 || d.deviceCode.empty() || d.userCode.empty() || d.verificationUri.empty()) {
        d.why = jsonText(j, "error_description");
        if (d.why.empty()) d.why = jsonText(j, "error");
        if (d.why.empty()) d.why = "the device endpoint's answer lacks the code";
        d.code = jsonText(j, "error").empty() ? KOVA_OAUTH_ENDPOINT_FAILED : KOVA_OAUTH_SIGN_IN_AGAIN;
    }
    return d;
}

TokenAnswer pollDeviceToken(const Settings& s, const DeviceAuthorization& d,
                            const std::function<bool(int milliseconds)>& wait) {
    int intervalMs = d.interval * 1000;
    long left = static_cast<long>(d.expiresIn) * 1000;
    for (;;) {
        if (!wait(intervalMs)) {
            TokenAnswer cancelled;
            cancelled.code = KOVA_OAUTH_SIGN_IN_AGAIN;
            cancelled.error = "cancelled";
            cancelled.why = "the sign-in was cancelled";
            return cancelled;
        }
        left -= intervalMs;
        TokenAnswer a = deviceCodeGrant(s, d.deviceCode);
        if (a.error == "slow_down") {
            intervalMs += kSlowDownStepMs;
        } else if (a.error != "authorization_pending") {
            return a;
        }
        if (left <= 0) {
            a.code = KOVA_OAUTH_SIGN_IN_AGAIN;
            a.error = "expired_token";
            a.why = "the code expired before the sign-in was completed";
            return a;
        }
    }
}

}  // namespace oauth
