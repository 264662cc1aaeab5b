#include "LineTap.h"

#include <cerrno>
#include <memory>
#include <string>
#include <unistd.h>

namespace platform {

namespace {

struct Tap {
    int fd;
    LineHandler onLine;
    std::string partial;

    void hand(std::string_view line) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        onLine(line);
    }
};

ssize_t tapWrite(void* cookie, const char* data, size_t size) {
    Tap& tap = *static_cast<Tap*>(cookie);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(tap.fd, data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    // Only what reached the descriptor is watched, so the watcher never sees
    // a line the output lacks.
    std::string_view written(data, done);
    for (size_t end; (end = written.find('\n')) != std::string_view::npos; written.remove_prefix(end + 1)) {
        if (tap.partial.empty()) {
            tap.hand(written.substr(0, end));
        } else {
            tap.partial.append(written.substr(0, end));
            tap.hand(tap.partial);
            tap.partial.clear();
        }
    }
    tap.partial.append(written);
    return done == 0 && size > 0 ? -1 : static_cast<ssize_t>(done);
}

int tapClose(void* cookie) {
    std::unique_ptr<Tap> tap(static_cast<Tap*>(cookie));
    if (!tap->partial.empty()) tap->hand(tap->partial);
    return 0;
}

}  // namespace

FILE* openLineTap(int fd, LineHandler onLine) {
    auto tap = std::make_unique<Tap>(Tap{fd, std::move(onLine), {}});
    const cookie_io_functions_t io{nullptr, tapWrite, nullptr, tapClose};
    FILE* stream = ::fopencookie(tap.get(), "w", io);
    if (stream) tap.release();
    return stream;
}

}  // namespace platform
