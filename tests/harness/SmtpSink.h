// An SMTP sink on a loopback address for tests and benchmarks: Postfix's
// smtp-sink (fastest) or the Python sink beside this file (stores every
// message byte for byte with its envelope). Stopped when the object goes away.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"
#include "tests/TempDir.h"

namespace harness {

struct SunkMessage {
    std::string helo;
    std::string mailFrom;
    std::vector<std::string> rcptTos;
    std::string data;  // as received, CR LF kept, dots un-stuffed
    bool tls = false;       // Python sink: the session ran over TLS
    std::string authUser;   // Python sink: the user it authenticated as
    std::string connection; // Python sink: the client's address and port
};

class SmtpSink {
public:
    enum class Kind { Postfix, Python };

    // address: a 127.x.y.z the caller owns. extraArgs go to smtp-sink only
    // (its fault options such as "-f", "rcpt").
    SmtpSink(Kind kind, std::string address, uint16_t port = 25, std::vector<std::string> extraArgs = {});
    ~SmtpSink();
    SmtpSink(const SmtpSink&) = delete;
    SmtpSink& operator=(const SmtpSink&) = delete;

    // Python sink only, before start(): serve TLS with this certificate,
    // from the start or after STARTTLS (which it then demands), and demand
    // authentication when a user is given.
    enum class TlsMode { Plain, StartTls, Tls };
    void enableTls(TlsMode mode, const std::string& certPath, const std::string& keyPath);
    void requireAuth(const std::string& user, const std::string& password);
    // Python sink only, before start(): its further switches
    // ("--close-after", "2", "--pipelining", ...; see smtp_sink.py).
    void addOptions(const std::vector<std::string>& options);
    // Forgets every switch given, for the next start().
    void clearOptions() { pythonArgs_.clear(); }

    // Starts the sink and waits (bounded) until it accepts connections.
    bool start(std::string* error = nullptr);
    void stop();

    // "address" for port 25, else "address:port", as the library takes it.
    std::string server() const;
    const std::string& address() const { return address_; }
    uint16_t port() const { return port_; }

    // Python sink: the stored messages in arrival order.
    std::vector<SunkMessage> messages() const;
    // Postfix sink: the stored message files (headers it adds, then the data
    // with CR LF turned into LF), sorted by name.
    std::vector<std::string> messageFiles() const;
    std::string log() const;

private:
    Kind kind_;
    std::string address_;
    uint16_t port_;
    std::vector<std::string> extraArgs_;
    std::vector<std::string> pythonArgs_;
    TempDir dir_;
    platform::ChildProcess process_;
};

}  // namespace harness
