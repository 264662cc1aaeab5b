#include "LineWriter.h"

#include "platform/FileSync.h"

namespace mime {

namespace {
constexpr std::size_t kWriteBuffer = 256 * 1024;
}

LineWriter::LineWriter(const std::string& path, const char* mode) : file_(openFile(path, mode)) {
    if (file_) std::setvbuf(file_.get(), nullptr, _IOFBF, kWriteBuffer);
}

bool LineWriter::write(const void* data, std::size_t n) {
    if (!file_ || !ok_) return false;
    if (n > 0 && std::fwrite(data, 1, n, file_.get()) != n) ok_ = false;
    return ok_;
}

bool LineWriter::writeLine(std::string_view line) {
    return write(line.data(), line.size()) && write("\r\n", 2);
}

bool LineWriter::sync() {
    if (!file_ || !ok_) return false;
    if (!platform::syncStream(file_.get())) ok_ = false;
    return ok_;
}

bool LineWriter::close() {
    if (!file_) return ok_;
    if (!closeFile(file_)) ok_ = false;
    return ok_;
}

}  // namespace mime
