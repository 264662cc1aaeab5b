#include "TcpListener.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

// 1: fd ready, 0: time-out, kStopped, kError.
long waitReady(int fd, int stopFd, short events, uint32_t timeoutMs) {
    pollfd p[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    int r;
    do {
        r = ::poll(p, 2, timeoutMs > 0x7FFFFFFFu ? -1 : static_cast<int>(timeoutMs));
    } while (r < 0 && errno == EINTR);
    if (r < 0) return TcpStream::kError;
    if (p[1].revents) return TcpStream::kStopped;
    return r == 0 ? 0 : 1;
}

}  // namespace

long TcpStream::receive(char* target, size_t size, uint32_t timeoutMs) {
    if (!fd_) return kError;
    const long w = waitReady(fd_.get(), stopFd_, POLLIN, timeoutMs);
    if (w == 0) return kTimeout;
    if (w < 0) return w;
    ssize_t n;
    do {
        n = ::recv(fd_.get(), target, size, 0);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? kError : static_cast<long>(n);
}

bool TcpStream::sendAll(std::string_view bytes) {
    while (!bytes.empty() && fd_) {
        ssize_t n = ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (waitReady(fd_.get(), stopFd_, POLLOUT, 0xFFFFFFFFu) != 1) return false;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return bytes.empty();
}

void TcpStream::shutdownWrite() {
    if (fd_) ::shutdown(fd_.get(), SHUT_WR);
}

TcpListener::TcpListener() : stopFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

bool TcpListener::listen(const std::string& ipv4, uint16_t port, std::string* error) {
    auto fail = [&](const char* what) {
        if (error) *error = std::string(what) + " " + ipv4 + ":" + std::to_string(port) + ": " + std::strerror(errno);
        fd_.close();
        return false;
    };
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    if (::inet_pton(AF_INET, ipv4.c_str(), &sa.sin_addr) != 1) {
        errno = EINVAL;
        return fail("bad address");
    }
    fd_ = UniqueFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd_) return fail("socket");
    const int one = 1;
    ::setsockopt(fd_.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd_.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) return fail("bind");
    if (::listen(fd_.get(), 16) != 0) return fail("listen");
    socklen_t len = sizeof sa;
    ::getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&sa), &len);
    port_ = ntohs(sa.sin_port);
    return true;
}

std::unique_ptr<TcpStream> TcpListener::accept(uint32_t timeoutMs) {
    if (!fd_ || waitReady(fd_.get(), stopFd_.get(), POLLIN, timeoutMs) != 1) return nullptr;
    int c;
    do {
        c = ::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC);
    } while (c < 0 && errno == EINTR);
    if (c < 0) return nullptr;
    return std::make_unique<TcpStream>(UniqueFd(c), stopFd_.get());
}

void TcpListener::stop() {
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(stopFd_.get(), &one, sizeof one);
}

}  // namespace platform
