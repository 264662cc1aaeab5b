#include "BounceHandling.h"

#include <chrono>
#include <cstdio>
#include <set>
#include <vector>

#include "AutomaticMail.h"
#include "ListHeaders.h"
#include "ListMembers.h"
#include "MailSending.h"
#include "Spool.h"
#include "list/BounceRecord.h"
#include "mime/DeliveryReport.h"
#include "platform/ErrorText.h"
#include "platform/FileSystem.h"
#include "platform/LocalTime.h"
#include "platform/StdioFile.h"
#include "text/TextRules.h"

namespace {

// A report says what it has to say in its first parts; a returned message
// with large attachments behind them need not be read whole.
constexpr size_t kMaxReportBytes = 1 << 20;
constexpr int kNoticeAttempts = 5;

std::string readHead(const std::string& path) {
    std::string content;
    platform::StdioFile file = OpenSpoolFile(path);
    if (!file) return content;
    content.resize(kMaxReportBytes);
    content.resize(std::fread(content.data(), 1, content.size(), file.get()));
    return content;
}

std::string today() {
    const platform::LocalTime t = platform::localNow();
    char date[16];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", t.year, t.month, t.day);
    return date;
}

// Whole days from one "YYYY-MM-DD" to another; a date that cannot be read
// counts as long ago, so its count starts over.
int64_t daysBetween(const std::string& from, const std::string& to) {
    const auto parse = [](const std::string& s, std::chrono::sys_days& out) {
        int y = 0;
        unsigned m = 0, d = 0;
        if (s.size() != 10 || std::sscanf(s.c_str(), "%4d-%2u-%2u", &y, &m, &d) != 3) return false;
        const std::chrono::year_month_day date{std::chrono::year{y}, std::chrono::month{m}, std::chrono::day{d}};
        if (!date.ok()) return false;
        out = date;
        return true;
    };
    std::chrono::sys_days a, b;
    if (!parse(from, a) || !parse(to, b)) return INT32_MAX;
    return (b - a).count();
}

// One member a report names, as the member file spells the address.
struct Named {
    std::string address;
    bool administrator = false;
    const mime::FailedRecipient* failure = nullptr;
};

std::vector<Named> namedMembers(const MailList& list, const mime::DeliveryReport& report) {
    std::vector<Named> named;
    for (const mime::FailedRecipient& r : report.recipients) {
        for (const Member& m : list.members.entries()) {
            if (m.address.empty()) continue;
            if (!text::equalsIgnoreCase(m.address, r.address) &&
                (r.finalAddress.empty() || !text::equalsIgnoreCase(m.address, r.finalAddress)))
                continue;
            auto same = named.begin();
            while (same != named.end() && !text::equalsIgnoreCase(same->address, m.address)) ++same;
            if (same == named.end()) {
                named.push_back({m.address, m.isAdministrator, &r});
            } else {
                // Listed twice (member and administrator): never removed.
                same->administrator = same->administrator || m.isAdministrator;
                if (r.permanent && !same->failure->permanent) same->failure = &r;
            }
        }
    }
    return named;
}

list::BounceEntry& entryFor(std::vector<list::BounceEntry>& record, const std::string& address) {
    for (list::BounceEntry& e : record)
        if (text::equalsIgnoreCase(e.address, address)) return e;
    record.push_back({address, 0, {}, {}, {}, {}});
    return record.back();
}

std::string lastReport(const list::BounceEntry& e) {
    std::string s = "The last report (" + e.last + "): " + e.status;
    if (!e.reason.empty()) s += (e.status.empty() ? "" : " ") + e.reason;
    return s + "\r\n";
}

// To every administrator but the address that bounces.
void notifyAdministrators(const MailList& list, const std::string& bouncing, const std::string& subject,
                          const std::string& body) {
    const std::string headers = ListHeaderLines(list) + "Auto-Submitted: auto-generated\r\n";
    std::set<std::string> sent;
    for (const Member& m : list.members.entries()) {
        if (m.address.empty() || !m.isAdministrator || text::equalsIgnoreCase(m.address, bouncing)) continue;
        if (!sent.insert(text::toUpper(m.address)).second) continue;
        const int32_t result = SendWithRetry(list.smtpServer, list.fromAddress, m.address, list.replyToAddress,
                                             subject, body, {}, kNoticeAttempts, headers);
        if (result != 0) std::printf("    SEND FAILURE: %ld\n", static_cast<long>(result));
    }
}

void tellRemoved(const MailList& list, const list::BounceEntry& e) {
    notifyAdministrators(list, e.address, list.name + " bounces: " + e.address + " removed",
                         e.address + " has been removed from the " + list.name + " ringpost after " +
                             std::to_string(e.count) + " delivery reports.\r\n\r\n" + lastReport(e));
}

void tellAdministratorBounces(const MailList& list, const list::BounceEntry& e) {
    notifyAdministrators(list, e.address, list.name + " bounces: " + e.address,
                         "Mail to the administrator " + e.address + " of the " + list.name +
                             " ringpost could not be delivered (" + std::to_string(e.count) +
                             " delivery reports). Administrators are never removed automatically.\r\n\r\n" +
                             lastReport(e));
}

void setAsideUnread(const MailList& list, const std::string& path, const MailHeaders& headers) {
    if (!SetAsideAutomaticMail(list, path, headers)) SetAsideAsAutomatic(list, path, headers, "delivery report");
}

// Leaves the report in the spool for the next pass.
void keepForNextPass(MailList& list, const char* what, uint32_t code) {
    std::printf("    FAILURE. Unable to write the %s: %s\n", what, platform::systemErrorText(code).c_str());
    list.mailWaiting = true;
}

}  // namespace

