#include "HeldPostNotice.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <vector>

#include "RefusalJudgement.h"
#include "Spool.h"
#include "platform/FileSystem.h"
#include "text/Printable.h"
#include "text/TextRules.h"

namespace {

constexpr char kTold[] = "told";
constexpr char kOwed[] = "owed";

struct HeldPosts {
    int64_t lastNotice = 0;
    std::set<std::string> told;
    std::string owed, subject, reply;  // the notice not yet sent
};

HeldPosts parse(const std::string& text) {
    HeldPosts held;
    size_t pos = 0;
    bool first = true;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = text::stripLineEnd(std::string_view(text).substr(pos, end - pos));
        pos = end + 1;
        const std::vector<std::string> f = text::splitTabs(line);
        if (first) {
            if (!text::readWholeNumber(line, held.lastNotice)) held.lastNotice = 0;
            first = false;
        } else if (f.size() == 2 && f[0] == kTold) {
            held.told.insert(f[1]);
        } else if (f.size() == 4 && f[0] == kOwed) {
            held.owed = f[1];
            held.subject = f[2];
            held.reply = f[3];
        }
    }
    return held;
}

std::string keyOf(const std::string& spoolPath) {
    const std::string name = SpoolName(spoolPath);
    return name.substr(0, name.rfind('.'));
}

bool inSpool(const platform::Directory& dir, const std::string& key) {
    return dir.type(key + "." + std::string(SpoolExtension(SpoolState::Fetched))) == platform::EntryType::File;
}

// Posts that left the spool are forgotten on the way.
bool write(const platform::Directory& dir, const HeldPosts& held) {
    const std::string end(text::kLineEnd);
    std::string text = std::to_string(held.lastNotice) + end;
    for (const std::string& key : held.told)
        if (inSpool(dir, key)) text += std::string(kTold) + '\t' + key + end;
    if (!held.owed.empty())
        text += std::string(kOwed) + '\t' + held.owed + '\t' + held.subject + '\t' + held.reply + end;
    return WriteSpoolRecord(dir, kHeldPostsFile, text);
}

std::string noticeBody(const MailList& list, const HeldPosts& held) {
    std::string body = "The SMTP server refused the post \"" + held.subject + "\" with this reply:\r\n\r\n    ";
    body += held.reply + "\r\n\r\n";
    body +=
        "The reply concerns the list's account or the post, not a member, so no member was counted as "
        "refused. The post waits in the list's spool, and the list sends it to the members it has not reached "
        "yet at its next passes, for up to ";
    body += std::to_string(KeepDays(list));
    body +=
        " day(s); then you get the names of those it never reached.\r\n\r\nIf the server limits how much "
        "the account may send, set MaxPerMinute, MaxPerHour or MaxPerDay in the [SMTP] section of the list's "
        "settings below that limit.\r\n";
    return body;
}

}  // namespace

void NoteHeldPost(const MailList& list, const std::string& spoolPath, const std::string& subject,
                  const ServerReply& reply) {
    const platform::Directory dir = platform::Directory::open(list.directory);
    if (!dir) return;
    std::string text;
    HeldPosts held;
    if (ReadSpoolRecord(dir, kHeldPostsFile, text)) held = parse(text);
    const std::string key = keyOf(spoolPath);
    if (held.told.count(key) || !held.owed.empty() ||
        platform::currentTime().seconds - held.lastNotice < kSecondsPerDay)
        return;
    held.owed = key;
    held.subject = text::printable(subject);
    held.reply = ReplyLine(reply);
    write(dir, held);
}

void SendHeldPostNotice(const MailList& list) {
    const platform::Directory dir = platform::Directory::open(list.directory);
    std::string text;
    if (!dir || !ReadSpoolRecord(dir, kHeldPostsFile, text)) return;
    HeldPosts held = parse(text);
    if (held.owed.empty()) return;
    if (inSpool(dir, held.owed)) {
        const int32_t result = SendToAdministrators(list, "Held: " + held.subject, noticeBody(list, held), {}, false);
        if (result != 0) {
            std::printf("    SEND FAILURE: %ld\n", static_cast<long>(result));
            std::fflush(stdout);
            return;
        }
        std::printf("    Admin notified that the SMTP server holds the post\n");
        std::fflush(stdout);
        held.lastNotice = platform::currentTime().seconds;
        held.told.insert(held.owed);
    }
    held.owed.clear();
    write(dir, held);
}
