// Posts as common mail programs write them, each sent by a member through the
// installed engine (Dovecot holds the list's mailbox, a sink catches what the
// members receive), and what arrived checked with Python's email package.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/ChildProcess.h"
#include "tests/harness/ListHome.h"

namespace fs = std::filesystem;

namespace {

const std::string kCorpus = RINGPOST_MAIL_CORPUS_DIR;

std::string fileText(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// The checker's findings, "" when the member got what the sender wrote.
std::string check(const std::string& sent, const std::string& received, const std::string& scratch) {
    const std::string out = scratch + ".out";
    platform::ChildProcess checker;
    std::string error;
    if (!checker.start({"python3", kCorpus + "check_received.py", sent, received}, out, &error))
        return "checker not started: " + error;
    if (!checker.waitExit(60000)) return "checker did not finish";
    const std::string findings = fileText(out);
    if (checker.exitStatus() != 0 && findings.empty()) return "checker failed";
    return findings;
}

TEST(MailCorpus, MembersReceiveWhatTheSenderWrote) {
    std::vector<std::string> posts;
    for (const auto& e : fs::directory_iterator(kCorpus))
        if (e.path().extension() == ".eml") posts.push_back(e.path().filename().string());
    std::sort(posts.begin(), posts.end());
    ASSERT_GE(posts.size(), 16u);

    harness::ListHome list;
    std::string error;
    ASSERT_TRUE(list.start("127.0.11.1", "Submit=\r\nAdminSubmit=0\r\n", "StripAttachments=0\r\nStripHTML=0\r\n",
                           "ann@example.org\r\n", &error))
        << error;
    for (const auto& name : posts) list.dovecot->injectMessage("list", fileText(kCorpus + name));
    std::string failure;
    const std::string out = list.pass(failure);
    EXPECT_EQ(failure, "");

    const auto mail = list.sink->messages();
    EXPECT_EQ(mail.size(), posts.size()) << out;
    for (const auto& name : posts) {
        SCOPED_TRACE(name);
        // Subjects begin with the post's number: "c01", "c02"...
        const std::string tag = " - c" + name.substr(0, 2);
        const auto it = std::find_if(mail.begin(), mail.end(), [&](const harness::SunkMessage& m) {
            const size_t at = m.data.find("Subject: ");
            return at != std::string::npos && m.data.substr(at, m.data.find("\r\n", at) - at).find(tag) != std::string::npos;
        });
        if (it == mail.end()) {
            ADD_FAILURE() << "not received\n" << out;
            continue;
        }
        const std::string received = list.home.file(name + ".received");
        std::ofstream(received, std::ios::binary) << it->data;
        EXPECT_EQ(check(kCorpus + name, received, received), "") << it->data.substr(0, 2000);
    }
}

}  // namespace
