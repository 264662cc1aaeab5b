// SMTP AUTH with an OAuth 2.0 access token (OAUTHBEARER, RFC 7628, or
// XOAUTH2), and the QUIT that ends a session whose AUTH was refused.
#pragma once

#include <cstdint>
#include <string>

class MailSocket;

namespace smtp {

struct Extensions;
struct Security;

// AUTH with the mechanism the server's EHLO offers, OAUTHBEARER first.
// AuthenticationRefused (after answering an error challenge), AuthNotOffered,
// or a transport failure.
int32_t authenticateBearer(MailSocket& s, const Extensions& offered, const std::string& user, const std::string& token);

// After a refused AUTH the dialogue is still in step: say goodbye instead of
// dropping the line, as servers that count failed logins expect.
void quitAfterRefusedAuth(MailSocket& s);

// The transcript with the token and every encoded form of it masked.
std::string maskBearerCredentials(std::string transcript, const Security& security);

}  // namespace smtp
