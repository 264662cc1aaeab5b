// SMTP authentication (RFC 4954): the SASL mechanisms the library speaks,
// in the order it prefers them, and the masking of what they send. A new
// mechanism is one row of the table in the .cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace smtp {

class Connection;
struct Security;

// Authenticates with the first mechanism of ours the server offers
// (`offered`: the EHLO reply's AUTH mechanisms) that takes what `security`
// holds: a password, or with `bearer` an OAuth 2.0 access token.
// AuthenticationRefused when the server refuses (its reply is the
// connection's refusal()), AuthNotOffered when no mechanism is common, else
// a transport failure.
int32_t authenticate(Connection& connection, const std::vector<std::string>& offered, const Security& security);

// The dialogue with everything a mechanism sends that carries a credential
// replaced by asterisks, so that a transcript shown on screen or kept in a
// log carries none.
std::string maskCredentials(std::string transcript, const Security& security);

}  // namespace smtp
