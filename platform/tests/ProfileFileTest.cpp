#include "platform/ProfileFile.h"

#include <gtest/gtest.h>

#include "tests/TempDir.h"

using platform::getPrivateProfileString;
using platform::writePrivateProfileString;

TEST(ProfileRead, CaseBlanksQuotesFirstMatchAndDefaults) {
    TempDir dir;
    dir.write("s.ini",
              "[general]\r\n"
              "  NAME =  \"My List\"  \r\n"
              "Name=second\r\n"
              "Quoted='x'\n"
              "Half=\"x\n"
              "Empty=\r\n"
              "[General]\r\n"
              "Other=from second section\r\n"
              "[POP3]\r\n"
              "Server = pop.example.com\r\n");
    const std::string p = dir.file("s.ini");
    EXPECT_EQ(getPrivateProfileString("General", "Name", "d", 2048, p), "My List");
    EXPECT_EQ(getPrivateProfileString("GENERAL", "quoted", "d", 2048, p), "x");
    EXPECT_EQ(getPrivateProfileString("General", "Half", "d", 2048, p), "\"x");
    EXPECT_EQ(getPrivateProfileString("General", "Empty", "d", 2048, p), "");
    // Only the first section of a name is read.
    EXPECT_EQ(getPrivateProfileString("General", "Other", "d", 2048, p), "d");
    EXPECT_EQ(getPrivateProfileString("pop3", "server", "d", 2048, p), "pop.example.com");
    EXPECT_EQ(getPrivateProfileString("SMTP", "Server", "dflt", 2048, p), "dflt");
    EXPECT_EQ(getPrivateProfileString("General", "Name", "d", 3, p), "My");
    EXPECT_EQ(getPrivateProfileString("General", "Name", "def", 2048, dir.file("missing.ini")), "def");
}

TEST(ProfileWrite, KeepsOtherLinesAddsKeysAndSectionsWithCrLf) {
    TempDir dir;
    dir.write("s.ini", "; comment\n[General]\nName=Old\nKeep=1\n\n[POP3]\nServer=a\n");
    const std::string p = dir.file("s.ini");
    ASSERT_TRUE(writePrivateProfileString("general", "NAME", "New, with comma", p));
    ASSERT_TRUE(writePrivateProfileString("General", "Submit", "POST", p));
    ASSERT_TRUE(writePrivateProfileString("SMTP", "From", "list@example.com", p));
    EXPECT_EQ(dir.read("s.ini"),
              "; comment\r\n[General]\r\nNAME=New, with comma\r\nKeep=1\r\nSubmit=POST\r\n\r\n"
              "[POP3]\r\nServer=a\r\n[SMTP]\r\nFrom=list@example.com\r\n");
    EXPECT_EQ(getPrivateProfileString("General", "Name", "", 2048, p), "New, with comma");

    ASSERT_TRUE(writePrivateProfileString("Messages", "Keep", "5", dir.file("new.ini")));
    EXPECT_EQ(dir.read("new.ini"), "[Messages]\r\nKeep=5\r\n");
}
