#include "DeliveryReport.h"

#include <algorithm>
#include <exception>

#include "ReportParts.h"
#include "ReportText.h"
#include "text/TextRules.h"

namespace mime {

namespace {

// "rfc822; <ann@example.org>" and the like: the address after the type.
std::string dsnAddress(const std::string* value) {
    if (!value) return {};
    std::string_view v = *value;
    if (const size_t semi = v.find(';'); semi != std::string_view::npos) v = v.substr(semi + 1);
    return plainAddress(v);
}

// The "d.d.d" code at the start of a Status value.
std::string statusCode(const std::string* value) {
    if (!value) return {};
    return enhancedStatus(*value);
}

struct DsnRecipient {
    std::vector<ReportField> fields;
    const std::string* find(std::string_view name) const { return findField(fields, name); }
};

bool isRecipientField(std::string_view name) {
    for (const char* n : {"Final-Recipient", "Original-Recipient", "Action", "Status", "Diagnostic-Code"})
        if (text::equalsIgnoreCase(name, n)) return true;
    return false;
}

// The per-recipient groups of a delivery-status part. Groups are separated by
// blank lines; a recipient field met twice in one group starts the next
// recipient, for generators that leave the blank lines out.
std::vector<DsnRecipient> dsnGroups(const std::vector<std::string>& lines) {
    std::vector<DsnRecipient> groups;
    DsnRecipient current;
    const auto flush = [&] {
        if (current.find("Final-Recipient") || current.find("Original-Recipient")) groups.push_back(current);
        current.fields.clear();
    };
    for (size_t i = 0; i < lines.size();) {
        if (text::trim(lines[i]).empty()) {
            flush();
            ++i;
            continue;
        }
        ReportField field;
        if (!readField(lines, i, field)) continue;
        if (isRecipientField(field.name) && current.find(field.name)) flush();
        current.fields.push_back(std::move(field));
    }
    flush();
    return groups;
}

void addDsnRecipients(const std::vector<std::string>& part, std::vector<FailedRecipient>& out) {
    for (const DsnRecipient& g : dsnGroups(part)) {
        const std::string final = dsnAddress(g.find("Final-Recipient"));
        std::string original = dsnAddress(g.find("Original-Recipient"));
        if (original.empty()) original = final;
        if (original.empty()) continue;
        const std::string* actionValue = g.find("Action");
        // Field values come trimmed.
        const std::string action = actionValue ? text::toLower(*actionValue) : std::string();
        // Reports of success say nothing about a dead address.
        if (action.starts_with("delivered") || action.starts_with("relayed") || action.starts_with("expanded"))
            continue;
        FailedRecipient r;
        r.address = original;
        if (!text::equalsIgnoreCase(final, original)) r.finalAddress = final;
        const std::string* status = g.find("Status");
        r.status = statusCode(status);
        // The sender gave up whatever the status class says; a delay is no
        // verdict, and neither is a report that says nothing.
        if (action.starts_with("failed"))
            r.permanent = true;
        else if (action.starts_with("delayed"))
            r.permanent = false;
        else
            r.permanent = !r.status.empty() && r.status[0] == '5';
        const std::string* diagnostic = g.find("Diagnostic-Code");
        std::string reason = diagnostic ? *diagnostic : (status ? *status : std::string());
        if (diagnostic)
            if (const size_t semi = reason.find(';'); semi != std::string::npos && semi < 20) reason.erase(0, semi + 1);
        r.reason = oneLine(reason);
        out.push_back(std::move(r));
    }
}

// Keeps the first mention of each address; a later permanent one of the same
// address wins over a transient one, as the sender gave up on it after all.
std::vector<FailedRecipient> onceEach(std::vector<FailedRecipient> all) {
    std::vector<FailedRecipient> out;
    for (FailedRecipient& r : all) {
        const auto same = std::find_if(out.begin(), out.end(), [&](const FailedRecipient& o) {
            return text::equalsIgnoreCase(o.address, r.address);
        });
        if (same == out.end())
            out.push_back(std::move(r));
        else if (r.permanent && !same->permanent)
            *same = std::move(r);
    }
    return out;
}

DeliveryReport read(std::string_view message) {
    DeliveryReport report;
    const ReportParts parts = findReportParts(message);

    if (!parts.deliveryStatus.empty()) {
        report.form = ReportForm::DeliveryStatus;
        std::vector<FailedRecipient> all;
        for (const auto& part : parts.deliveryStatus) addDsnRecipients(part, all);
        report.recipients = onceEach(std::move(all));
        return report;
    }

    const TextReport textual = readTextReport(parts);
    if (textual.verdict == Verdict::None) return report;
    const bool permanent = textual.verdict == Verdict::Failed;
    std::vector<FailedRecipient> all = textual.recipients;
    report.form = ReportForm::Text;
    if (all.empty()) {
        for (const std::string& a : parts.failedRecipientsHeader) all.push_back({a, {}, permanent, {}, {}});
    }
    if (all.empty()) {
        report.form = ReportForm::QuotedOriginal;
        const auto& quoted = parts.quotedTo.empty() ? textual.quotedTo : parts.quotedTo;
        for (const std::string& a : quoted) all.push_back({a, {}, permanent, {}, textual.reason});
    }
    for (FailedRecipient& r : all) r.permanent = permanent;
    report.recipients = onceEach(std::move(all));
    return report;
}

}  // namespace

DeliveryReport readDeliveryReport(std::string_view message) {
    try {
        return read(message);
    } catch (const std::exception&) {
        // Out of memory on a hostile message: it is no report we can read.
        DeliveryReport unreadable;
        unreadable.form = ReportForm::Text;
        return unreadable;
    }
}

}  // namespace mime
