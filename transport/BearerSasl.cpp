#include "BearerSasl.h"

#include "transport/Base64Encoder.h"

namespace transport {

namespace {

// RFC 7628 gs2 header: the authorization identity with ',' and '=' escaped.
std::string saslName(std::string_view user) {
    std::string out;
    for (char c : user) {
        if (c == ',')
            out += "=2C";
        else if (c == '=')
            out += "=3D";
        else
            out += c;
    }
    return out;
}

}  // namespace

std::optional<BearerMechanism> chooseBearerMechanism(bool oauthBearer, bool xoauth2) {
    if (oauthBearer) return BearerMechanism::OAuthBearer;
    if (xoauth2) return BearerMechanism::XOAuth2;
    return std::nullopt;
}

const char* mechanismName(BearerMechanism m) { return m == BearerMechanism::OAuthBearer ? "OAUTHBEARER" : "XOAUTH2"; }

std::string bearerInitialResponse(BearerMechanism m, std::string_view user, std::string_view token) {
    std::string message;
    if (m == BearerMechanism::OAuthBearer)
        message = "n,a=" + saslName(user) + ",\x01" + "auth=Bearer " + std::string(token) + "\x01\x01";
    else
        message = "user=" + std::string(user) + "\x01" + "auth=Bearer " + std::string(token) + "\x01\x01";
    return base64Line(message);
}

std::string bearerErrorAnswer(BearerMechanism m) { return m == BearerMechanism::OAuthBearer ? base64Line("\x01") : ""; }

BearerOpening bearerOpening(BearerMechanism m, std::string_view user, std::string_view token, size_t lineLimit) {
    const std::string name = std::string("AUTH ") + mechanismName(m);
    const std::string response = bearerInitialResponse(m, user, token);
    std::string whole = name + " " + response + "\r\n";
    if (whole.size() <= lineLimit) return {std::move(whole), {}};
    return {name + "\r\n", response + "\r\n"};
}

}  // namespace transport
