#include "SpoolText.h"

#include "Spool.h"

bool WriteSpoolText(const std::string& text, platform::StdioFile& input, platform::StdioFile& output,
                    const std::string& inputPath, const std::string& outputPath) {
    if (text.empty() || inputPath.empty() || outputPath.empty() || !output) return false;
    if (std::fwrite(text.data(), 1, text.size(), output.get()) == text.size()) return true;
    input.reset();
    output.reset();
    RemoveSpoolFile(outputPath);
    MoveSpoolFile(inputPath, SpoolState::SetAside);
    return false;
}
