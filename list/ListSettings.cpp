#include "ListSettings.h"

#include "platform/ProfileFile.h"
#include "text/TextRules.h"
#include "transport/KOVAMail.h"

namespace list {

namespace {

constexpr size_t kEngineValueBuffer = 2048;
constexpr size_t kEditorValueBuffer = 2000;
// A default no stored value equals, to tell an absent key from an empty one.
constexpr char kAbsent[] = "\x01";

}  // namespace

const SettingKey& settingKey(Setting setting) { return kSettingKeys[static_cast<size_t>(setting)]; }

std::string readSetting(const std::string& iniPath, Setting setting, Reader reader) {
    const SettingKey& k = settingKey(setting);
    if (reader == Reader::Engine)
        return platform::getPrivateProfileString(k.section, k.key, k.engineDefault, kEngineValueBuffer, iniPath);
    return platform::getPrivateProfileString(k.section, k.key, k.editorDefault, kEditorValueBuffer, iniPath);
}

bool hasSetting(const std::string& iniPath, Setting setting) {
    const SettingKey& k = settingKey(setting);
    return platform::getPrivateProfileString(k.section, k.key, kAbsent, kEditorValueBuffer, iniPath) != kAbsent;
}

bool writeSetting(const std::string& iniPath, Setting setting, std::string_view value) {
    const SettingKey& k = settingKey(setting);
    return platform::writePrivateProfileString(k.section, k.key, value, iniPath);
}

bool hasSettingIn(std::string_view iniText, Setting setting) {
    const SettingKey& k = settingKey(setting);
    std::string value;
    return platform::findProfileValue(iniText, k.section, k.key, value);
}

std::string withSetting(std::string_view iniText, Setting setting, std::string_view value) {
    const SettingKey& k = settingKey(setting);
    return platform::setProfileString(iniText, k.section, k.key, value);
}

bool parseFlag(std::string_view value) { return value.empty() || value[0] != '0'; }

bool parseOptIn(std::string_view value) { return !value.empty() && value[0] == '1'; }

int32_t parseSecurity(std::string_view value) {
    const std::string v = text::toUpper(text::trim(value));
    if (v.empty()) return kSecurityUnset;
    if (v == "NONE") return KOVA_SECURITY_NONE;
    if (v == "TLS" || v == "SSL") return KOVA_SECURITY_TLS;
    if (v == "STARTTLS" || v == "STLS") return KOVA_SECURITY_STARTTLS;
    return kSecurityUnknown;
}

bool parseAuth(std::string_view value) { return text::toUpper(text::trim(value)) == "OAUTH2"; }

std::string caFilePath(const std::string& directory, const std::string& value) {
    if (value.empty() || value[0] == '/') return value;
    return directory + value;
}

}  // namespace list
