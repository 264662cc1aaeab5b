#include "MessageComposer.h"

#include <cstdio>
#include <cstdlib>

#include "transport/TextRules.h"

namespace smtp {

namespace {
constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
}  // namespace

std::vector<std::string> splitRecipients(std::string_view to) {
    std::vector<std::string> out;
    size_t pos = 0;
    for (;;) {
        const size_t comma = to.find(',', pos);
        out.emplace_back(to.substr(pos, comma == std::string_view::npos ? std::string_view::npos : comma - pos));
        if (comma == std::string_view::npos) return out;
        pos = comma + 1;
    }
}

std::string headerValue(std::string_view value) {
    std::string s(value);
    for (char& c : s)
        if (c == '\r' || c == '\n') c = ' ';
    return s;
}

std::string dateText(const platform::LocalTime& t) {
    const int off = t.utcOffsetMinutes;
    const int absOff = std::abs(off);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %d %s %04d %02d:%02d:%02d %c%02d%02d", kDays[((t.weekday % 7) + 7) % 7],
                  t.day, kMonths[((t.month - 1) % 12 + 12) % 12], t.year, t.hour, t.minute, t.second,
                  off < 0 ? '-' : '+', absOff / 60, absOff % 60);
    return buf;
}

std::string toLine(const std::vector<std::string>& recipients) {
    std::string line = "To: ";
    for (size_t i = 0; i < recipients.size(); ++i) {
        if (i) line += ',';
        line += '<';
        line += recipients[i];
        line += '>';
    }
    line += "\r\n";
    return line;
}

std::string composeHeader(const MessageFields& f) {
    std::string h;
    h.reserve(512);
    h += "Subject: ";
    h += headerValue(f.subject);
    h += "\r\n";
    if (f.replyTo) {
        h += "Reply-To: ";
        h += headerValue(f.replyTo);
        h += "\r\n";
    }
    h += "From: <";
    h += headerValue(f.from);
    h += ">\r\n";
    h += toLine(f.recipients);
    h += "Date: ";
    h += dateText(f.date);
    h += "\r\n";
    h += kMailerLine;
    h += f.extraHeaders;
    h += "MIME-Version: 1.0\r\n";
    if (f.multipart) {
        h += "Content-Type: multipart/mixed; boundary=\"";
        h += kBoundary;
        h += "\"\r\n\r\n--";
        h += kBoundary;
        h += "\r\nContent-Type: text/plain; charset=us-ascii\r\nContent-Disposition: inline\r\n";
    } else {
        h += "Content-Type: text/plain; charset=us-ascii\r\nContent-Transfer-Encoding: 7bit\r\n";
    }
    h += "\r\n";
    return h;
}

namespace {
constexpr size_t kMaxHeaderLine = 998;
constexpr std::string_view kOwnHeaders[] = {"Subject", "Reply-To", "From", "To", "Date", "X-Mailer",
                                             "MIME-Version", "Content-Type", "Content-Transfer-Encoding",
                                             "Content-Disposition", "Message-ID"};

bool fieldNameChar(char c) { return c > ' ' && c < 0x7F && c != ':'; }
}  // namespace

bool checkExtraHeaders(std::string_view headers, std::string& lines) {
    lines.clear();
    bool first = true;
    size_t pos = 0;
    while (pos < headers.size()) {
        size_t end = headers.find("\r\n", pos);
        if (end == std::string_view::npos) end = headers.size();
        const std::string_view line = headers.substr(pos, end - pos);
        pos = end + 2;
        if (line.empty()) continue;
        if (line.size() > kMaxHeaderLine) return false;
        for (const char c : line)
            if ((static_cast<unsigned char>(c) < ' ' && c != '\t') || c == 0x7F) return false;
        if (line[0] == ' ' || line[0] == '\t') {
            // A continuation needs a header to continue and some text of its own.
            if (first || line.find_first_not_of(" \t") == std::string_view::npos) return false;
        } else {
            const size_t colon = line.find(':');
            if (colon == 0 || colon == std::string_view::npos) return false;
            const std::string_view name = line.substr(0, colon);
            for (const char c : name)
                if (!fieldNameChar(c)) return false;
            for (const std::string_view own : kOwnHeaders)
                if (text::equalsIgnoreCase(name, own)) return false;
        }
        first = false;
        lines += line;
        lines += "\r\n";
    }
    return true;
}

std::string prepareBody(std::string_view body) {
    for (;;) {
        if (body.ends_with("\n.") || body.ends_with("\r.") || body.ends_with('\r') || body.ends_with('\n'))
            body.remove_suffix(1);
        else
            break;
    }
    std::string out;
    out.reserve(body.size() + body.size() / 64 + 1);
    // Copy whole runs up to each line start that carries a dot.
    size_t pos = 0;
    if (body.starts_with('.')) out += '.';
    for (;;) {
        const size_t dot = body.find("\n.", pos);
        if (dot == std::string_view::npos) break;
        out.append(body.data() + pos, dot + 1 - pos);
        out += '.';
        pos = dot + 1;
    }
    out.append(body.data() + pos, body.size() - pos);
    return out;
}

std::vector<std::string> splitAttachmentPaths(std::string_view attachments) {
    std::vector<std::string> out;
    size_t pos = 0;
    for (;;) {
        const size_t bar = attachments.find('|', pos);
        std::string path = text::trim(attachments.substr(pos, bar == std::string_view::npos ? std::string_view::npos
                                                                                             : bar - pos));
        if (!path.empty()) out.push_back(std::move(path));
        if (bar == std::string_view::npos) return out;
        pos = bar + 1;
    }
}

std::string attachmentName(std::string_view path) {
    const size_t cut = path.find_last_of("/\\:");
    std::string name = headerValue(cut == std::string_view::npos ? path : path.substr(cut + 1));
    return name.empty() ? std::string("attachment") : name;
}

std::string attachmentPartHeader(std::string_view name) {
    std::string h = "\r\n--";
    h += kBoundary;
    h += "\r\nContent-Type: application/octet-stream; name=\"";
    h += name;
    h += "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Description: ";
    h += name;
    h += "\r\nContent-Disposition: attachment; filename=\"";
    h += name;
    h += "\"\r\n\r\n";
    return h;
}

std::string closingText(bool multipart) {
    std::string s;
    if (multipart) {
        s += "\r\n--";
        s += kBoundary;
        s += "--";
    }
    s += "\r\n.\r\n";
    return s;
}

}  // namespace smtp
