#include "ServiceManager.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <mutex>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "ErrorText.h"
#include "FileLock.h"
#include "FileSystem.h"
#include "Registry.h"
#include "SystemDirectory.h"
#include "UniqueFd.h"

namespace platform {

struct ServiceHandleAccess {
    static std::string& name(ServiceHandle& h) { return h.name_; }
};

namespace {

constexpr char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services";
constexpr char kChannelEnv[] = "RINGPOST_SERVICE_CHANNEL";
constexpr char kNameEnv[] = "RINGPOST_SERVICE_NAME";
constexpr char kReadyEnv[] = "RINGPOST_SERVICE_READY_FD";
constexpr int kReadyFd = 3;
constexpr uint32_t kConnectTimeoutMs = 30000;  // the classic limit for a dispatcher to connect
constexpr uint32_t kControlTimeoutMs = 30000;
constexpr uint32_t kErrorLogonFailed = 1069;
constexpr uint32_t kErrorServiceDisabled = 1058;
constexpr uint32_t kErrorInvalidServiceControl = 1052;

uint64_t tickCount() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

bool fail(uint32_t code) {
    setLastErrorCode(code);
    return false;
}

std::string runtimeDir(std::string_view name) { return systemDirectory() + "/services/" + std::string(name); }
std::string statusPath(std::string_view name) { return runtimeDir(name) + "/status"; }
std::string socketPath(std::string_view name) { return runtimeDir(name) + "/control.sock"; }

// The start time of a process in clock ticks since boot, 0 when it is gone
// or a zombie: together with the pid it names one process, whatever pids get
// reused later.
uint64_t processStartTime(uint32_t pid) {
    if (pid == 0) return 0;
    std::string stat;
    if (!readFile("/proc/" + std::to_string(pid) + "/stat", stat)) return 0;
    const size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) return 0;
    const char state = stat[close + 2];
    if (state == 'Z' || state == 'X' || state == 'x') return 0;
    // Fields after the command: state is field 3, starttime field 22.
    size_t pos = close + 2;
    for (int field = 3; field < 22; ++field) {
        pos = stat.find(' ', pos);
        if (pos == std::string::npos) return 0;
        ++pos;
    }
    return std::strtoull(stat.c_str() + pos, nullptr, 10);
}

struct StoredStatus {
    ServiceStatus status;
    uint64_t processStart = 0;
};

std::string formatStatus(const StoredStatus& s) {
    const ServiceStatus& v = s.status;
    return "ServiceType=" + std::to_string(v.serviceType) + "\nCurrentState=" + std::to_string(v.currentState) +
           "\nControlsAccepted=" + std::to_string(v.controlsAccepted) +
           "\nWin32ExitCode=" + std::to_string(v.win32ExitCode) +
           "\nServiceSpecificExitCode=" + std::to_string(v.serviceSpecificExitCode) +
           "\nCheckPoint=" + std::to_string(v.checkPoint) + "\nWaitHint=" + std::to_string(v.waitHint) +
           "\nProcessId=" + std::to_string(v.processId) + "\nProcessStart=" + std::to_string(s.processStart) + "\n";
}

bool parseStatus(const std::string& text, StoredStatus& out) {
    StoredStatus s;
    int seen = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        const unsigned long long n = std::strtoull(line.c_str() + eq + 1, nullptr, 10);
        const auto u = static_cast<uint32_t>(n);
        if (key == "ServiceType") s.status.serviceType = u;
        else if (key == "CurrentState") s.status.currentState = u, ++seen;
        else if (key == "ControlsAccepted") s.status.controlsAccepted = u;
        else if (key == "Win32ExitCode") s.status.win32ExitCode = u;
        else if (key == "ServiceSpecificExitCode") s.status.serviceSpecificExitCode = u;
        else if (key == "CheckPoint") s.status.checkPoint = u;
        else if (key == "WaitHint") s.status.waitHint = u;
        else if (key == "ProcessId") s.status.processId = u;
        else if (key == "ProcessStart") s.processStart = n;
    }
    if (!seen) return false;
    out = s;
    return true;
}

bool writeStatus(std::string_view name, const StoredStatus& s) {
    return writeFileAtomically(statusPath(name), formatStatus(s));
}

// Serialises starts, deletions and the clean-up of a dead process for one service.
class ServiceLock : public FileLock {
public:
    explicit ServiceLock(std::string_view name) : FileLock(lockPath(name)) {}

private:
    static std::string lockPath(std::string_view name) {
        const std::string dir = systemDirectory() + "/services";
        ensureDirectory(dir);
        return dir + "/." + std::string(name) + ".lock";
    }
};

