// The private mail system of scripts/mail-system with TLS, as a provider
// runs one: Dovecot demanding TLS (STLS on 110, implicit on 995), Postfix
// taking submissions only after AUTH through Dovecot's SASL, with STARTTLS
// on 587 and implicit TLS on 465, delivering into Dovecot's mailboxes.
// Users have the password "secret" and the addresses USER@example.org.
// With OAuth a private authorization server stands beside them (see
// scripts/mail-system --oauth) and both servers also take its tokens.
#pragma once

#include <string>
#include <vector>

#include "tests/TempDir.h"

namespace harness {

class MailSystem {
public:
    MailSystem();
    ~MailSystem();  // stops both servers
    MailSystem(const MailSystem&) = delete;
    MailSystem& operator=(const MailSystem&) = delete;

    // address: a 127.x.y.z the caller owns. False with the script's output in *error.
    bool start(const std::string& address, const std::vector<std::string>& users, std::string* error,
               bool oauth = false);
    void stop();

    // The private authority's certificate, for the clients' CA file.
    std::string caFile() const { return dir_.file("system/tls/ca.pem"); }
    // Waits (bounded, 30 s) until the user's mailbox holds `count` messages.
    bool waitFor(const std::string& user, int count) const;
    // The message files of the user's mailbox.
    std::vector<std::string> messages(const std::string& user) const;
    std::string postfixLog() const;
    std::string dovecotLog() const;
    // The authorization server: its address and the lines it logged (one
    // "grant GRANT_TYPE ok|ERROR" per token request).
    std::string issuer() const { return "https://" + address_ + ":8443"; }
    std::string providerLog() const;
    // Submits a message through the private Postfix (port 25, no login).
    bool send(const std::string& from, const std::string& to, const std::string& subject, const std::string& body);

private:
    bool script(const std::vector<std::string>& args, std::string* output) const;
    TempDir dir_;
    std::string address_;
    bool started_ = false;
};

}  // namespace harness
