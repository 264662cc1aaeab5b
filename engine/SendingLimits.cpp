#include "SendingLimits.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "platform/Directory.h"
#include "platform/ErrorText.h"
#include "platform/FileLock.h"
#include "platform/SystemDirectory.h"
#include "text/Printable.h"
#include "text/TextRules.h"

namespace {

constexpr int64_t kMinute = 60;
constexpr int64_t kHour = 3600;
constexpr int64_t kDay = 86400;
constexpr char kFolder[] = "limits";
constexpr char kCountFile[] = "Recipients.TXT";
constexpr char kLockFile[] = "Recipients.LCK";

// Recipients by account ("server<TAB>user") and second.
using Counts = std::map<std::pair<std::string, int64_t>, int64_t>;

std::set<std::string>& countedAccounts() {
    static std::set<std::string> accounts;
    return accounts;
}

std::string& currentAccount() {
    static std::string account;
    return account;
}

// The counts as last kept: all there is when the file cannot be kept.
Counts& knownCounts() {
    static Counts counts;
    return counts;
}

bool hasLimits(const MailList& list) { return list.maxPerMinute > 0 || list.maxPerHour > 0 || list.maxPerDay > 0; }

// Escaped, so no name can break a line of the file or pose as another field.
std::string accountOf(const MailList& list) {
    return text::printable(text::toLower(list.smtpServer)) + '\t' + text::printable(text::toLower(list.smtpUsername));
}

// Lines that are not whole are dropped: a few recipients forgotten at worst.
Counts parse(const std::string& text) {
    Counts counts;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const std::string line = text::stripLineEnd(std::string_view(text).substr(pos, end - pos));
        pos = end + 1;
        const size_t a = line.find('\t');
        const size_t b = a == std::string::npos ? a : line.find('\t', a + 1);
        if (b == std::string::npos || line.find('\t', b + 1) == std::string::npos) continue;
        int64_t at = 0, count = 0;
        if (!text::readWholeNumber(std::string_view(line).substr(0, a), at) ||
            !text::readWholeNumber(std::string_view(line).substr(a + 1, b - a - 1), count))
            continue;
        counts[{line.substr(b + 1), at}] += count;
    }
    return counts;
}

std::string format(const Counts& counts) {
    std::string text;
    for (const auto& [key, count] : counts)
        text +=
            std::to_string(key.second) + '\t' + std::to_string(count) + '\t' + key.first + std::string(text::kLineEnd);
    return text;
}

// What is older than a day no limit looks at; what lies more than a day
// ahead was counted by a clock that was wrong and would block for as long.
void prune(Counts& counts, int64_t now) {
    std::erase_if(counts, [now](const auto& e) {
        return e.first.second <= now - kDay || e.first.second > now + kDay || e.second <= 0;
    });
}

int64_t inLast(const Counts& counts, const std::string& account, int64_t now, int64_t seconds) {
    int64_t sum = 0;
    for (auto it = counts.lower_bound({account, now - seconds + 1}); it != counts.end() && it->first.first == account;
         ++it)
        sum += it->second;
    return sum;
}

// Runs `change` on the counts as they are now, under the lock, and keeps
// the result. When the file cannot be kept the counts live on in memory
// for this run, and that is said once.
template <typename Change>
void changeCounts(Change change) {
    const int64_t now = platform::currentTime().seconds;
    const std::string folder = platform::systemDirectory() + "/" + kFolder;
    platform::Directory dir;
    std::optional<platform::FileLock> lock;
    Counts counts = knownCounts();
    bool readable = false;
    if (platform::ensureDirectory(folder) && (dir = platform::Directory::open(folder))) {
        lock.emplace(folder + "/" + kLockFile, dir.shared() ? 0660 : 0600);
        std::string text;
        if (lock->locked() && dir.readFile(kCountFile, text)) {
            counts = parse(text);
            readable = true;
        } else if (lock->locked() && errno == ENOENT) {
            counts.clear();
            readable = true;
        }
    }
    prune(counts, now);
    change(counts, now);
    // A file that could not be read is not written over: its counts would be lost.
    const bool kept = readable && dir.writeFile(kCountFile, format(counts));
    knownCounts() = counts;
    static bool told = false;
    if (!kept && !told) {
        told = true;
        std::printf("  Unable to keep the sending count in %s: %s. It is counted for this run only.\n",
                    SendingCountPath().c_str(), platform::systemErrorText(platform::lastErrorCode()).c_str());
        std::fflush(stdout);
    }
}

}  // namespace

void NoteSendingLimits(const MailList& list) {
    if (hasLimits(list)) countedAccounts().insert(accountOf(list));
}

void UseSendingAccount(const MailList& list) {
    NoteSendingLimits(list);
    currentAccount() = accountOf(list);
}

void CountSingleSend() {
    if (currentAccount().empty() || countedAccounts().count(currentAccount()) == 0) return;
    changeCounts([](Counts& counts, int64_t now) { counts[{currentAccount(), now}] += 1; });
}

PostAllowance::PostAllowance(const MailList& list, size_t wanted) : account_(accountOf(list)) {
    counted_ = hasLimits(list) || countedAccounts().count(account_) != 0;
    if (!counted_ || wanted == 0) return;
    changeCounts([&](Counts& counts, int64_t now) {
        granted_ = static_cast<int64_t>(wanted);
        const std::pair<int32_t, int64_t> limits[] = {
            {list.maxPerMinute, kMinute}, {list.maxPerHour, kHour}, {list.maxPerDay, kDay}};
        const char* names[] = {"a minute", "an hour", "a day"};
        for (size_t i = 0; i < std::size(limits); ++i) {
            const auto [limit, window] = limits[i];
            if (limit <= 0) continue;
            const int64_t left = std::max<int64_t>(0, limit - inLast(counts, account_, now, window));
            if (left < granted_) {
                granted_ = left;
                reached_ = std::to_string(limit) + ' ' + names[i];
            }
        }
        takenAt_ = now;
        if (granted_ > 0) counts[{account_, now}] += granted_;
    });
}

PostAllowance::~PostAllowance() {
    if (!counted_ || granted_ == 0) return;
    // The copies count from when the last went out, not from the start.
    changeCounts([this](Counts& counts, int64_t now) {
        if (const auto it = counts.find({account_, takenAt_}); it != counts.end()) it->second -= granted_;
        counts[{account_, now}] += used_;
        prune(counts, now);
    });
}

bool PostAllowance::take() {
    if (!counted_) return true;
    if (used_ >= granted_) return false;
    ++used_;
    return true;
}

std::string SendingCountPath() { return platform::systemDirectory() + "/" + kFolder + "/" + kCountFile; }
