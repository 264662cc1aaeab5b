// The text rules every module follows: text is 8-bit bytes, trimming removes
// only the space character, upper-casing changes only ASCII letters, and every
// line the system writes ends with CR LF.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace text {

inline constexpr std::string_view kLineEnd = "\r\n";

inline char upperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
inline char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
// A space or a tab: what folds a mail header line, and what INI files pad with.
inline bool isBlank(char c) { return c == ' ' || c == '\t'; }
// Without the spaces and tabs at either end.
inline std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string toUpper(std::string_view s);
std::string toLower(std::string_view s);

std::string trimLeft(std::string_view s);
std::string trimRight(std::string_view s);
std::string trim(std::string_view s);

bool equalsIgnoreCase(std::string_view a, std::string_view b);
bool startsWithIgnoreCase(std::string_view s, std::string_view prefix);
bool endsWithIgnoreCase(std::string_view s, std::string_view suffix);

// Negative, zero or positive as `a` sorts before, with or after `b` when ASCII
// letters are compared upper-cased and other bytes by value; a text sorts
// before a longer one that starts with it.
int compareIgnoreCase(std::string_view a, std::string_view b);
inline bool lessIgnoreCase(std::string_view a, std::string_view b) { return compareIgnoreCase(a, b) < 0; }

// Escaped bytes in stored names and lines carry two upper-case hex digits;
// reading takes either case.
void appendHex(std::string& out, unsigned char byte);
// The value of a hex digit, -1 for any other byte.
int hexDigitValue(char c);

// Removes every trailing CR and LF.
std::string stripLineEnd(std::string_view s);

// The fields of a line of the system's own tab-separated records; a line
// without a tab is one field.
std::vector<std::string> splitTabs(std::string_view line);

// The classic atol: optional blanks, sign and digits, stopping at the first
// other byte; text that is not a number gives 0. Saturates at the 32-bit
// limits instead of overflowing.
int32_t atol32(std::string_view s);

// Unsigned variant for values that are unsigned by contract.
uint32_t atoul32(std::string_view s);

// A field of the system's own records: digits only, nothing around them,
// at most 18 of them. False for anything else.
bool readWholeNumber(std::string_view s, int64_t& value);

}  // namespace text
