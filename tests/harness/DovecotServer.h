// A private Dovecot POP3 server on a loopback address, for tests and
// benchmarks: its own configuration directory, passwd-file users and one
// Maildir per user, stopped when the object goes away.
#pragma once

#include "platform/ChildProcess.h"

#include <cstdint>
#include <string>
#include <vector>

#include "tests/TempDir.h"

namespace harness {

class DovecotServer {
public:
    // address: a 127.x.y.z the caller owns (one per test so tests can run in
    // parallel). Nothing is started until start().
    explicit DovecotServer(std::string address, uint16_t port = 110);
    ~DovecotServer();
    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;

    // Serves TLS with this certificate: STLS on the plain port, which then
    // refuses USER before STLS, and implicit TLS on tlsPort. Before start().
    void enableTls(const std::string& certPath, const std::string& keyPath, uint16_t tlsPort = 995);
    uint16_t tlsPort() const { return tlsPort_; }

    // Writes the configuration, starts Dovecot in the foreground and waits
    // (bounded) until it accepts connections. False with a reason in *error.
    bool start(std::string* error = nullptr);
    // SIGTERM and wait; also done by the destructor.
    void stop();
    bool running();

    // Adds a user (or replaces its password) and creates its Maildir. Works
    // before and after start(): Dovecot re-reads the passwd file.
    void addUser(const std::string& user, const std::string& password);

    // Delivers a message as a delivery agent does (written to tmp/, renamed
    // into new/ under a name never used before). Returns the file's path.
    std::string injectMessage(const std::string& user, const std::string& content);

    // The message files in the user's Maildir (new/ and cur/), sorted by name.
    std::vector<std::string> listMaildir(const std::string& user) const;

    // Removes every message of the user (for re-filling a mailbox between runs).
    void clearMaildir(const std::string& user);

    const std::string& address() const { return address_; }
    uint16_t port() const { return port_; }
    // "address" for port 110, else "address:port", as the libraries take it.
    std::string server() const;
    const std::string& directory() const { return dir_.path(); }
    std::string maildir(const std::string& user) const;
    // Dovecot's own log, for failure messages.
    std::string log() const;

    // The user Dovecot runs mail access as.
    static constexpr const char* kMailUser = "mail";

private:
    void writeConfig() const;
    void writeUsers() const;

    std::string address_;
    uint16_t port_;
    TempDir dir_;
    std::string certPath_, keyPath_;
    uint16_t tlsPort_ = 0;
    std::vector<std::pair<std::string, std::string>> users_;
    platform::ChildProcess process_;
};

}  // namespace harness
