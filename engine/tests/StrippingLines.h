// The progress lines of the stripping step, taken out of the engine's output
// so that the processing tests judge the handlers' lines alone, whichever
// way a list strips its messages.
#pragma once

#include <string>
#include <string_view>

inline std::string WithoutStrippingLines(const std::string& output) {
    std::string out;
    size_t pos = 0;
    auto line = [&] { return std::string_view(output).substr(pos, output.find('\n', pos) + 1 - pos); };
    auto skipIndented = [&] {  // "      Decoded ...", "      Removing ..." and the like
        while (pos < output.size() && line().starts_with("      ")) pos += line().size();
    };
    while (pos < output.size()) {
        const std::string_view l = line();
        if (l == "    Stripping Attachments...\n" || l == "    Processing Attachments...\n") {
            const bool strips = l.starts_with("    Stripping");
            pos += l.size();
            skipIndented();
            if (strips && line() == "    Deleting attachments...\n") {
                pos += line().size();
                skipIndented();
            }
            if (line() == "    Stripping HTML...\n") pos += line().size();
            continue;
        }
        out += l;
        pos += l.size();
    }
    return out;
}
