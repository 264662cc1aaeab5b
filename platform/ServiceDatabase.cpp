// The service database: one registry key per service, and the manager calls
// that read or change it alone.
#include <filesystem>
#include <pwd.h>
#include <unistd.h>

#include "ErrorText.h"
#include "FileSystem.h"
#include "Registry.h"
#include "ServiceRuntime.h"
#include "SystemDirectory.h"

namespace platform {

struct ServiceHandleAccess {
    static std::string& name(ServiceHandle& h) { return h.name_; }
};

namespace {

constexpr char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services";

}  // namespace

namespace servicedetail {

bool isInstalled(const RegistryKey& key) {
    uint32_t type = 0, size = 0;
    return regQueryValue(key, "ImagePath", type, nullptr, size) == kRegOk;
}

bool markedForDeletion(const RegistryKey& key) {
    uint32_t flag = 0;
    return regQueryDword(key, "DeleteFlag", flag) == kRegOk && flag != 0;
}

void removeService(std::string_view name) {
    regDeleteTree(RootKey::LocalMachine, serviceKeyPath(name));
    std::error_code ec;
    std::filesystem::remove_all(runtimeDir(name), ec);
}

std::string readString(const RegistryKey& key, std::string_view name) {
    std::string v;
    return regQueryString(key, name, v) == kRegOk ? v : std::string();
}

std::string currentUserName() {
    if (const passwd* pw = ::getpwuid(::geteuid())) return pw->pw_name;
    return std::to_string(::geteuid());
}

}  // namespace servicedetail

using namespace servicedetail;

std::string serviceKeyPath(std::string_view serviceName) {
    return std::string(kServicesKey) + "\\" + std::string(serviceName);
}

bool openServiceManager(ServiceManagerHandle& out) {
    out.open_ = false;
    const std::string dir = servicesDir();
    if (!ensureDirectory(dir) || ::access(dir.c_str(), W_OK) != 0) return fail(kErrorAccessDenied);
    out.open_ = true;
    return true;
}

bool createService(const ServiceManagerHandle& manager, std::string_view name, std::string_view displayName,
                   uint32_t serviceType, uint32_t startType, uint32_t errorControl, std::string_view imagePath,
                   ServiceHandle& out) {
    out.close();
    if (!manager.isOpen() || name.empty() || name.find_first_of("/\\") != std::string_view::npos || imagePath.empty())
        return fail(kErrorInvalidParameter);
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
    if (!manager.isOpen()) return fail(kErrorInvalidParameter);
    RegistryKey key;
    if (name.empty() || name.find('\\') != std::string_view::npos ||
        regOpenKey(RootKey::LocalMachine, serviceKeyPath(name), key, KEY_READ) != kRegOk || !isInstalled(key))
        return fail(kErrorServiceDoesNotExist);
    ServiceHandleAccess::name(out) = key.path().substr(key.path().rfind('\\') + 1);
    return true;
}

bool deleteService(const ServiceHandle& service) {
    if (!service.isOpen()) return fail(kErrorInvalidParameter);
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

}  // namespace platform
