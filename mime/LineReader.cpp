#include "LineReader.h"

#include <cstring>

namespace mime {

namespace {

std::string_view withoutLineEnd(const char* p, std::size_t n) {
    while (n > 0 && (p[n - 1] == '\r' || p[n - 1] == '\n')) --n;
    return {p, n};
}

}  // namespace

LineReader::LineReader(std::FILE* file, std::size_t bufferSize)
    : file_(file), size_(bufferSize < 16 ? 16 : bufferSize), buffer_(std::make_unique_for_overwrite<char[]>(size_)) {}

bool LineReader::refill() {
    if (eof_ || !file_) return false;
    lastLineEndKnown_ = false;
    if (pos_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
    }
    if (end_ == size_) return false;
    const std::size_t n = std::fread(buffer_.get() + end_, 1, size_ - end_, file_);
    if (n == 0) {
        eof_ = true;
        return false;
    }
    end_ += n;
    return true;
}

int LineReader::peekByte() {
    if (pos_ >= end_ && !refill()) return -1;
    return static_cast<unsigned char>(buffer_[pos_]);
}

bool LineReader::readPiece(std::string_view& piece, bool& lineEnded) {
    std::size_t scanned = 0;  // bytes behind pos_ known to hold no LF
    for (;;) {
        const char* start = buffer_.get() + pos_;
        const std::size_t avail = end_ - pos_;
        if (const void* nl = std::memchr(start + scanned, '\n', avail - scanned)) {
            const std::size_t n = static_cast<const char*>(nl) - start;
            pos_ += n + 1;
            lineEnded = true;
            piece = withoutLineEnd(start, n);
            return true;
        }
        scanned = avail;
        if (refill()) continue;
        // refill() may have moved the bytes to the front.
        start = buffer_.get() + pos_;
        if (avail == 0) return false;
        if (eof_ || !file_) {  // the last line, without a line end
            pos_ = end_;
            lineEnded = true;
            piece = withoutLineEnd(start, avail);
            return true;
        }
        // A full buffer without LF. CRs at its end may belong to the line end.
        std::size_t n = avail;
        while (n > 0 && start[n - 1] == '\r') --n;
        if (n == 0) n = avail;
        pos_ += n;
        lineEnded = false;
        piece = {start, n};
        return true;
    }
}

bool LineReader::readLine(std::string& line) {
    line.clear();
    std::string_view piece;
    bool ended = false;
    if (!readPiece(piece, ended)) return false;
    line.append(piece);
    while (!ended && readPiece(piece, ended)) line.append(piece);
    return true;
}

std::string_view LineReader::peekLines() {
    // The last line end is looked for once per fill: a body of many short
    // lines before a long unended one must not search that one again each time.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!lastLineEndKnown_) {
            const void* last = memrchr(buffer_.get() + pos_, '\n', end_ - pos_);
            lastLineEnd_ = last ? static_cast<std::size_t>(static_cast<const char*>(last) - buffer_.get()) + 1 : 0;
            lastLineEndKnown_ = true;
        }
        if (lastLineEnd_ > pos_) return {buffer_.get() + pos_, lastLineEnd_ - pos_};
        if (attempt == 0 && !refill()) break;
    }
    return {};
}

}  // namespace mime
