// The extended SMTP dialogue a submission server expects: EHLO and its list
// of extensions, STARTTLS and AUTH (PLAIN or LOGIN).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class MailSocket;

namespace smtp {

struct Security;

// What the server's EHLO answer offers.
struct Extensions {
    bool startTls = false;
    bool authPlain = false;
    bool authLogin = false;
    bool authOAuthBearer = false;  // RFC 7628
    bool authXOAuth2 = false;
    bool pipelining = false;  // RFC 2920: commands may go out in groups
};

// Sends `command` (when not empty) and reads the whole reply, every line of a
// multi-line one, into `reply`. ResponseTimeout when it does not complete.
int32_t exchange(MailSocket& s, const std::string& command, std::string& reply);

// The extension keywords of an EHLO reply ("250-STARTTLS", "250 AUTH LOGIN PLAIN").
Extensions parseExtensions(std::string_view reply);

// EHLO domain; IncorrectResponse unless the server answers 250.
int32_t ehlo(MailSocket& s, const std::string& domain, Extensions& offered);

// Opens the session up to the point where MAIL FROM may follow: after the
// greeting, EHLO, STARTTLS with a second EHLO when asked, then AUTH when a
// user is given. Never falls back to plain text, never sends credentials in
// clear unless allowed.
// `offered` receives the last EHLO answer's extensions when given.
int32_t openExtended(MailSocket& s, const std::string& domain, const Security& security,
                     Extensions* offered = nullptr);

// AUTH with the method the server offers (PLAIN before LOGIN).
// AuthenticationRefused, AuthNotOffered, or a transport failure.
int32_t authenticate(MailSocket& s, const Extensions& offered, const std::string& user,
                     const std::string& password);

// The dialogue with every encoded password replaced by asterisks, so that a
// transcript shown on screen or kept in a log carries no credential.
std::string maskCredentials(std::string transcript, const Security& security);

}  // namespace smtp
