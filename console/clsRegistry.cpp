#include "clsRegistry.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace {

constexpr uint32_t kStringBuffer = 1024;
constexpr uint32_t kEnumStart = 256;
constexpr uint32_t kEnumStep = 256;
constexpr uint32_t kEnumLimit = 8192;
constexpr uint32_t kValueNameBuffer = 260;

bool openKey(uint32_t root, const std::string& key, uint32_t access, platform::RegistryKey& out) {
    platform::RootKey r;
    if (!platform::rootKeyFromHandle(root, r)) return false;
    return platform::regOpenKey(r, key, out, access) == platform::kRegOk;
}

// The number a text starts with: blanks, a sign, digits and a fraction,
// rounded half to even as the classic conversion does.
int32_t leadingNumber(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    size_t end = i;
    if (end < s.size() && (s[end] == '+' || s[end] == '-')) ++end;
    bool digits = false;
    while (end < s.size() && std::isdigit(static_cast<unsigned char>(s[end]))) ++end, digits = true;
    if (end < s.size() && s[end] == '.') {
        ++end;
        while (end < s.size() && std::isdigit(static_cast<unsigned char>(s[end]))) ++end, digits = true;
    }
    if (!digits) return 0;
    const double v = std::nearbyint(std::strtod(s.substr(i, end - i).c_str(), nullptr));
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}

}  // namespace

std::string clsRegistry::ReadString(uint32_t root, const std::string& key, const std::string& name) {
    platform::RegistryKey k;
    if (!openKey(root, key, platform::KEY_READ, k)) return {};
    std::string buf(kStringBuffer, '\0');
    uint32_t type = 0;
    uint32_t size = kStringBuffer;
    if (platform::regQueryValue(k, name, type, reinterpret_cast<uint8_t*>(buf.data()), size) != platform::kRegOk)
        return {};
    switch (type) {
        case platform::REG_SZ:
        case platform::REG_MULTI_SZ:
            return size == 0 ? std::string() : buf.substr(0, size - 1);
        case platform::REG_EXPAND_SZ:
            return size == 0 ? std::string() : platform::expandEnvironmentStrings(buf.substr(0, size - 1));
        case platform::REG_BINARY:
            return buf.substr(0, size);
        case platform::REG_DWORD:
        case platform::REG_DWORD_BIG_ENDIAN:
            k.close();
            return std::to_string(ReadLong(root, key, name));
        default:
            return {};
    }
}

int32_t clsRegistry::ReadLong(uint32_t root, const std::string& key, const std::string& name) {
    platform::RegistryKey k;
    if (!openKey(root, key, platform::KEY_READ, k)) return 0;
    uint8_t data[4] = {0, 0, 0, 0};
    uint32_t type = 0;
    uint32_t size = sizeof data;
    if (platform::regQueryValue(k, name, type, data, size) != platform::kRegOk) return 0;
    switch (type) {
        case platform::REG_DWORD:
        case platform::REG_DWORD_BIG_ENDIAN:
            // As stored, also for the big-endian type.
            return static_cast<int32_t>(uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 |
                                        uint32_t(data[3]) << 24);
        case platform::REG_SZ:
        case platform::REG_EXPAND_SZ:
        case platform::REG_MULTI_SZ:
            k.close();
            return leadingNumber(ReadString(root, key, name));
        default:
            return 0;
    }
}

bool clsRegistry::write(uint32_t root, const std::string& key, const std::string& name, uint32_t type,
                        const std::string& data) {
    platform::RootKey r;
    if (!platform::rootKeyFromHandle(root, r)) return false;
    platform::RegistryKey k;
    if (platform::regCreateKey(r, key, k, platform::KEY_WRITE) != platform::kRegOk) return false;
    return platform::regSetValue(k, name, type, reinterpret_cast<const uint8_t*>(data.data()),
                                 static_cast<uint32_t>(data.size())) == platform::kRegOk;
}

bool clsRegistry::WriteString(uint32_t root, const std::string& key, const std::string& name,
                              const std::string& text) {
    return write(root, key, name, platform::REG_SZ, text + '\0');
}

