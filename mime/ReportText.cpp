#include "ReportText.h"

#include <array>
#include <string_view>

#include "text/TextRules.h"

namespace mime {

namespace {

// The sentences the common servers open their reports with. They make a
// report of a message whose header says nothing (a report forwarded by a
// mailbox rule); the wording below alone does not, as a person may write
// "the parcel has been delayed".
constexpr std::array kReportOpenings = {
    "this message was created automatically by mail delivery software",
    "this is the qmail-send program",
    "this is the mail system at host",
    "this is the postfix program at host",
    "i'm sorry to have to inform you that your message could not",
    "the following addresses had permanent fatal errors",
    "the following addresses had transient non-fatal errors",
    "sorry, we were unable to deliver your message to the following address",
    "did not reach the following recipient",
    "delivery has failed to these recipients or groups",
    "delivery to the following recipient failed permanently",
    "delivery to the following recipient has been delayed",
    "this is an automatically generated delivery status notification",
    "there was an error delivering your mail to",
    "your message wasn't delivered to",
};

// How the common servers say that they gave up (Postfix, Exim, Sendmail,
// qmail, Yahoo, Exchange and Office 365, Gmail, DragonFly's agent)...
constexpr std::array kGaveUp = {
    "could not be delivered to one or more",
    "following address(es) failed",
    "permanent fatal error",
    "this is a permanent error",
    "i'm not going to try again",
    "failed permanently",
    "unable to deliver your message to the following address",
    "did not reach the following recipient",
    "delivery has failed to these recipients",
    "delivery to the following recipient failed",
    "delivery to the following recipients failed",
    "your message wasn't delivered",
    "your message couldn't be delivered",
    "your message could not be delivered",
    "cannot be delivered to the following recipient",
    "there was an error delivering your mail",
};

// ...and that they are still trying. A warning outweighs a gave-up phrase:
// Postfix's delay warning says both.
constexpr std::array kStillTrying = {
    "has not yet been delivered",
    "this is a warning",
    "warning message only",
    "transient non-fatal error",
    "has been delayed",
    "delivery is delayed",
    "delivery attempts will continue",
    "will be retried",
    "still being retried",
    "will continue to try",
};

// What a line introducing the returned (or a forwarded) message says. A
// person forwarding a report quotes it below such a line, so the report's
// phrases there do not make the person's mail a report.
constexpr std::array kQuoteIntroductions = {
    "below this line is a copy of the message",
    "this is a copy of the message",
    "copy of the message",
    "original message",
    "returned message",
    "undelivered message",
    "message headers follow",
    "forwarded message",
    "begin forwarded message",
};

// Subjects of reports, for reports in no wording known here.
constexpr std::array kFailureSubjects = {
    "undeliver",           "returned mail",          "delivery status notification", "failure notice",
    "delivery failure",    "mail delivery failed",   "delivery has failed",          "could not be delivered",
    "delivery notification",
};
constexpr std::array kDelaySubjects = {"delayed", "delay", "warning:"};

// Only the opening of a text is read for its wording: a report says what it
// is at once.
constexpr size_t kOpeningLines = 60;
constexpr size_t kMaxReasonLines = 6;

template <size_t N>
bool containsAny(const std::string& haystack, const std::array<const char*, N>& needles) {
    for (const char* n : needles)
        if (haystack.find(n) != std::string::npos) return true;
    return false;
}

bool isQuoteIntroduction(const std::string& line) {
    const std::string t = text::trim(line);
    if (t.empty()) return false;
    const bool decorated = t.front() == '-' || t.front() == '=' || t.front() == '*' || t.front() == '_' ||
                           t.back() == ':';
    if (!decorated) return false;
    const size_t first = t.find_first_not_of("-=*_ \t");
    if (first == std::string::npos) return false;
    const std::string core = text::toLower(std::string_view(t).substr(first));
    for (const char* p : kQuoteIntroductions)
        if (core.starts_with(p)) return true;
    return false;
}

// The reply code of an SMTP answer quoted in the text ("said: 550 ...").
std::string smtpCode(std::string_view t) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    for (size_t i = 0; i + 3 <= t.size(); ++i) {
        if (t[i] != '2' && t[i] != '4' && t[i] != '5') continue;
        if (!digit(t[i + 1]) || !digit(t[i + 2])) continue;
        if (i > 0 && t[i - 1] != ' ' && t[i - 1] != '(' && t[i - 1] != ':') continue;
        if (i + 3 < t.size() && t[i + 3] != ' ' && t[i + 3] != '-' && t[i + 3] != ')') continue;
        return std::string(t.substr(i, 3));
    }
    return {};
}

std::string statusIn(std::string_view t) {
    std::string s = enhancedStatus(t);
    return s.empty() ? smtpCode(t) : s;
}

// A line that starts with an address, as reports list the recipients
// ("  ann@example.org", "<ann@example.org>: host ... said", "ann@example.org
// on <date>"). `rest` gets what follows it.
bool leadingAddress(const std::string& line, std::string& address, std::string& rest) {
    const size_t b = line.find_first_not_of(" \t");
    if (b == std::string::npos) return false;
    size_t end;
    if (line[b] == '<') {
        end = line.find('>', b);
        if (end == std::string::npos) return false;
        ++end;
    } else {
        end = line.find_first_of(" \t<>(),;:", b);
        if (end == std::string::npos) end = line.size();
    }
    address = plainAddress(std::string_view(line).substr(b, end - b));
    if (address.empty()) return false;
    rest = line.substr(end);
    return true;
}

// Every address anywhere in the line.
std::vector<std::string> addressesAnywhere(const std::string& line) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < line.size()) {
        const size_t b = line.find_first_not_of(" \t<>()[],;:\"'", pos);
        if (b == std::string::npos) break;
        size_t e = line.find_first_of(" \t<>()[],;:\"'", b);
        if (e == std::string::npos) e = line.size();
        if (std::string a = plainAddress(std::string_view(line).substr(b, e - b)); !a.empty()) out.push_back(a);
        pos = e;
    }
    return out;
}

