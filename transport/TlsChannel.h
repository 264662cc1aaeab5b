// TLS over an open TcpSocket, client side, through OpenSSL: the server's
// certificate chain is verified against the system's trusted certificates
// (plus an optional PEM file of extra ones) and its name or IP address
// against the host the administrator wrote; TLS 1.2 at the least.
//
// After the handshake one thread may receive while another sends: every use
// of the TLS state is serialised by a lock that is never held while waiting
// for the socket, so neither side blocks the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace platform {
class TcpSocket;
}

namespace transport {

struct TlsOptions {
    std::string caFile;  // extra trusted certificates (PEM); empty for none
};

class TlsChannel {
public:
    // The socket must outlive the channel.
    explicit TlsChannel(platform::TcpSocket& socket);
    ~TlsChannel();
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    // Runs the handshake on the calling thread within timeoutMs and verifies
    // the peer for `host`. Returns a ResultCode: Success, FileNotOpened (CA
    // file), CertificateUntrusted, CertificateExpired, HostNameMismatch,
    // TlsHandshakeFailed, ResponseTimeout.
    int32_t handshake(const std::string& host, const TlsOptions& options, uint32_t timeoutMs);

    // As TcpSocket: > 0 bytes, 0 end of stream, TcpSocket::kError or kStopped.
    long receive(char* target, size_t size);
    long send(const char* bytes, size_t size);
    // Never waits: the count taken (0 when nothing can be taken now) or kError.
    long trySend(const char* bytes, size_t size);

    // Tells the peer the session ends, without waiting for its answer.
    void close();

    // Frees what the TLS library keeps for the calling thread. Threads that
    // outlive their connection (parked for the next one) call it when a TLS
    // job ends, since they may end only after the library was shut down.
    static void releaseThreadState();

    struct State;

private:
    // One read into readInto, or write from writeFrom when that is given,
    // under the lock: true with the bytes moved, or false with the SSL error
    // (SSL_ERROR_SSL once the session is gone).
    bool tryOnce(char* readInto, const char* writeFrom, size_t size, size_t& done, int& err);
    platform::TcpSocket& socket_;
    std::unique_ptr<State> state_;
    std::mutex lock_;
};

}  // namespace transport
