#include "MessageComposer.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "text/TextRules.h"

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

BodyForm chooseBodyForm(std::string_view body) {
    BodyForm form;
    bool eightBit = false;
    bool longLine = false;
    size_t lineStart = 0;
    for (size_t i = 0; i < body.size(); ++i) {
        if (static_cast<unsigned char>(body[i]) >= 0x80) eightBit = true;
        if (body[i] == '\n') lineStart = i + 1;
        // 998 bytes before the CR LF that ends the line.
        else if (i - lineStart >= 998 && body[i] != '\r') longLine = true;
    }
    if (eightBit) form.charset = "utf-8";
    if (eightBit || longLine) form.encoding = "quoted-printable";
    return form;
}

std::string newMessageId(std::string_view from) {
    static std::atomic<uint64_t> counter{0};
    static const uint64_t seed = [] {
        std::random_device rd;
        return (static_cast<uint64_t>(rd()) << 32) ^ rd();
    }();
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto ns = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
    std::string domain;
    const size_t at = from.rfind('@');
    if (at != std::string_view::npos) domain = headerValue(from.substr(at + 1));
    // Only what a message id may carry.
    std::erase_if(domain, [](char c) { return c <= ' ' || c >= 0x7F || c == '<' || c == '>' || c == '@'; });
    if (domain.empty()) domain = "ringpost.invalid";
    char local[80];
    std::snprintf(local, sizeof local, "%llx.%llx.%llx", static_cast<unsigned long long>(ns),
                  static_cast<unsigned long long>(seed), static_cast<unsigned long long>(++counter));
    return "<" + std::string(local) + ".ringpost@" + domain + ">";
}

std::string foldHeaderLine(std::string line) {
    constexpr size_t kMax = 998;
    std::string out;
    std::string_view rest(line);
    while (rest.size() > kMax) {
        // The last blank that leaves a piece of at most kMax bytes; the blank
        // begins the continuation line.
        size_t cut = rest.find_last_of(" \t", kMax);
        if (cut == std::string_view::npos || cut == 0) cut = rest.find_first_of(" \t", 1);
        if (cut == std::string_view::npos) break;  // no blank at all: nothing to fold at
        out.append(rest.substr(0, cut));
        out += "\r\n";
        rest.remove_prefix(cut);
    }
    out.append(rest);
    return out;
}

