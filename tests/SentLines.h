// What a client sent a scripted server, line by line, against what a test
// expects: each line whole, or up to a closing '*' as a prefix; no AUTH line
// longer than the server takes, CR LF included.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

inline void expectSentLines(const std::vector<std::string>& sent, const std::vector<std::string>& expected,
                            size_t authLineLimit) {
    ASSERT_EQ(sent.size(), expected.size());
    for (size_t i = 0; i < sent.size(); ++i) {
        const std::string& want = expected[i];
        if (want.ends_with('*'))
            EXPECT_TRUE(sent[i].starts_with(want.substr(0, want.size() - 1))) << sent[i];
        else
            EXPECT_EQ(sent[i], want);
        if (sent[i].starts_with("AUTH")) {
            EXPECT_LE(sent[i].size() + 2, authLineLimit) << "an AUTH line the server would refuse";
        }
    }
}
