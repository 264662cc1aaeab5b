#include "SpoolReading.h"

#include "text/TextRules.h"

bool ReadLine(std::FILE* file, std::string& line) {
    line.clear();
    if (!file) return false;
    char buffer[kMaxLineLength + 1];
    if (!std::fgets(buffer, sizeof buffer, file)) return false;
    line = text::stripLineEnd(buffer);
    return true;
}

bool ReadHeaderLine(std::FILE* file, std::string& line) {
    if (!ReadLine(file, line)) return false;
    // The empty line ends the header block: an indented first body line
    // must not be folded onto it.
    if (line.empty()) return true;
    std::string next;
    for (;;) {
        const long position = std::ftell(file);
        if (position < 0) break;
        if (!ReadLine(file, next)) break;
        if (next.empty() || (next[0] != ' ' && next[0] != '\t')) {
            std::fseek(file, position, SEEK_SET);
            break;
        }
        const size_t start = next.find_first_not_of(" \t");
        line += ' ';
        if (start != std::string::npos) line.append(next, start, std::string::npos);
        // A long folded header must not grow without bound.
        if (line.size() > kMaxLineLength) line.resize(kMaxLineLength);
    }
    return true;
}
