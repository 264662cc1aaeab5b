// A provider's sending limits through the installed engine, one pass (and one
// process) at a time, on 127.0.29.x: a server that refuses the list's mail
// past a quota never costs a member the post, and the list's own limits hold
// copies back for later passes, across restarts.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>

#include "tests/harness/FileText.h"
#include "tests/harness/ListHome.h"

namespace fs = std::filesystem;

namespace {

const char kMembers[] =
    "_!_boss@example.org\r\nm1@example.org\r\nm2@example.org\r\nm3@example.org\r\nm4@example.org\r\n"
    "m5@example.org\r\nm6@example.org\r\nm7@example.org\r\nm8@example.org\r\nm9@example.org\r\n";

class ProviderLimits : public testing::Test {
protected:
    void start(const std::string& address, const std::string& smtp) {
        home = std::make_unique<harness::ListHome>();
        seen = 0;
        std::string error;
        ASSERT_TRUE(list().start(address, "", smtp, kMembers, &error)) << error;
    }
    harness::ListHome& list() { return *home; }
    void post(const std::string& from, const std::string& subject) {
        list().dovecot->injectMessage(
            "list", "From: " + from + "\r\nTo: list@example.org\r\nSubject: " + subject + "\r\n\r\nNews\r\n");
    }
    std::string pass() {
        std::string failure;
        const std::string out = list().pass(failure);
        EXPECT_EQ(failure, "");
        return out;
    }
    // The sink taking every recipient again, or refusing after `taken` more.
    void restartSink(std::vector<std::string> options) {
        list().sink->stop();
        list().sink->clearOptions();
        list().sink->addOptions(options);
        ASSERT_TRUE(list().sink->start());
    }
    // Recipients of each subject the sink took since the last call.
    std::map<std::string, std::vector<std::string>> newMail() {
        std::map<std::string, std::vector<std::string>> bySubject;
        const auto all = list().sink->messages();
        for (size_t i = seen; i < all.size(); ++i) {
            const std::string d = "\r\n" + all[i].data;
            const size_t at = d.find("\r\nSubject: ") + 11;
            auto& to = bySubject[d.substr(at, d.find("\r\n", at) - at)];
            to.insert(to.end(), all[i].rcptTos.begin(), all[i].rcptTos.end());
        }
        seen = all.size();
        for (auto& [subject, to] : bySubject) std::sort(to.begin(), to.end());
        return bySubject;
    }
    size_t spooled(const std::string& extension) {
        size_t n = 0;
        for (const auto& e : fs::directory_iterator(list().home.file("club"))) n += e.path().extension() == extension;
        return n;
    }
    static std::vector<std::string> everyone(std::initializer_list<int> members, bool boss) {
        std::vector<std::string> out;
        if (boss) out.push_back("boss@example.org");
        for (int m : members) out.push_back("m" + std::to_string(m) + "@example.org");
        std::sort(out.begin(), out.end());
        return out;
    }

