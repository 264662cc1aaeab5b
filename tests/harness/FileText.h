// The whole content of a file the servers wrote, empty when it cannot be read:
// what the harness shows of logs and captured mail.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

namespace harness {

inline std::string fileText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

}  // namespace harness
