// Starting a service: its program spawned detached, as its account, with a
// clean environment, and the wait until its dispatcher has connected.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Clock.h"
#include "FileSystem.h"
#include "Registry.h"
#include "ServiceErrors.h"
#include "ServiceRights.h"
#include "ServiceRuntime.h"
#include "SystemDirectory.h"
#include "UniqueFd.h"

namespace platform {

using namespace servicedetail;

namespace {

constexpr uint32_t kConnectTimeoutMs = 30000;  // the classic limit for a dispatcher to connect

struct SpawnPlan {
    std::string program;
    std::string workDir;
    std::string outputPath;
    std::vector<std::string> env;
    ServiceAccount account;
};

// "EXEC <errno>" to the starter, without snprintf: runs in a forked child.
[[noreturn]] void reportExecFailure(int e) {
    char msg[32];
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
    if (plan.account.switchUser) {
        const ServiceAccount& a = plan.account;
        if (::setgroups(a.groups.size(), a.groups.data()) != 0 || ::setgid(a.gid) != 0 || ::setuid(a.uid) != 0) {
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
    reportExecFailure(errno);
}

// The checks before anything is changed: installed, not marked, not
// disabled, not running.
bool mayStart(const std::string& name, RegistryKey& key) {
    if (regOpenKey(RootKey::LocalMachine, serviceKeyPath(name), key, KEY_READ) != kRegOk || !isInstalled(key))
        return fail(kErrorServiceDoesNotExist);
    if (markedForDeletion(key)) return fail(kErrorServiceMarkedForDelete);
    uint32_t startType = SERVICE_DEMAND_START;
    if (regQueryDword(key, "Start", startType) == kRegOk && startType == SERVICE_DISABLED)
        return fail(kErrorServiceDisabled);
    if (running(currentStatus(name))) return fail(kErrorServiceAlreadyRunning);
    return true;
}

// A fresh runtime directory for this start, owned by the service's account.
bool prepareRuntimeDir(const std::string& name, SpawnPlan& plan) {
    const std::string dir = runtimeDir(name);
    if (!ensureDirectory(dir)) return fail(kErrorAccessDenied);
    {
        // The service's account owns its runtime directory: change it only
        // through a descriptor of the real directory, never through a link.
        UniqueFd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!dirFd) return fail(kErrorAccessDenied);
        if (plan.account.switchUser && ::fchown(dirFd.get(), plan.account.uid, plan.account.gid) != 0)
            return fail(kErrorAccessDenied);
    }
    ::unlink(socketPath(name).c_str());
    plan.outputPath = dir + "/output.log";
    ::unlink(plan.outputPath.c_str());
    ::unlink((dir + "/status.log").c_str());
    return true;
}

std::vector<std::string> serviceEnvironment(const std::string& name, const ServiceAccount& account) {
    std::vector<std::string> env = {"PATH=/usr/local/bin:/usr/bin:/bin",
                                    "HOME=" + account.home,
                                    "USER=" + account.name,
                                    "LOGNAME=" + account.name,
                                    "RINGPOST_SYSTEM_DIR=" + systemDirectory(),
                                    std::string(kNameEnv) + "=" + name,
                                    std::string(kChannelEnv) + "=" + socketPath(name),
                                    std::string(kReadyEnv) + "=" + std::to_string(kReadyFd)};
    if (const char* tz = std::getenv("TZ")) env.push_back(std::string("TZ=") + tz);
    return env;
}

// Two forks: the service is nobody's child here, so it never lingers as a
// zombie of whichever program started it. The middle process writes
// "PID <pid>" to `writeEnd`; the service itself "READY" or "EXEC <code>".
bool spawnDetached(SpawnPlan& plan, UniqueFd& writeEnd) {
    std::vector<char*> envp;
    for (auto& e : plan.env) envp.push_back(e.data());
    envp.push_back(nullptr);
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
    return true;
}

// The complete line of `reply` that starts with `prefix`, empty when none has arrived.
std::string lineStarting(const std::string& reply, std::string_view prefix) {
    for (size_t pos = 0, end; (end = reply.find('\n', pos)) != std::string::npos; pos = end + 1)
        if (reply.compare(pos, prefix.size(), prefix) == 0) return reply.substr(pos, end - pos);
    return {};
}

// Records the new process as start pending, then waits for its dispatcher.
// The middle process's "PID" line and the service's own may come in either
// order: a program that cannot be run answers at once.
bool awaitDispatcher(const std::string& name, int readEnd) {
    const uint32_t start = tickCount();
    std::string reply;
    readWithin(readEnd, reply, start, kConnectTimeoutMs, true, 1);
    if (lineStarting(reply, "PID ").empty()) readWithin(readEnd, reply, start, kConnectTimeoutMs, true, 2);
    uint32_t pid = 0;
    if (std::sscanf(lineStarting(reply, "PID ").c_str(), "PID %u", &pid) != 1 || pid == 0)
        return fail(kErrorServiceRequestTimeout);

    StoredStatus s;
    s.status.currentState = SERVICE_START_PENDING;
    s.status.checkPoint = 0;
    s.status.waitHint = 2000;
    s.status.processId = pid;
    s.processStart = processStartTime(pid);
    {
        const StatusLock statusLock(name);
        StoredStatus now;
        std::string text;
        // The dispatcher may already have reported; keep the newer record.
        if (!(readRuntimeFile(statusPath(name), text) && parseStatus(text, now) && now.status.processId == pid))
            writeStatus(name, s);
    }

    readWithin(readEnd, reply, start, kConnectTimeoutMs, true, 2);
    if (!lineStarting(reply, "READY").empty()) return true;
    if (const std::string failure = lineStarting(reply, "EXEC "); !failure.empty()) {
        const auto code = static_cast<uint32_t>(std::strtoul(failure.c_str() + 5, nullptr, 10));
        s.status.currentState = SERVICE_STOPPED;
        s.status.win32ExitCode = code;
        s.status.processId = 0;
        s.processStart = 0;
        writeStatus(name, s);
        return fail(code);
    }
    return fail(kErrorServiceRequestTimeout);
}

}  // namespace

bool startService(const ServiceHandle& service) {
    if (!service.isOpen()) return fail(kErrorInvalidParameter);
    const std::string name = service.name();
    ServiceLock lock(name);
    RegistryKey key;
    if (!mayStart(name, key)) return false;

    SpawnPlan plan;
    plan.program = expandEnvironmentStrings(readString(key, "ImagePath"));
    const size_t slash = plan.program.rfind('/');
    plan.workDir = slash == std::string::npos || slash == 0 ? "/" : plan.program.substr(0, slash);
    // The service runs as the user who installed it, never as whoever starts it.
    if (!resolveServiceAccount(readString(key, "ObjectName"), plan.account)) return false;
    if (::geteuid() == 0 && !databaseTrusted(key, plan.program, plan.account.uid == 0))
        return fail(kErrorAccessDenied);
    if (!prepareRuntimeDir(name, plan)) return false;
    plan.env = serviceEnvironment(name, plan.account);

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return fail(lastErrorCode());
    UniqueFd readEnd(fds[0]), writeEnd(fds[1]);
    if (!spawnDetached(plan, writeEnd)) return false;
    return awaitDispatcher(name, readEnd.get());
}

}  // namespace platform
