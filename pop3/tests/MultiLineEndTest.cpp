#include "pop3/MultiLineEnd.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Feeds `answer` cut at `cut` and returns what the scanner counted as the answer.
std::string feedInTwo(const std::string& answer, size_t cut, bool* found) {
    pop3::MultiLineEnd end;
    std::string taken;
    const std::string first = answer.substr(0, cut), second = answer.substr(cut);
    taken += first.substr(0, end.feed(first));
    if (!end.found()) taken += second.substr(0, end.feed(second));
    *found = end.found();
    return taken;
}

}  // namespace

TEST(MultiLineEnd, FindsTheEndLineWhereverThePiecesAreCut) {
    const std::string answers[] = {
        ".\r\n",                                      // empty listing or message
        "1 120\r\n2 3400\r\n.\r\n",                   // a listing
        "Subject: a\r\n\r\n..\r\n...x\r\n.\r\n",      // stuffed lines before the end
    };
    for (const auto& answer : answers) {
        for (size_t cut = 0; cut <= answer.size(); ++cut) {
            bool found = false;
            EXPECT_EQ(feedInTwo(answer, cut, &found), answer) << "cut at " << cut;
            EXPECT_TRUE(found) << "cut at " << cut;
        }
    }
}

TEST(MultiLineEnd, StuffedAndLookalikeLinesDoNotEndTheAnswer) {
    pop3::MultiLineEnd end;
    const std::string body = "..\r\n.x\r\n x.\r\n\r\n.. \r\nline.\r\n";
    EXPECT_EQ(end.feed(body), body.size());
    EXPECT_FALSE(end.found());
    // A lone "." line only counts at the start of a line.
    EXPECT_EQ(end.feed("a.\r\n"), 4u);
    EXPECT_FALSE(end.found());
}

TEST(MultiLineEnd, ByteByByteAndBytesBehindTheEnd) {
    pop3::MultiLineEnd end;
    const std::string answer = "1 5\r\n.\r\n";
    std::string taken;
    for (char c : answer) {
        const std::string piece(1, c);
        taken += piece.substr(0, end.feed(piece));
    }
    EXPECT_TRUE(end.found());
    EXPECT_EQ(taken, answer);

    pop3::MultiLineEnd withTrailer;
    EXPECT_EQ(withTrailer.feed("x\r\n.\r\n+OK next\r\n"), 6u);
    EXPECT_TRUE(withTrailer.found());
    EXPECT_EQ(withTrailer.feed("more"), 0u);
}