bool isInstalled(const RegistryKey& key) {
    uint32_t type = 0, size = 0;
    return regQueryValue(key, "ImagePath", type, nullptr, size) == kRegOk;
}

bool markedForDeletion(const RegistryKey& key) {
    uint32_t flag = 0;
    return regQueryDword(key, "DeleteFlag", flag) == kRegOk && flag != 0;
}

// The service database entry is removed with the key, as the runtime state.
void removeService(std::string_view name) {
    regDeleteTree(RootKey::LocalMachine, serviceKeyPath(name));
    std::error_code ec;
    std::filesystem::remove_all(runtimeDir(name), ec);
}

// The status as the manager holds it: a process that has gone without
// reporting stopped reads as stopped with 1067, and a service marked for
// deletion goes once it has stopped.
// Reads a file of the runtime directory, which the service's account may
// change: never through a link, never blocking on something that is not a
// plain file.
bool readRuntimeFile(const std::string& path, std::string& out) {
    out.clear();
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (out.size() > 65536) return false;  // a status is a few lines
        out.append(buf, static_cast<size_t>(n));
    }
}

StoredStatus currentStatus(std::string_view name, bool cleanUp = true) {
    StoredStatus s;
    std::string text;
    if (!readRuntimeFile(statusPath(name), text) || !parseStatus(text, s)) s = StoredStatus{};  // never started
    const bool gone = s.status.processId == 0 || processStartTime(s.status.processId) != s.processStart;
    if (s.status.currentState != SERVICE_STOPPED && gone) {
        s.status.currentState = SERVICE_STOPPED;
        s.status.win32ExitCode = kErrorProcessAborted;
        s.status.serviceSpecificExitCode = 0;
        s.status.controlsAccepted = 0;
        s.status.checkPoint = 0;
        s.status.waitHint = 0;
        s.status.processId = 0;
        s.processStart = 0;
        if (cleanUp) writeStatus(name, s);
    }
    if (s.status.currentState == SERVICE_STOPPED) {
        if (gone) s.status.processId = 0;
        if (cleanUp) {
            RegistryKey key;
            if (regOpenKey(RootKey::LocalMachine, serviceKeyPath(name), key, KEY_READ) == kRegOk &&
                markedForDeletion(key))
                removeService(name);
        }
    }
    return s;
}

bool running(const StoredStatus& s) {
    return s.status.currentState != SERVICE_STOPPED && s.status.processId != 0;
}

std::string readString(const RegistryKey& key, std::string_view name) {
    std::string v;
    return regQueryString(key, name, v) == kRegOk ? v : std::string();
}

std::string currentUserName() {
    if (const passwd* pw = ::getpwuid(::geteuid())) return pw->pw_name;
    return std::to_string(::geteuid());
}

// True when only root can change `path`, nor replace it or any directory
// above it. A directory that all may write to but only owners may rename in
// (sticky, owned by root, like /tmp) does not let others replace what lies
// in it.
bool onlyRootCanChange(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return false;
    std::string p = real;
    std::free(real);
    bool last = true;
    for (;;) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || st.st_uid != 0) return false;
        const bool groupWrites = (st.st_mode & S_IWGRP) && st.st_gid != 0;
        const bool othersWrite = (st.st_mode & S_IWOTH) != 0;
        const bool sticky = S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX);
        if ((groupWrites || othersWrite) && (last || !sticky)) return false;
        if (p == "/") return true;
        const size_t slash = p.rfind('/');
        p = slash == 0 ? "/" : p.substr(0, slash);
        last = false;
    }
}

bool readAllWithDeadline(int fd, std::string& out, uint64_t deadline, bool untilNewline, size_t lines = 1) {
    for (;;) {
        if (untilNewline && static_cast<size_t>(std::count(out.begin(), out.end(), '\n')) >= lines) return true;
        const uint64_t now = tickCount();
        if (now >= deadline) return false;
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(std::min<uint64_t>(deadline - now, 1000)));
        if (r < 0 && errno != EINTR) return false;
        if (r <= 0) continue;
        char buf[256];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return !untilNewline;
        out.append(buf, static_cast<size_t>(n));
    }
}

struct SpawnPlan {
    std::string program;
    std::string workDir;
    std::string outputPath;
    std::vector<std::string> env;
    bool switchUser = false;
    uid_t uid = 0;
    gid_t gid = 0;
    std::vector<gid_t> groups;
};

