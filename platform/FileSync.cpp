#include "FileSync.h"

#include <unistd.h>

namespace platform {

bool syncStream(std::FILE* stream) {
    if (!stream || std::fflush(stream) != 0) return false;
    return ::fsync(::fileno(stream)) == 0;
}

}  // namespace platform
