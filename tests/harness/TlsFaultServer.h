// A scripted TLS server (tls_fault_server.py beside this file) for the faults
// real servers do not produce on demand: a POP3 link dropped mid-message, an
// STLS answer with bytes injected behind it, an SMTP server reading slowly.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ChildProcess.h"
#include "tests/TempDir.h"

namespace harness {

class TlsFaultServer {
public:
    enum class Mode { Pop3Drop, Pop3Inject, SmtpSlow };

    TlsFaultServer(Mode mode, std::string address, uint16_t port, std::string certPath, std::string keyPath);
    ~TlsFaultServer();
    TlsFaultServer(const TlsFaultServer&) = delete;
    TlsFaultServer& operator=(const TlsFaultServer&) = delete;

    bool start(std::string* error = nullptr);
    // Every command line received, each followed by LF ("TLS: " before those
    // that came over TLS after an STLS).
    std::string commands() const;
    // SmtpSlow: the message data received, through its end line.
    std::string data() const;
    std::string server() const { return address_ + ":" + std::to_string(port_); }

private:
    Mode mode_;
    std::string address_;
    uint16_t port_;
    std::string cert_, key_;
    TempDir dir_;
    platform::ChildProcess process_;
};

}  // namespace harness
