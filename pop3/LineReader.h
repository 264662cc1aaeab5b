// Reads a message file line by line through a large buffer. Lines come back
// without their trailing CR and LF bytes; a logical header line is unfolded.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace mime {

class LineReader {
public:
    explicit LineReader(std::FILE* file, std::size_t bufferSize = 256 * 1024);

    // One physical line of any length. False only when nothing was left.
    bool readLine(std::string& line);

    enum class HeaderRead {
        Line,      // a logical line; more of the file follows
        LastLine,  // a logical line, and the file ended right behind it
        End,       // nothing was left
    };
    // One logical header line: continuation lines (beginning with a space or a
    // tab) are appended behind one space with their leading blanks removed.
    // An empty line or "." is never continued: it ends the header block, and a
    // body that begins with an indented line must stay body.
    HeaderRead readHeaderLine(std::string& line);

private:
    bool fill();
    int peekByte();

    std::FILE* file_;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
};

}  // namespace mime
