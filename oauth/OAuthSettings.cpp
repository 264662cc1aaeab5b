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

Settings resolve(const StoredSettings& stored, const std::string& listDir) {
    Settings s;
    s.provider = parseProvider(stored.provider);
    s.clientId = stored.clientId;
    s.clientSecret = stored.clientSecret;
    s.tenant = stored.tenant;
    s.scope = stored.scope;
    s.authorizeUrl = stored.authorizeUrl;
    s.tokenUrl = stored.tokenUrl;
    s.deviceUrl = stored.deviceUrl;
    s.caFile = list::caFilePath(listDir, stored.caFile);
    return withPreset(std::move(s));
}

Settings readSettings(const std::string& iniPath, const std::string& listDir) {
    StoredSettings stored;
    for (const auto& [setting, field] : kStoredKeys)
        stored.*field = text::trim(list::readSetting(iniPath, setting, list::Reader::Engine));
    return resolve(stored, listDir);
}

}  // namespace oauth
