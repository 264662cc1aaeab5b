#include "SpoolReading.h"

#include "mime/HeaderLines.h"
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
