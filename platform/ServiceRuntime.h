// What the service manager's parts share: the runtime directory of a
// service, its status file and status line, the lock that serialises starts,
// deletions and clean-ups, and the database entry's small questions.
// Internal to the platform layer; callers use ServiceManager.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "FileLock.h"
#include "ServiceManager.h"
#include "UniqueFd.h"

namespace platform {

class RegistryKey;

namespace servicedetail {

inline constexpr char kChannelEnv[] = "RINGPOST_SERVICE_CHANNEL";
inline constexpr char kNameEnv[] = "RINGPOST_SERVICE_NAME";
inline constexpr char kReadyEnv[] = "RINGPOST_SERVICE_READY_FD";
inline constexpr int kReadyFd = 3;

// Sets the last error and returns false, for `return fail(code);`.
bool fail(uint32_t code);

std::string servicesDir();
std::string runtimeDir(std::string_view name);
std::string statusPath(std::string_view name);
std::string socketPath(std::string_view name);

// The start time of a process in clock ticks since boot, 0 when it is gone
// or a zombie: together with the pid it names one process, whatever pids get
// reused later.
uint64_t processStartTime(uint32_t pid);

struct StoredStatus {
    ServiceStatus status;
    uint64_t processStart = 0;
};

std::string formatStatus(const StoredStatus& s);
bool parseStatus(const std::string& text, StoredStatus& out);
bool writeStatus(std::string_view name, const StoredStatus& s);

// Reads a file of the runtime directory, which the service's account may
// change: never through a link, never blocking on something that is not a
// plain file.
bool readRuntimeFile(const std::string& path, std::string& out);

// The status as the manager holds it: a process that has gone without
// reporting stopped reads as stopped with 1067, and a service marked for
// deletion goes once it has stopped.
StoredStatus currentStatus(std::string_view name, bool cleanUp = true);
bool running(const StoredStatus& s);

// One status on one line, as the control channel and status.log carry it.
std::string statusLine(const ServiceStatus& s);
bool parseStatusLine(const std::string& line, ServiceStatus& s);

// Reads from `fd` until `lines` newlines have arrived (untilNewline) or the
// end, giving up `boundMs` after `startTick`.
bool readWithin(int fd, std::string& out, uint32_t startTick, uint32_t boundMs, bool untilNewline, size_t lines = 1);

// Serialises starts, deletions and the clean-up of a dead process for one service.
class ServiceLock : public FileLock {
public:
    explicit ServiceLock(std::string_view name) : FileLock(lockPath(name)) {}

private:
    static std::string lockPath(std::string_view name);
};

// Serialises the two writers of a service's status: the starter, which
// records "start pending" for the process it spawned, and the service's own
// reports. Without it a report landing between the starter's look and its
// write was overwritten, and the service read as start pending for good.
// Held around one look-and-write only (a lock on the runtime directory, which
// both the manager and the service's account can open).
class StatusLock {
public:
    explicit StatusLock(std::string_view name);
    ~StatusLock();
    StatusLock(const StatusLock&) = delete;
    StatusLock& operator=(const StatusLock&) = delete;

private:
    UniqueFd dir_;
};

// ---- the service database ----

bool isInstalled(const RegistryKey& key);
bool markedForDeletion(const RegistryKey& key);
// The database entry goes with the key, as does the runtime state.
void removeService(std::string_view name);
std::string readString(const RegistryKey& key, std::string_view name);
std::string currentUserName();

}  // namespace servicedetail
}  // namespace platform
