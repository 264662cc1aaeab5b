#include "AddressRules.h"

#include <cstdio>

#include "list/MemberFile.h"
#include "mime/MailAddress.h"
#include "text/Printable.h"
#include "text/TextRules.h"

namespace {
void dropThroughLast(std::string& s, char c) {
    const size_t pos = s.rfind(c);
    if (pos != std::string::npos) s.erase(0, pos + 1);
}
}  // namespace

std::string MailboxAddress(std::string_view text, std::string* why) {
    mime::MailAddress a = mime::parseMailbox(text);
    if (why) *why = a.ok() ? std::string() : mime::describe(a.fault);
    return std::move(a.bareAddress);
}

std::string ExtractAddress(std::string_view text) {
    std::string s(text);
    dropThroughLast(s, '"');
    dropThroughLast(s, '<');
    const size_t close = s.find('>');
    if (close != std::string::npos) s.erase(close);
    return text::trim(s);
}

bool IsValidAddress(const MailList&, std::string_view address) {
    const std::string s = MailboxAddress(address);
    if (s.empty() || s.compare(0, 3, list::kAdministratorMarker) == 0) return false;
    const size_t at = s.rfind('@');
    if (s[at + 1] == '[') return true;
    const size_t dot = s.rfind('.');
    return dot != std::string::npos && dot > at && s.size() - dot - 1 >= 2;
}

void PrintInvalidAddress(std::string_view text, const std::string& why) {
    const std::string shown = text::printable(text);
    if (why.empty())
        std::printf("    FAILURE. %s is not a valid E-Mail address.\n", shown.c_str());
    else
        std::printf("    FAILURE. %s is not a valid E-Mail address (%s).\n", shown.c_str(), why.c_str());
}
