#include "Registry.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>

#include "FileLock.h"
#include "FileSystem.h"
#include "RegistryStore.h"
#include "SystemDirectory.h"
#include "UniqueFd.h"
#include "text/TextRules.h"

namespace platform {

using namespace registrydetail;

// Gives the implementation access to a key's private parts.
struct RegistryAccess {
    static std::string& dir(RegistryKey& k) { return k.dir_; }
    static const std::string& dir(const RegistryKey& k) { return k.dir_; }
    static std::string& name(RegistryKey& k) { return k.name_; }
    static uint32_t& access(RegistryKey& k) { return k.access_; }
    static uint32_t access(const RegistryKey& k) { return k.access_; }
};

namespace {

constexpr char kLockFile[] = ".lock";
constexpr uint32_t kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_DELETE;
constexpr uint32_t kReadRights = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;

std::string registryRoot() { return systemDirectory() + "/registry"; }

std::string rootDir(RootKey root) { return registryRoot() + "/" + rootKeyName(root); }

bool inGroup(gid_t gid) {
    if (getegid() == gid) return true;
    gid_t groups[256];
    const int n = getgroups(256, groups);
    for (int i = 0; i < n; ++i)
        if (groups[i] == gid) return true;
    return false;
}

// Permission bits of the key's directory decide; the superuser needs at least
// one bit of the kind asked for (as for executing files).
int32_t checkAccess(const std::string& dir, uint32_t access) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) return errno == EACCES ? kRegAccessDenied : kRegNotFound;
    if (!S_ISDIR(st.st_mode)) return kRegNotFound;
    const bool wantRead = (access & kReadRights) != 0;
    const bool wantWrite = (access & kWriteRights) != 0;
    const mode_t m = st.st_mode;
    mode_t bits;
    if (geteuid() == 0) {
        bits = ((m | (m >> 3) | (m >> 6)) & 7);
    } else if (st.st_uid == geteuid()) {
        bits = (m >> 6) & 7;
    } else if (inGroup(st.st_gid)) {
        bits = (m >> 3) & 7;
    } else {
        bits = m & 7;
    }
    if (wantRead && !(bits & 4)) return kRegAccessDenied;
    if (wantWrite && !(bits & 2)) return kRegAccessDenied;
    return kRegOk;
}

std::vector<std::string> splitPath(std::string_view path) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t end = path.find('\\', pos);
        if (end == std::string_view::npos) end = path.size();
        if (end > pos) parts.emplace_back(path.substr(pos, end - pos));
        pos = end + 1;
    }
    return parts;
}

// Stored names of the subkeys of `dir` (decoded), each with its directory entry.
std::vector<std::pair<std::string, std::string>> listSubKeys(const std::string& dir) {
    std::vector<std::pair<std::string, std::string>> keys;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return keys;
    while (dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.') continue;
        const std::string entry = e->d_name;
        if (!directoryExists(dir + "/" + entry)) continue;
        keys.emplace_back(decodeKeyName(entry), entry);
    }
    ::closedir(d);
    std::sort(keys.begin(), keys.end(),
              [](const auto& a, const auto& b) { return text::lessIgnoreCase(a.first, b.first); });
    return keys;
}

// The directory of the subkey `name` of `dir`, whatever its letter case.
bool findSubKey(const std::string& dir, std::string_view name, std::string& entry, std::string& stored) {
    // The exact spelling is the common case and needs no listing.
    const std::string encoded = encodeKeyName(name);
    if (directoryExists(dir + "/" + encoded)) {
        entry = encoded;
        stored = std::string(name);
        return true;
    }
    for (auto& [n, e] : listSubKeys(dir)) {
        if (text::equalsIgnoreCase(n, name)) {
            entry = e;
            stored = n;
            return true;
        }
    }
    return false;
}

// Serialises every change to the store across threads and processes.
class StoreLock : public FileLock {
public:
    StoreLock() : FileLock(lockPath()) {}

private:
    static std::string lockPath() {
        const std::string root = registryRoot();
        ensureDirectory(root);
        return root + "/" + kLockFile;
    }
};

