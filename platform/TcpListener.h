// The server side of a TCP connection, for the scripted fake servers of the
// tests: listen on a loopback address, accept, receive with a time limit and
// send. Every wait can be cut short by stop().
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/UniqueFd.h"

namespace platform {

class TcpStream {
public:
    TcpStream(UniqueFd fd, int stopFd) : fd_(std::move(fd)), stopFd_(stopFd) {}

    // > 0: bytes received; 0: end of stream; else kError, kStopped or kTimeout.
    long receive(char* target, size_t size, uint32_t timeoutMs);
    // Sends everything (completing partial sends); false on error or stop.
    bool sendAll(std::string_view bytes);
    // No more sending; the peer sees end of stream.
    void shutdownWrite();
    void close() { fd_.close(); }

    static constexpr long kError = -1;
    static constexpr long kStopped = -2;
    static constexpr long kTimeout = -3;

private:
    UniqueFd fd_;
    int stopFd_;  // owned by the listener, which outlives its streams
};

class TcpListener {
public:
    TcpListener();
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    // ipv4 dotted address; port 0 picks a free one (see port()).
    bool listen(const std::string& ipv4, uint16_t port, std::string* error = nullptr);
    uint16_t port() const { return port_; }

    // Waits up to timeoutMs for a client. Null on time-out, error or stop.
    std::unique_ptr<TcpStream> accept(uint32_t timeoutMs);

    // Wakes every wait of the listener and its streams, now and later.
    void stop();

private:
    UniqueFd fd_;
    UniqueFd stopFd_;
    uint16_t port_ = 0;
};

}  // namespace platform
