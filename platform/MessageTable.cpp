#include "MessageTable.h"

#include <cstdlib>
#include <mutex>
#include <sys/stat.h>

#include "FileSystem.h"

namespace platform {

namespace {
constexpr std::string_view kBegin = "\x01RINGPOST-MESSAGE-TABLE\x02";

bool parseAt(std::string_view bytes, size_t pos, MessageTable& out) {
    const size_t end = bytes.find('\x03', pos);
    if (end == std::string_view::npos) return false;
    const std::string_view body = bytes.substr(pos, end - pos);
    // A table literal holds no zero byte; one in between means this was some
    // other copy of the marker (the reader's own, for instance).
    if (body.find('\0') != std::string_view::npos) return false;
    MessageTable table;
    size_t p = 0;
    while (p < body.size()) {
        const size_t rs = body.find('\x1E', p);
        if (rs == std::string_view::npos) return false;
        const std::string_view entry = body.substr(p, rs - p);
        const size_t us = entry.find('\x1F');
        if (us == std::string_view::npos || us == 0) return false;
        const std::string id(entry.substr(0, us));
        char* stop = nullptr;
        const unsigned long long n = std::strtoull(id.c_str(), &stop, 0);
        if (*stop || n > 0xFFFFFFFFull) return false;
        table[static_cast<uint32_t>(n)] = std::string(entry.substr(us + 1));
        p = rs + 1;
    }
    out = std::move(table);
    return true;
}
}  // namespace

bool parseMessageTable(std::string_view bytes, MessageTable& out) {
    size_t pos = 0;
    while ((pos = bytes.find(kBegin, pos)) != std::string_view::npos) {
        pos += kBegin.size();
        if (parseAt(bytes, pos, out)) return true;
    }
    return false;
}

bool loadMessageTable(const std::string& programFile, MessageTable& out) {
    // Program files are large and rarely change: keep the last one parsed.
    static std::mutex mutex;
    static std::string cachedPath;
    static int64_t cachedTime = -1, cachedSize = -1;
    static MessageTable cached;
    static bool cachedOk = false;

    struct stat st {};
    if (::stat(programFile.c_str(), &st) != 0) return false;
    std::lock_guard lock(mutex);
    const int64_t mtime = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    if (programFile != cachedPath || mtime != cachedTime || st.st_size != cachedSize) {
        std::string bytes;
        cachedOk = readFile(programFile, bytes) && parseMessageTable(bytes, cached);
        cachedPath = programFile;
        cachedTime = mtime;
        cachedSize = st.st_size;
    }
    if (cachedOk) out = cached;
    return cachedOk;
}

std::string formatMessage(std::string_view text, const std::vector<std::string>& strings) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%' || i + 1 >= text.size()) {
            out += text[i];
            continue;
        }
        if (text[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        size_t j = i + 1;
        unsigned n = 0;
        while (j < text.size() && j < i + 3 && text[j] >= '0' && text[j] <= '9') n = n * 10 + unsigned(text[j++] - '0');
        if (j == i + 1 || n == 0) {
            out += text[i];
            continue;
        }
        if (n <= strings.size())
            out += strings[n - 1];
        else
            out.append(text.substr(i, j - i));
        i = j - 1;
    }
    return out;
}

}  // namespace platform
