// The one reader of a message's header lines, for the header block of a
// spool file and the header of each MIME part alike: a logical line is its
// physical line with every continuation line (one that begins with a space or
// a tab) appended behind one space, its leading blanks removed. A line is read
// whole however long it is: a piece of a long line must never pass for a
// header line of its own.
#pragma once

#include <cstdio>
#include <string>

namespace mime {

// Where physical lines come from.
class LineSource {
public:
    virtual ~LineSource() = default;
    // The next physical line of any length without its trailing CR and LF
    // bytes; false only when nothing was left.
    virtual bool readLine(std::string& line) = 0;
    // The next byte without taking it; -1 at the end.
    virtual int peekByte() = 0;
};

// A stdio stream, left positioned right behind what was taken, so that its
// owner can read on from there.
class StdioLines final : public LineSource {
public:
    explicit StdioLines(std::FILE* file) : file_(file) {}
    bool readLine(std::string& line) override;
    int peekByte() override;

private:
    std::FILE* file_;
};

enum class HeaderRead {
    Line,      // a logical line; more of the file follows
    LastLine,  // a logical line, and the file ended right behind it
    End,       // nothing was left
};

// One logical header line. An empty line or "." is never continued: it ends
// the header block, and a body that begins with an indented line stays body.
HeaderRead readHeaderLine(LineSource& in, std::string& line);

}  // namespace mime