// "(expanded from <ann@example.org>)": the address the sender used.
std::string expandedFrom(const std::string& rest) {
    const size_t at = text::toLower(rest).find("expanded from");
    if (at == std::string::npos) return {};
    const size_t open = rest.find('<', at);
    const size_t close = rest.find('>', at);
    if (open == std::string::npos || close == std::string::npos || close < open) return {};
    return plainAddress(std::string_view(rest).substr(open, close - open + 1));
}

// The lines after a listed recipient that tell what went wrong with it.
std::string reasonAfter(const std::vector<std::string>& lines, size_t i, size_t end, const std::string& rest) {
    std::string reason = rest;
    size_t taken = 0;
    for (; i < end && taken < kMaxReasonLines; ++i) {
        std::string address, after;
        if (leadingAddress(lines[i], address, after)) break;
        if (text::trim(lines[i]).empty()) {
            if (taken > 0) break;
            continue;
        }
        reason += " " + lines[i];
        ++taken;
    }
    return reason;
}

std::string senderLocalPart(const ReportParts& parts) {
    const std::string* from = parts.header("From");
    if (!from) return {};
    std::string a = plainAddress(*from);
    if (a.empty()) {
        for (const std::string& candidate : addressesAnywhere(*from)) a = candidate;
        if (a.empty()) return text::toLower(text::trim(*from));
    }
    return text::toLower(a.substr(0, a.find('@')));
}

bool fromMailDaemon(const ReportParts& parts) {
    const std::string local = senderLocalPart(parts);
    return local.starts_with("mailer-daemon") || local == "postmaster" || local == "mail-daemon";
}

