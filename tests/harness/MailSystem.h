// The private mail system of scripts/mail-system with TLS, as a provider
// runs one: Dovecot demanding TLS (STLS on 110, implicit on 995), Postfix
// taking submissions only after AUTH through Dovecot's SASL, with STARTTLS
// on 587 and implicit TLS on 465, delivering into Dovecot's mailboxes.
// Users have the password "secret" and the addresses USER@example.org.
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
    bool start(const std::string& address, const std::vector<std::string>& users, std::string* error);
    void stop();

    // The private authority's certificate, for the clients' CA file.
    std::string caFile() const { return dir_.file("system/tls/ca.pem"); }
    // Waits (bounded, 30 s) until the user's mailbox holds `count` messages.
    bool waitFor(const std::string& user, int count) const;
    // The message files of the user's mailbox.
    std::vector<std::string> messages(const std::string& user) const;
    std::string postfixLog() const;

private:
    bool script(const std::vector<std::string>& args, std::string* output) const;
    TempDir dir_;
    bool started_ = false;
};

}  // namespace harness
