// Inside a service process: the dispatcher that serves the control channel
// while the service's main function runs on a thread of its own, and the
// status reports the service makes.
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

#include "Clock.h"
#include "ErrorText.h"
#include "FileSystem.h"
#include "ServiceErrors.h"
#include "ServiceRuntime.h"
#include "UniqueFd.h"

namespace platform {

using namespace servicedetail;

namespace {

struct Dispatcher {
    std::mutex mutex;
    std::string name;
    ServiceHandlerFunction handler = nullptr;
    StoredStatus last;
    bool reported = false;
    uint64_t processStart = 0;
};

Dispatcher& dispatcher() {
    static Dispatcher d;
    return d;
}

std::atomic<bool> dispatcherRunning{false};

void serveControl(int client) {
    std::string request;
    if (!readWithin(client, request, tickCount(), 5000, true)) return;
    const auto control = static_cast<uint32_t>(std::strtoul(request.c_str(), nullptr, 10));
    ServiceHandlerFunction handler;
    {
        std::lock_guard lock(dispatcher().mutex);
        handler = dispatcher().handler;
    }
    if (handler) handler(control);
    ServiceStatus reply;
    {
        std::lock_guard lock(dispatcher().mutex);
        reply = dispatcher().last.status;
    }
    const std::string line = statusLine(reply);
    (void)!::send(client, line.data(), line.size(), MSG_NOSIGNAL);
}

// The control socket, for its owner only; `own` identifies it later.
UniqueFd listenOnChannel(const std::string& path, struct stat& own) {
    UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (!listener || path.size() >= sizeof addr.sun_path) return UniqueFd();
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    ::unlink(path.c_str());
    if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener.get(), 8) != 0)
        return UniqueFd();
    ::chmod(path.c_str(), 0600);
    ::stat(path.c_str(), &own);
    return listener;
}

// Runs the service's main function on a thread of its own and serves
// controls on this one until it returns.
bool serveWhileMainRuns(int listener, const std::string& name, ServiceMainFunction serviceMain) {
    int wake[2];
    if (::pipe2(wake, O_CLOEXEC) != 0) return fail(lastErrorCode());
    UniqueFd wakeRead(wake[0]), wakeWrite(wake[1]);
    std::string argv0 = name;
    std::thread serviceThread([&] {
        char* argv[] = {argv0.data(), nullptr};
        serviceMain(1, argv);
        (void)!::write(wakeWrite.get(), "x", 1);
    });

    for (;;) {
        pollfd p[2] = {{listener, POLLIN, 0}, {wakeRead.get(), POLLIN, 0}};
        const int r = ::poll(p, 2, -1);
        if (r < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (p[1].revents) break;
        if (p[0].revents & POLLIN) {
            UniqueFd client(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
            if (client) serveControl(client.get());
        }
    }
    serviceThread.join();
    return true;
}

// A main function that returned without reporting stopped ended abnormally;
// a service marked for deletion goes now.
void recordEnd(const std::string& name) {
    StoredStatus last;
    bool reported;
    {
        std::lock_guard lock(dispatcher().mutex);
        last = dispatcher().last;
        reported = dispatcher().reported;
    }
    if (!reported || last.status.currentState != SERVICE_STOPPED) {
        last.status = ServiceStatus{};
        last.status.win32ExitCode = kErrorProcessAborted;
        const StatusLock statusLock(name);
        writeStatus(name, last);
    }
    ServiceLock lock(name);
    currentStatus(name);
}

}  // namespace

bool startServiceCtrlDispatcher(std::string_view serviceName, ServiceMainFunction serviceMain) {
    const char* channel = std::getenv(kChannelEnv);
    const char* readyText = std::getenv(kReadyEnv);
    const char* nameText = std::getenv(kNameEnv);
    if (!channel || !readyText || !nameText || !serviceMain || dispatcherRunning.exchange(true))
        return fail(kErrorFailedServiceControllerConnect);
    (void)serviceName;  // a process of its own serves the one service it was started as
    const std::string path = channel, name = nameText;
    UniqueFd ready(static_cast<int>(std::strtol(readyText, nullptr, 10)));
    ::fcntl(ready.get(), F_SETFD, FD_CLOEXEC);
    // What the service starts itself must not look like a service process.
    ::unsetenv(kChannelEnv);
    ::unsetenv(kReadyEnv);
    ::unsetenv(kNameEnv);

    struct stat own {};
    UniqueFd listener = listenOnChannel(path, own);
    if (!listener) return fail(kErrorFailedServiceControllerConnect);
    {
        std::lock_guard lock(dispatcher().mutex);
        dispatcher().name = name;
        dispatcher().processStart = processStartTime(static_cast<uint32_t>(::getpid()));
    }
    const char hello[] = "READY\n";
    (void)!::write(ready.get(), hello, sizeof hello - 1);
    ready.close();

    if (!serveWhileMainRuns(listener.get(), name, serviceMain)) return false;

    // Only the socket this process made: a newer instance may have its own by now.
    struct stat now {};
    if (::stat(path.c_str(), &now) == 0 && now.st_ino == own.st_ino && now.st_dev == own.st_dev)
        ::unlink(path.c_str());
    listener.close();
    recordEnd(name);
    dispatcherRunning = false;
    return true;
}

ServiceStatusHandle registerServiceCtrlHandler(std::string_view serviceName, ServiceHandlerFunction handler) {
    (void)serviceName;
    if (!dispatcherRunning || !handler) {
        setLastErrorCode(kErrorFailedServiceControllerConnect);
        return nullptr;
    }
    std::lock_guard lock(dispatcher().mutex);
    dispatcher().handler = handler;
    return &dispatcher();
}

bool setServiceStatus(ServiceStatusHandle handle, const ServiceStatus& status) {
    if (handle != &dispatcher()) return fail(kErrorInvalidHandle);
    std::lock_guard lock(dispatcher().mutex);
    StoredStatus s;
    s.status = status;
    s.status.processId = static_cast<uint32_t>(::getpid());
    s.processStart = dispatcher().processStart;
    // Every report of this run, for administrators tracing a start or stop;
    // written first so that whoever sees a status finds it in the history.
    UniqueFd history(::open((runtimeDir(dispatcher().name) + "/status.log").c_str(),
                            O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (history) {
        const std::string line = statusLine(s.status);
        (void)!::write(history.get(), line.data(), line.size());
    }
    {
        const StatusLock statusLock(dispatcher().name);
        if (!writeStatus(dispatcher().name, s)) return false;
    }
    dispatcher().last = s;
    dispatcher().reported = true;
    return true;
}

}  // namespace platform
