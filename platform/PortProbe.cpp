#include "PortProbe.h"

#include "Clock.h"
#include "UniqueFd.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace platform {

bool acceptsConnections(const std::string& ipv4, uint16_t port, uint32_t timeoutMs) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    if (::inet_pton(AF_INET, ipv4.c_str(), &sa.sin_addr) != 1) return false;
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd) return false;
    if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) return true;
    if (errno != EINPROGRESS) return false;
    pollfd p{fd.get(), POLLOUT, 0};
    int r;
    do {
        r = ::poll(&p, 1, static_cast<int>(timeoutMs));
    } while (r < 0 && errno == EINTR);
    if (r <= 0) return false;
    int err = 0;
    socklen_t len = sizeof err;
    return ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
}

bool waitForListener(const std::string& ipv4, uint16_t port, uint32_t boundMs,
                     const std::function<bool()>& stillWorthWaiting) {
    const uint32_t begin = tickCount();
    for (;;) {
        if (acceptsConnections(ipv4, port, 500)) return true;
        if (stillWorthWaiting && !stillWorthWaiting()) return false;
        if (tickCount() - begin >= boundMs) return false;
        // A refused connect returns at once; pace the attempts a little.
        sleepMs(5);
    }
}

}  // namespace platform
