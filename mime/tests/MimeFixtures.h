// Building blocks for message files in the MIME tests: encoders written
// independently of the decoders, random content and file helpers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace fixtures {

inline std::string randomBytes(std::size_t n, uint32_t seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(gen() & 0xFF);
    return s;
}

// Base64 in CR LF lines of 76 characters, as mail clients send it.
inline std::string base64Lines(const std::string& data) {
    static const char* abc = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out, line;
    for (std::size_t i = 0; i < data.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, data.size() - i);
        uint32_t v = 0;
        for (std::size_t k = 0; k < 3; ++k)
            v = (v << 8) | (k < n ? static_cast<unsigned char>(data[i + k]) : 0);
        line += abc[(v >> 18) & 63];
        line += abc[(v >> 12) & 63];
        line += n > 1 ? abc[(v >> 6) & 63] : '=';
        line += n > 2 ? abc[v & 63] : '=';
        if (line.size() == 76) {
            out += line + "\r\n";
            line.clear();
        }
    }
    if (!line.empty()) out += line + "\r\n";
    return out;
}

// Classic uuencode lines (45 bytes a line, "`" for zero), without begin/end.
inline std::string uuLines(const std::string& data) {
    auto enc = [](unsigned v) { return static_cast<char>(v == 0 ? '`' : v + 32); };
    std::string out;
    for (std::size_t i = 0; i < data.size(); i += 45) {
        const std::size_t n = std::min<std::size_t>(45, data.size() - i);
        std::string line(1, enc(static_cast<unsigned>(n)));
        for (std::size_t g = 0; g < n; g += 3) {
            uint32_t v = 0;
            for (std::size_t k = 0; k < 3; ++k)
                v = (v << 8) | (g + k < n ? static_cast<unsigned char>(data[i + g + k]) : 0);
            for (int s = 18; s >= 0; s -= 6) line += enc((v >> s) & 63);
        }
        out += line + "\r\n";
    }
    return out + "`\r\n";
}

// The dot-stuffing a POP3 server applies to a message's lines.
inline std::string dotStuffed(const std::string& lines) {
    std::string out;
    std::size_t start = 0;
    while (start < lines.size()) {
        std::size_t end = lines.find('\n', start);
        end = end == std::string::npos ? lines.size() : end + 1;
        if (lines[start] == '.') out += '.';
        out.append(lines, start, end - start);
        start = end;
    }
    return out;
}

inline std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

inline bool exists(const std::string& path) { return std::filesystem::exists(path); }

}  // namespace fixtures
