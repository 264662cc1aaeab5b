#include "TcpSocket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <linux/sockios.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>

namespace platform {

namespace {

bool resolve(const std::string& host, in_addr& out) {
    if (::inet_pton(AF_INET, host.c_str(), &out) == 1) return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || !res) return false;
    out = reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr;
    ::freeaddrinfo(res);
    return true;
}

// Polls fd for `events` together with the stop descriptor. 1 ready, 0 timed
// out, kStopped, kError. timeoutMs < 0 waits without limit.
long waitFor(int fd, int stopFd, short events, int timeoutMs) {
    pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    for (;;) {
        const int r = ::poll(fds, 2, timeoutMs);
        if (r < 0) {
            if (errno == EINTR) continue;  // a timed wait restarts its full limit: rare and harmless
            return TcpSocket::kError;
        }
        if (r == 0) return 0;
        if (fds[1].revents) return TcpSocket::kStopped;
        return 1;
    }
}

// A server that writes its next piece only once the previous one is
// acknowledged (Nagle) would otherwise wait for our delayed ACK, some 40 ms,
// for instance between its TLS session tickets and its greeting. The kernel
// drops the setting again by itself, so it is renewed before every wait.
void quickAck(int fd) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
}

}  // namespace

TcpSocket::TcpSocket() : stopFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TcpSocket::ConnectResult TcpSocket::connect(const std::string& host, uint16_t port, bool stream,
                                            uint32_t timeoutMs) {
    close();
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (!resolve(host, addr.sin_addr)) return ConnectResult::ResolveFailed;
    if (!stopFd_) return ConnectResult::SocketFailed;

    UniqueFd fd(::socket(AF_INET, (stream ? SOCK_STREAM : SOCK_DGRAM) | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd) return ConnectResult::SocketFailed;
    if (stream) {
        // Commands are small and each waits for its reply: do not let Nagle hold them back.
        int one = 1;
        ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }

    // An interrupted connect goes on in the background, like one in progress.
    const int r = ::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    if (r < 0) {
        if (errno != EINPROGRESS && errno != EINTR) return ConnectResult::Refused;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) return ConnectResult::TimedOut;
            pollfd p{fd.get(), POLLOUT, 0};
            const int pr = ::poll(&p, 1, static_cast<int>(left));
            if (pr < 0 && errno == EINTR) continue;
            if (pr < 0) return ConnectResult::Refused;
            if (pr == 0) return ConnectResult::TimedOut;
            break;
        }
        int err = 0;
        socklen_t len = sizeof err;
        if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &err, &len) < 0 || err != 0)
            return ConnectResult::Refused;
    }
    fd_ = std::move(fd);
    receiveDrained_ = true;
    return ConnectResult::Ok;
}

long TcpSocket::receive(char* target, size_t size) {
    for (;;) {
        // After a short read the socket is most likely drained: wait first
        // rather than spend a receive call on "would block".
        if (receiveDrained_) {
            quickAck(fd_.get());
            const long w = waitFor(fd_.get(), stopFd_.get(), POLLIN, -1);
            if (w != 1) return w == 0 ? kError : w;
        }
        const ssize_t n = ::recv(fd_.get(), target, size, 0);
        if (n >= 0) {
            receiveDrained_ = static_cast<size_t>(n) < size;
            return static_cast<long>(n);
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return kError;
        receiveDrained_ = true;
    }
}

long TcpSocket::send(const char* bytes, size_t size) {
    for (;;) {
        const ssize_t n = ::send(fd_.get(), bytes, size, MSG_NOSIGNAL);
        if (n > 0) return static_cast<long>(n);
        if (n == 0 && size == 0) return 0;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return kError;
        const long w = waitFor(fd_.get(), stopFd_.get(), POLLOUT, -1);
        if (w != 1) return w == 0 ? kError : w;
    }
}

long TcpSocket::trySend(const char* bytes, size_t size) {
    for (;;) {
        const ssize_t n = ::send(fd_.get(), bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : kError;
    }
}

size_t TcpSocket::unacknowledgedBytes() const {
    int n = 0;
    if (!fd_ || ::ioctl(fd_.get(), SIOCOUTQ, &n) < 0 || n < 0) return 0;
    return static_cast<size_t>(n);
}

void TcpSocket::stop() {
    if (!stopFd_) return;
    const uint64_t one = 1;
    ssize_t r;
    do {
        r = ::write(stopFd_.get(), &one, sizeof one);
    } while (r < 0 && errno == EINTR);
}

long TcpSocket::waitReadable(int timeoutMs) {
    quickAck(fd_.get());
    return waitFor(fd_.get(), stopFd_.get(), POLLIN, timeoutMs);
}

long TcpSocket::waitWritable(int timeoutMs) { return waitFor(fd_.get(), stopFd_.get(), POLLOUT, timeoutMs); }

void TcpSocket::resume() {
    if (!stopFd_) return;
    uint64_t count = 0;
    ssize_t r;
    do {
        r = ::read(stopFd_.get(), &count, sizeof count);
    } while (r < 0 && errno == EINTR);
    receiveDrained_ = true;
}

void TcpSocket::close() { fd_.close(); }

}  // namespace platform
