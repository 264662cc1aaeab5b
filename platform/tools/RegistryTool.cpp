// ringpost-registry: query, set and delete values of the registry store from
// a shell, for administrators and scripts.
//
//   ringpost-registry query  KEY [/v NAME | /ve] [/s]
//   ringpost-registry add    KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]
//   ringpost-registry delete KEY [/v NAME | /ve | /va] [/f]
//
// KEY starts with its root (HKLM, HKEY_LOCAL_MACHINE, HKCU, ...) and
// separates its parts with '\'. Switches may start with '/' or '-'.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "text/TextRules.h"

using namespace platform;

namespace {

void usage() {
    std::fputs(
        "Usage:\n"
        "  ringpost-registry query  KEY [/v NAME | /ve] [/s]\n"
        "  ringpost-registry add    KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]\n"
        "  ringpost-registry delete KEY [/v NAME | /ve | /va] [/f]\n"
        "\n"
        "KEY     ROOT\\SUBKEY, ROOT one of HKLM HKCU HKCR HKU HKCC (or the long names)\n"
        "/v      the value NAME; /ve the default (unnamed) value; /va every value\n"
        "/s      query every subkey below KEY too\n"
        "/t      REG_SZ (default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD,\n"
        "        REG_DWORD_BIG_ENDIAN, REG_BINARY, REG_NONE\n"
        "/d      the data: text; a number (decimal or 0x hex) for REG_DWORD;\n"
        "        hex digits for REG_BINARY; texts separated by \\0 for REG_MULTI_SZ\n"
        "/f      accepted for compatibility; nothing is ever asked\n",
        stderr);
}

bool isSwitch(const std::string& a, const char* name) {
    if (a.size() < 2 || (a[0] != '/' && a[0] != '-')) return false;
    return text::equalsIgnoreCase(std::string_view(a).substr(1), name);
}

const char* describe(int32_t r) {
    switch (r) {
    case kRegNotFound: return "the key or value does not exist";
    case kRegAccessDenied: return "access is denied";
    case kRegInvalidParameter: return "invalid argument";
    case kRegKeyDeleted: return "the key was deleted";
    default: return "the store could not be written";
    }
}

int fail(int32_t r) {
    std::fprintf(stderr, "ERROR: %s (%d).\n", describe(r), static_cast<int>(r));
    return 1;
}

bool splitKey(const std::string& text, RootKey& root, std::string& sub) {
    const size_t sep = text.find('\\');
    if (!rootKeyFromName(text.substr(0, sep), root)) return false;
    sub = sep == std::string::npos ? "" : text.substr(sep + 1);
    return true;
}

std::string formatData(uint32_t type, const std::string& d) {
    char buf[32];
    if ((type == REG_DWORD || type == REG_DWORD_BIG_ENDIAN) && d.size() == 4) {
        uint32_t n = 0;
        if (type == REG_DWORD)
            for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(d[static_cast<size_t>(i)]);
        else
            for (int i = 0; i < 4; ++i) n = (n << 8) | static_cast<unsigned char>(d[static_cast<size_t>(i)]);
        std::snprintf(buf, sizeof buf, "0x%x", n);
        return buf;
    }
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        std::string s = d;
        if (!s.empty() && s.back() == '\0') s.pop_back();
        if (type == REG_MULTI_SZ && !s.empty() && s.back() == '\0') s.pop_back();
        std::string out;
        for (const char c : s) out += c == '\0' ? std::string("\\0") : std::string(1, c);
        return out;
    }
    std::string out;
    for (const char c : d) text::appendHex(out, static_cast<unsigned char>(c));
    return out;
}

void printValue(const std::string& name, uint32_t type, const std::string& data) {
    const char* tn = registryTypeName(type);
    const std::string typeText = *tn ? tn : "REG_" + std::to_string(type);
    std::printf("    %s    %s    %s\n", name.empty() ? "(Default)" : name.c_str(), typeText.c_str(),
                formatData(type, data).c_str());
}

