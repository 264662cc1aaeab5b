// Signing in to a mail server with an OAuth 2.0 access token: the SASL
// mechanisms OAUTHBEARER (RFC 7628) and XOAUTH2, which POP3 and SMTP carry
// alike. Only the exchange's texts live here; each protocol sends them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace transport {

enum class BearerMechanism { OAuthBearer, XOAuth2 };

// OAUTHBEARER where the server offers it (it is the standard one), else XOAUTH2.
std::optional<BearerMechanism> chooseBearerMechanism(bool oauthBearer, bool xoauth2);

const char* mechanismName(BearerMechanism m);

// The client's first message, base64 on one line. It carries the token:
// whoever records the dialogue masks it.
std::string bearerInitialResponse(BearerMechanism m, std::string_view user, std::string_view token);

// What the client answers to a challenge, which for these mechanisms only
// carries the server's error (base64 JSON): the dummy response RFC 7628 asks
// for, after which the server sends its failure. XOAUTH2 takes an empty line.
std::string bearerErrorAnswer(BearerMechanism m);

// The AUTH command, CR LF included, with the initial response when the whole
// line fits the server's limit (255 octets for POP3, RFC 5034; Postfix takes
// 2,048), else without it: the response then follows the server's empty
// challenge on a line of its own, `continuation`.
struct BearerOpening {
    std::string command;
    std::string continuation;  // empty when the response went with the command
};
BearerOpening bearerOpening(BearerMechanism m, std::string_view user, std::string_view token, size_t lineLimit);

}  // namespace transport
