// Reads a message file line by line through a large buffer. Lines come back
// without their trailing CR and LF bytes.
// A line longer than the buffer can also be taken in pieces, so no line is
// ever held whole in memory.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "HeaderLines.h"

namespace mime {

class LineReader final : public LineSource {
public:
    explicit LineReader(std::FILE* file, std::size_t bufferSize = 256 * 1024);

    // One physical line of any length. False only when nothing was left.
    bool readLine(std::string& line) override;
    int peekByte() override;

    // The next physical line, or when it is longer than the buffer, the next
    // piece of it; `lineEnded` tells which. A line's end (LF and the CRs
    // before it) is never part of a piece. `piece` views the buffer and is
    // valid until the next read. False only when nothing was left.
    bool readPiece(std::string_view& piece, bool& lineEnded);

    // The buffered whole lines, line ends included (empty when the buffer
    // holds no line end even after refilling). skip() consumes a prefix.
    std::string_view peekLines();
    void skip(std::size_t n) { pos_ += n; }

private:
    // Moves the unread bytes to the front and reads behind them; false when
    // nothing more could be read.
    bool refill();

    std::FILE* file_;
    std::size_t size_;
    // Not zero-filled: every decode allocates it afresh.
    std::unique_ptr<char[]> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    // Just behind the buffer's last LF (0: none), while lastLineEndKnown_.
    std::size_t lastLineEnd_ = 0;
    bool lastLineEndKnown_ = false;
};

}  // namespace mime