bool validPath(std::string_view subKey) {
    for (const auto& part : splitPath(subKey))
        if (part.size() > 255) return false;
    return true;
}

int32_t openFrom(const std::string& baseDir, const std::string& baseName, std::string_view subKey, RegistryKey& out,
                 uint32_t access, bool create, bool* created) {
    out.close();
    if (created) *created = false;
    if (!validPath(subKey)) return kRegInvalidParameter;
    if (!directoryExists(baseDir)) return kRegKeyDeleted;
    std::string dir = baseDir;
    std::string name = baseName;
    for (const auto& part : splitPath(subKey)) {
        std::string entry, stored;
        if (!findSubKey(dir, part, entry, stored)) {
            if (!create) return kRegNotFound;
            const std::string encoded = encodeKeyName(part);
            if (::mkdir((dir + "/" + encoded).c_str(), 0755) != 0 && errno != EEXIST)
                return errno == EACCES || errno == EPERM || errno == EROFS ? kRegAccessDenied : kRegNotFound;
            entry = encoded;
            stored = part;
            if (created) *created = true;
        } else if (created) {
            *created = false;
        }
        dir += "/" + entry;
        name += name.empty() ? stored : "\\" + stored;
    }
    if (const int32_t r = checkAccess(dir, access); r != kRegOk) return r;
    RegistryAccess::dir(out) = dir;
    RegistryAccess::name(out) = name;
    RegistryAccess::access(out) = access;
    return kRegOk;
}

int32_t checkHandle(const RegistryKey& key, uint32_t right) {
    if (!key.isOpen()) return kRegInvalidParameter;
    if (!(RegistryAccess::access(key) & right)) return kRegAccessDenied;
    if (!directoryExists(RegistryAccess::dir(key))) return kRegKeyDeleted;
    return kRegOk;
}

int32_t deleteSub(const std::string& dir, std::string_view subKey, bool tree) {
    const auto parts = splitPath(subKey);
    if (parts.empty()) return kRegAccessDenied;  // a key cannot delete itself through an empty path
    StoreLock lock;
    if (!lock.locked()) return kRegAccessDenied;
    std::string parent = dir;
    std::string entry, stored;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (!findSubKey(parent, parts[i], entry, stored)) return kRegNotFound;
        if (i + 1 < parts.size()) parent += "/" + entry;
    }
    const std::string target = parent + "/" + entry;
    if (checkAccess(parent, KEY_SET_VALUE) != kRegOk) return kRegAccessDenied;
    if (!tree && !listSubKeys(target).empty()) return kRegAccessDenied;
    std::error_code ec;
    std::filesystem::remove_all(target, ec);
    if (ec) return ec.value() == EACCES || ec.value() == EPERM ? kRegAccessDenied : kRegWriteFault;
    return kRegOk;
}

}  // namespace

int32_t regOpenKey(RootKey root, std::string_view subKey, RegistryKey& out, uint32_t access) {
    const std::string base = rootDir(root);
    ensureDirectory(base);
    return openFrom(base, "", subKey, out, access, false, nullptr);
}

int32_t regOpenKey(const RegistryKey& parent, std::string_view subKey, RegistryKey& out, uint32_t access) {
    if (!parent.isOpen()) return kRegInvalidParameter;
    const std::string dir = RegistryAccess::dir(parent), name = parent.path();
    return openFrom(dir, name, subKey, out, access, false, nullptr);
}

int32_t regCreateKey(RootKey root, std::string_view subKey, RegistryKey& out, uint32_t access, bool* created) {
    const std::string base = rootDir(root);
    ensureDirectory(base);
    StoreLock lock;
    if (!lock.locked()) return openFrom(base, "", subKey, out, access, false, created);
    return openFrom(base, "", subKey, out, access, true, created);
}

