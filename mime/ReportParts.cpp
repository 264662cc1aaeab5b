#include "ReportParts.h"

#include <cstring>

#include "DeliveryReport.h"
#include "MailAddress.h"
#include "mime/Base64Decoder.h"
#include "mime/MimeParameters.h"
#include "mime/QuotedPrintable.h"
#include "text/TextRules.h"

namespace mime {

namespace {

// Reports are a few parts deep; anything deeper or wider is no report
// worth the time.
constexpr int kMaxDepth = 8;
constexpr size_t kMaxParts = 100;
constexpr size_t kMaxFieldLength = 8192;

// Lines without their ends; a line "." ends the message and a doubled
// leading dot is undone, as the mailbox server stuffed it.
std::vector<std::string> spoolLines(std::string_view message) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < message.size()) {
        size_t end = message.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = message.size();
        std::string line(message.substr(pos, end - pos));
        if (end < message.size() && message[end] == '\r' && end + 1 < message.size() && message[end + 1] == '\n')
            ++end;
        pos = end + 1;
        if (line == ".") break;
        if (line.starts_with("..")) line.erase(0, 1);
        lines.push_back(std::move(line));
    }
    return lines;
}

std::vector<std::string> splitDecoded(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find('\n', pos);
        if (end == std::string::npos) end = bytes.size();
        lines.push_back(text::stripLineEnd(std::string_view(bytes).substr(pos, end - pos)));
        pos = end + 1;
    }
    return lines;
}

std::vector<std::string> decodeBody(const std::vector<std::string>& lines, size_t from, size_t to,
                                    const std::string& encoding) {
    if (encoding == "quoted-printable") {
        std::string out;
        for (size_t i = from; i < to; ++i) mime::decodeQuotedPrintableLine(lines[i], out);
        return splitDecoded(out);
    }
    if (encoding == "base64") {
        std::string out;
        mime::Base64Decoder decoder;
        for (size_t i = from; i < to && decoder.status() == mime::Base64Decoder::Status::More; ++i) {
            std::string chunk(mime::Base64Decoder::maxOutput(lines[i].size()), '\0');
            size_t written = 0;
            const auto* in = lines[i].data();
            decoder.feed(in, lines[i].size(), reinterpret_cast<unsigned char*>(chunk.data()), written);
            out.append(chunk.data(), written);
        }
        return splitDecoded(out);
    }
    return std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(from),
                                    lines.begin() + static_cast<std::ptrdiff_t>(to));
}

// Reads a header block from lines[i]; i ends on the first body line.
std::vector<ReportField> readHeaderBlock(const std::vector<std::string>& lines, size_t& i, size_t end) {
    std::vector<ReportField> fields;
    while (i < end) {
        if (lines[i].empty()) {
            ++i;
            break;
        }
        const size_t at = i;
        ReportField f;
        if (readField(lines, i, f)) {
            fields.push_back(std::move(f));
        } else if (!text::isBlank(lines[at][0])) {
            // A line that is neither a field nor a continuation starts the body.
            i = at;
            break;
        }
    }
    return fields;
}

class Walker {
public:
    Walker(const std::vector<std::string>& lines, ReportParts& parts) : lines_(lines), parts_(parts) {}

    // The entity whose header starts at lines[from], ending before lines[to].
    void entity(size_t from, size_t to, int depth, std::vector<ReportField>* top) {
        if (depth > kMaxDepth || ++count_ > kMaxParts) return;
        size_t i = from;
        std::vector<ReportField> fields = readHeaderBlock(lines_, i, to);
        const std::string* ct = findField(fields, "Content-Type");
        const mime::ContentField type = mime::parseContentField(ct ? *ct : "text/plain");
        const std::string* cte = findField(fields, "Content-Transfer-Encoding");
        const std::string encoding = cte ? text::toLower(*cte) : std::string();
        if (top) {
            *top = fields;
            if (type.value == "multipart/report" &&
                text::equalsIgnoreCase(text::trim(type.param("report-type")), "delivery-status"))
                parts_.deliveryStatusReport = true;
        }

        if (type.value.starts_with("multipart/")) {
            multipart(type.param("boundary"), i, to, depth);
        } else if (type.value == "message/delivery-status" || type.value == "message/global-delivery-status") {
            parts_.deliveryStatus.push_back(decodeBody(lines_, i, to, encoding));
        } else if (type.value == "message/rfc822" || type.value == "text/rfc822-headers" ||
                   type.value == "message/global" || type.value == "message/global-headers") {
            if (parts_.quotedTo.empty()) {
                size_t j = i;
                const auto returned = readHeaderBlock(lines_, j, to);
                if (const std::string* v = findField(returned, "To")) parts_.quotedTo = addressesIn(*v);
            }
        } else if (type.value == "text/plain" && !notified_) {
            parts_.notification = decodeBody(lines_, i, to, encoding);
            notified_ = true;
        }
    }

private:
    void multipart(const std::string& boundary, size_t i, size_t to, int depth) {
        if (boundary.empty()) return;
        const std::string open = "--" + boundary;
        size_t partStart = 0;
        bool inPart = false;
        for (; i < to; ++i) {
            const std::string& line = lines_[i];
            if (!line.starts_with(open)) continue;
            const std::string_view rest = std::string_view(line).substr(open.size());
            const bool close = rest.starts_with("--");
            if (!close && !text::trimBlanks(rest).empty()) continue;
            if (inPart) entity(partStart, i, depth + 1, nullptr);
            if (close) return;
            inPart = true;
            partStart = i + 1;
        }
        if (inPart) entity(partStart, to, depth + 1, nullptr);
    }

