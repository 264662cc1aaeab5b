// The header reader on message files: values, sizes, capacities and
// the multipart boundary.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "HeaderParser.h"
#include "tests/TempDir.h"

namespace {

// One output pair with a sentinel behind its capacity, to catch overruns.
struct Field {
    explicit Field(uint32_t capacity) : storage(capacity + 1, '#'), size(capacity) {}
    std::vector<char> storage;
    uint32_t size;
    char* data() { return storage.data(); }
    std::string value() const { return std::string(storage.data(), std::min<std::size_t>(size, storage.size() - 1)); }
    char sentinel() const { return storage.back(); }
};

struct Header {
    Field to{64}, cc{64}, from{64}, replyTo{64}, subject{64}, date{64}, header{512}, boundary{64};
    int32_t isMultipart = -1;

    int32_t read(const std::string& path) {
        return mime::readMessageHeader(path.c_str(), to.data(), &to.size, cc.data(), &cc.size, from.data(),
                                       &from.size, replyTo.data(), &replyTo.size, subject.data(), &subject.size,
                                       date.data(), &date.size, header.data(), &header.size, &isMultipart,
                                       boundary.data(), &boundary.size);
    }
};

class MessageHeaderTest : public ::testing::Test {
protected:
    int32_t parse(const std::string& message) {
        dir.write("m.NEW", message);
        return h.read(dir.file("m.NEW"));
    }
    TempDir dir;
    Header h;
};

TEST_F(MessageHeaderTest, TakesTheMainValuesAndCollectsTheRest) {
    ASSERT_EQ(parse("Received: from a\r\n"
                    "to: list@example.org\r\n"
                    "From: Ann <ann@example.org>\r\n"
                    "Subject :  not a subject\r\n"
                    "CC: bob@example.org\r\n"
                    "Reply-To: ann@example.net\r\n"
                    "Date: Tue, 1 Dec 2026 10:00:00 +0000\r\n"
                    "X-Mailer: test\r\n"
                    "\r\n"
                    "Subject: in the body\r\n"
                    ".\r\n"),
              0);
    EXPECT_EQ(h.to.value(), "list@example.org");
    EXPECT_EQ(h.to.size, 16u);
    EXPECT_EQ(h.from.value(), "Ann <ann@example.org>");
    EXPECT_EQ(h.cc.value(), "bob@example.org");
    EXPECT_EQ(h.replyTo.value(), "ann@example.net");
    EXPECT_EQ(h.date.value(), "Tue, 1 Dec 2026 10:00:00 +0000");
    EXPECT_EQ(h.subject.size, 0u);  // the name with a space before its colon is no Subject
    EXPECT_EQ(h.header.value(), "Received: from a\nSubject :  not a subject\nX-Mailer: test");
    EXPECT_EQ(h.isMultipart, 0);
    EXPECT_EQ(h.boundary.size, 0u);
    EXPECT_EQ(h.header.data()[h.header.size], '\0');
}

TEST_F(MessageHeaderTest, TrimsOnlySpacesAndUnfoldsContinuationLines) {
    ASSERT_EQ(parse("Subject:   hello  \r\nTo:\tall@example.org\r\nFrom: a\r\n  b\r\n\tc\r\n\r\n.\r\n"), 0);
    EXPECT_EQ(h.subject.value(), "hello");
    EXPECT_EQ(h.subject.size, 5u);
    EXPECT_EQ(h.to.value(), "\tall@example.org");
    EXPECT_EQ(h.from.value(), "a b c");
}

TEST_F(MessageHeaderTest, ValueFillingTheCapacityHasNoTerminator) {
    Header small;
    small.subject = Field(4);
    dir.write("m.NEW", "Subject: abcdefgh\r\nTo: abcd\r\n\r\n");
    ASSERT_EQ(small.read(dir.file("m.NEW")), 0);
    EXPECT_EQ(small.subject.size, 4u);
    EXPECT_EQ(std::string(small.subject.data(), 4), "abcd");
    EXPECT_EQ(small.subject.sentinel(), '#');
    // A value of exactly the capacity is cut too: no room for the terminator.
    EXPECT_EQ(small.to.size, 4u);
}

TEST_F(MessageHeaderTest, LaterHeaderOverwritesAndShorterValueLeavesNoRemnant) {
    ASSERT_EQ(parse("From: first.long@example.org\r\nFrom: x@y\r\n\r\n"), 0);
    EXPECT_EQ(h.from.value(), "x@y");
    EXPECT_EQ(std::string(h.from.data() + 3, 5), std::string(5, '\0'));
}

TEST_F(MessageHeaderTest, NullSizeLeavesTheHeaderInTheCollectedText) {
    dir.write("m.NEW", "Subject: s\r\nTo: t\r\n\r\n");
    char header[64];
    uint32_t headerSize = sizeof header;
    char to[16];
    uint32_t toSize = sizeof to;
    ASSERT_EQ(mime::readMessageHeader(dir.file("m.NEW").c_str(), to, &toSize, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, header, &headerSize,
                                      nullptr, nullptr, nullptr),
              0);
    EXPECT_EQ(std::string(header, headerSize), "Subject: s");
    EXPECT_EQ(std::string(to, toSize), "t");
}

TEST_F(MessageHeaderTest, MultipartBoundaryByTheMimeRules) {
    const struct {
        const char* header;
        int32_t multipart;
        const char* boundary;
    } cases[] = {
        {"Content-Type: multipart/mixed;\r\n boundary=\"abc\"\r\n\r\n", 1, "abc"},
        {"Content-Type: multipart/mixed; boundary=abc\r\n\r\n", 1, "abc"},
        {"Content-Type:  Multipart/Mixed; boundary=\"abc\"\r\n\r\n", 1, "abc"},
        {"Content-Type: multipart/related;\r\n\tBOUNDARY=Apple-Mail-13-196941151\r\n\r\n", 1,
         "Apple-Mail-13-196941151"},
        {"content-type: multipart/alternative (by a client); type=x ; boundary = \"a b;c\" (note)\r\n\r\n", 1,
         "a b;c"},
        {"Content-Type: multipart/mixed; boundary=\"\"\r\n\r\n", 0, ""},
        {"Content-Type: text/plain; boundary=\"abc\"\r\n\r\n", 0, ""},
        {"Content-Type multipart/mixed; boundary=\"abc\"\r\n\r\n", 0, ""},
    };
    int n = 0;
    for (const auto& c : cases) {
        Header got;
        const std::string name = "c" + std::to_string(n++) + ".NEW";
        dir.write(name, c.header);
        ASSERT_EQ(got.read(dir.file(name)), 0) << c.header;
        EXPECT_EQ(got.isMultipart, c.multipart) << c.header;
        EXPECT_EQ(got.boundary.value(), c.boundary) << c.header;
        // A line taken for its boundary is not in the header text.
        EXPECT_EQ(got.header.size == 0, c.multipart == 1) << c.header;
    }
}

TEST_F(MessageHeaderTest, BodyBeginningWithAnIndentedLineStaysBody) {
    ASSERT_EQ(parse("Subject: s\r\n\r\n   indented first body line\r\nTo: body@example.org\r\n.\r\n"), 0);
    EXPECT_EQ(h.to.size, 0u);
    EXPECT_EQ(h.header.size, 0u);
}

TEST_F(MessageHeaderTest, HeaderWithoutEndIsIncomplete) {
    EXPECT_EQ(parse(""), -24);
    Header partial;
    dir.write("p.NEW", "To: a@b\r\nSubject: cut here");
    EXPECT_EQ(partial.read(dir.file("p.NEW")), -24);
    EXPECT_EQ(partial.to.value(), "a@b");
    EXPECT_EQ(std::string(partial.subject.data()), "cut here");
    // A header block ending at the "." line or at an empty last line is complete.
    EXPECT_EQ(parse("Subject: x\r\n.\r\n"), 0);
    EXPECT_EQ(parse("Subject: x\r\n\r\n"), 0);
}

TEST_F(MessageHeaderTest, BadArguments) {
    EXPECT_EQ(h.read(dir.file("missing.NEW")), -23);
    EXPECT_EQ(mime::readMessageHeader(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, nullptr),
              -21);
}

}  // namespace