int32_t printKey(const RegistryKey& key, RootKey root, bool recurse) {
    std::printf("%s%s%s\n", rootKeyName(root), key.path().empty() ? "" : "\\", key.path().c_str());
    for (uint32_t i = 0;; ++i) {
        std::vector<char> name(256);
        std::vector<uint8_t> data(256);
        uint32_t nameSize = static_cast<uint32_t>(name.size()), type = 0, dataSize = static_cast<uint32_t>(data.size());
        int32_t r = regEnumValue(key, i, name.data(), nameSize, type, data.data(), dataSize);
        if (r == kRegMoreData) {
            name.resize(std::max<size_t>(nameSize, name.size()) + 1);
            data.resize(dataSize + 1);
            nameSize = static_cast<uint32_t>(name.size());
            dataSize = static_cast<uint32_t>(data.size());
            r = regEnumValue(key, i, name.data(), nameSize, type, data.data(), dataSize);
        }
        if (r == kRegNoMoreItems) break;
        if (r != kRegOk) return r;
        printValue(std::string(name.data(), nameSize), type,
                   std::string(reinterpret_cast<const char*>(data.data()), dataSize));
    }
    std::printf("\n");
    for (const auto& sub : regSubKeyNames(key)) {
        RegistryKey child;
        if (!recurse) {
            std::printf("%s\\%s%s%s\n", rootKeyName(root), key.path().c_str(), key.path().empty() ? "" : "\\",
                        sub.c_str());
            continue;
        }
        if (regOpenKey(key, sub, child, KEY_READ) == kRegOk) printKey(child, root, true);
    }
    return kRegOk;
}

// The value's name as it was created, whatever case the caller typed.
std::string storedValueName(const RegistryKey& key, const std::string& typed) {
    std::vector<char> name(16384);
    for (uint32_t i = 0;; ++i) {
        uint32_t nameSize = static_cast<uint32_t>(name.size()), t = 0, dataSize = 0;
        if (regEnumValue(key, i, name.data(), nameSize, t, nullptr, dataSize) != kRegOk) return typed;
        const std::string stored(name.data(), nameSize);
        if (text::equalsIgnoreCase(stored, typed)) return stored;
    }
}

