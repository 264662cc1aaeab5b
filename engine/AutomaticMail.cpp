#include "AutomaticMail.h"

#include <cstdio>
#include <string_view>

#include "AddressRules.h"
#include "ListHeaders.h"
#include "Spool.h"
#include "text/Printable.h"
#include "text/TextRules.h"

namespace {

constexpr size_t kMaxShownValue = 60;

// The keyword of a structured value: up to the first ';', '(' or blank.
std::string keyword(std::string_view value) {
    const size_t end = value.find_first_of("; \t(");
    return text::toLower(value.substr(0, end));
}

std::string marker(std::string_view name, const std::string& value) {
    std::string shown = value.substr(0, kMaxShownValue);
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < ' ') c = ' ';
    return std::string(name) + ": " + shown;
}

bool automaticSender(const std::string& from) {
    const std::string address = ExtractAddress(from);
    const std::string local = address.substr(0, address.find('@'));
    return text::equalsIgnoreCase(local, "MAILER-DAEMON") || text::equalsIgnoreCase(local, "postmaster");
}

// "<>" with any blanks: the null sender of bounces and reports.
bool nullReturnPath(const std::string& value) {
    std::string compact;
    for (const char c : value)
        if (c != ' ' && c != '\t') compact += c;
    return compact == "<>";
}

std::string idInside(const std::string& value) {
    const size_t open = value.find('<');
    const size_t close = value.find('>', open == std::string::npos ? 0 : open);
    if (open == std::string::npos || close == std::string::npos) return text::trim(value);
    return value.substr(open + 1, close - open - 1);
}

}  // namespace

std::string AutomaticMailMarker(const MailList& list, const MailHeaders& headers) {
    if (const std::string* v = headers.find("Auto-Submitted"); v && keyword(*v) != "no")
        return marker("Auto-Submitted", *v);
    if (const std::string* v = headers.find("Precedence")) {
        const std::string k = keyword(*v);
        if (k == "bulk" || k == "junk" || k == "list") return marker("Precedence", *v);
    }
    for (const char* name : {"X-Autoreply", "X-Autorespond"})
        if (const std::string* v = headers.find(name)) return marker(name, *v);
    if (const std::string* v = headers.find("Content-Type"); v && keyword(*v) == "multipart/report")
        return marker("Content-Type", *v);
    if (const std::string* v = headers.find("From"); v && automaticSender(*v)) return marker("From", *v);
    if (const std::string* v = headers.find("Return-Path"); v && nullReturnPath(*v))
        return marker("Return-Path", *v);
    if (const std::string* v = headers.find("List-Id")) {
        const std::string ours = ListIdentity(list);
        if (text::equalsIgnoreCase(idInside(*v), std::string_view(ours).substr(1, ours.size() - 2)))
            return marker("List-Id", *v);
    }
    return {};
}

bool SetAsideAutomaticMail(const MailList& list, const std::string& path, const MailHeaders& headers) {
    const std::string why = AutomaticMailMarker(list, headers);
    if (why.empty()) return false;
    SetAsideAsAutomatic(list, path, headers, why);
    return true;
}

void SetAsideAsAutomatic(const MailList&, const std::string& path, const MailHeaders& headers, const std::string& why) {
    const std::string* from = headers.find("From");
    std::printf("    Automatic mail from %s (%s)...Setting aside\n", text::printable(from ? *from : "").c_str(),
                text::printable(why).c_str());
    MoveSpoolFile(path, SpoolState::SetAside);
}
