#include "ListSecurity.h"

#include "list/ListSettings.h"
#include "pop3/KOVAPOP3.h"
#include "smtp/KOVASMTP.h"
#include "text/TextRules.h"

namespace {

const char* orNull(const std::string& s) { return s.empty() ? nullptr : s.c_str(); }

}  // namespace

void ReadListSecurity(MailList& list, const std::string& iniPath) {
    using list::Setting;
    const auto read = [&](Setting setting) {
        return text::trim(list::readSetting(iniPath, setting, list::Reader::Engine));
    };
    list.pop3Security = list::parseSecurity(read(Setting::Pop3Security));
    list.pop3CAFile = list::caFilePath(list.directory, read(Setting::Pop3CAFile));
    list.pop3AllowPlainAuth = list::parseOptIn(read(Setting::Pop3AllowPlainAuth));
    list.smtpSecurity = list::parseSecurity(read(Setting::SmtpSecurity));
    list.smtpCAFile = list::caFilePath(list.directory, read(Setting::SmtpCAFile));
    list.smtpUsername = read(Setting::SmtpUsername);
    list.smtpPassword = read(Setting::SmtpPassword);
    list.smtpAllowPlainAuth = list::parseOptIn(read(Setting::SmtpAllowPlainAuth));
    list.pop3OAuth = list::parseAuth(read(Setting::Pop3Auth));
    list.smtpOAuth = list::parseAuth(read(Setting::SmtpAuth));
    if (list.pop3OAuth || list.smtpOAuth) list.oauth = oauth::readSettings(iniPath, list.directory);
}

void ApplyListSecurity(const MailList& list) {
    const int32_t pop3Bearer = list.pop3OAuth ? KOVA_BEARER_TOKEN : 0;
    if (list.pop3Security == list::kSecurityUnset)
        KOVAPOP3_SetSecurity(KOVA_SECURITY_NONE, nullptr, KOVA_ALLOW_PLAIN_AUTH | pop3Bearer);
    else
        KOVAPOP3_SetSecurity(list.pop3Security, orNull(list.pop3CAFile),
                             (list.pop3AllowPlainAuth ? KOVA_ALLOW_PLAIN_AUTH : 0) | pop3Bearer);
    const int32_t smtp = list.smtpSecurity == list::kSecurityUnset ? KOVA_SECURITY_NONE : list.smtpSecurity;
    KOVASMTP_SetSecurity(smtp, orNull(list.smtpCAFile), orNull(list.smtpUsername),
                         orNull(list.smtpOAuth ? list.accessToken : list.smtpPassword),
                         (list.smtpAllowPlainAuth ? KOVA_ALLOW_PLAIN_AUTH : 0) |
                             (list.smtpOAuth ? KOVA_BEARER_TOKEN : 0));
}

const std::string& Pop3Secret(const MailList& list) { return list.pop3OAuth ? list.accessToken : list.pop3Password; }
