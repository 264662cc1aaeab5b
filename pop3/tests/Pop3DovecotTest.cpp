// The session exports against a real Dovecot on a loopback address of its own.
#include "pop3/KOVAPOP3.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/TempDir.h"
#include "tests/harness/DovecotServer.h"

namespace {

constexpr int32_t kIncorrectResponse = -17;
constexpr int32_t kNotLoggedIn = -19;
constexpr int32_t kFileNotCreated = -25;

// What a POP3 server sends for a stored message with CR LF lines: lines that
// begin with "." get one more, a missing final line end is added, then the end line.
std::string asRetrieved(const std::string& stored) {
    std::string out;
    bool lineStart = true;
    for (char c : stored) {
        if (lineStart && c == '.') out += '.';
        out += c;
        lineStart = c == '\n';
    }
    if (!lineStart) out += "\r\n";
    return out + ".\r\n";
}

struct ListingLine {
    int number;
    std::string value;
};

// Lines "number value\r\n"; a line of another shape ends the parse.
std::vector<ListingLine> parseListing(const std::string& text) {
    std::vector<ListingLine> lines;
    size_t at = 0;
    for (size_t eol; (eol = text.find("\r\n", at)) != std::string::npos; at = eol + 2) {
        const std::string line = text.substr(at, eol - at);
        const size_t space = line.find(' ');
        if (space == std::string::npos || space == 0 ||
            line.find_first_not_of("0123456789") != space || space + 1 == line.size())
            break;
        lines.push_back({std::stoi(line.substr(0, space)), line.substr(space + 1)});
    }
    return lines;
}

bool isHexId(const std::string& id) {
    return id.size() == 16 && id.find_first_not_of("0123456789abcdef") == std::string::npos;
}

class Pop3Dovecot : public ::testing::Test {
protected:
    void startServer(const char* address) {
        server_ = std::make_unique<harness::DovecotServer>(address);
        server_->addUser("alice", "secret");
        std::string error;
        ASSERT_TRUE(server_->start(&error)) << error;
    }
    void TearDown() override { KOVAPOP3_Logout(); }

    int32_t login() { return KOVAPOP3_Login(server_->server().c_str(), "alice", "secret"); }

    // A whole listing, checked for its shape.
    std::string listing(int32_t (*list)(char*, int32_t)) {
        std::vector<char> buf(1 << 16);
        const int32_t n = list(buf.data(), static_cast<int32_t>(buf.size()));
        EXPECT_GE(n, 3);
        if (n < 3) return {};
        std::string text(buf.data(), static_cast<size_t>(n));
        EXPECT_TRUE(text.size() == 3 ? text == ".\r\n" : text.ends_with("\r\n.\r\n")) << text;
        EXPECT_EQ(buf[static_cast<size_t>(n)], '\0');
        return text;
    }

