#include "ListHeaders.h"

#include <vector>

#include "AddressRules.h"
#include "text/TextRules.h"

namespace {

// Mail programs keep References short; the first id (the thread's start)
// and the latest ones are what threading needs.
constexpr size_t kMaxReferences = 20;
constexpr size_t kFoldWidth = 78;
// Header lines may not be longer; settings can be (2047 characters).
constexpr size_t kMaxLine = 998;
constexpr size_t kMaxLabel = 63;
constexpr size_t kMaxDomain = 189;

// Adds the line unless it is too long to send; false when it was left out.
bool addLine(std::string& lines, const std::string& line) {
    if (line.size() > kMaxLine) return false;
    lines += line + "\r\n";
    return true;
}

bool asciiAlnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// Letters and digits in small letters, every other run of bytes one '-'.
std::string label(std::string_view s) {
    std::string out;
    for (const char c : s) {
        if (asciiAlnum(c))
            out += text::lowerAscii(c);
        else if (!out.empty() && out.back() != '-')
            out += '-';
    }
    while (!out.empty() && out.back() == '-') out.pop_back();
    return out;
}

std::string listAddress(const MailList& list) { return ExtractAddress(list.fromAddress); }

// The domain of the From address as dot-separated labels, empty when there is none.
std::string fromDomain(const MailList& list) {
    const std::string address = listAddress(list);
    const size_t at = address.rfind('@');
    if (at == std::string::npos) return {};
    std::string domain;
    std::string_view rest = std::string_view(address).substr(at + 1);
    while (!rest.empty()) {
        const size_t dot = rest.find('.');
        const std::string part = label(rest.substr(0, dot));
        if (!part.empty()) domain += (domain.empty() ? "" : ".") + part;
        if (dot == std::string_view::npos) break;
        rest.remove_prefix(dot + 1);
    }
    return domain;
}

bool printable(std::string_view s) {
    for (const char c : s)
        if (c < ' ' || c > '~') return false;
    return true;
}

// Characters a mailto address or subject may carry as they are.
bool urlSafe(char c, bool inAddress) {
    if (asciiAlnum(c)) return true;
    const std::string_view keep = inAddress ? "-._~!$'*+=@" : "-._~";
    return keep.find(c) != std::string_view::npos;
}

std::string percentEncoded(std::string_view s, bool inAddress) {
    std::string out;
    for (const char c : s) {
        if (urlSafe(c, inAddress)) {
            out += c;
        } else {
            out += '%';
            text::appendHex(out, static_cast<unsigned char>(c));
        }
    }
    return out;
}

std::string mailto(const std::string& address, const std::string& subject) {
    std::string url = "<mailto:" + percentEncoded(address, true);
    if (!subject.empty()) url += "?subject=" + percentEncoded(subject, false);
    return url + ">";
}

// Text for a comment: the parentheses and backslash escaped, empty when the
// text is not plain printable ASCII.
std::string commentText(std::string_view s) {
    if (!printable(s)) return {};
    std::string out;
    for (const char c : s) {
        if (c == '(' || c == ')' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

std::string helpComment(const MailList& list) {
    std::string joins = commentText(list.subscribeCommand), leaves = commentText(list.unsubscribeCommand),
                posts = commentText(list.submitCommand);
    if (joins.empty()) return {};
    std::string c = " (subject " + joins + " joins";
    if (!leaves.empty()) c += ", " + leaves + " leaves";
    c += posts.empty() ? ", members post with any other subject" : ", " + posts + " posts";
    return c + ")";
}

// One header line of ids, folded before an id that would make it too long.
std::string idLine(const std::string& name, const std::vector<std::string>& ids) {
    if (ids.empty()) return {};
    std::string out = name + ":";
    size_t width = out.size();
    for (const std::string& id : ids) {
        if (width + 1 + id.size() > kFoldWidth && width > name.size() + 1) {
            out += "\r\n";
            width = 0;
        }
        out += " " + id;
        width += 1 + id.size();
    }
    return out + "\r\n";
}

// The thread so far plus `last`, trimmed to the first id and the latest ones.
std::vector<std::string> references(const IncomingMessage& m) {
    std::vector<std::string> refs = MessageIds(m.References);
    // A message without References continues the thread of the one it answers.
    if (refs.empty()) refs = MessageIds(m.InReplyTo);
    for (const std::string& id : MessageIds(m.MessageId)) refs.push_back(id);
    if (refs.size() > kMaxReferences) refs.erase(refs.begin() + 1, refs.end() - (kMaxReferences - 1));
    return refs;
}

}  // namespace

void TakeThread(const MailHeaders& headers, IncomingMessage& message) {
    if (const std::string* v = headers.find("Message-ID")) message.MessageId = *v;
    if (const std::string* v = headers.find("In-Reply-To")) message.InReplyTo = *v;
    if (const std::string* v = headers.find("References")) message.References = *v;
}

std::string ListIdentity(const MailList& list) {
    std::string name = label(list.name);
    if (name.empty()) {
        const std::string address = listAddress(list);
        name = label(std::string_view(address).substr(0, address.find('@')));
    }
    if (name.empty()) name = "list";
    if (name.size() > kMaxLabel) name.resize(kMaxLabel);
    while (name.ends_with('-')) name.pop_back();
    std::string domain = fromDomain(list);
    // The whole id stays within the 255 characters it may have.
    while (domain.size() > kMaxDomain) {
        const size_t dot = domain.find('.');
        domain = dot == std::string::npos ? std::string() : domain.substr(dot + 1);
    }
    if (domain.empty()) domain = "localhost";
    return "<" + name + "." + domain + ">";
}

std::string ListHeaderLines(const MailList& list) {
    std::string lines;
    std::string phrase;
    const std::string name = text::trim(list.name);
    if (!name.empty() && printable(name)) {
        phrase = "\"";
        for (const char c : name) {
            if (c == '"' || c == '\\') phrase += '\\';
            phrase += c;
        }
        phrase += "\" ";
    }
    const std::string id = ListIdentity(list);
    if (!addLine(lines, "List-Id: " + phrase + id)) addLine(lines, "List-Id: " + id);

    const std::string address = listAddress(list);
    if (fromDomain(list).empty()) return lines;
    if (!list.unsubscribeCommand.empty())
        addLine(lines, "List-Unsubscribe: " + mailto(address, list.unsubscribeCommand));
    if (!list.subscribeCommand.empty()) addLine(lines, "List-Subscribe: " + mailto(address, list.subscribeCommand));
    addLine(lines, "List-Post: " + mailto(address, list.submitCommand) +
                       (list.adminSubmit ? " (Postings are moderated)" : ""));
    if (!list.subscribeCommand.empty()) {
        const std::string help = "List-Help: " + mailto(address, list.subscribeCommand);
        if (!addLine(lines, help + helpComment(list))) addLine(lines, help);
    }
    return lines;
}

std::string DistributionHeaders(const MailList& list, const IncomingMessage& post) {
    return ListHeaderLines(list) + "Precedence: list\r\n" + idLine("In-Reply-To", MessageIds(post.InReplyTo)) +
           idLine("References", references(post));
}

std::string ReplyHeaders(const MailList& list, const IncomingMessage& request) {
    return ListHeaderLines(list) + "Auto-Submitted: auto-replied\r\n" +
           idLine("In-Reply-To", MessageIds(request.MessageId)) + idLine("References", references(request));
}
