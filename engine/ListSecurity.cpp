#include "ListSecurity.h"

#include "platform/ProfileFile.h"
#include "pop3/KOVAPOP3.h"
#include "smtp/KOVASMTP.h"
#include "text/TextRules.h"

namespace {

constexpr size_t kValueBuffer = 2048;

// Credentials in clear only when the administrator wrote 1 in so many words.
bool allowed(const std::string& value) { return !value.empty() && value[0] == '1'; }

std::string caPath(const std::string& directory, const std::string& value) {
    if (value.empty() || value[0] == '/') return value;
    return directory + value;
}

const char* orNull(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }

}  // namespace

int32_t ParseSecurity(const std::string& value) {
    const std::string v = text::toUpper(text::trim(value));
    if (v.empty()) return kSecurityUnset;
    if (v == "NONE") return KOVA_SECURITY_NONE;
    if (v == "TLS" || v == "SSL") return KOVA_SECURITY_TLS;
    if (v == "STARTTLS" || v == "STLS") return KOVA_SECURITY_STARTTLS;
    return kSecurityUnknown;
}

void ReadListSecurity(MailList& list, const std::string& iniPath) {
    auto read = [&](const char* section, const char* key) {
        return text::trim(platform::getPrivateProfileString(section, key, "", kValueBuffer, iniPath));
    };
    list.pop3Security = ParseSecurity(read("POP3", "Security"));
    list.pop3CAFile = caPath(list.directory, read("POP3", "CAFile"));
    list.pop3AllowPlainAuth = allowed(read("POP3", "AllowPlainAuth"));
    list.smtpSecurity = ParseSecurity(read("SMTP", "Security"));
    list.smtpCAFile = caPath(list.directory, read("SMTP", "CAFile"));
    list.smtpUsername = read("SMTP", "Username");
    list.smtpPassword = read("SMTP", "Password");
    list.smtpAllowPlainAuth = allowed(read("SMTP", "AllowPlainAuth"));
}

void ApplyListSecurity(const MailList& list) {
    if (list.pop3Security == kSecurityUnset)
        KOVAPOP3_SetSecurity(KOVA_SECURITY_NONE, nullptr, KOVA_ALLOW_PLAIN_AUTH);
    else
        KOVAPOP3_SetSecurity(list.pop3Security, orNull(list.pop3CAFile),
                             list.pop3AllowPlainAuth ? KOVA_ALLOW_PLAIN_AUTH : 0);
    const int32_t smtp = list.smtpSecurity == kSecurityUnset ? KOVA_SECURITY_NONE : list.smtpSecurity;
    KOVASMTP_SetSecurity(smtp, orNull(list.smtpCAFile), orNull(list.smtpUsername), orNull(list.smtpPassword),
                         list.smtpAllowPlainAuth ? KOVA_ALLOW_PLAIN_AUTH : 0);
}
