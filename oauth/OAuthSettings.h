// A list's OAuth 2.0 settings ([OAuth2] in Settings.INI) with the provider
// presets filled in: where to sign in, where to get tokens, which scope.
#pragma once

#include <array>
#include <string>
#include <utility>

#include "list/ListSettings.h"

namespace oauth {

enum class Provider { Microsoft, Google, Custom };

struct Settings {
    Provider provider = Provider::Custom;
    std::string clientId;
    std::string clientSecret;  // sent only when set (Google's desktop clients have one)
    std::string tenant;        // Microsoft only; "common" when empty
    std::string scope;
    std::string authorizeUrl;
    std::string tokenUrl;
    std::string deviceUrl;  // empty: the provider offers no device sign-in for these scopes
    std::string caFile;     // extra trust for the endpoints, a full path or empty
    // Extra query parameters of the sign-in page ("&name=value..."): Google
    // hands out a refresh token only when asked for offline access.
    std::string authorizeExtra;
};

// "Microsoft", "Google" or anything else (Custom), in any letter case.
Provider parseProvider(const std::string& value);

// The provider's endpoints and scope where the settings leave them empty.
Settings withPreset(Settings s);

// The [OAuth2] values as Settings.INI holds them, before any preset.
struct StoredSettings {
    std::string provider;
    std::string clientId;
    std::string clientSecret;
    std::string tenant;
    std::string scope;
    std::string authorizeUrl;
    std::string tokenUrl;
    std::string deviceUrl;
    std::string caFile;  // as written: relative names are inside the list directory
};

// Each stored value's key, in the order the file keeps them.
inline constexpr std::array<std::pair<list::Setting, std::string StoredSettings::*>, 9> kStoredKeys = {{
    {list::Setting::OAuth2Provider, &StoredSettings::provider},
    {list::Setting::OAuth2ClientId, &StoredSettings::clientId},
    {list::Setting::OAuth2ClientSecret, &StoredSettings::clientSecret},
    {list::Setting::OAuth2Tenant, &StoredSettings::tenant},
    {list::Setting::OAuth2Scope, &StoredSettings::scope},
    {list::Setting::OAuth2AuthorizeURL, &StoredSettings::authorizeUrl},
    {list::Setting::OAuth2TokenURL, &StoredSettings::tokenUrl},
    {list::Setting::OAuth2DeviceURL, &StoredSettings::deviceUrl},
    {list::Setting::OAuth2CAFile, &StoredSettings::caFile},
}};

// The settings the engine uses for a list in `listDir` (ending in '/') with
// these stored values: the provider read, the CA file found, presets applied.
Settings resolve(const StoredSettings& stored, const std::string& listDir);

// Reads [OAuth2] of the file at `iniPath`; a relative CA file is taken
// inside `listDir` (ending in '/'). Presets applied.
Settings readSettings(const std::string& iniPath, const std::string& listDir);

}  // namespace oauth
