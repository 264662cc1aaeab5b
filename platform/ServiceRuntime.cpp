#include "ServiceRuntime.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Clock.h"
#include "ErrorText.h"
#include "FileSystem.h"
#include "Registry.h"
#include "SystemDirectory.h"
#include "UniqueFd.h"

namespace platform::servicedetail {

bool fail(uint32_t code) {
    setLastErrorCode(code);
    return false;
}

std::string servicesDir() { return systemDirectory() + "/services"; }
std::string runtimeDir(std::string_view name) { return servicesDir() + "/" + std::string(name); }
std::string statusPath(std::string_view name) { return runtimeDir(name) + "/status"; }
std::string socketPath(std::string_view name) { return runtimeDir(name) + "/control.sock"; }

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

StoredStatus currentStatus(std::string_view name, bool cleanUp) {
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

bool readWithin(int fd, std::string& out, uint32_t startTick, uint32_t boundMs, bool untilNewline, size_t lines) {
    for (;;) {
        if (untilNewline && static_cast<size_t>(std::count(out.begin(), out.end(), '\n')) >= lines) return true;
        const uint32_t elapsed = tickCount() - startTick;
        if (elapsed >= boundMs) return false;
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(std::min<uint32_t>(boundMs - elapsed, 1000)));
        if (r < 0 && errno != EINTR) return false;
        if (r <= 0) continue;
        char buf[256];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return !untilNewline;
        out.append(buf, static_cast<size_t>(n));
    }
}

StatusLock::StatusLock(std::string_view name)
    : dir_(::open(runtimeDir(name).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)) {
    if (dir_) {
        while (::flock(dir_.get(), LOCK_EX) != 0 && errno == EINTR) {
        }
    }
}

StatusLock::~StatusLock() {
    if (dir_) ::flock(dir_.get(), LOCK_UN);
}

std::string ServiceLock::lockPath(std::string_view name) {
    const std::string dir = servicesDir();
    ensureDirectory(dir);
    return dir + "/." + std::string(name) + ".lock";
}

}  // namespace platform::servicedetail
