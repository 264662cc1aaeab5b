// Registry access for the console: each call opens the key it needs and
// closes it again; only an enumeration keeps its key open between calls.
// Failures show only in the results (false, 0 or an empty text).
#pragma once

#include "platform/Registry.h"

#include <cstdint>
#include <string>
#include <vector>

// Predefined root key handles.
inline constexpr uint32_t HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr uint32_t HKEY_CURRENT_USER = 0x80000001u;
inline constexpr uint32_t HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr uint32_t HKEY_USERS = 0x80000003u;
inline constexpr uint32_t HKEY_CURRENT_CONFIG = 0x80000005u;

class clsRegistry {
public:
    clsRegistry() = default;
    ~clsRegistry() { EnumEnd(); }
    clsRegistry(const clsRegistry&) = delete;
    clsRegistry& operator=(const clsRegistry&) = delete;

    // Texts of up to 1024 bytes; a number is given in decimal.
    std::string ReadString(uint32_t root, const std::string& key, const std::string& name);
    // A number, or the leading number of a text of at most 3 characters; 0 otherwise.
    int32_t ReadLong(uint32_t root, const std::string& key, const std::string& name);

    // Writing creates the key and every missing key along its path.
    bool WriteString(uint32_t root, const std::string& key, const std::string& name, const std::string& text);
    bool WriteExpandString(uint32_t root, const std::string& key, const std::string& name, const std::string& text);
    bool WriteMultiString(uint32_t root, const std::string& key, const std::string& name,
                          const std::vector<std::string>& texts);
    bool WriteLong(uint32_t root, const std::string& key, const std::string& name, int32_t value);
    bool WriteBinary(uint32_t root, const std::string& key, const std::string& name, const std::string& bytes);

    bool KeyExists(uint32_t root, const std::string& key);
    bool ValueExists(uint32_t root, const std::string& key, const std::string& name);
    bool DeleteKey(uint32_t root, const std::string& key, const std::string& subKey);
    bool DeleteValue(uint32_t root, const std::string& key, const std::string& name);

    bool EnumStart(uint32_t root, const std::string& key);
    bool EnumKey(uint32_t index, std::string& name);
    bool EnumValue(uint32_t index, uint32_t& type, std::string& name, std::string& data);
    void EnumEnd();

private:
    bool write(uint32_t root, const std::string& key, const std::string& name, uint32_t type,
               const std::string& data);

    bool enumerating_ = false;
    platform::RegistryKey enumKey_;
};
