// The registry's names: root keys and value types by their classic names,
// and environment strings expanded.
#include <cstdlib>

#include "Registry.h"
#include "text/TextRules.h"

namespace platform {

std::string expandEnvironmentStrings(std::string_view text) {
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t start = text.find('%', pos);
        if (start == std::string_view::npos) break;
        const size_t end = text.find('%', start + 1);
        if (end == std::string_view::npos) break;
        out.append(text.substr(pos, start - pos));
        const std::string name(text.substr(start + 1, end - start - 1));
        const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
        if (value) {
            out += value;
            pos = end + 1;
        } else if (name.empty()) {
            // "%%" is no name: keep the first '%' and let the second open the next one.
            out += '%';
            pos = end;
        } else {
            out.append(text.substr(start, end - start + 1));
            pos = end + 1;
        }
    }
    out.append(text.substr(pos));
    return out;
}

bool rootKeyFromName(std::string_view name, RootKey& out) {
    static const struct {
        const char* longName;
        const char* shortName;
        RootKey key;
    } kRoots[] = {{"HKEY_CLASSES_ROOT", "HKCR", RootKey::ClassesRoot},
                  {"HKEY_CURRENT_USER", "HKCU", RootKey::CurrentUser},
                  {"HKEY_LOCAL_MACHINE", "HKLM", RootKey::LocalMachine},
                  {"HKEY_USERS", "HKU", RootKey::Users},
                  {"HKEY_CURRENT_CONFIG", "HKCC", RootKey::CurrentConfig}};
    for (const auto& r : kRoots) {
        if (text::equalsIgnoreCase(name, r.longName) || text::equalsIgnoreCase(name, r.shortName)) {
            out = r.key;
            return true;
        }
    }
    return false;
}

bool rootKeyFromHandle(uint32_t handle, RootKey& out) {
    switch (handle) {
    case 0x80000000u: out = RootKey::ClassesRoot; return true;
    case 0x80000001u: out = RootKey::CurrentUser; return true;
    case 0x80000002u: out = RootKey::LocalMachine; return true;
    case 0x80000003u: out = RootKey::Users; return true;
    case 0x80000005u: out = RootKey::CurrentConfig; return true;
    default: return false;
    }
}

const char* rootKeyName(RootKey root) {
    switch (root) {
    case RootKey::ClassesRoot: return "HKEY_CLASSES_ROOT";
    case RootKey::CurrentUser: return "HKEY_CURRENT_USER";
    case RootKey::LocalMachine: return "HKEY_LOCAL_MACHINE";
    case RootKey::Users: return "HKEY_USERS";
    case RootKey::CurrentConfig: return "HKEY_CURRENT_CONFIG";
    }
    return "HKEY_LOCAL_MACHINE";
}

const char* registryTypeName(uint32_t type) {
    switch (type) {
    case REG_NONE: return "REG_NONE";
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN: return "REG_DWORD_BIG_ENDIAN";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    default: return "";
    }
}

bool registryTypeFromName(std::string_view name, uint32_t& type) {
    for (uint32_t t : {REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_DWORD_BIG_ENDIAN, REG_MULTI_SZ}) {
        if (text::equalsIgnoreCase(name, registryTypeName(t))) {
            type = t;
            return true;
        }
    }
    return false;
}


}  // namespace platform
