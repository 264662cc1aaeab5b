// The control channel, manager side: a control sent over the service's
// socket, and the status read back or reckoned from the status file.
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "Clock.h"
#include "ServiceErrors.h"
#include "ServiceRuntime.h"
#include "UniqueFd.h"

namespace platform {

using namespace servicedetail;

namespace {

constexpr uint32_t kControlTimeoutMs = 30000;

bool accepts(uint32_t accepted, uint32_t control) {
    return control == SERVICE_CONTROL_INTERROGATE || (control == SERVICE_CONTROL_STOP && (accepted & SERVICE_ACCEPT_STOP)) ||
           ((control == SERVICE_CONTROL_PAUSE || control == SERVICE_CONTROL_CONTINUE) &&
            (accepted & SERVICE_ACCEPT_PAUSE_CONTINUE)) ||
           (control == SERVICE_CONTROL_SHUTDOWN && (accepted & SERVICE_ACCEPT_SHUTDOWN)) || control >= 128;
}

// Sends one control line and reads the status line the dispatcher answers with.
bool exchange(const std::string& name, uint32_t control, ServiceStatus& status) {
    UniqueFd sock(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string path = socketPath(name);
    if (!sock || path.size() >= sizeof addr.sun_path) return fail(kErrorServiceRequestTimeout);
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int r;
    do {
        r = ::connect(sock.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    } while (r != 0 && errno == EINTR);
    if (r != 0) return fail(errno == EACCES ? kErrorAccessDenied : kErrorServiceRequestTimeout);
    const std::string request = std::to_string(control) + "\n";
    if (::send(sock.get(), request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
        return fail(kErrorServiceRequestTimeout);
    std::string reply;
    if (!readWithin(sock.get(), reply, tickCount(), kControlTimeoutMs, true) || !parseStatusLine(reply, status))
        return fail(kErrorServiceRequestTimeout);
    return true;
}

}  // namespace

bool queryServiceStatus(const ServiceHandle& service, ServiceStatus& status) {
    if (!service.isOpen()) return fail(kErrorInvalidParameter);
    status = currentStatus(service.name()).status;
    return true;
}

bool controlService(const ServiceHandle& service, uint32_t control, ServiceStatus& status) {
    if (!service.isOpen()) return fail(kErrorInvalidParameter);
    if (control < SERVICE_CONTROL_STOP || control > 255) return fail(kErrorInvalidServiceControl);
    const StoredStatus s = currentStatus(service.name());
    status = s.status;
    if (!running(s)) return fail(kErrorServiceNotActive);
    const bool allowed = accepts(s.status.controlsAccepted, control);
    if (!allowed || s.status.currentState == SERVICE_START_PENDING || s.status.currentState == SERVICE_STOP_PENDING) {
        if (control != SERVICE_CONTROL_INTERROGATE || !allowed) return fail(kErrorServiceCannotAcceptCtrl);
    }
    return exchange(service.name(), control, status);
}

}  // namespace platform
