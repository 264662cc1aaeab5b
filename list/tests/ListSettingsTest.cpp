#include "list/ListSettings.h"

#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "list/ListDirectory.h"
#include "transport/KOVAMail.h"
#include "tests/TempDir.h"

using list::Setting;

// settingKey finds a key by its position: a row out of place would hand
// every caller another key's name and default.
TEST(ListSettings, TableIsInOrderWithUniqueKeysAndOptionalKeysLast) {
    std::set<std::pair<std::string, std::string>> seen;
    bool optionalSeen = false;
    for (size_t i = 0; i < list::kSettingKeys.size(); ++i) {
        const list::SettingKey& k = list::kSettingKeys[i];
        SCOPED_TRACE(k.key);
        EXPECT_EQ(static_cast<size_t>(k.setting), i);
        EXPECT_EQ(&list::settingKey(k.setting), &k);
        EXPECT_TRUE(seen.emplace(k.section, k.key).second);
        if (k.optional) optionalSeen = true;
        EXPECT_EQ(k.optional, optionalSeen);  // a plain list's file keeps its lines in front
    }
}

TEST(ListSettings, ValueRules) {
    struct Case {
        const char* value;
        bool flag;
        bool optIn;
        int32_t security;
        bool oauth2 = false;
    };
    const std::vector<Case> cases = {
        {"", true, false, list::kSecurityUnset},
        {"0", false, false, list::kSecurityUnknown},
        {"0ff", false, false, list::kSecurityUnknown},
        {"1", true, true, list::kSecurityUnknown},
        {"no", true, false, list::kSecurityUnknown},
        {"yes", true, false, list::kSecurityUnknown},
        {" none ", true, false, KOVA_SECURITY_NONE},
        {"tls", true, false, KOVA_SECURITY_TLS},
        {"SSL", true, false, KOVA_SECURITY_TLS},
        {"StartTLS", true, false, KOVA_SECURITY_STARTTLS},
        {"stls", true, false, KOVA_SECURITY_STARTTLS},
        {"TSL", true, false, list::kSecurityUnknown},
        {" oauth2 ", true, false, list::kSecurityUnknown, true},
        {"OAuth", true, false, list::kSecurityUnknown, false},
        {"Password", true, false, list::kSecurityUnknown, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(list::parseFlag(c.value), c.flag);
        EXPECT_EQ(list::parseOptIn(c.value), c.optIn);
        EXPECT_EQ(list::parseSecurity(c.value), c.security);
        EXPECT_EQ(list::parseAuth(c.value), c.oauth2);
    }
    EXPECT_EQ(list::caFilePath("/home/l/", "ca.pem"), "/home/l/ca.pem");
    EXPECT_EQ(list::caFilePath("/home/l/", "/etc/ca.pem"), "/etc/ca.pem");
    EXPECT_EQ(list::caFilePath("/home/l/", ""), "");
}

// Each reader takes its own default for an absent key and its own longest
// value; a key written empty is present.
TEST(ListSettings, ReadingAndWriting) {
    TempDir dir;
    const std::string ini = dir.file("Settings.INI");
    dir.write("Settings.INI", "[general]\r\nNAME= Tea \r\n[Messages]\r\nKeep=\r\n");
    EXPECT_EQ(list::readSetting(ini, Setting::Name, list::Reader::Engine), "Tea");
    EXPECT_EQ(list::readSetting(ini, Setting::Keep, list::Reader::Engine), "");
    EXPECT_EQ(list::readSetting(ini, Setting::Prepend, list::Reader::Engine), "prepend.txt");
    EXPECT_EQ(list::readSetting(ini, Setting::Prepend, list::Reader::Editor), "Prepend.TXT");
    EXPECT_TRUE(list::hasSetting(ini, Setting::Keep));
    EXPECT_FALSE(list::hasSetting(ini, Setting::Pop3Security));

    const std::string longValue(2100, 'x');
    ASSERT_TRUE(list::writeSetting(ini, Setting::SmtpPassword, longValue));
    EXPECT_EQ(list::readSetting(ini, Setting::SmtpPassword, list::Reader::Engine).size(), 2047u);
    EXPECT_EQ(list::readSetting(ini, Setting::SmtpPassword, list::Reader::Editor).size(), 1999u);
    EXPECT_NE(dir.read("Settings.INI").find("[SMTP]\r\nPassword=x"), std::string::npos);

    TempDir missing;
    EXPECT_EQ(list::readSetting(missing.file("Settings.INI"), Setting::Keep, list::Reader::Engine), "5");
    EXPECT_FALSE(list::writeSetting(missing.file("no/Settings.INI"), Setting::Keep, "1"));
}

TEST(ListDirectory, BothFilesInAnyLetterCaseMakeAList) {
    struct Case {
        const char* name;
        std::vector<const char*> files;
        bool present;
        bool readable;
    };
    const bool root = ::geteuid() == 0;
    const std::vector<Case> cases = {
        {"both", {"Settings.INI", "Members.TXT"}, true, true},
        {"other letter case", {"settings.ini", "MEMBERS.txt"}, true, true},
        {"settings only", {"Settings.INI"}, false, false},
        {"members only", {"Members.TXT"}, false, false},
        {"members unreadable", {"Settings.INI", "Members.TXT", "-Members.TXT"}, true, root},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        for (const char* f : c.files) {
            if (f[0] == '-')
                ::chmod(dir.file(f + 1).c_str(), 0);
            else
                dir.write(f, "");
        }
        EXPECT_EQ(list::isListDirectory(dir.path()), c.present);
        EXPECT_EQ(list::isListDirectory(dir.path() + "/", list::ListFiles::Readable), c.readable);
    }
    TempDir dir;
    dir.mkdir("Settings.INI");  // a directory, not a file
    dir.write("Members.TXT", "");
    EXPECT_FALSE(list::isListDirectory(dir.path()));
    // Another list's files behind links, or a FIFO that would stall a reader.
    TempDir other;
    other.write("Settings.INI", "");
    other.write("Members.TXT", "");
    for (const char* file : {"Settings.INI", "Members.TXT"}) {
        SCOPED_TRACE(file);
        TempDir linked;
        linked.write("Settings.INI", "");
        linked.write("Members.TXT", "");
        std::filesystem::remove(linked.file(file));
        ASSERT_EQ(::symlink(other.file(file).c_str(), linked.file(file).c_str()), 0);
        EXPECT_FALSE(list::isListDirectory(linked.path()));
        std::filesystem::remove(linked.file(file));
        ASSERT_EQ(::mkfifo(linked.file(file).c_str(), 0600), 0);
        EXPECT_FALSE(list::isListDirectory(linked.path(), list::ListFiles::Readable));
    }
}
