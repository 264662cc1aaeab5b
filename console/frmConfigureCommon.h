// What the list editor's source files share: the window's geometry and the
// small rules for the bytes its fields hold.
#pragma once

#include "StoredText.h"
#include "text/TextRules.h"

#include <QLineEdit>
#include <QString>
#include <string>
#include <string_view>

namespace editor {

constexpr int kClientWidth = 410;
constexpr int kClientHeight = 312;
constexpr int kPageButtonTop = 5;
constexpr int kPageButtonHeight = 26;
constexpr int kPageTop = kPageButtonTop + kPageButtonHeight + 5;
constexpr int kPageWidth = 400;
constexpr int kPageHeight = 235;

inline QString shown(const std::string& bytes) { return decodeStored(bytes).text; }

inline std::string trimmed(const QLineEdit* field) { return text::trim(fieldBytes(field)); }

inline bool hasControlByte(std::string_view s) {
    for (char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) return true;
    }
    return false;
}

}  // namespace editor
