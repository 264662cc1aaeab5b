// Settings.INI: every key a list's settings file may hold, with the default
// each reader takes when the key is absent, and the rules its values read by.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace list {

inline constexpr char kPlaceholderHost[] = "mail.example.com";
inline constexpr char kPlaceholderListAddress[] = "list@example.com";

enum class Setting {
    Name,
    Subscribe,
    Unsubscribe,
    Submit,
    AdminSubscribe,
    AdminUnsubscribe,
    AdminSubmit,
    Pop3Server,
    Pop3Username,
    Pop3Password,
    SmtpServer,
    From,
    ReplyTo,
    Prepend,
    Postpend,
    Welcome,
    StripAttachments,
    StripHTML,
    Keep,
    Pop3Security,
    Pop3CAFile,
    Pop3AllowPlainAuth,
    SmtpSecurity,
    SmtpCAFile,
    SmtpUsername,
    SmtpPassword,
    SmtpAllowPlainAuth,
    Pop3Auth,
    SmtpAuth,
    OAuth2Provider,
    OAuth2ClientId,
    OAuth2ClientSecret,
    OAuth2Tenant,
    OAuth2Scope,
    OAuth2AuthorizeURL,
    OAuth2TokenURL,
    OAuth2DeviceURL,
    OAuth2CAFile,
    BounceLimit,
    BounceDays,
    SmtpMaxPerMinute,
    SmtpMaxPerHour,
    SmtpMaxPerDay,
    // Proof that an administrator's address really sent the mail.
    TrustAuthServId,
    AdminPassword,
};

// How a value reads.
enum class ValueKind {
    Text,       // trimmed
    Command,    // a subject command word, held in capitals
    Flag,       // parseFlag
    TextFile,   // a file inside the list directory
    Days,       // the number the value starts with (days, or a count)
    Security,   // parseSecurity
    CAFile,     // caFilePath
    PlainAuth,  // parseOptIn
    Auth,       // parseAuth
};

struct SettingKey {
    Setting setting;
    const char* section;
    const char* key;
    ValueKind kind;
    const char* engineDefault;   // the engine, key absent
    const char* editorDefault;   // the editor opening a list whose file lacks the key
    const char* newListDefault;  // the editor's new list
    bool optional;               // written only when set, so a plain list's file keeps its lines
};

