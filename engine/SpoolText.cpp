#include "SpoolText.h"

#include "platform/FileSystem.h"

std::string BadSpoolName(const std::string& spoolPath) {
    if (spoolPath.size() < 3) return spoolPath + "BAD";
    return spoolPath.substr(0, spoolPath.size() - 3) + "BAD";
}

bool WriteSpoolText(const std::string& text, platform::StdioFile& input, platform::StdioFile& output,
                    const std::string& inputPath, const std::string& outputPath) {
    if (text.empty() || inputPath.empty() || outputPath.empty() || !output) return false;
    if (std::fwrite(text.data(), 1, text.size(), output.get()) == text.size()) return true;
    input.reset();
    output.reset();
    platform::removeFile(outputPath);
    platform::renameFile(inputPath, BadSpoolName(inputPath));
    return false;
}
