#include "OAuthSettings.h"

#include "list/ListSettings.h"
#include "text/TextRules.h"

namespace oauth {

namespace {

constexpr char kMicrosoftScope[] =
    "https://outlook.office.com/POP.AccessAsUser.All https://outlook.office.com/SMTP.Send offline_access";
constexpr char kGoogleScope[] = "https://mail.google.com/";

void fill(std::string& field, const std::string& preset) {
    if (field.empty()) field = preset;
}

}  // namespace

Provider parseProvider(const std::string& value) {
    const std::string v = text::toUpper(text::trim(value));
    if (v == "MICROSOFT") return Provider::Microsoft;
    if (v == "GOOGLE") return Provider::Google;
    return Provider::Custom;
}

Settings withPreset(Settings s) {
    switch (s.provider) {
        case Provider::Microsoft: {
            if (s.tenant.empty()) s.tenant = "common";
            const std::string base = "https://login.microsoftonline.com/" + s.tenant + "/oauth2/v2.0/";
            fill(s.authorizeUrl, base + "authorize");
            fill(s.tokenUrl, base + "token");
            fill(s.deviceUrl, base + "devicecode");
            fill(s.scope, kMicrosoftScope);
            break;
        }
        case Provider::Google:
            fill(s.authorizeUrl, "https://accounts.google.com/o/oauth2/v2/auth");
            fill(s.tokenUrl, "https://oauth2.googleapis.com/token");
            // Google's device sign-in does not grant the mail scope: none preset.
            fill(s.scope, kGoogleScope);
            s.authorizeExtra = "&access_type=offline&prompt=consent";
            break;
        case Provider::Custom: break;
    }
    return s;
}

Settings readSettings(const std::string& iniPath, const std::string& listDir) {
    using list::Setting;
    const auto read = [&](Setting setting) {
        return text::trim(list::readSetting(iniPath, setting, list::Reader::Engine));
    };
    Settings s;
    s.provider = parseProvider(read(Setting::OAuth2Provider));
    s.clientId = read(Setting::OAuth2ClientId);
    s.clientSecret = read(Setting::OAuth2ClientSecret);
    s.tenant = read(Setting::OAuth2Tenant);
    s.scope = read(Setting::OAuth2Scope);
    s.authorizeUrl = read(Setting::OAuth2AuthorizeURL);
    s.tokenUrl = read(Setting::OAuth2TokenURL);
    s.deviceUrl = read(Setting::OAuth2DeviceURL);
    s.caFile = list::caFilePath(listDir, read(Setting::OAuth2CAFile));
    return withPreset(std::move(s));
}

}  // namespace oauth