// Whether the header says a program sent the message.
bool markedAutomatic(const ReportParts& parts) {
    if (fromMailDaemon(parts)) return true;
    if (!parts.failedRecipientsHeader.empty() || parts.deliveryStatusReport) return true;
    if (const std::string* auto_ = parts.header("Auto-Submitted"); auto_ && !text::startsWithIgnoreCase(*auto_, "no"))
        return true;
    if (const std::string* path = parts.header("Return-Path")) {
        std::string compact;
        for (const char c : *path)
            if (c != ' ' && c != '\t') compact += c;
        if (compact == "<>") return true;
    }
    return false;
}

// What the header alone says of a message in no known wording.
Verdict headerVerdict(const ReportParts& parts) {
    const bool daemon = fromMailDaemon(parts);
    const std::string* subjectValue = parts.header("Subject");
    const std::string subject = subjectValue ? text::toLower(*subjectValue) : std::string();
    if (!parts.failedRecipientsHeader.empty()) return Verdict::Failed;
    if (!daemon && !parts.deliveryStatusReport) return Verdict::None;
    if (containsAny(subject, kDelaySubjects)) return Verdict::Delayed;
    if (containsAny(subject, kFailureSubjects)) return Verdict::Failed;
    // A report by its type but in no words we know: not enough to remove anybody.
    return parts.deliveryStatusReport ? Verdict::Delayed : Verdict::None;
}

}  // namespace

TextReport readTextReport(const ReportParts& parts) {
    TextReport report;
    const std::vector<std::string>& lines = parts.notification;
    size_t end = 0;
    while (end < lines.size() && !isQuoteIntroduction(lines[end])) ++end;
    if (end < lines.size()) {
        const std::vector<ReportField> returned = headerBlockAt(lines, end + 1);
        if (const std::string* to = findField(returned, "To")) report.quotedTo = addressesIn(*to);
    }

    // The wording, whatever the line breaks and blanks.
    std::string opening;
    for (size_t i = 0; i < end && i < kOpeningLines; ++i) {
        for (const char c : text::toLower(lines[i])) {
            const bool space = c == ' ' || c == '\t' || static_cast<unsigned char>(c) < ' ';
            if (!space)
                opening += c;
            else if (!opening.empty() && opening.back() != ' ')
                opening += ' ';
        }
        if (!opening.empty() && opening.back() != ' ') opening += ' ';
    }
    if (!containsAny(opening, kReportOpenings) && !markedAutomatic(parts)) return report;
    if (containsAny(opening, kStillTrying))
        report.verdict = Verdict::Delayed;
    else if (containsAny(opening, kGaveUp))
        report.verdict = Verdict::Failed;
    else
        report.verdict = headerVerdict(parts);
    if (report.verdict == Verdict::None) return report;

    const bool permanent = report.verdict == Verdict::Failed;
    for (size_t i = 0; i < end; ++i) {
        std::string address, rest;
        if (!leadingAddress(lines[i], address, rest)) continue;
        FailedRecipient r;
        r.address = address;
        if (const std::string original = expandedFrom(rest); !original.empty()) {
            r.address = original;
            r.finalAddress = address;
        }
        const std::string reason = reasonAfter(lines, i + 1, end, rest);
        r.permanent = permanent;
        r.status = statusIn(reason);
        r.reason = oneLine(reason);
        report.recipients.push_back(std::move(r));
    }
    if (report.recipients.empty()) {
        // Some servers name the recipient inside the sentence that says what
        // happened ("Your message wasn't delivered to ann@example.org").
        for (size_t i = 0; i < end && i < kOpeningLines; ++i) {
            const std::string l = text::toLower(lines[i]);
            if (!containsAny(l, kGaveUp) && !containsAny(l, kStillTrying) && l.find("delivered to") == std::string::npos)
                continue;
            for (const std::string& a : addressesAnywhere(lines[i]))
                report.recipients.push_back({a, {}, permanent, statusIn(lines[i]), oneLine(lines[i])});
        }
    }
    for (size_t i = 0; i < end && report.reason.empty(); ++i)
        if (!statusIn(lines[i]).empty()) report.reason = oneLine(lines[i]);
    return report;
}

}  // namespace mime
