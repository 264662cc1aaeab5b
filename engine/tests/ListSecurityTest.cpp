#include "engine/ListSecurity.h"

#include <gtest/gtest.h>

#include "engine/ListLoading.h"
#include "pop3/KOVAPOP3.h"
#include "tests/TempDir.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

TEST(ListSecurity, SettingsAreReadAsWrittenAndAbsentOnesChangeNothing) {
    struct Case {
        const char* name;
        std::string settings;
        int32_t pop3, smtp;
        const char* pop3CA;  // relative to the list directory when it starts with '+'
        bool pop3Plain;
        const char* user;
        bool smtpPlain;
    };
    const std::vector<Case> cases = {
        {"none of it", "[POP3]\r\nServer=a\r\n", list::kSecurityUnset, list::kSecurityUnset, "", false, "", false},
        {"provider style",
         "[POP3]\r\nSecurity= tls \r\nCAFile=/etc/ca.pem\r\n[SMTP]\r\nSecurity=StartTLS\r\nUsername= tea \r\n"
         "Password=pw\r\nCAFile=ca.pem\r\n",
         KOVA_SECURITY_TLS, KOVA_SECURITY_STARTTLS, "/etc/ca.pem", false, "tea", false},
        {"other names", "[POP3]\r\nSecurity=STLS\r\n[SMTP]\r\nSecurity=ssl\r\n", KOVA_SECURITY_STARTTLS,
         KOVA_SECURITY_TLS, "", false, "", false},
        {"plain, allowed in so many words",
         "[POP3]\r\nSecurity=None\r\nAllowPlainAuth=1\r\n[SMTP]\r\nSecurity=none\r\nAllowPlainAuth=1\r\n",
         KOVA_SECURITY_NONE, KOVA_SECURITY_NONE, "", true, "", true},
        {"only 1 allows", "[POP3]\r\nAllowPlainAuth=yes\r\n[SMTP]\r\nAllowPlainAuth=\r\n", list::kSecurityUnset,
         list::kSecurityUnset, "", false, "", false},
        {"mistyped", "[POP3]\r\nSecurity=TSL\r\n[SMTP]\r\nSecurity=on\r\n", list::kSecurityUnknown, list::kSecurityUnknown, "",
         false, "", false},
        {"relative CA file", "[POP3]\r\nCAFile=certs/ca.pem\r\n", list::kSecurityUnset, list::kSecurityUnset, "+certs/ca.pem",
         false, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir home;
        home.mkdir("l");
        home.write("l/Settings.INI", c.settings);
        home.write("l/Members.TXT", "");
        CaptureStdout();
        const auto list = LoadList(home.file("l"));
        GetCapturedStdout();
        EXPECT_EQ(list->pop3Security, c.pop3);
        EXPECT_EQ(list->smtpSecurity, c.smtp);
        const std::string ca = c.pop3CA[0] == '+' ? home.file("l") + "/" + (c.pop3CA + 1) : c.pop3CA;
        EXPECT_EQ(list->pop3CAFile, ca);
        EXPECT_EQ(list->pop3AllowPlainAuth, c.pop3Plain);
        EXPECT_EQ(list->smtpUsername, c.user);
        EXPECT_EQ(list->smtpAllowPlainAuth, c.smtpPlain);
    }
}