bool clsRegistry::WriteExpandString(uint32_t root, const std::string& key, const std::string& name,
                                    const std::string& text) {
    return write(root, key, name, platform::REG_EXPAND_SZ, text + '\0');
}

bool clsRegistry::WriteMultiString(uint32_t root, const std::string& key, const std::string& name,
                                   const std::vector<std::string>& texts) {
    std::string data;
    for (const auto& t : texts) {
        data += t;
        data += '\0';
    }
    data += '\0';
    return write(root, key, name, platform::REG_MULTI_SZ, data);
}

bool clsRegistry::WriteLong(uint32_t root, const std::string& key, const std::string& name, int32_t value) {
    const auto v = static_cast<uint32_t>(value);
    const char bytes[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                           static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
    return write(root, key, name, platform::REG_DWORD, std::string(bytes, 4));
}

bool clsRegistry::WriteBinary(uint32_t root, const std::string& key, const std::string& name,
                              const std::string& bytes) {
    return write(root, key, name, platform::REG_BINARY, bytes);
}

bool clsRegistry::KeyExists(uint32_t root, const std::string& key) {
    platform::RegistryKey k;
    return openKey(root, key, platform::KEY_READ, k);
}

bool clsRegistry::ValueExists(uint32_t root, const std::string& key, const std::string& name) {
    platform::RegistryKey k;
    if (!openKey(root, key, platform::KEY_READ, k)) return false;
    uint32_t type = 0;
    uint32_t size = 0;
    return platform::regQueryValue(k, name, type, nullptr, size) == platform::kRegOk;
}

bool clsRegistry::DeleteKey(uint32_t root, const std::string& key, const std::string& subKey) {
    platform::RegistryKey k;
    if (!openKey(root, key, platform::KEY_ALL_ACCESS, k)) return false;
    return platform::regDeleteKey(k, subKey) == platform::kRegOk;
}

bool clsRegistry::DeleteValue(uint32_t root, const std::string& key, const std::string& name) {
    platform::RegistryKey k;
    if (!openKey(root, key, platform::KEY_ALL_ACCESS, k)) return false;
    return platform::regDeleteValue(k, name) == platform::kRegOk;
}

bool clsRegistry::EnumStart(uint32_t root, const std::string& key) {
    EnumEnd();
    if (!openKey(root, key, platform::KEY_ENUMERATE_SUB_KEYS | platform::KEY_QUERY_VALUE, enumKey_)) return false;
    enumerating_ = true;
    return true;
}

bool clsRegistry::EnumKey(uint32_t index, std::string& name) {
    if (!enumerating_) return false;
    for (uint32_t capacity = kEnumStart; capacity <= kEnumLimit; capacity += kEnumStep) {
        std::string buf(capacity, '\0');
        uint32_t size = capacity;
        const int32_t rc = platform::regEnumKey(enumKey_, index, buf.data(), size);
        if (rc == platform::kRegMoreData) continue;
        if (rc != platform::kRegOk) return false;
        name = buf.substr(0, size);
        return true;
    }
    return false;
}

bool clsRegistry::EnumValue(uint32_t index, uint32_t& type, std::string& name, std::string& data) {
    if (!enumerating_) return false;
    for (uint32_t capacity = kEnumStart; capacity <= kEnumLimit; capacity += kEnumStep) {
        std::string nameBuf(kValueNameBuffer, '\0');
        std::string dataBuf(capacity, '\0');
        uint32_t nameSize = kValueNameBuffer;
        uint32_t dataSize = capacity;
        uint32_t t = 0;
        const int32_t rc = platform::regEnumValue(enumKey_, index, nameBuf.data(), nameSize, t,
                                                  reinterpret_cast<uint8_t*>(dataBuf.data()), dataSize);
        if (rc == platform::kRegMoreData) continue;
        if (rc != platform::kRegOk) return false;
        type = t;
        name = nameBuf.substr(0, nameSize);
        data = dataSize == 0 ? std::string() : dataBuf.substr(0, dataSize - 1);
        return true;
    }
    return false;
}

void clsRegistry::EnumEnd() {
    enumKey_.close();
    enumerating_ = false;
}
