#include "LineWriter.h"

#include <cstring>

#include "platform/FileSync.h"

namespace mime {

namespace {
// stdio ignores a buffer size given without a buffer, so the writer keeps
// its own and hands stdio whole blocks.
constexpr std::size_t kWriteBuffer = 256 * 1024;
}  // namespace

LineWriter::LineWriter(platform::StdioFile file) : file_(std::move(file)) {
    if (file_) {
        std::setvbuf(file_.get(), nullptr, _IONBF, 0);
        buffer_ = std::make_unique_for_overwrite<char[]>(kWriteBuffer);
    }
}

LineWriter LineWriter::deferred(std::function<platform::StdioFile()> create) {
    LineWriter w;
    w.create_ = std::move(create);
    w.buffer_ = std::make_unique_for_overwrite<char[]>(kWriteBuffer);
    return w;
}

bool LineWriter::open() {
    if (file_ || !create_) return ok_ && !createFailed_;
    file_ = create_();
    create_ = nullptr;
    if (!file_) {
        createFailed_ = true;
        ok_ = false;
        return false;
    }
    std::setvbuf(file_.get(), nullptr, _IONBF, 0);
    return ok_;
}

bool LineWriter::flush() {
    if (!ok_) return false;
    if (used_ == 0) return true;
    if (!open()) return false;
    if (std::fwrite(buffer_.get(), 1, used_, file_.get()) != used_) ok_ = false;
    used_ = 0;
    return ok_;
}

bool LineWriter::write(const void* data, std::size_t n) {
    if (!buffer_ || !ok_) return false;
    if (n == 0) return true;
    if (used_ + n <= kWriteBuffer) {
        std::memcpy(buffer_.get() + used_, data, n);
        used_ += n;
        return true;
    }
    if (!flush()) return false;
    if (n < kWriteBuffer) {
        std::memcpy(buffer_.get(), data, n);
        used_ = n;
        return true;
    }
    if (!open()) return false;
    if (std::fwrite(data, 1, n, file_.get()) != n) ok_ = false;
    return ok_;
}

bool LineWriter::writeLine(std::string_view line) {
    return write(line.data(), line.size()) && write("\r\n", 2);
}

bool LineWriter::sync() {
    if (!flush() || !open()) return false;
    if (!platform::syncStream(file_.get())) ok_ = false;
    return ok_;
}

bool LineWriter::close() {
    if (!buffer_) return ok_;
    flush();
    buffer_.reset();
    create_ = nullptr;
    if (file_ && !platform::closeFile(file_)) ok_ = false;
    return ok_;
}

void LineWriter::abandon() {
    used_ = 0;
    buffer_.reset();
    create_ = nullptr;
    file_.reset();
}

}  // namespace mime
