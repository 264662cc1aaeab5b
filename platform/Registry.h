// The registry store: keys and typed values kept under SYSTEM_DIR/registry/,
// one directory per key below its root key's name, the values of a key in one
// small text file inside it. Calls are shaped like the classic registry API and
// return its result codes, so callers keep their error handling unchanged.
//
// Key and value names compare ignoring ASCII letter case and keep the case
// they were created with; subkey paths separate their parts with '\'. Every
// change is written to a temporary file and renamed into place under an
// advisory lock, so several processes may use the store at once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class RootKey { ClassesRoot, CurrentUser, LocalMachine, Users, CurrentConfig };

// Result codes.
inline constexpr int32_t kRegOk = 0;
inline constexpr int32_t kRegNotFound = 2;
inline constexpr int32_t kRegAccessDenied = 5;
inline constexpr int32_t kRegInvalidParameter = 87;
inline constexpr int32_t kRegMoreData = 234;
inline constexpr int32_t kRegNoMoreItems = 259;
inline constexpr int32_t kRegKeyDeleted = 1018;
inline constexpr int32_t kRegWriteFault = 29;

// Value types.
inline constexpr uint32_t REG_NONE = 0;
inline constexpr uint32_t REG_SZ = 1;
inline constexpr uint32_t REG_EXPAND_SZ = 2;
inline constexpr uint32_t REG_BINARY = 3;
inline constexpr uint32_t REG_DWORD = 4;
inline constexpr uint32_t REG_DWORD_BIG_ENDIAN = 5;
inline constexpr uint32_t REG_MULTI_SZ = 7;

// Access rights asked for when a key is opened. Reading needs a read
// permission bit on the key's directory, every change a write bit; even the
// superuser is refused a key whose directory carries no such bit at all, so an
// administrator can lock a key with chmod.
inline constexpr uint32_t KEY_QUERY_VALUE = 0x0001;
inline constexpr uint32_t KEY_SET_VALUE = 0x0002;
inline constexpr uint32_t KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr uint32_t KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr uint32_t KEY_DELETE = 0x00010000;
inline constexpr uint32_t KEY_READ = 0x00020019;
inline constexpr uint32_t KEY_WRITE = 0x00020006;
inline constexpr uint32_t KEY_ALL_ACCESS = 0x000F003F;

// An open key. Closing is automatic; a key deleted while open makes further
// calls on it fail with kRegKeyDeleted.
class RegistryKey {
public:
    RegistryKey() = default;
    RegistryKey(RegistryKey&&) noexcept = default;
    RegistryKey& operator=(RegistryKey&&) noexcept = default;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    bool isOpen() const { return !dir_.empty(); }
    void close() { dir_.clear(), name_.clear(), access_ = 0; }
    // The key's path below its root, parts joined by '\', as stored.
    const std::string& path() const { return name_; }

private:
    friend struct RegistryAccess;
    std::string dir_;   // the key's directory
    std::string name_;  // path below the root, with stored case
    uint32_t access_ = 0;
};

// Opens an existing key. `subKey` empty opens the root key itself.
int32_t regOpenKey(RootKey root, std::string_view subKey, RegistryKey& out, uint32_t access = KEY_ALL_ACCESS);
int32_t regOpenKey(const RegistryKey& parent, std::string_view subKey, RegistryKey& out,
                   uint32_t access = KEY_ALL_ACCESS);

// Opens a key, creating it and every missing key along the path.
// `created` (optional) tells whether the last key was new.
int32_t regCreateKey(RootKey root, std::string_view subKey, RegistryKey& out, uint32_t access = KEY_ALL_ACCESS,
                     bool* created = nullptr);
int32_t regCreateKey(const RegistryKey& parent, std::string_view subKey, RegistryKey& out,
                     uint32_t access = KEY_ALL_ACCESS, bool* created = nullptr);

// Empty `valueName` is the key's default value. With `data` null only `type`
// and `size` (bytes needed) are returned; when `size` is too small the result
// is kRegMoreData with `size` set to the bytes needed.
int32_t regQueryValue(const RegistryKey& key, std::string_view valueName, uint32_t& type, uint8_t* data,
                      uint32_t& size);
int32_t regSetValue(const RegistryKey& key, std::string_view valueName, uint32_t type, const uint8_t* data,
                    uint32_t size);
int32_t regDeleteValue(const RegistryKey& key, std::string_view valueName);

// Deletes the subkey `subKey` of `key`; it must have no subkeys of its own
// (kRegAccessDenied otherwise). regDeleteTree removes it with everything below.
int32_t regDeleteKey(const RegistryKey& key, std::string_view subKey);
int32_t regDeleteKey(RootKey root, std::string_view subKey);
int32_t regDeleteTree(const RegistryKey& key, std::string_view subKey);
int32_t regDeleteTree(RootKey root, std::string_view subKey);

// Subkeys in name order ignoring case. `nameSize`: capacity of `name` in bytes
// including the terminator on entry, length without it on return. A name that
// does not fit gives kRegMoreData (nameSize = bytes needed); past the end
// kRegNoMoreItems.
int32_t regEnumKey(const RegistryKey& key, uint32_t index, char* name, uint32_t& nameSize);
// Values in the order they were created. `data` may be null (dataSize gets the
// bytes needed); kRegMoreData when the name or the data does not fit.
int32_t regEnumValue(const RegistryKey& key, uint32_t index, char* name, uint32_t& nameSize, uint32_t& type,
                     uint8_t* data, uint32_t& dataSize);

// Conveniences over the calls above.
int32_t regQueryDword(const RegistryKey& key, std::string_view valueName, uint32_t& value);  // REG_DWORD only
int32_t regSetDword(const RegistryKey& key, std::string_view valueName, uint32_t value);
// REG_SZ / REG_EXPAND_SZ / REG_MULTI_SZ, without the last terminating zero.
int32_t regQueryString(const RegistryKey& key, std::string_view valueName, std::string& value);
// Stores the text with its terminating zero.
int32_t regSetString(const RegistryKey& key, std::string_view valueName, std::string_view value,
                     uint32_t type = REG_SZ);
std::vector<std::string> regSubKeyNames(const RegistryKey& key);

// The files that hold an open key (its directory and its values file), for
// callers that must know who could have changed it.
std::vector<std::string> regKeyFiles(const RegistryKey& key);

// Replaces every %NAME% with the process environment's value; unknown names
// and a lone '%' stay as written.
std::string expandEnvironmentStrings(std::string_view text);

// Root keys by their classic names ("HKEY_LOCAL_MACHINE", "HKLM", any case) and
// handle values (0x80000002).
bool rootKeyFromName(std::string_view name, RootKey& out);
bool rootKeyFromHandle(uint32_t handle, RootKey& out);
const char* rootKeyName(RootKey root);

const char* registryTypeName(uint32_t type);              // "REG_SZ", or "" when unknown
bool registryTypeFromName(std::string_view name, uint32_t& type);

}  // namespace platform
