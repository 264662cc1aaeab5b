#include "engine/ListLoading.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "engine/ActiveLists.h"
#include "tests/TempDir.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {
void makeList(const TempDir& home, const std::string& name, const std::string& settings, const std::string& members) {
    home.mkdir(name);
    home.write(name + "/Settings.INI", settings);
    home.write(name + "/Members.TXT", members);
}
}  // namespace

TEST(LoadList, SettingsFollowIniRulesAndDefaults) {
    TempDir home;
    makeList(home, "a",
             "[general]\r\nname =  \"Friends of Tea\" \r\nSUBSCRIBE=  join  \r\nAdminSubscribe=no\r\n"
             "AdminSubmit=0ff\r\nBounceLimit=3 reports\r\nBounceDays=0\r\n[Messages]\r\nKeep=12days\r\nPrepend=head.txt\r\n[SMTP]\r\nStripHTML=\r\n"
             "StripAttachments=0\r\n",
             "");
    CaptureStdout();
    auto list = LoadList(home.file("a"));
    const std::string out = GetCapturedStdout();
    EXPECT_EQ(out, "Reading settings...\nReading members...\nAdded 0 members.\n");
    EXPECT_EQ(list->name, "Friends of Tea");
    EXPECT_EQ(list->subscribeCommand, "JOIN");
    EXPECT_EQ(list->unsubscribeCommand, "UNSUBSCRIBE");
    EXPECT_TRUE(list->adminSubscribe);  // only a leading '0' turns a flag off
    EXPECT_FALSE(list->adminUnsubscribe);
    EXPECT_FALSE(list->adminSubmit);
    EXPECT_TRUE(list->stripHTML);
    EXPECT_FALSE(list->stripAttachments);
    EXPECT_EQ(list->keep, 12);
    EXPECT_EQ(list->bounceLimit, 3);
    EXPECT_EQ(list->bounceDays, 14);  // counts that start over at every report would never reach the limit
    EXPECT_EQ(list->directory, home.file("a") + "/");
    EXPECT_EQ(list->prependFile, home.file("a") + "/head.txt");
    EXPECT_EQ(list->postpendFile, home.file("a") + "/postpend.txt");
    EXPECT_EQ(list->pop3Username, "ringpost");
}

TEST(LoadList, MissingSectionGivesDefaultsAndBadKeepGivesZero) {
    TempDir home;
    makeList(home, "b", "[Messages]\r\nKeep=soon\r\n", "one@example.com\r\n");
    CaptureStdout();
    auto list = LoadList(home.file("b") + "/");
    EXPECT_EQ(GetCapturedStdout(), "Reading settings...\nReading members...\nAdded 1 member.\n");
    EXPECT_EQ(list->name, "New List");
    EXPECT_TRUE(list->adminSubscribe);
    EXPECT_FALSE(list->adminSubmit);
    EXPECT_EQ(list->keep, 0);
    EXPECT_EQ(list->bounceLimit, 0);  // a list from before bounces were counted removes nobody
    EXPECT_EQ(list->members.count(), 1);
}

TEST(LoadList, SettingsFileOfOtherLetterCaseIsFound) {
    TempDir home;
    home.mkdir("c");
    home.write("c/settings.ini", "[General]\nName=Lower\n");
    home.write("c/MEMBERS.txt", "x@example.com\n");
    CaptureStdout();
    auto list = LoadList(home.file("c"));
    GetCapturedStdout();
    EXPECT_EQ(list->name, "Lower");
    EXPECT_EQ(list->members.count(), 1);
}

TEST(DiscoverLists, OnlyDirectoriesWithBothFilesInNameOrder) {
    TempDir home;
    makeList(home, "zeta", "[General]\r\nName=Z\r\n", "");
    makeList(home, "New List", "[General]\r\nName=N\r\n", "");
    makeList(home, "alpha", "[General]\r\nName=A\r\n", "");
    home.mkdir("only-settings");
    home.write("only-settings/Settings.INI", "");
    home.mkdir("only-members");
    home.write("only-members/Members.TXT", "");
    home.write("Settings.INI", "");  // a file, not a directory
    // Another list's files behind links make no list.
    home.mkdir("linked-members");
    home.write("linked-members/Settings.INI", "");
    ASSERT_EQ(::symlink(home.file("zeta/Members.TXT").c_str(), home.file("linked-members/Members.TXT").c_str()), 0);
    home.mkdir("linked-settings");
    home.write("linked-settings/Members.TXT", "");
    ASSERT_EQ(::symlink(home.file("zeta/Settings.INI").c_str(), home.file("linked-settings/Settings.INI").c_str()), 0);
    ActiveLists::instance().clear();
    CaptureStdout();
    ASSERT_TRUE(DiscoverLists(home.path()));
    const std::string out = GetCapturedStdout();
    const std::string loaded = "Reading settings...\nReading members...\nAdded 0 members.\n";
    const std::string leftAlone = "    Not a regular file, left alone: " + home.path() + "/linked-";
    EXPECT_EQ(out, "Searching for lists...\nAdding alpha List...\n" + loaded + leftAlone + "members/Members.TXT\n" +
                       leftAlone + "settings/Settings.INI\nAdding New List List...\n" + loaded +
                       "Adding zeta List...\n" + loaded);
    ASSERT_EQ(ActiveLists::instance().count(), 3);
    EXPECT_EQ(ActiveLists::instance().at(0).name, "A");
    EXPECT_EQ(ActiveLists::instance().at(1).name, "N");
    ActiveLists::instance().clear();
}

TEST(DiscoverLists, EmptyHomeFails) {
    TempDir home;
    ActiveLists::instance().clear();
    CaptureStdout();
    EXPECT_FALSE(DiscoverLists(home.path()));
    EXPECT_EQ(GetCapturedStdout(), "Searching for lists...\n");
}