bool parseNumber(const std::string& s, uint32_t& out) {
    if (s.empty()) return false;
    char* end = nullptr;
    const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    const unsigned long long n = std::strtoull(s.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
    if (*end || n > 0xFFFFFFFFull || s[hex ? 2 : 0] == '-') return false;
    out = static_cast<uint32_t>(n);
    return true;
}

bool encodeData(uint32_t type, const std::string& text, std::string& out) {
    out.clear();
    if (type == REG_DWORD || type == REG_DWORD_BIG_ENDIAN) {
        uint32_t n = 0;
        if (!parseNumber(text.empty() ? "0" : text, n)) return false;
        for (int i = 0; i < 4; ++i) {
            const int shift = type == REG_DWORD ? 8 * i : 8 * (3 - i);
            out += static_cast<char>((n >> shift) & 0xFF);
        }
        return true;
    }
    if (type == REG_BINARY || type == REG_NONE) {
        if (text.size() % 2) return false;
        for (size_t i = 0; i < text.size(); i += 2) {
            const std::string pair = text.substr(i, 2);
            char* end = nullptr;
            const long v = std::strtol(pair.c_str(), &end, 16);
            if (*end || pair.find_first_of("+- ") != std::string::npos) return false;
            out += static_cast<char>(v);
        }
        return true;
    }
    if (type == REG_MULTI_SZ) {
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '0') {
                out += '\0';
                ++i;
            } else {
                out += text[i];
            }
        }
        out += '\0';
        out += '\0';
        return true;
    }
    out = text;
    out += '\0';
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        usage();
        return 2;
    }
    const std::string op = argv[1];
    RootKey root{};
    std::string sub;
    if (!splitKey(argv[2], root, sub)) {
        std::fprintf(stderr, "ERROR: unknown root key in \"%s\".\n", argv[2]);
        return 2;
    }
    std::optional<std::string> valueName, data;
    bool allValues = false, recurse = false;
    uint32_t type = REG_SZ;
    for (int i = 3; i < argc; ++i) {
        const std::string a = argv[i];
        if (isSwitch(a, "v") && i + 1 < argc) {
            valueName = argv[++i];
        } else if (isSwitch(a, "ve")) {
            valueName = "";
        } else if (isSwitch(a, "va")) {
            allValues = true;
        } else if (isSwitch(a, "s")) {
            recurse = true;
        } else if (isSwitch(a, "f")) {
        } else if (isSwitch(a, "t") && i + 1 < argc) {
            if (!registryTypeFromName(argv[++i], type)) {
                std::fprintf(stderr, "ERROR: unknown type \"%s\".\n", argv[i]);
                return 2;
            }
        } else if (isSwitch(a, "d") && i + 1 < argc) {
            data = argv[++i];
        } else {
            std::fprintf(stderr, "ERROR: unexpected argument \"%s\".\n", a.c_str());
            usage();
            return 2;
        }
    }

    if (isSwitch("/" + op, "query")) {
        RegistryKey key;
        if (const int32_t r = regOpenKey(root, sub, key, KEY_READ); r != kRegOk) return fail(r);
        if (!valueName) return printKey(key, root, recurse) == kRegOk ? 0 : 1;
        uint32_t t = 0, size = 0;
        if (const int32_t r = regQueryValue(key, *valueName, t, nullptr, size); r != kRegOk) return fail(r);
        std::string bytes(size, '\0');
        if (const int32_t r = regQueryValue(key, *valueName, t, reinterpret_cast<uint8_t*>(bytes.data()), size);
            r != kRegOk)
            return fail(r);
        bytes.resize(size);
        std::printf("%s\\%s\n", rootKeyName(root), key.path().c_str());
        printValue(storedValueName(key, *valueName), t, bytes);
        return 0;
    }
    if (isSwitch("/" + op, "add")) {
        RegistryKey key;
        if (const int32_t r = regCreateKey(root, sub, key, KEY_ALL_ACCESS); r != kRegOk) return fail(r);
        if (!valueName) return 0;
        std::string bytes;
        if (!encodeData(type, data.value_or(""), bytes)) {
            std::fprintf(stderr, "ERROR: \"%s\" is not valid data for %s.\n", data.value_or("").c_str(),
                         registryTypeName(type));
            return 2;
        }
        const int32_t r = regSetValue(key, *valueName, type, reinterpret_cast<const uint8_t*>(bytes.data()),
                                      static_cast<uint32_t>(bytes.size()));
        return r == kRegOk ? 0 : fail(r);
    }
    if (isSwitch("/" + op, "delete")) {
        if (!valueName && !allValues) {
            const int32_t r = regDeleteTree(root, sub);
            return r == kRegOk ? 0 : fail(r);
        }
        RegistryKey key;
        if (const int32_t r = regOpenKey(root, sub, key, KEY_ALL_ACCESS); r != kRegOk) return fail(r);
        if (valueName) {
            const int32_t r = regDeleteValue(key, *valueName);
            return r == kRegOk ? 0 : fail(r);
        }
        for (;;) {
            std::vector<char> name(16384);
            uint32_t nameSize = static_cast<uint32_t>(name.size()), t = 0, dataSize = 0;
            const int32_t r = regEnumValue(key, 0, name.data(), nameSize, t, nullptr, dataSize);
            if (r == kRegNoMoreItems) return 0;
            if (r != kRegOk) return fail(r);
            if (const int32_t d = regDeleteValue(key, std::string(name.data(), nameSize)); d != kRegOk) return fail(d);
        }
    }
    std::fprintf(stderr, "ERROR: unknown operation \"%s\".\n", op.c_str());
    usage();
    return 2;
}
