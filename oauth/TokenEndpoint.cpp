#include "TokenEndpoint.h"

#include <nlohmann/json.hpp>

#include "oauth/JsonText.h"
#include "oauth/HttpsClient.h"
#include "transport/KOVAMail.h"

namespace oauth {

namespace {

using nlohmann::json;

int64_t seconds(const json& j, const char* name) {
    const auto it = j.find(name);
    if (it == j.end()) return 0;
    if (it->is_number_integer()) return it->get<int64_t>();
    if (it->is_string()) {  // some providers send it quoted
        try {
            return std::stoll(it->get<std::string>());
        } catch (...) {
            return 0;
        }
    }
    return 0;
}

// Errors that no retry mends: the grant or the client is gone or wrong.
bool needsSignIn(const std::string& error) {
    return error == "invalid_grant" || error == "invalid_client" || error == "unauthorized_client" ||
           error == "invalid_scope" || error == "access_denied" || error == "expired_token" ||
           error == "unsupported_grant_type";
}

std::string base64UrlDecode(const std::string& in) {
    std::string out;
    int bits = 0;
    unsigned value = 0;
    for (char c : in) {
        int v;
        if (c >= 'A' && c <= 'Z')
            v = c - 'A';
        else if (c >= 'a' && c <= 'z')
            v = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            v = c - '0' + 52;
        else if (c == '-' || c == '+')
            v = 62;
        else if (c == '_' || c == '/')
            v = 63;
        else
            break;
        value = (value << 6) | static_cast<unsigned>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((value >> bits) & 0xFF);
        }
    }
    return out;
}

TokenAnswer grant(const Settings& s, FormFields fields) {
    TokenAnswer a;
    if (s.tokenUrl.empty() || s.clientId.empty()) {
        a.code = KOVA_INVALID_PARAMETER;
        a.why = "no token address or client ID in the [OAuth2] settings";
        return a;
    }
    fields.emplace_back("client_id", s.clientId);
    if (!s.clientSecret.empty()) fields.emplace_back("client_secret", s.clientSecret);
    HttpAnswer http;
    a.code = postForm(s.tokenUrl, fields, s.caFile, http, &a.why);
    if (a.code != KOVA_SUCCESS) return a;
    return judgeTokenAnswer(http.status, http.body);
}

}  // namespace

TokenAnswer judgeTokenAnswer(long status, const std::string& body) {
    TokenAnswer a;
    const json j = json::parse(body, nullptr, false);
    if (!j.is_object()) {
        a.code = KOVA_OAUTH_ENDPOINT_FAILED;
        a.why = "the token endpoint answered HTTP " + std::to_string(status) + " without JSON";
        return a;
    }
    a.error = jsonText(j, "error");
    if (!a.error.empty() || status != 200) {
        a.why = jsonText(j, "error_description");
        if (a.why.empty()) a.why = a.error.empty() ? "HTTP " + std::to_string(status) : a.error;
        a.code = needsSignIn(a.error) ? KOVA_OAUTH_SIGN_IN_AGAIN : KOVA_OAUTH_ENDPOINT_FAILED;
        // Device sign-in still waiting: not a failure of the endpoint.
        if (a.error == "authorization_pending" || a.error == "slow_down") a.code = KOVA_OAUTH_SIGN_IN_AGAIN;
        return a;
    }
    a.accessToken = jsonText(j, "access_token");
    if (a.accessToken.empty()) {
        a.code = KOVA_OAUTH_ENDPOINT_FAILED;
        a.why = "the token endpoint's answer holds no access token";
        return a;
    }
    a.refreshToken = jsonText(j, "refresh_token");
    a.scope = jsonText(j, "scope");
    a.expiresIn = seconds(j, "expires_in");
    a.account = accountFromIdToken(jsonText(j, "id_token"));
    return a;
}

TokenAnswer refreshGrant(const Settings& s, const std::string& refreshToken) {
    FormFields f{{"grant_type", "refresh_token"}, {"refresh_token", refreshToken}};
    if (!s.scope.empty()) f.emplace_back("scope", s.scope);
    return grant(s, std::move(f));
}

TokenAnswer authorizationCodeGrant(const Settings& s, const std::string& code, const std::string& redirectUri,
                                   const std::string& verifier) {
    return grant(s, {{"grant_type", "authorization_code"},
                     {"code", code},
                     {"redirect_uri", redirectUri},
                     {"code_verifier", verifier}});
}

TokenAnswer deviceCodeGrant(const Settings& s, const std::string& deviceCode) {
    return grant(s, {{"grant_type", "urn:ietf:params:oauth:grant-type:device_code"}, {"device_code", deviceCode}});
}

std::string accountFromIdToken(const std::string& idToken) {
    const size_t first = idToken.find('.');
    const size_t second = first == std::string::npos ? first : idToken.find('.', first + 1);
    if (second == std::string::npos) return {};
    const json claims = json::parse(base64UrlDecode(idToken.substr(first + 1, second - first - 1)), nullptr, false);
    if (!claims.is_object()) return {};
    for (const char* name : {"preferred_username", "email", "upn"})
        if (std::string v = jsonText(claims, name); !v.empty()) return v;
    return {};
}

}  // namespace oauth
