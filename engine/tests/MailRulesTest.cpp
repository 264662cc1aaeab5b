// The pure rules of mail processing, as tables: address extraction and
// validity, command classification, approval subjects, spool names.
#include <gtest/gtest.h>

#include <set>

#include "engine/AddressRules.h"
#include "engine/CheckApproval.h"
#include "engine/CommandClassification.h"
#include "engine/SpoolFileName.h"
#include "engine/SpoolReading.h"
#include "engine/ListTextFiles.h"
#include "engine/SpoolText.h"
#include "engine/Submission.h"
#include "tests/TempDir.h"

TEST(ExtractAddress, Table) {
    const std::pair<const char*, const char*> cases[] = {
        {"\"Lee, Ann\" <Ann.Lee@Example.ORG>", "Ann.Lee@Example.ORG"},
        {"Ann Lee <ann@example.org>", "ann@example.org"},
        {"  ann@example.org  ", "ann@example.org"},
        {"ann@example.org (Ann Lee)", "ann@example.org (Ann Lee)"},
        {"\"a\" \"b\" <x@y.z> trailing", "x@y.z"},
        {"<<x@y.z>>", "x@y.z"},
        {"\"only a name\"", ""},
        {"", ""},
        {"\tann@example.org", "\tann@example.org"},  // only spaces are trimmed
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(ExtractAddress(in), out) << in;
}

TEST(IsValidAddress, Table) {
    const MailList list;
    const std::pair<const char*, bool> cases[] = {
        {"ann@example.org", true},
        {"Ann <ann@example.org>", true},
        {"@example.org", false},           // nothing before '@'
        {"a b@c.de", false},
        {"ann@[192.0.2.1]", true},         // an address literal needs no '.'
        {"Eve <root,victim@x.test>", false},
        {"ann@example.o", false},          // one character after the last '.'
        {"ann@example.org.", false},       // ends in '.'
        {"ann@.org", false},               // nothing between '@' and '.'
        {"ann.lee@org", false},            // no '.' after '@'
        {"annexample.org", false},
        {"ann@ex@ample.org", false},
        {"", false},
        {"_!_boss@example.org", false},    // would become an administrator line
        {"Boss <_!_boss@example.org>", false},
        {" _!_boss@example.org", false},
        {"ann@example.org\r", false},      // a bare CR survives header reading
        {"ann\x01@example.org", false},
        {"ann_!_@example.org", true},      // the marker only counts at the start
    };
    for (const auto& [in, valid] : cases) EXPECT_EQ(IsValidAddress(list, in), valid) << in;
}

TEST(ClassifyCommand, OrderAndEmptySubmit) {
    MailList list;
    const std::pair<const char*, CommandKind> defaults[] = {
        {"RE: PLEASE UNSUBSCRIBE ME", CommandKind::Unsubscribe},
        {"SUBSCRIBE", CommandKind::Subscribe},
        {"SUBSCRIBE AND MEMBER LIST", CommandKind::Subscribe},
        {"RE: MEMBER LIST", CommandKind::MemberList},
        {"SUBMIT HELLO", CommandKind::Submission},
        {"SUBMITTED WORK", CommandKind::Submission},
        {"HELLO", CommandKind::Unrecognised},
        {"", CommandKind::Unrecognised},
    };
    for (const auto& [subject, kind] : defaults) EXPECT_EQ(ClassifyCommand(list, subject), kind) << subject;

    list.submitCommand = "";
    EXPECT_EQ(ClassifyCommand(list, "HELLO"), CommandKind::Submission);
    EXPECT_EQ(ClassifyCommand(list, "MEMBER LIST"), CommandKind::MemberList);
    list.subscribeCommand = "";
    EXPECT_EQ(ClassifyCommand(list, "ANYTHING"), CommandKind::Submission);  // an empty command never matches
}

TEST(ApprovalSubjects, NamedAddressAfterCommand) {
    struct Case {
        const char* subject;
        bool found;
        const char* named;
    } cases[] = {
        {"RE: SUBSCRIBE ann@example.org", true, "ann@example.org"},
        {"subscribe  ann@example.org ", true, "ann@example.org"},
        {"subscribe", true, ""},          // an administrator's bare command
        {"subscribe ", true, ""},
        {"xsubscribe<a@b.cd>", true, "a@b.cd>"},
        {"hello", false, ""},
    };
    for (const auto& c : cases) {
        std::string named = "stale";
        EXPECT_EQ(NamedAddressAfterCommand(c.subject, "SUBSCRIBE", named), c.found) << c.subject;
        EXPECT_EQ(named, c.named) << c.subject;
    }
}

TEST(ApprovalSubjects, SubmissionRoundTrip) {
    EXPECT_EQ(ApprovalSubject("SUBMIT", "bob@example.org", "Hello"), "SUBMIT || bob@example.org || Hello");
    EXPECT_EQ(ApprovalSubject("SUBMIT", "bob@example.org", ""), "SUBMIT || bob@example.org ||");
    EXPECT_EQ(ApprovalSubject("", "bob@example.org", "Hello there"), "bob@example.org || Hello there");

    struct Case {
        const char* command;
        const char* subject;
        bool ok;
        const char* submitter;
        const char* submitted;
    } cases[] = {
        {"SUBMIT", "RE: SUBMIT || bob@example.org || Hello", true, "bob@example.org", "Hello"},
        {"SUBMIT", "Re: submit || bob@example.org || a || b", true, "bob@example.org", "a || b"},
        {"SUBMIT", "RE: SUBMIT || bob@example.org ||", true, "bob@example.org", ""},
        {"SUBMIT", "SUBMIT bob@example.org", true, "bob@example.org", ""},
        {"SUBMIT", "SUBMIT ||", true, "", ""},  // runs out of text: clamped, no crash
        {"SUBMIT", "SUBMIT", true, "", ""},
        {"SUBMIT", "||", false, "", ""},
        {"", "RE: bob@example.org || Hello", true, "bob@example.org", "Hello"},
        {"", "Fwd: RE: bob@example.org || Hello", true, "RE: bob@example.org", "Hello"},
        {"", "re: RE: Fwd: FWD: bob@example.org || x", true, "bob@example.org", "x"},
    };
    for (const auto& c : cases) {
        std::string submitter, submitted;
        EXPECT_EQ(ParseApprovalReply(c.command, c.subject, submitter, submitted), c.ok) << c.subject;
        EXPECT_EQ(submitter, c.submitter) << c.subject;
        EXPECT_EQ(submitted, c.submitted) << c.subject;
    }
}

TEST(ApprovalSubjects, DistributionSubject) {
    EXPECT_EQ(DistributionSubject("SUBMIT", "ann@x.org", "SUBMIT"), "Submission from ann@x.org");
    EXPECT_EQ(DistributionSubject("SUBMIT", "ann@x.org", "Re: please submit  my poem"),
              "Submission from ann@x.org - my poem");
    EXPECT_EQ(DistributionSubject("SUBMIT", "ann@x.org", "Hello"), "Submission from ann@x.org - Hello");
    EXPECT_EQ(DistributionSubject("", "ann@x.org", "Hello"), "Submission from ann@x.org - Hello");
    EXPECT_EQ(DistributionSubject("SUBMIT", "", ""), "Submission from ");
}

TEST(SpoolNameForId, KeepsOrdinaryIdsAndEscapesTheRest) {
    const std::pair<std::string, std::string> cases[] = {
        {"000000014f3a9c21", "000000014f3a9c21"},
        {"abc-DEF_1.2+x", "abc-DEF_1.2+x"},
        {"../../x", "%2E.%2F..%2Fx"},
        {".x", "%2Ex"},
        {"", "%"},
        {"a%b", "a%25b"},
        {"a:b\\c", "a%3Ab%5Cc"},
        {std::string("a\x01\x7F\xC3", 4), "a%01%7F%C3"},
    };
    for (const auto& [id, name] : cases) EXPECT_EQ(SpoolNameForId(id), name) << id;

    // Different ids never share a name, the name never holds a '/' and never
    // starts with a '.'.
    const std::string ids[] = {"", "%", "%25", ".", "%2E", "/", "%2F", "a/b", "a%2Fb", ".a", "%2Ea", "..", "x"};
    std::set<std::string> names;
    for (const auto& id : ids) {
        const std::string n = SpoolNameForId(id);
        EXPECT_TRUE(names.insert(n).second) << id;
        EXPECT_EQ(n.find('/'), std::string::npos);
        EXPECT_NE(n[0], '.');
    }
}

TEST(SpoolReading, LinesHeadersAndTextFiles) {
    TempDir dir;
    dir.write("m.NEW", "Subject: one\r\n\ttwo\r\n   three\r\nTo: a@b.cd\r\n\r\n \r\nlast");
    platform::StdioFile f = platform::openFile(dir.file("m.NEW"), "rb");
    std::string line;
    ASSERT_TRUE(ReadHeaderLine(f.get(), line));
    EXPECT_EQ(line, "Subject: one two three");
    ASSERT_TRUE(ReadHeaderLine(f.get(), line));
    EXPECT_EQ(line, "To: a@b.cd");
    ASSERT_TRUE(ReadHeaderLine(f.get(), line));
    EXPECT_EQ(line, "");
    ASSERT_TRUE(ReadLine(f.get(), line));
    EXPECT_EQ(line, " ");
    ASSERT_TRUE(ReadLine(f.get(), line));
    EXPECT_EQ(line, "last");
    EXPECT_FALSE(ReadLine(f.get(), line));
    EXPECT_EQ(line, "");

    // A long body line comes in pieces of 8191.
    dir.write("long.txt", std::string(8200, 'x') + "\n");
    platform::StdioFile g = platform::openFile(dir.file("long.txt"), "rb");
    ASSERT_TRUE(ReadLine(g.get(), line));
    EXPECT_EQ(line.size(), 8191u);
    ASSERT_TRUE(ReadLine(g.get(), line));
    EXPECT_EQ(line.size(), 9u);

    // A header line is whole however long: no piece of it passes for a From:.
    const std::string pad = "X-Pad: " + std::string(8184, 'a');
    dir.write("pad.NEW", pad + "From: admin@x.org\r\n" + pad + "\r\n " + pad + "\r\nTo: a@b.cd\r\n\r\nbody\r\n");
    platform::StdioFile h = platform::openFile(dir.file("pad.NEW"), "rb");
    ASSERT_TRUE(ReadHeaderLine(h.get(), line));
    EXPECT_EQ(line, pad + "From: admin@x.org");
    ASSERT_TRUE(ReadHeaderLine(h.get(), line));
    EXPECT_EQ(line, pad + " " + pad);
    ASSERT_TRUE(ReadHeaderLine(h.get(), line));
    EXPECT_EQ(line, "To: a@b.cd");
    ASSERT_TRUE(ReadHeaderLine(h.get(), line));
    ASSERT_TRUE(ReadLine(h.get(), line));
    EXPECT_EQ(line, "body");

    // Text files get CR LF line ends; the name is found whatever its case.
    dir.write("Prepend.TXT", "Hello\nWorld");
    std::string text = "x";
    MailList list;
    list.directory = dir.path() + "/";
    AppendTextFile(list, dir.file("prepend.txt"), text);
    EXPECT_EQ(text, "xHello\r\nWorld\r\n");
    AppendTextFile(list, dir.file("missing.txt"), text);
    EXPECT_EQ(text, "xHello\r\nWorld\r\n");
}
