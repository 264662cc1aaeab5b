// Header values and command arguments as senders write them, honest and
// hostile: each either names exactly one address SMTP can carry, or is
// refused for a stated reason.
#include "mime/MailAddress.h"

#include <gtest/gtest.h>

#include <string>

using mime::AddressFault;

TEST(MailAddress, OneMailboxOrARefusal) {
    const std::string local64(64, 'l');
    const std::string label63(63, 'd');
    const std::string domain189 = label63 + "." + label63 + "." + std::string(61, 'd');  // 64 + 1 + 189 = 254
    struct Case {
        std::string text;
        std::string address;  // empty: refused
        AddressFault fault;
    };
    const Case cases[] = {
        // The forms senders use.
        {"ann@example.org", "ann@example.org", AddressFault::None},
        {"  Ann.Lee@Example.ORG  ", "Ann.Lee@Example.ORG", AddressFault::None},
        {"\"Lee, Ann\" <ann@example.org>", "ann@example.org", AddressFault::None},
        {"Ann Lee <ann@example.org>", "ann@example.org", AddressFault::None},
        {"John Q. Public <jqp@example.org>", "jqp@example.org", AddressFault::None},
        {"J\xc3\xb6rg <j@example.de>", "j@example.de", AddressFault::None},
        {"=?utf-8?q?J=C3=B6rg?= <j@example.de>", "j@example.de", AddressFault::None},
        {"<ann@example.org>", "ann@example.org", AddressFault::None},
        {"ann@example.org (Ann (the) Lee)", "ann@example.org", AddressFault::None},
        {"\tann@example.org\r\n (folded)", "ann@example.org", AddressFault::None},
        {"\"ann\"@example.org", "ann@example.org", AddressFault::None},
        {"john . doe @ example . org", "john.doe@example.org", AddressFault::None},
        {"<@relay.example,@hop.example:ann@example.org>", "ann@example.org", AddressFault::None},
        {"team: ann@example.org;", "ann@example.org", AddressFault::None},
        {", ann@example.org,", "ann@example.org", AddressFault::None},
        {"ann@[192.0.2.1]", "ann@[192.0.2.1]", AddressFault::None},
        {"ann@[IPv6:2001:db8::1]", "ann@[IPv6:2001:db8::1]", AddressFault::None},
        {"\"a (not a comment)\" <x-1+tag@sub-1.example.org>", "x-1+tag@sub-1.example.org", AddressFault::None},
        {local64 + "@" + domain189, local64 + "@" + domain189, AddressFault::None},
        // Several recipients smuggled into one member; others hidden behind the first.
        {"Eve <postmaster,root,victim@x.test>", "", AddressFault::Syntax},
        {"eve@evil.test, <admin@list.test>", "", AddressFault::Several},
        {"eve@evil.test (<admin@list.test>)", "eve@evil.test", AddressFault::None},
        {"\"admin@list.test\" <eve@evil.test>", "eve@evil.test", AddressFault::None},
        {"team: a@x.test, b@x.test;", "", AddressFault::Several},
        {"a@x.test b@x.test", "", AddressFault::Syntax},
        {"a@x.test@y.test", "", AddressFault::Syntax},
        // Odd strings that became members.
        {"@evil.test", "", AddressFault::NoLocalPart},
        {"\"\"@evil.test", "", AddressFault::NoLocalPart},
        {".@e.test", "", AddressFault::Syntax},
        {"a..b@e.test", "", AddressFault::Syntax},
        {std::string(8000, 'a') + "@evil.test", "", AddressFault::LocalPartTooLong},
        {local64 + "x@example.org", "", AddressFault::LocalPartTooLong},
        {local64 + "@" + domain189 + "d", "", AddressFault::TooLong},
        {"\"a\\\"b\"@evil.test", "", AddressFault::NeedsQuotes},
        {"\"a b\"@evil.test", "", AddressFault::NeedsQuotes},
        {std::string("admin@list.test\0x", 17), "", AddressFault::NulByte},
        {"_!_boss@example.org", "_!_boss@example.org", AddressFault::None},  // the member file guards its marker
        // Domains SMTP cannot reach.
        {"ann@example.org.", "", AddressFault::Syntax},
        {"ann@-example.org", "", AddressFault::BadDomain},
        {"ann@ex_ample.org", "", AddressFault::BadDomain},
        {"ann@" + std::string(64, 'd') + ".org", "", AddressFault::BadDomain},
        {"ann@[300.0.0.1]", "", AddressFault::BadDomain},
        {"ann@[mail.example.org]", "", AddressFault::BadDomain},
        {"j\xc3\xb6rg@example.de", "", AddressFault::NotAscii},
        {"ann@\"example\".org", "", AddressFault::Syntax},
        // Nothing, or not one whole address.
        {"", "", AddressFault::NoAddress},
        {"  (only a comment) ", "", AddressFault::NoAddress},
        {"undisclosed-recipients:;", "", AddressFault::NoAddress},
        {"<>", "", AddressFault::NoAddress},
        {"\"only a name\"", "", AddressFault::Syntax},
        {"Doe, John <john@example.org>", "", AddressFault::Syntax},
        {"ann@example.org <ann@example.org>", "", AddressFault::Syntax},
        {"<<x@y.test>>", "", AddressFault::Syntax},
        {"<x@y.test> trailing", "", AddressFault::Syntax},
        {"dan@nodot", "dan@nodot", AddressFault::None},
        {"a@x.test\r\nBcc: b@x.test", "", AddressFault::Syntax},
        {"a@x.test\r", "", AddressFault::Syntax},
        {"\x1b[2Ka@x.test", "", AddressFault::Syntax},
        {"Ann <ann@example.org", "", AddressFault::Unclosed},
        {"\"Ann <ann@example.org>", "", AddressFault::Unclosed},
        {"ann@example.org (open", "", AddressFault::Unclosed},
        {"ann@example.org (\\", "", AddressFault::Unclosed},
        {"ann@[192.0.2.1", "", AddressFault::Unclosed},
        {"(" + std::string(100000, '(') + "ann@example.org", "", AddressFault::Unclosed},
        {std::string(200000, '(') + std::string(200000, ')') + "ann@example.org", "ann@example.org",
         AddressFault::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 80));
        const mime::MailAddress a = mime::parseMailbox(c.text);
        EXPECT_EQ(a.fault, c.fault) << mime::describe(a.fault);
        EXPECT_EQ(a.bareAddress, c.address);
        // What is taken reads back as itself, and only that goes to SMTP.
        if (a.ok()) {
            EXPECT_TRUE(mime::isBareAddress(a.bareAddress));
        }
        EXPECT_EQ(mime::isBareAddress(c.text), a.ok() && a.bareAddress == c.text);
    }
}