int32_t regCreateKey(const RegistryKey& parent, std::string_view subKey, RegistryKey& out, uint32_t access,
                     bool* created) {
    if (!parent.isOpen()) return kRegInvalidParameter;
    if (!splitPath(subKey).empty() && !(RegistryAccess::access(parent) & KEY_CREATE_SUB_KEY)) {
        // Opening an existing key needs no right to create.
        if (const int32_t r = regOpenKey(parent, subKey, out, access); r != kRegNotFound) return r;
        return kRegAccessDenied;
    }
    const std::string dir = RegistryAccess::dir(parent), name = parent.path();
    StoreLock lock;
    if (!lock.locked()) return kRegAccessDenied;
    return openFrom(dir, name, subKey, out, access, true, created);
}

int32_t regQueryValue(const RegistryKey& key, std::string_view valueName, uint32_t& type, uint8_t* data,
                      uint32_t& size) {
    if (const int32_t r = checkHandle(key, KEY_QUERY_VALUE); r != kRegOk) return r;
    for (const auto& v : readValues(RegistryAccess::dir(key))) {
        if (!text::equalsIgnoreCase(v.name, valueName)) continue;
        type = v.type;
        const auto needed = static_cast<uint32_t>(v.data.size());
        if (!data) {
            size = needed;
            return kRegOk;
        }
        if (size < needed) {
            size = needed;
            return kRegMoreData;
        }
        std::memcpy(data, v.data.data(), v.data.size());
        size = needed;
        return kRegOk;
    }
    return kRegNotFound;
}

int32_t regSetValue(const RegistryKey& key, std::string_view valueName, uint32_t type, const uint8_t* data,
                    uint32_t size) {
    if (const int32_t r = checkHandle(key, KEY_SET_VALUE); r != kRegOk) return r;
    if (size && !data) return kRegInvalidParameter;
    if (valueName.size() > 16383) return kRegInvalidParameter;
    StoreLock lock;
    if (!lock.locked()) return kRegAccessDenied;
    const std::string& dir = RegistryAccess::dir(key);
    if (!directoryExists(dir)) return kRegKeyDeleted;
    auto values = readValues(dir);
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    auto it = std::find_if(values.begin(), values.end(),
                           [&](const Value& v) { return text::equalsIgnoreCase(v.name, valueName); });
    if (it != values.end()) {
        it->type = type;
        it->data = bytes;
    } else {
        values.push_back(Value{std::string(valueName), type, bytes});
    }
    if (!writeValues(dir, values)) return errno == EACCES || errno == EPERM ? kRegAccessDenied : kRegWriteFault;
    return kRegOk;
}

int32_t regDeleteValue(const RegistryKey& key, std::string_view valueName) {
    if (const int32_t r = checkHandle(key, KEY_SET_VALUE); r != kRegOk) return r;
    StoreLock lock;
    if (!lock.locked()) return kRegAccessDenied;
    const std::string& dir = RegistryAccess::dir(key);
    auto values = readValues(dir);
    auto it = std::find_if(values.begin(), values.end(),
                           [&](const Value& v) { return text::equalsIgnoreCase(v.name, valueName); });
    if (it == values.end()) return kRegNotFound;
    values.erase(it);
    if (!writeValues(dir, values)) return errno == EACCES || errno == EPERM ? kRegAccessDenied : kRegWriteFault;
    return kRegOk;
}

int32_t regDeleteKey(const RegistryKey& key, std::string_view subKey) {
    if (!key.isOpen()) return kRegInvalidParameter;
    return deleteSub(RegistryAccess::dir(key), subKey, false);
}

std::vector<std::string> regKeyFiles(const RegistryKey& key) {
    if (!key.isOpen()) return {};
    const std::string& dir = RegistryAccess::dir(key);
    return {dir, dir + "/" + kValuesFile};
}

int32_t regDeleteKey(RootKey root, std::string_view subKey) { return deleteSub(rootDir(root), subKey, false); }

int32_t regDeleteTree(const RegistryKey& key, std::string_view subKey) {
    if (!key.isOpen()) return kRegInvalidParameter;
    return deleteSub(RegistryAccess::dir(key), subKey, true);
}