// Runs in the forked children: only async-signal-safe calls.
[[noreturn]] void execService(const SpawnPlan& plan, char* const* envp, int readyFd) {
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int sig = 1; sig < NSIG; ++sig) ::signal(sig, SIG_DFL);
    ::umask(022);
    const int devNull = ::open("/dev/null", O_RDWR);
    if (devNull >= 0) {
        ::dup2(devNull, 0);
        ::dup2(devNull, 1);
        ::dup2(devNull, 2);
    }
    ::dup2(readyFd, kReadyFd);
    ::close_range(kReadyFd + 1, ~0U, 0);
    if (plan.switchUser) {
        if (::setgroups(plan.groups.size(), plan.groups.data()) != 0 || ::setgid(plan.gid) != 0 ||
            ::setuid(plan.uid) != 0) {
            const char msg[] = "EXEC 1069\n";
            (void)!::write(kReadyFd, msg, sizeof msg - 1);
            ::_exit(127);
        }
    }
    // Opened as the service's account, in the directory it owns, and never
    // through a link: the log names members, so it is for its owner only.
    const int out = ::open(plan.outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_NOFOLLOW, 0600);
    if (out >= 0) {
        ::dup2(out, 1);
        ::dup2(out, 2);
        if (out > 2) ::close(out);
    }
    if (::chdir(plan.workDir.c_str()) != 0) (void)!::chdir("/");
    char* const argv[] = {const_cast<char*>(plan.program.c_str()), nullptr};
    ::execve(plan.program.c_str(), argv, envp);
    char msg[32];
    const int e = errno;
    // "EXEC <errno>\n" without snprintf.
    char digits[12];
    int nd = 0;
    for (int v = e; v > 0 && nd < 11; v /= 10) digits[nd++] = static_cast<char>('0' + v % 10);
    int len = 0;
    for (const char c : {'E', 'X', 'E', 'C', ' '}) msg[len++] = c;
    while (nd > 0) msg[len++] = digits[--nd];
    msg[len++] = '\n';
    (void)!::write(kReadyFd, msg, static_cast<size_t>(len));
    ::_exit(127);
}

// ---- dispatcher state inside a service process ----

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

std::string statusLine(const ServiceStatus& s) {
    return std::to_string(s.serviceType) + ' ' + std::to_string(s.currentState) + ' ' +
           std::to_string(s.controlsAccepted) + ' ' + std::to_string(s.win32ExitCode) + ' ' +
           std::to_string(s.serviceSpecificExitCode) + ' ' + std::to_string(s.checkPoint) + ' ' +
           std::to_string(s.waitHint) + ' ' + std::to_string(s.processId) + '\n';
}

bool parseStatusLine(const std::string& line, ServiceStatus& s) {
    unsigned long v[8];
    if (std::sscanf(line.c_str(), "%lu %lu %lu %lu %lu %lu %lu %lu", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6],
                    &v[7]) != 8)
        return false;
    s = ServiceStatus{uint32_t(v[0]), uint32_t(v[1]), uint32_t(v[2]), uint32_t(v[3]),
                      uint32_t(v[4]), uint32_t(v[5]), uint32_t(v[6]), uint32_t(v[7])};
    return true;
}

void serveControl(int client) {
    std::string request;
    if (!readAllWithDeadline(client, request, tickCount() + 5000, true)) return;
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

}  // namespace

std::string serviceKeyPath(std::string_view serviceName) {
    return std::string(kServicesKey) + "\\" + std::string(serviceName);
}

bool openServiceManager(ServiceManagerHandle& out) {
    out.open_ = false;
    const std::string dir = systemDirectory() + "/services";
    if (!ensureDirectory(dir) || ::access(dir.c_str(), W_OK) != 0) return fail(kRegAccessDenied);
    out.open_ = true;
    return true;
}