    const std::vector<std::string>& lines_;
    ReportParts& parts_;
    size_t count_ = 0;
    bool notified_ = false;
};

}  // namespace

const std::string* findField(const std::vector<ReportField>& fields, std::string_view name) {
    for (const auto& f : fields)
        if (text::equalsIgnoreCase(f.name, name)) return &f.value;
    return nullptr;
}

bool readField(const std::vector<std::string>& lines, size_t& i, ReportField& field) {
    const std::string& first = lines[i++];
    const size_t colon = first.find(':');
    if (first.empty() || text::isBlank(first[0]) || colon == std::string::npos || colon == 0) return false;
    const std::string name(text::trimBlanks(std::string_view(first).substr(0, colon)));
    if (name.empty() || name.find_first_of(" \t") != std::string::npos) return false;
    std::string value(text::trimBlanks(std::string_view(first).substr(colon + 1)));
    while (i < lines.size() && !lines[i].empty() && text::isBlank(lines[i][0])) {
        if (value.size() < kMaxFieldLength) (value += ' ') += text::trimBlanks(lines[i]);
        ++i;
    }
    field.name = name;
    field.value = std::move(value);
    return true;
}

std::vector<ReportField> headerBlockAt(const std::vector<std::string>& lines, size_t from) {
    while (from < lines.size() && text::trimBlanks(lines[from]).empty()) ++from;
    return readHeaderBlock(lines, from, lines.size());
}

const std::string* ReportParts::header(std::string_view name) const { return findField(headers, name); }

ReportParts findReportParts(std::string_view message) {
    ReportParts parts;
    const std::vector<std::string> lines = spoolLines(message);
    Walker(lines, parts).entity(0, lines.size(), 0, &parts.headers);
    if (const std::string* failed = parts.header("X-Failed-Recipients"))
        parts.failedRecipientsHeader = addressesIn(*failed);
    return parts;
}

std::string plainAddress(std::string_view value) {
    std::string a(text::trimBlanks(value));
    if (const size_t open = a.find('<'); open != std::string::npos) {
        // The bracketed address alone: reports put words and punctuation around it.
        const size_t close = a.find('>', open);
        a = a.substr(open, close == std::string::npos ? std::string::npos : close - open + 1);
    } else {
        // A sentence's full stop or a list's comma is no part of the address.
        while (!a.empty() && std::strchr(".,;:", a.back())) a.pop_back();
    }
    const MailAddress address = parseMailbox(a);
    return address.ok() ? address.bareAddress : std::string();
}

std::vector<std::string> addressesIn(std::string_view value) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos <= value.size()) {
        size_t comma = value.find(',', pos);
        if (comma == std::string_view::npos) comma = value.size();
        std::string_view item = value.substr(pos, comma - pos);
        // A display name may hold anything; the address is in the brackets.
        if (const size_t open = item.rfind('<'); open != std::string_view::npos) item = item.substr(open);
        if (std::string a = plainAddress(item); !a.empty()) out.push_back(std::move(a));
        pos = comma + 1;
    }
    return out;
}

std::string enhancedStatus(std::string_view t) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] != '2' && t[i] != '4' && t[i] != '5') continue;
        if (i > 0 && (digit(t[i - 1]) || t[i - 1] == '.')) continue;
        size_t j = i + 1;
        if (j >= t.size() || t[j] != '.') continue;
        size_t k = ++j;
        while (k < t.size() && digit(t[k]) && k - j < 3) ++k;
        if (k == j || k >= t.size() || t[k] != '.') continue;
        size_t m = ++k;
        while (m < t.size() && digit(t[m]) && m - k < 3) ++m;
        if (m == k || (m < t.size() && (digit(t[m]) || t[m] == '.'))) continue;
        return std::string(t.substr(i, m - i));
    }
    return {};
}

std::string oneLine(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        const bool space = b < ' ' || b == 0x7F || c == ' ';
        if (space) {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += c;
        }
        if (out.size() >= kMaxReason) break;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

}  // namespace mime