std::string encodedHeaderValue(std::string_view value) {
    bool ascii = true;
    for (char c : value)
        if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
    if (ascii) return std::string(value);
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    while (i < value.size()) {
        // At most 45 bytes per word (60 base64 characters), never cutting a
        // UTF-8 sequence.
        size_t n = std::min<size_t>(45, value.size() - i);
        while (n > 1 && i + n < value.size() && (static_cast<unsigned char>(value[i + n]) & 0xC0) == 0x80) --n;
        const std::string_view chunk = value.substr(i, n);
        if (!out.empty()) out += "\r\n ";
        out += "=?UTF-8?B?";
        for (size_t k = 0; k < chunk.size(); k += 3) {
            const uint32_t b0 = static_cast<unsigned char>(chunk[k]);
            const uint32_t b1 = k + 1 < chunk.size() ? static_cast<unsigned char>(chunk[k + 1]) : 0;
            const uint32_t b2 = k + 2 < chunk.size() ? static_cast<unsigned char>(chunk[k + 2]) : 0;
            const uint32_t v = (b0 << 16) | (b1 << 8) | b2;
            out += kAlphabet[(v >> 18) & 63];
            out += kAlphabet[(v >> 12) & 63];
            out += k + 1 < chunk.size() ? kAlphabet[(v >> 6) & 63] : '=';
            out += k + 2 < chunk.size() ? kAlphabet[v & 63] : '=';
        }
        out += "?=";
        i += n;
    }
    return out;
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
    h += foldHeaderLine("Subject: " + encodedHeaderValue(headerValue(f.subject)));
    h += "\r\n";
    if (f.replyTo) {
        h += foldHeaderLine("Reply-To: " + headerValue(f.replyTo));
        h += "\r\n";
    }
    h += "From: <";
    h += headerValue(f.from);
    h += ">\r\n";
    std::string to = toLine(f.recipients);
    to.resize(to.size() - 2);
    h += foldHeaderLine(std::move(to));
    h += "\r\n";
    h += "Date: ";
    h += dateText(f.date);
    h += "\r\n";
    if (!f.messageId.empty()) {
        h += "Message-ID: ";
        h += f.messageId;
        h += "\r\n";
    }
    h += kMailerLine;
    h += f.extraHeaders;
    h += "MIME-Version: 1.0\r\n";
    if (f.multipart) {
        h += "Content-Type: multipart/mixed; boundary=\"";
        h += kBoundary;
        h += "\"\r\n\r\n--";
        h += kBoundary;
        h += "\r\nContent-Type: text/plain; charset=";
        h += f.body.charset;
        h += "\r\nContent-Disposition: inline\r\nContent-Transfer-Encoding: ";
        h += f.body.encoding;
        h += "\r\n";
    } else {
        h += "Content-Type: text/plain; charset=";
        h += f.body.charset;
        h += "\r\nContent-Transfer-Encoding: ";
        h += f.body.encoding;
        h += "\r\n";
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

std::string normalizeLineEnds(std::string_view body) {
    std::string out;
    out.reserve(body.size() + body.size() / 64 + 2);
    for (size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < body.size() && body[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string encodeQuotedPrintable(std::string_view body) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    constexpr size_t kMaxLine = 76;
    std::string out;
    out.reserve(body.size() + body.size() / 4);
    size_t pos = 0;
    while (pos <= body.size()) {
        size_t end = body.find("\r\n", pos);
        const bool last = end == std::string_view::npos;
        if (last) end = body.size();
        const std::string_view line = body.substr(pos, end - pos);
        size_t width = 0;
        for (size_t i = 0; i < line.size(); ++i) {
            const auto c = static_cast<unsigned char>(line[i]);
            const bool atEnd = i + 1 == line.size();
            const bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !atEnd);
            const size_t need = literal ? 1 : 3;
            // Room for the soft break's "=" unless this is the line's last byte.
            if (width + need > (atEnd ? kMaxLine : kMaxLine - 1)) {
                out += "=\r\n";
                width = 0;
            }
            if (literal) {
                out += static_cast<char>(c);
            } else {
                out += '=';
                out += kHex[c >> 4];
                out += kHex[c & 15];
            }
            width += need;
        }
        if (last) break;
        out += "\r\n";
        pos = end + 2;
    }
    return out;
}

namespace {

std::string dotStuffed(std::string_view body) {
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

}  // namespace

std::string prepareBody(std::string_view body, BodyForm* form) {
    std::string text = normalizeLineEnds(body);
    std::string_view trimmed(text);
    for (;;) {
        if (trimmed.ends_with("\n.") || trimmed.ends_with("\r.") || trimmed.ends_with('\r') ||
            trimmed.ends_with('\n'))
            trimmed.remove_suffix(1);
        else
            break;
    }
    const BodyForm chosen = chooseBodyForm(trimmed);
    if (form) *form = chosen;
    if (chosen.encoding == "quoted-printable") return dotStuffed(encodeQuotedPrintable(trimmed));
    return dotStuffed(trimmed);
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
    // A UTF-8 name goes as encoded words and as an RFC 2231 filename, which
    // between them every client reads.
    const std::string shown = encodedHeaderValue(name);
    std::string filename = "filename=\"" + std::string(name) + "\"";
    if (shown != name) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        filename = "filename*=UTF-8''";
        for (char ch : name) {
            const auto c = static_cast<unsigned char>(ch);
            if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                c == '-' || c == '_') {
                filename += static_cast<char>(c);
            } else {
                filename += '%';
                filename += kHex[c >> 4];
                filename += kHex[c & 15];
            }
        }
    }
    std::string h = "\r\n--";
    h += kBoundary;
    h += "\r\nContent-Type: application/octet-stream; name=\"";
    h += shown;
    h += "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Description: ";
    h += shown;
    h += "\r\nContent-Disposition: attachment; ";
    h += filename;
    h += "\r\n\r\n";
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