// In the order the engine reads the keys and the editor writes them; the
// section order of a new file follows from it.
//
// Where the defaults differ they do so on purpose:
// - Prepend, Postpend, Welcome: one name in the three spellings that lists
//   already on disk use; the text files are found in any letter case.
// - Keep: a list written before the key existed keeps five days, as it
//   always did; a new list keeps nothing until the administrator asks.
// - BounceLimit: a list written before the key existed removes nobody for
//   its delivery reports, as it never did; a new list removes a member after
//   five.
inline constexpr std::array<SettingKey, 45> kSettingKeys = {{
    {Setting::Name, "General", "Name", ValueKind::Text, "New List", "New List", "New List", false},
    {Setting::Subscribe, "General", "Subscribe", ValueKind::Command, "SUBSCRIBE", "SUBSCRIBE", "SUBSCRIBE", false},
    {Setting::Unsubscribe, "General", "Unsubscribe", ValueKind::Command, "UNSUBSCRIBE", "UNSUBSCRIBE", "UNSUBSCRIBE",
     false},
    {Setting::Submit, "General", "Submit", ValueKind::Command, "SUBMIT", "SUBMIT", "SUBMIT", false},
    {Setting::AdminSubscribe, "General", "AdminSubscribe", ValueKind::Flag, "1", "1", "1", false},
    {Setting::AdminUnsubscribe, "General", "AdminUnsubscribe", ValueKind::Flag, "0", "0", "0", false},
    {Setting::AdminSubmit, "General", "AdminSubmit", ValueKind::Flag, "0", "0", "0", false},
    {Setting::Pop3Server, "POP3", "Server", ValueKind::Text, kPlaceholderHost, kPlaceholderHost, kPlaceholderHost,
     false},
    {Setting::Pop3Username, "POP3", "Username", ValueKind::Text, "ringpost", "ringpost", "ringpost", false},
    {Setting::Pop3Password, "POP3", "Password", ValueKind::Text, "vemdarol", "vemdarol", "vemdarol", false},
    {Setting::SmtpServer, "SMTP", "Server", ValueKind::Text, kPlaceholderHost, kPlaceholderHost, kPlaceholderHost,
     false},
    {Setting::From, "SMTP", "From", ValueKind::Text, kPlaceholderListAddress, kPlaceholderListAddress,
     kPlaceholderListAddress, false},
    {Setting::ReplyTo, "SMTP", "ReplyTo", ValueKind::Text, kPlaceholderListAddress, kPlaceholderListAddress,
     kPlaceholderListAddress, false},
    {Setting::Prepend, "Messages", "Prepend", ValueKind::TextFile, "prepend.txt", "Prepend.TXT", "Prepend.txt", false},
    {Setting::Postpend, "Messages", "Postpend", ValueKind::TextFile, "postpend.txt", "Postpend.TXT", "Postpend.txt",
     false},
    {Setting::Welcome, "Messages", "Welcome", ValueKind::TextFile, "welcome.txt", "Welcome.TXT", "Welcome.txt", false},
    {Setting::StripAttachments, "SMTP", "StripAttachments", ValueKind::Flag, "1", "1", "1", false},
    {Setting::StripHTML, "SMTP", "StripHTML", ValueKind::Flag, "1", "1", "1", false},
    {Setting::Keep, "Messages", "Keep", ValueKind::Days, "5", "5", "0", false},
    {Setting::Pop3Security, "POP3", "Security", ValueKind::Security, "", "", "", true},
    {Setting::Pop3CAFile, "POP3", "CAFile", ValueKind::CAFile, "", "", "", true},
    {Setting::Pop3AllowPlainAuth, "POP3", "AllowPlainAuth", ValueKind::PlainAuth, "", "", "", true},
    {Setting::SmtpSecurity, "SMTP", "Security", ValueKind::Security, "", "", "", true},
    {Setting::SmtpCAFile, "SMTP", "CAFile", ValueKind::CAFile, "", "", "", true},
    {Setting::SmtpUsername, "SMTP", "Username", ValueKind::Text, "", "", "", true},
    {Setting::SmtpPassword, "SMTP", "Password", ValueKind::Text, "", "", "", true},
    {Setting::SmtpAllowPlainAuth, "SMTP", "AllowPlainAuth", ValueKind::PlainAuth, "", "", "", true},
    {Setting::Pop3Auth, "POP3", "Auth", ValueKind::Auth, "", "", "", true},
    {Setting::SmtpAuth, "SMTP", "Auth", ValueKind::Auth, "", "", "", true},
    {Setting::OAuth2Provider, "OAuth2", "Provider", ValueKind::Text, "", "", "", true},
    {Setting::OAuth2ClientId, "OAuth2", "ClientId", ValueKind::Text, "", "", "", true},
    {Setting::OAuth2ClientSecret, "OAuth2", "ClientSecret", ValueKind::Text, "", "", "", true},
    {Setting::OAuth2Tenant, "OAuth2", "Tenant", ValueKind::Text, "", "", "", true},
    {Setting::OAuth2Scope, "OAuth2", "Scope", ValueKind::Text, "", "", "", true},
    {Setting::OAuth2AuthorizeURL, "OAuth2", "AuthorizeURL", ValueKind::Text, "", "", "", true},
    {Setting::OAuth2TokenURL, "OAuth2", "TokenURL", ValueKind::Text, "", "", "", true},
    {Setting::OAuth2DeviceURL, "OAuth2", "DeviceURL", ValueKind::Text, "", "", "", true},
    {Setting::OAuth2CAFile, "OAuth2", "CAFile", ValueKind::CAFile, "", "", "", true},
    {Setting::BounceLimit, "General", "BounceLimit", ValueKind::Days, "0", "0", "5", true},
    {Setting::BounceDays, "General", "BounceDays", ValueKind::Days, "14", "14", "14", true},
    // Recipients the SMTP account may be handed; 0 is no limit.
    {Setting::SmtpMaxPerMinute, "SMTP", "MaxPerMinute", ValueKind::Days, "0", "0", "0", true},
    {Setting::SmtpMaxPerHour, "SMTP", "MaxPerHour", ValueKind::Days, "0", "0", "0", true},
    {Setting::SmtpMaxPerDay, "SMTP", "MaxPerDay", ValueKind::Days, "0", "0", "0", true},
    // Administrators' mail: the authserv-id of the provider whose
    // Authentication-Results count, and the password their mail carries.
    {Setting::TrustAuthServId, "General", "TrustAuthServId", ValueKind::Text, "", "", "", true},
    {Setting::AdminPassword, "General", "AdminPassword", ValueKind::Text, "", "", "", true},
}};

const SettingKey& settingKey(Setting setting);

enum class Reader { Engine, Editor };

// The value as stored (the INI reader drops blanks around it), or the
// reader's default when the key is absent. The editor reads at most 1999
// bytes of a value, the engine 2047.
std::string readSetting(const std::string& iniPath, Setting setting, Reader reader);

// Whether the file holds the key at all, empty or not.
bool hasSetting(const std::string& iniPath, Setting setting);

// False when the file could not be written; platform::lastErrorCode() tells why.
bool writeSetting(const std::string& iniPath, Setting setting, std::string_view value);

// The same two on a Settings.INI held in memory.
bool hasSettingIn(std::string_view iniText, Setting setting);
std::string withSetting(std::string_view iniText, Setting setting, std::string_view value);

// A flag is off exactly when its value starts with '0'; empty is on.
bool parseFlag(std::string_view value);

// Credentials in clear only when the administrator wrote 1 in so many words.
bool parseOptIn(std::string_view value);

inline constexpr int32_t kSecurityUnset = -1;
inline constexpr int32_t kSecurityUnknown = 99;

// "None", "TLS" or "STARTTLS" in any case, spaces around ignored; "SSL" and
// "STLS" as other names of the last two (the KOVA_SECURITY_ values). Empty:
// kSecurityUnset; anything else kSecurityUnknown, which the libraries refuse
// rather than connect plain.
int32_t parseSecurity(std::string_view value);

// "OAuth2" in any case, spaces around ignored: the side signs in with an
// OAuth 2.0 access token. Anything else ("Password", empty) is a password.
bool parseAuth(std::string_view value);

// A relative CA file name is taken inside the list directory `directory`
// (ending in '/'), like the list's text files; an absolute one as it is.
std::string caFilePath(const std::string& directory, const std::string& value);

}  // namespace list
