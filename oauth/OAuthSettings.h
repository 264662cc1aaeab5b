// A list's OAuth 2.0 settings ([OAuth2] in Settings.INI) with the provider
// presets filled in: where to sign in, where to get tokens, which scope.
#pragma once

#include <string>

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

// Reads [OAuth2] of the file at `iniPath`; a relative CA file is taken
// inside `listDir` (ending in '/'). Presets applied.
Settings readSettings(const std::string& iniPath, const std::string& listDir);

}  // namespace oauth
