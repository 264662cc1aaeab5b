#include "SpoolReading.h"

#include "mime/HeaderLines.h"
#include "platform/FileSystem.h"
#include "platform/StdioFile.h"
#include "text/TextRules.h"

bool ReadLine(std::FILE* file, std::string& line) {
    line.clear();
    if (!file) return false;
    char buffer[kMaxLineLength + 1];
    if (!std::fgets(buffer, sizeof buffer, file)) return false;
    line = text::stripLineEnd(buffer);
    return true;
}

bool ReadHeaderLine(std::FILE* file, std::string& line) {
    line.clear();
    if (!file) return false;
    mime::StdioLines lines(file);
    return mime::readHeaderLine(lines, line) != mime::HeaderRead::End;
}

void AppendTextFile(const std::string& path, std::string& text) {
    std::string resolved = path;
    if (!platform::fileExists(resolved)) {
        const size_t slash = path.rfind('/');
        if (slash != std::string::npos)
            resolved = platform::resolveName(path.substr(0, slash + 1), path.substr(slash + 1));
    }
    platform::StdioFile file = platform::openFile(resolved, "rb");
    if (!file) return;
    std::string line;
    while (ReadLine(file.get(), line)) {
        text += line;
        text += text::kLineEnd;
    }
}
