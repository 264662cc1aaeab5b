#include "HeaderLines.h"

#include "text/TextRules.h"

namespace mime {

bool StdioLines::readLine(std::string& line) {
    line.clear();
    if (!file_) return false;
    int c = std::getc(file_);
    if (c == EOF) return false;
    // Through stdio's own buffer a byte at a time; NUL bytes are kept.
    while (c != EOF && c != '\n') {
        line += static_cast<char>(c);
        c = std::getc(file_);
    }
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    return true;
}

int StdioLines::peekByte() {
    if (!file_) return -1;
    const int c = std::getc(file_);
    if (c == EOF) return -1;
    std::ungetc(c, file_);
    return c;
}

HeaderRead readHeaderLine(LineSource& in, std::string& line) {
    if (!in.readLine(line)) return HeaderRead::End;
    if (line.empty() || line == ".") return in.peekByte() < 0 ? HeaderRead::LastLine : HeaderRead::Line;
    std::string next;
    for (;;) {
        const int c = in.peekByte();
        if (c < 0) return HeaderRead::LastLine;
        if (!text::isBlank(static_cast<char>(c))) return HeaderRead::Line;
        in.readLine(next);
        std::size_t skip = 0;
        while (skip < next.size() && text::isBlank(next[skip])) ++skip;
        line += ' ';
        line.append(next, skip, std::string::npos);
    }
}

}  // namespace mime
