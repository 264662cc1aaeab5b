// Logging in to a POP3 server once the greeting (and STLS) is done: USER and
// PASS with a password, or AUTH (RFC 5034) with an OAuth 2.0 access token.
#pragma once

#include <cstdint>
#include <string>

class MailSocket;

namespace pop3 {

// USER and PASS. A refusal the server marks as one of the credentials
// ("-ERR [AUTH]", RFC 3206), or any refusal over TLS but a busy server's
// ([IN-USE], [SYS/...]), is AuthenticationRefused; another refusal over a
// plain connection stays IncorrectResponse, as it always was.
int32_t passwordLogin(MailSocket& s, const std::string& user, const std::string& password);

// CAPA, then AUTH OAUTHBEARER (or XOAUTH2 where that is all the server
// offers). AuthNotOffered when the server lists neither; AuthenticationRefused
// when it refuses the token; IncorrectResponse for a refusal that says the
// server is busy ([IN-USE], [SYS/...]).
int32_t bearerLogin(MailSocket& s, const std::string& user, const std::string& token);

}  // namespace pop3