bool HandleDeliveryReport(MailList& list, const std::string& path, const MailHeaders& headers) {
    const mime::DeliveryReport report = mime::readDeliveryReport(readHead(path));
    if (!report.isReport()) return false;
    if (list.bounceLimit <= 0 || report.recipients.empty()) {
        setAsideUnread(list, path, headers);
        return true;
    }
    // The members as they are on disk; while they cannot be read the report
    // waits with the rest of the mail.
    if (!RefreshMembers(list)) return true;
    const std::vector<Named> named = namedMembers(list, report);
    if (named.empty()) {
        std::printf("  Delivery report names no member...Set aside\n");
        MoveSpoolFile(path, SpoolState::SetAside);
        return true;
    }

    std::vector<list::BounceEntry> record;
    if (!list::readBounceRecord(list.directory, record)) {
        std::printf("    FAILURE. Unable to read the bounce record: %s\n",
                    platform::systemErrorText(platform::lastErrorCode()).c_str());
        list.mailWaiting = true;
        return true;
    }
    const std::string day = today();
    std::set<std::string> removing;  // upper-cased
    for (const Named& n : named) {
        list::BounceEntry& e = entryFor(record, n.address);
        if (e.first.empty() || daysBetween(e.last, day) >= list.bounceDays) {
            e.count = 0;
            e.first = day;
        }
        e.last = day;
        e.status = n.failure->status;
        e.reason = n.failure->reason;
        if (n.failure->permanent) ++e.count;
        if (n.failure->permanent && e.count >= list.bounceLimit && !n.administrator)
            removing.insert(text::toUpper(n.address));
    }

    if (!removing.empty()) {
        const auto remove = [&removing](MemberStore& store) {
            bool removed = false;
            for (int32_t i = store.count() - 1; i >= 0; --i) {
                const Member& m = store.entries()[static_cast<size_t>(i)];
                if (m.address.empty() || m.isAdministrator || !removing.count(text::toUpper(m.address))) continue;
                store.remove(i);
                removed = true;
            }
            return removed;
        };
        uint32_t code = 0;
        if (!ChangeMembers(list, remove, code)) {
            keepForNextPass(list, "member file", code);
            return true;
        }
    }

    // Only members have counts: the removed start at zero if they come back,
    // and so does anybody who left meanwhile.
    std::set<std::string> members;
    for (const Member& m : list.members.entries())
        if (!m.address.empty()) members.insert(text::toUpper(m.address));
    std::vector<list::BounceEntry> kept;
    for (const list::BounceEntry& e : record)
        if (members.count(text::toUpper(e.address))) kept.push_back(e);
    const bool recorded = list::writeBounceRecord(list.directory, kept);
    const uint32_t recordError = recorded ? 0 : platform::lastErrorCode();

    for (const Named& n : named) {
        const list::BounceEntry& e = entryFor(record, n.address);
        if (removing.count(text::toUpper(n.address))) {
            std::printf("  Delivery report for %s...Member removed\n", n.address.c_str());
            tellRemoved(list, e);
        } else if (!n.failure->permanent) {
            std::printf("  Delivery report for %s...Transient, not counted\n", n.address.c_str());
        } else {
            std::printf("  Delivery report for %s...Counted (%d of %d)\n", n.address.c_str(), e.count,
                        list.bounceLimit);
            if (n.administrator && e.count == list.bounceLimit && recorded) tellAdministratorBounces(list, e);
        }
    }
    if (!recorded) {
        // Those removed stay removed; the report comes back to a list without them.
        keepForNextPass(list, "bounce record", recordError);
        return true;
    }
    RemoveSpoolFile(path);
    return true;
}
