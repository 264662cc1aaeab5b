#include "RegistryStore.h"

#include <cstdlib>

#include "FileSystem.h"
#include "Registry.h"
#include "text/TextRules.h"

namespace platform::registrydetail {

namespace {

// The byte two hex digits stand for, -1 unless both are hex digits.
int hexByte(char high, char low) {
    const int h = text::hexDigitValue(high), l = text::hexDigitValue(low);
    return h < 0 || l < 0 ? -1 : h * 16 + l;
}

// Names and data in the values file: printable bytes as they are, everything
// that would break the tab-separated line as \xHH.
std::string escapeBytes(std::string_view s) {
    std::string out;
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F || c == '\\') {
            out += "\\x";
            text::appendHex(out, c);
        } else {
            out += ch;
        }
    }
    return out;
}

bool unescapeBytes(std::string_view s, std::string& out) {
    out.clear();
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') {
            out += s[i];
            continue;
        }
        if (i + 3 >= s.size() || s[i + 1] != 'x') return false;
        const int byte = hexByte(s[i + 2], s[i + 3]);
        if (byte < 0) return false;
        out += static_cast<char>(byte);
        i += 3;
    }
    return true;
}

}  // namespace

// Key names become directory names: '/' and '%' cannot stay, and a leading
// '.' would collide with the store's own files.
std::string encodeKeyName(std::string_view name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c == '/' || c == '%' || (i == 0 && c == '.')) {
            out += '%';
            text::appendHex(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string decodeKeyName(std::string_view name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        const int byte = name[i] == '%' && i + 2 < name.size() ? hexByte(name[i + 1], name[i + 2]) : -1;
        if (byte >= 0) {
            out += static_cast<char>(byte);
            i += 2;
        } else {
            out += name[i];
        }
    }
    return out;
}

// One line per value: name TAB type TAB data. The data is "dword:" and a
// decimal number for a 4-byte REG_DWORD, "sz:" and escaped bytes for a text
// with its terminating zero (the zero not written), "hex:" and hex bytes for
// anything else.
std::string formatValues(const std::vector<Value>& values) {
    std::string out;
    for (const auto& v : values) {
        out += escapeBytes(v.name);
        out += '\t';
        const char* tn = registryTypeName(v.type);
        out += *tn ? std::string(tn) : std::to_string(v.type);
        out += '\t';
        const bool isText = v.type == REG_SZ || v.type == REG_EXPAND_SZ || v.type == REG_MULTI_SZ;
        if (v.type == REG_DWORD && v.data.size() == 4) {
            uint32_t n = 0;
            for (int i = 3; i >= 0; --i) n = (n << 8) | static_cast<unsigned char>(v.data[static_cast<size_t>(i)]);
            out += "dword:" + std::to_string(n);
        } else if (isText && !v.data.empty() && v.data.back() == '\0') {
            out += "sz:" + escapeBytes(std::string_view(v.data).substr(0, v.data.size() - 1));
        } else {
            out += "hex:";
            for (const char ch : v.data) text::appendHex(out, static_cast<unsigned char>(ch));
        }
        out += '\n';
    }
    return out;
}

bool parseValueLine(std::string_view line, Value& v) {
    const size_t t1 = line.find('\t');
    if (t1 == std::string_view::npos) return false;
    const size_t t2 = line.find('\t', t1 + 1);
    if (t2 == std::string_view::npos) return false;
    if (!unescapeBytes(line.substr(0, t1), v.name)) return false;
    const std::string_view typeText = line.substr(t1 + 1, t2 - t1 - 1);
    if (!registryTypeFromName(typeText, v.type)) {
        if (typeText.empty() || typeText.find_first_not_of("0123456789") != std::string_view::npos) return false;
        v.type = static_cast<uint32_t>(std::strtoul(std::string(typeText).c_str(), nullptr, 10));
    }
    const std::string_view data = line.substr(t2 + 1);
    v.data.clear();
    if (data.rfind("dword:", 0) == 0) {
        const std::string num(data.substr(6));
        if (num.empty() || num.find_first_not_of("0123456789") != std::string::npos) return false;
        const unsigned long long n = std::strtoull(num.c_str(), nullptr, 10);
        if (n > 0xFFFFFFFFull) return false;
        for (int i = 0; i < 4; ++i) v.data += static_cast<char>((n >> (8 * i)) & 0xFF);
    } else if (data.rfind("sz:", 0) == 0) {
        if (!unescapeBytes(data.substr(3), v.data)) return false;
        v.data += '\0';
    } else if (data.rfind("hex:", 0) == 0) {
        const std::string_view hex = data.substr(4);
        if (hex.size() % 2) return false;
        for (size_t i = 0; i < hex.size(); i += 2) {
            const int byte = hexByte(hex[i], hex[i + 1]);
            if (byte < 0) return false;
            v.data += static_cast<char>(byte);
        }
    } else {
        return false;
    }
    return true;
}

std::vector<Value> readValues(const std::string& keyDir) {
    std::vector<Value> values;
    std::string content;
    if (!readFile(keyDir + "/" + kValuesFile, content)) return values;
    size_t pos = 0;
    while (pos < content.size()) {
        size_t end = content.find('\n', pos);
        if (end == std::string::npos) end = content.size();
        Value v;
        if (parseValueLine(std::string_view(content).substr(pos, end - pos), v)) values.push_back(std::move(v));
        pos = end + 1;
    }
    return values;
}

bool writeValues(const std::string& keyDir, const std::vector<Value>& values) {
    return writeFileAtomically(keyDir + "/" + kValuesFile, formatValues(values));
}


}  // namespace platform::registrydetail