int32_t regDeleteTree(RootKey root, std::string_view subKey) { return deleteSub(rootDir(root), subKey, true); }

int32_t regEnumKey(const RegistryKey& key, uint32_t index, char* name, uint32_t& nameSize) {
    if (const int32_t r = checkHandle(key, KEY_ENUMERATE_SUB_KEYS); r != kRegOk) return r;
    const auto keys = listSubKeys(RegistryAccess::dir(key));
    if (index >= keys.size()) return kRegNoMoreItems;
    const std::string& n = keys[index].first;
    if (!name || nameSize < n.size() + 1) {
        nameSize = static_cast<uint32_t>(n.size() + 1);
        return kRegMoreData;
    }
    std::memcpy(name, n.c_str(), n.size() + 1);
    nameSize = static_cast<uint32_t>(n.size());
    return kRegOk;
}

int32_t regEnumValue(const RegistryKey& key, uint32_t index, char* name, uint32_t& nameSize, uint32_t& type,
                     uint8_t* data, uint32_t& dataSize) {
    if (const int32_t r = checkHandle(key, KEY_QUERY_VALUE); r != kRegOk) return r;
    const auto values = readValues(RegistryAccess::dir(key));
    if (index >= values.size()) return kRegNoMoreItems;
    const Value& v = values[index];
    type = v.type;
    const auto needed = static_cast<uint32_t>(v.data.size());
    bool more = false;
    if (!name || nameSize < v.name.size() + 1) {
        nameSize = static_cast<uint32_t>(v.name.size() + 1);
        more = true;
    }
    if (data && dataSize < needed) more = true;
    if (more) {
        dataSize = needed;
        return kRegMoreData;
    }
    std::memcpy(name, v.name.c_str(), v.name.size() + 1);
    nameSize = static_cast<uint32_t>(v.name.size());
    if (data) std::memcpy(data, v.data.data(), v.data.size());
    dataSize = needed;
    return kRegOk;
}

int32_t regQueryDword(const RegistryKey& key, std::string_view valueName, uint32_t& value) {
    uint32_t type = 0, size = 4;
    uint8_t buf[4] = {};
    const int32_t r = regQueryValue(key, valueName, type, buf, size);
    if (r != kRegOk) return r;
    if (type != REG_DWORD || size != 4) return kRegInvalidParameter;
    value = uint32_t(buf[0]) | uint32_t(buf[1]) << 8 | uint32_t(buf[2]) << 16 | uint32_t(buf[3]) << 24;
    return kRegOk;
}

int32_t regSetDword(const RegistryKey& key, std::string_view valueName, uint32_t value) {
    const uint8_t buf[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    return regSetValue(key, valueName, REG_DWORD, buf, 4);
}

int32_t regQueryString(const RegistryKey& key, std::string_view valueName, std::string& value) {
    uint32_t type = 0, size = 0;
    int32_t r = regQueryValue(key, valueName, type, nullptr, size);
    if (r != kRegOk) return r;
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return kRegInvalidParameter;
    std::string buf(size, '\0');
    r = regQueryValue(key, valueName, type, reinterpret_cast<uint8_t*>(buf.data()), size);
    if (r != kRegOk) return r;
    buf.resize(size);
    if (!buf.empty() && buf.back() == '\0') buf.pop_back();
    value = std::move(buf);
    return kRegOk;
}

int32_t regSetString(const RegistryKey& key, std::string_view valueName, std::string_view value, uint32_t type) {
    std::string bytes(value);
    bytes += '\0';
    return regSetValue(key, valueName, type, reinterpret_cast<const uint8_t*>(bytes.data()),
                       static_cast<uint32_t>(bytes.size()));
}

std::vector<std::string> regSubKeyNames(const RegistryKey& key) {
    std::vector<std::string> names;
    if (checkHandle(key, KEY_ENUMERATE_SUB_KEYS) != kRegOk) return names;
    for (auto& [n, e] : listSubKeys(RegistryAccess::dir(key))) names.push_back(n);
    return names;
}

}  // namespace platform