bool createService(const ServiceManagerHandle& manager, std::string_view name, std::string_view displayName,
                   uint32_t serviceType, uint32_t startType, uint32_t errorControl, std::string_view imagePath,
                   ServiceHandle& out) {
    out.close();
    if (!manager.isOpen() || name.empty() || name.find_first_of("/\\") != std::string_view::npos || imagePath.empty())
        return fail(kRegInvalidParameter);
    ServiceLock lock(name);
    RegistryKey key;
    if (regOpenKey(RootKey::LocalMachine, serviceKeyPath(name), key, KEY_READ) == kRegOk && isInstalled(key))
        return fail(markedForDeletion(key) ? kErrorServiceMarkedForDelete : kErrorServiceExists);
    if (const int32_t r = regCreateKey(RootKey::LocalMachine, serviceKeyPath(name), key); r != kRegOk)
        return fail(static_cast<uint32_t>(r));
    // The registry reports through its result, not errno: keep the first failure.
    int32_t r = regSetDword(key, "Type", serviceType);
    if (r == kRegOk) r = regSetDword(key, "Start", startType);
    if (r == kRegOk) r = regSetDword(key, "ErrorControl", errorControl);
    if (r == kRegOk) r = regSetString(key, "DisplayName", displayName);
    if (r == kRegOk) r = regSetString(key, "ObjectName", currentUserName());
    if (r == kRegOk) r = regSetString(key, "ImagePath", imagePath, REG_EXPAND_SZ);
    if (r != kRegOk) {
        regDeleteValue(key, "ImagePath");
        return fail(static_cast<uint32_t>(r));
    }
    ServiceHandleAccess::name(out) = key.path().substr(key.path().rfind('\\') + 1);
    return true;
}

bool openService(const ServiceManagerHandle& manager, std::string_view name, ServiceHandle& out) {
    out.close();
    if (!manager.isOpen()) return fail(kRegInvalidParameter);
    RegistryKey key;
    if (name.empty() || name.find('\\') != std::string_view::npos ||
        regOpenKey(RootKey::LocalMachine, serviceKeyPath(name), key, KEY_READ) != kRegOk || !isInstalled(key))
        return fail(kErrorServiceDoesNotExist);
    ServiceHandleAccess::name(out) = key.path().substr(key.path().rfind('\\') + 1);
    return true;
}

bool deleteService(const ServiceHandle& service) {
    if (!service.isOpen()) return fail(kRegInvalidParameter);
    ServiceLock lock(service.name());
    RegistryKey key;
    if (regOpenKey(RootKey::LocalMachine, serviceKeyPath(service.name()), key) != kRegOk || !isInstalled(key))
        return fail(kErrorServiceDoesNotExist);
    if (markedForDeletion(key)) return fail(kErrorServiceMarkedForDelete);
    if (const int32_t r = regSetDword(key, "DeleteFlag", 1); r != kRegOk) return fail(static_cast<uint32_t>(r));
    // Stopped: goes now. Running: goes when its status reads stopped.
    currentStatus(service.name());
    return true;
}

