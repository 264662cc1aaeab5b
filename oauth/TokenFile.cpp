#include "TokenFile.h"

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "platform/FileSystem.h"

namespace oauth {

namespace {

using nlohmann::json;

std::string pathIn(const std::string& listDir) { return platform::resolveName(listDir, kTokenFile); }

// The file's object, or an empty one when it is missing or not JSON.
json readObject(const std::string& path) {
    std::string text;
    if (!platform::readFile(path, text)) return json::object();
    json j = json::parse(text, nullptr, false);
    return j.is_object() ? j : json::object();
}

std::string stringField(const json& j, const char* name) {
    const auto it = j.find(name);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

void setField(json& j, const char* name, const std::string& value) {
    if (!value.empty()) j[name] = value;
}

}  // namespace

bool readTokenFile(const std::string& listDir, TokenRecord& out) {
    const json j = readObject(pathIn(listDir));
    out.refreshToken = stringField(j, "refresh_token");
    out.account = stringField(j, "account");
    out.scope = stringField(j, "scope");
    out.obtained = stringField(j, "obtained");
    return !out.refreshToken.empty();
}

bool writeTokenFile(const std::string& listDir, const TokenRecord& record) {
    const std::string path = pathIn(listDir);
    json j = readObject(path);
    setField(j, "refresh_token", record.refreshToken);
    setField(j, "account", record.account);
    setField(j, "scope", record.scope);
    setField(j, "obtained", record.obtained);
    if (!platform::writeFileAtomically(path, j.dump(2) + "\n", 0600)) return false;
    platform::syncDirectory(listDir);
    return true;
}

bool removeTokenFile(const std::string& listDir) {
    const std::string path = pathIn(listDir);
    if (!platform::fileExists(path)) return true;
    const bool removed = platform::removeFile(path);
    platform::syncDirectory(listDir);
    return removed;
}

std::string utcNow() {
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{now - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

}  // namespace oauth
