// libFuzzer target: arbitrary bytes as a message file through the header
// reader and the attachment decoder (the work of the two exports on message
// files). Aborts on any file written outside the message's own folder and
// attachment folder.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "AttachmentDecoder.h"
#include "HeaderParser.h"

namespace fs = std::filesystem;

namespace {

// A scratch directory in the working directory, removed at exit.
struct Scratch {
    Scratch() : dir(fs::current_path() / ("mime_fuzz_scratch." + std::to_string(std::random_device{}()))) {
        fs::create_directories(dir / "spool");
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path dir;
};

const fs::path& root() {
    static const Scratch scratch;
    return scratch.dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path spool = root() / "spool";
    const fs::path message = spool / "x.NEW";
    {
        std::ofstream f(message, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }

    char small[8], header[64], boundary[16];
    uint32_t smallSize = sizeof small, headerSize = sizeof header, boundarySize = sizeof boundary, zero = 0;
    int32_t multipart = 0;
    mime::readMessageHeader(message.c_str(), small, &smallSize, nullptr, &zero, nullptr, nullptr, small, &smallSize,
                            small, &smallSize, small, &smallSize, header, &headerSize, &multipart, boundary,
                            &boundarySize);
    mime::decodeAttachments(message.c_str());

    // Only the message and its attachment folder may exist now.
    for (const auto& e : fs::directory_iterator(root()))
        if (e.path().filename() != "spool") std::abort();
    for (const auto& e : fs::directory_iterator(spool)) {
        const auto name = e.path().filename();
        if (name != "x.NEW" && !(name == "x" && e.is_directory())) std::abort();
    }
    std::error_code ec;
    fs::remove_all(spool / "x", ec);
    return 0;
}
