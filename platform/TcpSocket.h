// A client socket for the mail transport: IPv4 name resolution, a connect
// that is waited for within a limit, and blocking-style receive and send that
// a third thread can interrupt with stop().
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/UniqueFd.h"

namespace platform {

class TcpSocket {
public:
    enum class ConnectResult { Ok, ResolveFailed, SocketFailed, Refused, TimedOut };

    TcpSocket();
    ~TcpSocket() = default;
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // Dotted IPv4 text is taken as is; anything else is resolved (AF_INET).
    // stream=false gives a datagram socket.
    ConnectResult connect(const std::string& host, uint16_t port, bool stream, uint32_t timeoutMs);

    // Waits until bytes arrive and receives up to `size` of them.
    // > 0: bytes received; 0: end of stream; kError; kStopped.
    long receive(char* target, size_t size);
    // Waits until the socket takes some bytes and sends them; > 0 is the
    // count sent (possibly fewer than `size`), else kError or kStopped.
    long send(const char* bytes, size_t size);

    // One attempt that never waits: the count sent (0 when the socket takes
    // nothing now), or kError.
    long trySend(const char* bytes, size_t size);

    // Bytes handed to the kernel that the peer has not yet acknowledged.
    size_t unacknowledgedBytes() const;

    // For a layer that reads and writes the descriptor itself (TLS): waits
    // until it is readable or writable. 1 ready, 0 timed out (timeoutMs < 0
    // waits without limit), kStopped, kError.
    long waitReadable(int timeoutMs);
    long waitWritable(int timeoutMs);
    int nativeHandle() const { return fd_.get(); }

    // Wakes every thread waiting in receive() or send(), now and later.
    void stop();
    // Undoes stop() once the woken threads are gone, so the connection can
    // be used on (as when a session turns to TLS on the same socket).
    void resume();
    void close();

    static constexpr long kError = -1;
    static constexpr long kStopped = -2;

private:
    UniqueFd fd_;
    UniqueFd stopFd_;  // eventfd, readable once stop() was called
    bool receiveDrained_ = true;  // the last receive came back short (receiving thread only)
};

}  // namespace platform