bool startService(const ServiceHandle& service) {
    if (!service.isOpen()) return fail(kRegInvalidParameter);
    const std::string name = service.name();
    ServiceLock lock(name);
    RegistryKey key;
    if (regOpenKey(RootKey::LocalMachine, serviceKeyPath(name), key, KEY_READ) != kRegOk || !isInstalled(key))
        return fail(kErrorServiceDoesNotExist);
    if (markedForDeletion(key)) return fail(kErrorServiceMarkedForDelete);
    uint32_t startType = SERVICE_DEMAND_START;
    if (regQueryDword(key, "Start", startType) == kRegOk && startType == SERVICE_DISABLED)
        return fail(kErrorServiceDisabled);
    if (running(currentStatus(name))) return fail(kErrorServiceAlreadyRunning);

    SpawnPlan plan;
    plan.program = expandEnvironmentStrings(readString(key, "ImagePath"));
    const size_t slash = plan.program.rfind('/');
    plan.workDir = slash == std::string::npos || slash == 0 ? "/" : plan.program.substr(0, slash);

    // The service runs as the user who installed it, never as whoever starts it.
    std::string user = readString(key, "ObjectName");
    if (user.empty()) user = currentUserName();
    const passwd* pw = ::getpwnam(user.c_str());
    if (!pw) return fail(kErrorLogonFailed);
    if (pw->pw_uid != ::geteuid()) {
        if (::geteuid() != 0) return fail(kRegAccessDenied);
        plan.switchUser = true;
        plan.uid = pw->pw_uid;
        plan.gid = pw->pw_gid;
        int count = 64;
        plan.groups.resize(static_cast<size_t>(count));
        if (::getgrouplist(pw->pw_name, pw->pw_gid, plan.groups.data(), &count) < 0) {
            plan.groups.resize(static_cast<size_t>(count));
            ::getgrouplist(pw->pw_name, pw->pw_gid, plan.groups.data(), &count);
        }
        plan.groups.resize(static_cast<size_t>(std::max(count, 0)));
    }
    const std::string home = pw->pw_dir ? pw->pw_dir : "/";
    const std::string userName = pw->pw_name;

    // Root runs whatever program and account the service database names:
    // only a database that nobody else could have written is believed.
    if (::geteuid() == 0) {
        std::vector<std::string> trusted = regKeyFiles(key);
        trusted.push_back(systemDirectory() + "/services");
        if (pw->pw_uid == 0) trusted.push_back(plan.program);
        for (const std::string& path : trusted)
            if (!onlyRootCanChange(path)) return fail(kRegAccessDenied);
    }

    const std::string dir = runtimeDir(name);
    if (!ensureDirectory(dir)) return fail(kRegAccessDenied);
    {
        // The service's account owns its runtime directory: change it only
        // through a descriptor of the real directory, never through a link.
        UniqueFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!dirFd) return fail(kRegAccessDenied);
        if (plan.switchUser && ::fchown(dirFd.get(), plan.uid, plan.gid) != 0) return fail(kRegAccessDenied);
    }
    ::unlink(socketPath(name).c_str());
    plan.outputPath = dir + "/output.log";
    ::unlink(plan.outputPath.c_str());
    ::unlink((dir + "/status.log").c_str());

    plan.env = {"PATH=/usr/local/bin:/usr/bin:/bin",
                "HOME=" + home,
                "USER=" + userName,
                "LOGNAME=" + userName,
                "RINGPOST_SYSTEM_DIR=" + systemDirectory(),
                std::string(kNameEnv) + "=" + name,
                std::string(kChannelEnv) + "=" + socketPath(name),
                std::string(kReadyEnv) + "=" + std::to_string(kReadyFd)};
    if (const char* tz = std::getenv("TZ")) plan.env.push_back(std::string("TZ=") + tz);
    std::vector<char*> envp;
    for (auto& e : plan.env) envp.push_back(e.data());
    envp.push_back(nullptr);

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return fail(lastErrorCode());
    UniqueFd readEnd(fds[0]), writeEnd(fds[1]);

    // Two forks: the service is nobody's child here, so it never lingers as a
    // zombie of whichever program started it.
    const pid_t middle = ::fork();
    if (middle < 0) return fail(lastErrorCode());
    if (middle == 0) {
        ::setsid();
        const pid_t svc = ::fork();
        if (svc == 0) execService(plan, envp.data(), writeEnd.get());
        if (svc > 0) {
            char msg[32];
            const int len = std::snprintf(msg, sizeof msg, "PID %d\n", static_cast<int>(svc));
            (void)!::write(writeEnd.get(), msg, static_cast<size_t>(len));
        }
        ::_exit(svc > 0 ? 0 : 1);
    }
    writeEnd.close();
    int st = 0;
    while (::waitpid(middle, &st, 0) < 0 && errno == EINTR) {
    }

    const uint64_t deadline = tickCount() + kConnectTimeoutMs;
    std::string reply;
    readAllWithDeadline(readEnd.get(), reply, deadline, true, 1);
    uint32_t pid = 0;
    if (std::sscanf(reply.c_str(), "PID %u", &pid) != 1 || pid == 0) return fail(kErrorServiceRequestTimeout);

    StoredStatus s;
    s.status.currentState = SERVICE_START_PENDING;
    s.status.checkPoint = 0;
    s.status.waitHint = 2000;
    s.status.processId = pid;
    s.processStart = processStartTime(pid);
    {
        StoredStatus now;
        std::string text;
        // The dispatcher may already have reported; keep the newer record.
        if (!(readRuntimeFile(statusPath(name), text) && parseStatus(text, now) && now.status.processId == pid))
            writeStatus(name, s);
    }

    readAllWithDeadline(readEnd.get(), reply, deadline, true, 2);
    const size_t second = reply.find('\n') + 1;
    const std::string answer = reply.substr(second);
    if (answer.rfind("READY", 0) == 0) return true;
    if (answer.rfind("EXEC ", 0) == 0) {
        const auto code = static_cast<uint32_t>(std::strtoul(answer.c_str() + 5, nullptr, 10));
        s.status.currentState = SERVICE_STOPPED;
        s.status.win32ExitCode = code;
        s.status.processId = 0;
        s.processStart = 0;
        writeStatus(name, s);
        return fail(code);
    }
    return fail(kErrorServiceRequestTimeout);
}

