// Decoding speed of KOVAPOP3_DecodeAttachments on one message file.
// Usage: bench_mime MESSAGE [RUNS]
//        bench_mime --in-place MESSAGE
// Each run decodes a fresh copy; prints the best rate in MB/s of message
// bytes and the process's peak resident memory. With --in-place the file
// itself is decoded once, so a caller can time the process as it times a
// peer program.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "KOVAPOP3.h"

namespace fs = std::filesystem;

namespace {

long peakResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmHWM:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
        status.ignore(1 << 16, '\n');
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_mime MESSAGE [RUNS]\n");
        return 2;
    }
    if (std::string(argv[1]) == "--in-place") {
        if (argc < 3) return 2;
        const int32_t r = KOVAPOP3_DecodeAttachments(argv[2], 0);
        if (r != 0) std::fprintf(stderr, "bench_mime: result %d\n", r);
        return r == 0 ? 0 : 1;
    }
    const fs::path message = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    std::error_code ec;
    const auto bytes = fs::file_size(message, ec);
    if (ec) {
        std::fprintf(stderr, "bench_mime: cannot read %s\n", message.c_str());
        return 2;
    }
    const fs::path work = fs::temp_directory_path() / ("bench_mime." + std::to_string(std::random_device{}()));
    double best = 0;
    int status = 0;
    for (int i = 0; i < runs && status == 0; ++i) {
        fs::remove_all(work, ec);
        fs::create_directories(work);
        const fs::path copy = work / "m.NEW";
        fs::copy_file(message, copy);
        const auto t0 = std::chrono::steady_clock::now();
        const int32_t r = KOVAPOP3_DecodeAttachments(copy.c_str(), 0);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (r != 0) {
            std::fprintf(stderr, "bench_mime: result %d\n", r);
            status = 1;
        }
        best = std::max(best, static_cast<double>(bytes) / 1e6 / s);
    }
    // Leave the last run's output for the caller to compare.
    std::printf("kova_mbps %.1f\nkova_peak_kb %ld\nkova_output %s\n", best, peakResidentKb(), (work / "m").c_str());
    return status;
}
