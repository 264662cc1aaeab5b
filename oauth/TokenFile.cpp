#include "TokenFile.h"

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "oauth/JsonText.h"
#include "platform/Directory.h"

namespace oauth {

namespace {

using nlohmann::json;

// The file's object, or an empty one when it is missing, not JSON, or not a
// regular file: a link or a FIFO planted in a shared list directory is
// neither followed nor opened.
json readObject(const platform::Directory& dir, const std::string& name) {
    std::string text;
    if (!dir || !dir.readFile(name, text)) return json::object();
    json j = json::parse(text, nullptr, false);
    return j.is_object() ? j : json::object();
}

void setField(json& j, const char* name, const std::string& value) {
    if (!value.empty()) j[name] = value;
}

}  // namespace

bool readTokenFile(const std::string& listDir, TokenRecord& out) {
    const platform::Directory dir = platform::Directory::open(listDir);
    const json j = readObject(dir, dir.findName(kTokenFile));
    out.refreshToken = jsonText(j, "refresh_token");
    out.account = jsonText(j, "account");
    out.scope = jsonText(j, "scope");
    out.obtained = jsonText(j, "obtained");
    return !out.refreshToken.empty();
}

bool writeTokenFile(const std::string& listDir, const TokenRecord& record) {
    const platform::Directory dir = platform::Directory::open(listDir);
    if (!dir) return false;
    const std::string name = dir.findName(kTokenFile);
    json j = readObject(dir, name);
    setField(j, "refresh_token", record.refreshToken);
    setField(j, "account", record.account);
    setField(j, "scope", record.scope);
    setField(j, "obtained", record.obtained);
    return dir.writeFile(name, j.dump(2) + "\n");
}

bool removeTokenFile(const std::string& listDir) {
    const platform::Directory dir = platform::Directory::open(listDir);
    if (!dir) return false;
    const std::string name = dir.findName(kTokenFile);
    if (dir.type(name) == platform::EntryType::Missing) return true;
    const bool removed = dir.remove(name);
    dir.sync();
    return removed;
}

unsigned tokenFileMode(const std::string& listDir) {
    const platform::Directory dir = platform::Directory::open(listDir);
    return dir ? dir.fileMode() : 0600u;
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