bool queryServiceStatus(const ServiceHandle& service, ServiceStatus& status) {
    if (!service.isOpen()) return fail(kRegInvalidParameter);
    status = currentStatus(service.name()).status;
    return true;
}

bool controlService(const ServiceHandle& service, uint32_t control, ServiceStatus& status) {
    if (!service.isOpen()) return fail(kRegInvalidParameter);
    if (control < SERVICE_CONTROL_STOP || control > 255) return fail(kErrorInvalidServiceControl);
    const StoredStatus s = currentStatus(service.name());
    status = s.status;
    if (!running(s)) return fail(kErrorServiceNotActive);
    const uint32_t accepted = s.status.controlsAccepted;
    const bool allowed = control == SERVICE_CONTROL_INTERROGATE ||
                         (control == SERVICE_CONTROL_STOP && (accepted & SERVICE_ACCEPT_STOP)) ||
                         ((control == SERVICE_CONTROL_PAUSE || control == SERVICE_CONTROL_CONTINUE) &&
                          (accepted & SERVICE_ACCEPT_PAUSE_CONTINUE)) ||
                         (control == SERVICE_CONTROL_SHUTDOWN && (accepted & SERVICE_ACCEPT_SHUTDOWN)) ||
                         control >= 128;
    if (!allowed || s.status.currentState == SERVICE_START_PENDING || s.status.currentState == SERVICE_STOP_PENDING) {
        if (control != SERVICE_CONTROL_INTERROGATE || !allowed) return fail(kErrorServiceCannotAcceptCtrl);
    }

    UniqueFd sock(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string path = socketPath(service.name());
    if (!sock || path.size() >= sizeof addr.sun_path) return fail(kErrorServiceRequestTimeout);
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int r;
    do {
        r = ::connect(sock.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    } while (r != 0 && errno == EINTR);
    if (r != 0) return fail(errno == EACCES ? kRegAccessDenied : kErrorServiceRequestTimeout);
    const std::string request = std::to_string(control) + "\n";
    if (::send(sock.get(), request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
        return fail(kErrorServiceRequestTimeout);
    std::string reply;
    if (!readAllWithDeadline(sock.get(), reply, tickCount() + kControlTimeoutMs, true) ||
        !parseStatusLine(reply, status))
        return fail(kErrorServiceRequestTimeout);
    return true;
}

std::vector<std::string> installedServices() {
    std::vector<std::string> names;
    RegistryKey services;
    if (regOpenKey(RootKey::LocalMachine, kServicesKey, services, KEY_READ) != kRegOk) return names;
    for (const auto& n : regSubKeyNames(services)) {
        RegistryKey key;
        if (regOpenKey(services, n, key, KEY_READ) == kRegOk && isInstalled(key)) names.push_back(n);
    }
    return names;
}

// ---- service side ----

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

    UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (!listener || path.size() >= sizeof addr.sun_path) return fail(kErrorFailedServiceControllerConnect);
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    ::unlink(path.c_str());
    if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener.get(), 8) != 0)
        return fail(kErrorFailedServiceControllerConnect);
    ::chmod(path.c_str(), 0600);
    struct stat own {};
    ::stat(path.c_str(), &own);

    {
        std::lock_guard lock(dispatcher().mutex);
        dispatcher().name = name;
        dispatcher().processStart = processStartTime(static_cast<uint32_t>(::getpid()));
    }
    const char hello[] = "READY\n";
    (void)!::write(ready.get(), hello, sizeof hello - 1);
    ready.close();

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
        pollfd p[2] = {{listener.get(), POLLIN, 0}, {wakeRead.get(), POLLIN, 0}};
        const int r = ::poll(p, 2, -1);
        if (r < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (p[1].revents) break;
        if (p[0].revents & POLLIN) {
            UniqueFd client(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (client) serveControl(client.get());
        }
    }
    serviceThread.join();

    // Only the socket this process made: a newer instance may have its own by now.
    struct stat now {};
    if (::stat(path.c_str(), &now) == 0 && now.st_ino == own.st_ino && now.st_dev == own.st_dev)
        ::unlink(path.c_str());
    listener.close();

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
        writeStatus(name, last);
    }
    ServiceLock lock(name);
    currentStatus(name);  // removes a service marked for deletion
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
    if (handle != &dispatcher()) return fail(6);  // invalid handle
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
    if (!writeStatus(dispatcher().name, s)) return false;
    dispatcher().last = s;
    dispatcher().reported = true;
    return true;
}

}  // namespace platform