    std::unique_ptr<harness::DovecotServer> server_;
    TempDir dir_;
};

TEST_F(Pop3Dovecot, ListsAndRetrievesMessagesByteForByte) {
    startServer("127.0.2.10");
    std::string big = "Subject: big\r\n\r\n";
    for (int i = 0; big.size() < 200000; ++i) big += "line " + std::to_string(i) + " \xe4\xf6\xfc caf\xc3\xa9\r\n";
    const std::vector<std::string> stored = {
        "From: a@example.com\r\nSubject: dots\r\n\r\n.\r\n..\r\n.x\r\nend\r\n",
        "Subject: no final line end\r\n\r\nlast line",
        big,
    };
    for (const auto& m : stored) server_->injectMessage("alice", m);

    ASSERT_EQ(login(), 0);
    const auto sizes = parseListing(listing(KOVAPOP3_GetMessageSizes));
    const auto ids = parseListing(listing(KOVAPOP3_GetMessageIDs));
    ASSERT_EQ(sizes.size(), 3u);
    ASSERT_EQ(ids.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(sizes[i].number, static_cast<int>(i + 1));
        EXPECT_EQ(ids[i].number, static_cast<int>(i + 1));
        EXPECT_TRUE(isHexId(ids[i].value)) << ids[i].value;
    }
    EXPECT_NE(ids[0].value, ids[1].value);

    std::vector<std::string> expected, retrieved;
    for (const auto& m : stored) expected.push_back(asRetrieved(m));
    for (int n = 1; n <= 3; ++n) {
        const std::string name = "msg" + std::to_string(n) + ".NEW";
        ASSERT_EQ(KOVAPOP3_GetMessage(n, dir_.file(name).c_str()), 0);
        retrieved.push_back(dir_.read(name));
    }
    std::sort(expected.begin(), expected.end());
    std::sort(retrieved.begin(), retrieved.end());
    EXPECT_EQ(retrieved, expected);

    // An output file that cannot be made; the session carries on.
    EXPECT_EQ(KOVAPOP3_GetMessage(1, dir_.file("missing/dir/x.NEW").c_str()), kFileNotCreated);
    EXPECT_EQ(KOVAPOP3_GetMessage(1, dir_.file("again.NEW").c_str()), 0);
    // A message number the server does not know.
    EXPECT_EQ(KOVAPOP3_GetMessage(99, dir_.file("none.NEW").c_str()), kIncorrectResponse);
    EXPECT_EQ(dir_.read("none.NEW"), "");
    EXPECT_EQ(KOVAPOP3_Logout(), 0);
}

TEST_F(Pop3Dovecot, WrongPasswordIsRefusedAndLeavesNoSession) {
    startServer("127.0.2.11");
    // Dovecot marks the refusal [AUTH] (RFC 3206): the credentials, not the server.
    EXPECT_EQ(KOVAPOP3_Login(server_->server().c_str(), "alice", "wrong"), KOVA_AUTH_REFUSED);
    std::vector<char> buf(64);
    EXPECT_EQ(KOVAPOP3_GetMessageSizes(buf.data(), 64), kNotLoggedIn);
    EXPECT_EQ(KOVAPOP3_Login(server_->server().c_str(), "nobody", "secret"), KOVA_AUTH_REFUSED);
    // The penalty for failed logins is off, so the right password works at once.
    EXPECT_EQ(login(), 0);
    EXPECT_EQ(KOVAPOP3_Logout(), 0);
}

TEST_F(Pop3Dovecot, EmptyMailboxListsOnlyTheEndLine) {
    startServer("127.0.2.12");
    ASSERT_EQ(login(), 0);
    char buf[16];
    std::memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(KOVAPOP3_GetMessageSizes(buf, sizeof buf), 3);
    EXPECT_EQ(std::string(buf, 4), std::string(".\r\n\0", 4));
    EXPECT_EQ(KOVAPOP3_GetMessageIDs(buf, sizeof buf), 3);
    EXPECT_STREQ(buf, ".\r\n");
    EXPECT_EQ(KOVAPOP3_Logout(), 0);
}

TEST_F(Pop3Dovecot, DeletionTakesEffectAtLogout) {
    startServer("127.0.2.13");
    server_->injectMessage("alice", "Subject: one\r\n\r\nfirst\r\n");
    server_->injectMessage("alice", "Subject: two\r\n\r\nsecond\r\n");
    ASSERT_EQ(login(), 0);
    ASSERT_EQ(parseListing(listing(KOVAPOP3_GetMessageIDs)).size(), 2u);
    EXPECT_EQ(KOVAPOP3_DeleteMessage(1), 0);
    EXPECT_EQ(KOVAPOP3_DeleteMessage(1), kIncorrectResponse);  // already marked
    EXPECT_EQ(server_->listMaildir("alice").size(), 2u);      // nothing gone before QUIT
    EXPECT_EQ(KOVAPOP3_Logout(), 0);
    EXPECT_EQ(server_->listMaildir("alice").size(), 1u);

    // A second login while logged in ends the first session with QUIT.
    ASSERT_EQ(login(), 0);
    EXPECT_EQ(KOVAPOP3_DeleteMessage(1), 0);
    ASSERT_EQ(login(), 0);
    EXPECT_EQ(KOVAPOP3_GetMessageSizes(nullptr, 0), -21);
    char buf[8];
    EXPECT_EQ(KOVAPOP3_GetMessageSizes(buf, sizeof buf), 3);
    EXPECT_EQ(KOVAPOP3_Logout(), 0);
    EXPECT_TRUE(server_->listMaildir("alice").empty());
}

TEST_F(Pop3Dovecot, ListingLongerThanTheTargetIsCutButCountedWhole) {
    startServer("127.0.2.14");
    for (int i = 0; i < 20; ++i) server_->injectMessage("alice", "Subject: " + std::to_string(i) + "\r\n\r\nbody\r\n");
    ASSERT_EQ(login(), 0);
    const std::string whole = listing(KOVAPOP3_GetMessageIDs);
    ASSERT_EQ(parseListing(whole).size(), 20u);

    char buf[40];
    std::memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(KOVAPOP3_GetMessageIDs(buf, 30), static_cast<int32_t>(whole.size()));
    EXPECT_EQ(std::string(buf, 30), whole.substr(0, 30));  // no terminator
    EXPECT_EQ(std::string(buf + 30, 10), std::string(10, 'Z'));
    // A target of size 0 only learns the length.
    EXPECT_EQ(KOVAPOP3_GetMessageIDs(buf, 0), static_cast<int32_t>(whole.size()));
    EXPECT_EQ(KOVAPOP3_Logout(), 0);
}

}  // namespace