    std::unique_ptr<harness::ListHome> home;
    size_t seen = 0;
};

const char kA[] = "Submission from boss@example.org - A";
const char kB[] = "Submission from m1@example.org - B";
const char kC[] = "Submission from m2@example.org - C";

TEST_F(ProviderLimits, AQuotaHoldsThePostsUntilTheServerTakesMailAgain) {
    struct Case {
        const char* name;
        const char* refusal;
        const char* address;
    };
    const Case cases[] = {
        {"a quota by its enhanced status", "550 5.4.5 Daily user sending quota exceeded.", "127.0.29.100"},
        // Three members in a row refused in the same words: none counted.
        {"a quota in words alone", "550 Daily sending quota exceeded", "127.0.29.101"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start(c.address, "");
        restartSink({"--refuse-after", "4", "--refusal", c.refusal});
        post("boss@example.org", "SUBMIT A");
        post("m1@example.org", "SUBMIT B");
        std::string out = pass();
        EXPECT_NE(out.find(std::string("    Held by the SMTP server: ") + c.refusal + "\n"), std::string::npos) << out;
        // The first four, and nothing else: the notice was refused as well.
        EXPECT_EQ(newMail(), (std::map<std::string, std::vector<std::string>>{{kA, everyone({1, 2, 3}, true)}}));
        EXPECT_EQ(spooled(".NEW"), 2u);
        EXPECT_EQ(spooled(".SENT"), 2u);

        restartSink({});
        out = pass();
        const std::map<std::string, std::vector<std::string>> second{
            {kA, everyone({4, 5, 6, 7, 8, 9}, false)},
            {kB, everyone({1, 2, 3, 4, 5, 6, 7, 8, 9}, true)},
            {std::string("Held: ") + kA, {"boss@example.org"}}};
        EXPECT_EQ(newMail(), second) << out;
        EXPECT_EQ(spooled(".MSG"), 2u);
        EXPECT_EQ(spooled(".NEW") + spooled(".SENT"), 0u);
        EXPECT_NE(list().home.read("club/Held.TXT").find("told\t"), std::string::npos);

        // Held again the same day: the administrators are not told twice.
        restartSink({"--refuse-after", "2", "--refusal", c.refusal});
        post("m2@example.org", "SUBMIT C");
        out = pass();
        EXPECT_EQ(newMail(), (std::map<std::string, std::vector<std::string>>{{kC, everyone({1}, true)}})) << out;
        restartSink({});
        out = pass();
        EXPECT_EQ(newMail(),
                  (std::map<std::string, std::vector<std::string>>{{kC, everyone({2, 3, 4, 5, 6, 7, 8, 9}, false)}}))
            << out;
        EXPECT_EQ(out.find("Admin notified"), std::string::npos) << out;
    }
}

// Ages every count in the system directory's record by `seconds`, as time
// passing would.
void ageCounts(const harness::ListHome& list, int seconds) {
    const std::string path = list.system.file("limits/Recipients.TXT");
    const std::string text = harness::fileText(path);
    std::string aged;
    for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
        const size_t tab = text.find('\t', at);
        aged += std::to_string(std::stoll(text.substr(at, tab - at)) - seconds) + text.substr(tab, end + 2 - tab);
    }
    list.system.write("limits/Recipients.TXT", aged);
}

long long counted(const harness::ListHome& list) {
    const std::string text = harness::fileText(list.system.file("limits/Recipients.TXT"));
    long long sum = 0;
    for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
        const size_t tab = text.find('\t', at);
        sum += std::stoll(text.substr(tab + 1));
    }
    return sum;
}

TEST_F(ProviderLimits, TheListsOwnLimitHoldsCopiesBackAcrossRestarts) {
    start("127.0.29.102", "MaxPerMinute=3\r\n");
    post("boss@example.org", "SUBMIT A");
    std::string out = pass();
    EXPECT_NE(out.find("    Sending limit of 3 a minute reached\n    7 member(s) wait for a later pass\n"),
              std::string::npos)
        << out;
    auto got = newMail();
    ASSERT_EQ(got[kA].size(), 3u) << out;
    std::vector<std::string> served = got[kA];
    EXPECT_EQ(counted(list()), 3);

    // A new engine within the minute sends no copy, but a reply is never held back.
    post("boss@example.org", "MEMBER LIST");
    out = pass();
    got = newMail();
    EXPECT_EQ(got.count(kA), 0u) << out;
    EXPECT_EQ(got.size(), 1u) << out;
    EXPECT_EQ(counted(list()), 4);

    int passes = 0;
    while (spooled(".NEW") != 0 && passes < 5) {
        ageCounts(list(), 61);
        out = pass();
        got = newMail();
        EXPECT_LE(got[kA].size(), 3u) << out;
        served.insert(served.end(), got[kA].begin(), got[kA].end());
        ++passes;
    }
    EXPECT_EQ(passes, 3);
    std::sort(served.begin(), served.end());
    EXPECT_EQ(served, everyone({1, 2, 3, 4, 5, 6, 7, 8, 9}, true));
    EXPECT_EQ(spooled(".MSG"), 1u);
}

}  // namespace
