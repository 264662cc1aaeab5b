#include "LineReader.h"

#include <cstring>

namespace mime {

namespace {

void stripLineEnd(std::string& line) {
    std::size_t n = line.size();
    while (n > 0 && (line[n - 1] == '\r' || line[n - 1] == '\n')) --n;
    line.resize(n);
}

}  // namespace

LineReader::LineReader(std::FILE* file, std::size_t bufferSize) : file_(file), buffer_(bufferSize) {}

bool LineReader::fill() {
    if (eof_ || !file_) return false;
    pos_ = 0;
    end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    if (end_ == 0) {
        eof_ = true;
        return false;
    }
    return true;
}

int LineReader::peekByte() {
    if (pos_ >= end_ && !fill()) return -1;
    return static_cast<unsigned char>(buffer_[pos_]);
}

bool LineReader::readLine(std::string& line) {
    line.clear();
    bool readAny = false;
    for (;;) {
        if (pos_ >= end_ && !fill()) break;
        const char* start = buffer_.data() + pos_;
        const std::size_t avail = end_ - pos_;
        const void* nl = std::memchr(start, '\n', avail);
        readAny = true;
        if (nl) {
            const std::size_t n = static_cast<const char*>(nl) - start;
            line.append(start, n);
            pos_ += n + 1;
            stripLineEnd(line);
            return true;
        }
        line.append(start, avail);
        pos_ = end_;
    }
    stripLineEnd(line);
    return readAny;
}

LineReader::HeaderRead LineReader::readHeaderLine(std::string& line) {
    if (!readLine(line)) return HeaderRead::End;
    if (line.empty() || line == ".") return peekByte() < 0 ? HeaderRead::LastLine : HeaderRead::Line;
    std::string next;
    for (;;) {
        const int c = peekByte();
        if (c < 0) return HeaderRead::LastLine;
        if (c != ' ' && c != '\t') return HeaderRead::Line;
        readLine(next);
        std::size_t skip = 0;
        while (skip < next.size() && (next[skip] == ' ' || next[skip] == '\t')) ++skip;
        line += ' ';
        line.append(next, skip, std::string::npos);
    }
}

}  // namespace mime
