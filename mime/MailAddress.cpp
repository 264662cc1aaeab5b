#include "MailAddress.h"

#include <arpa/inet.h>

#include <optional>
#include <vector>

#include "mime/TextToUtf8.h"
#include "text/TextRules.h"

namespace mime {

namespace {

constexpr size_t kMaxLocalPart = 64;
constexpr size_t kMaxAddress = 254;
constexpr size_t kMaxLabel = 63;

// atext, with the 8-bit bytes of UTF-8 display names (RFC 6532).
bool isAtext(char ch) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    return std::string_view("!#$%&'*+-/=?^_`{|}~").find(ch) != std::string_view::npos;
}

bool isSpecial(char c) { return std::string_view("<>@,;:.").find(c) != std::string_view::npos; }

bool isDotString(std::string_view s) {
    if (s.empty() || s.front() == '.' || s.back() == '.') return false;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '.') {
            if (s[i + 1] == '.') return false;
        } else if (!isAtext(s[i]) || static_cast<unsigned char>(s[i]) >= 0x80) {
            return false;
        }
    }
    return true;
}

bool isLetDig(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// Labels of letters, digits and inner hyphens, 1 to 63 each.
bool isHostName(std::string_view d) {
    size_t start = 0;
    for (;;) {
        const size_t dot = d.find('.', start);
        const std::string_view label = d.substr(start, dot == std::string_view::npos ? d.npos : dot - start);
        if (label.empty() || label.size() > kMaxLabel || !isLetDig(label.front()) || !isLetDig(label.back()))
            return false;
        for (const char c : label)
            if (!isLetDig(c) && c != '-') return false;
        if (dot == std::string_view::npos) return true;
        start = dot + 1;
    }
}

bool isAddressLiteral(const std::string& content) {
    unsigned char buf[16];
    if (text::startsWithIgnoreCase(content, "IPv6:")) return ::inet_pton(AF_INET6, content.c_str() + 5, buf) == 1;
    return ::inet_pton(AF_INET, content.c_str(), buf) == 1;
}

enum class Kind { End, Word, Literal, Special };

struct Token {
    Kind kind = Kind::End;
    char special = 0;
    bool quoted = false;  // a Word written as a quoted string
    std::string text;     // a Word's or a Literal's content, quoting undone
};

// One pass over the text with one token of lookahead and no recursion
// beyond a group's members, so no input can run it deep or long.
class Reader {
public:
    explicit Reader(std::string_view in) : in_(in) {}

    MailAddress read() {
        MailAddress result;
        if (in_.find('\0') != std::string_view::npos) return fail(AddressFault::NulByte);
        while (ok()) {
            if (atEnd()) break;
            if (takeIf(',')) continue;  // empty members are allowed (obsolete lists)
            element(false);
            if (!ok() || atEnd()) break;
            if (!takeIf(',')) fault_ = AddressFault::Syntax;
        }
        if (!ok()) return fail(fault_);
        if (count_ == 0) return fail(AddressFault::NoAddress);
        if (count_ > 1) return fail(AddressFault::Several);
        return checked();
    }

private:
    static MailAddress fail(AddressFault f) { return {{}, f}; }
    bool ok() const { return fault_ == AddressFault::None; }

    // A CR LF that folds: followed by a blank.
    bool folds(size_t p) const {
        return p + 2 < in_.size() && in_[p] == '\r' && in_[p + 1] == '\n' && text::isBlank(in_[p + 2]);
    }

    // A line break that is no folding is no part of any header value.
    bool lineBreak(size_t& p) {
        if (folds(p)) {
            p += 2;
            return true;
        }
        fault_ = AddressFault::Syntax;
        return false;
    }

    bool skipComment() {
        int depth = 0;
        do {
            if (pos_ >= in_.size()) {
                fault_ = AddressFault::Unclosed;
                return false;
            }
            const char c = in_[pos_];
            if (c == '\\') {
                pos_ += 2;  // past the end: reported as unclosed above
                continue;
            }
            if (c == '\r' || c == '\n') {
                if (!lineBreak(pos_)) return false;
                continue;
            }
            if (c == '(') ++depth;
            if (c == ')') --depth;
            ++pos_;
        } while (depth > 0);
        return true;
    }

    bool skipCfws() {
        while (pos_ < in_.size()) {
            const char c = in_[pos_];
            if (text::isBlank(c)) {
                ++pos_;
            } else if (c == '\r' || c == '\n') {
                if (!lineBreak(pos_)) return false;
            } else if (c == '(') {
                if (!skipComment()) return false;
            } else {
                break;
            }
        }
        return true;
    }

    // Up to the closing `close`: quoted pairs undone, folding removed, and
    // blanks kept or not.
    bool enclosed(char close, bool keepBlanks, std::string& text) {
        ++pos_;
        for (;;) {
            if (pos_ >= in_.size()) {
                fault_ = AddressFault::Unclosed;
                return false;
            }
            const char c = in_[pos_];
            if (c == close) {
                ++pos_;
                return true;
            }
            if (c == '\\') {
                if (pos_ + 1 >= in_.size()) {
                    fault_ = AddressFault::Unclosed;
                    return false;
                }
                text += in_[pos_ + 1];
                pos_ += 2;
            } else if (c == '\r' || c == '\n') {
                if (!lineBreak(pos_)) return false;
            } else if (close == ']' && c == '[') {
                fault_ = AddressFault::Syntax;
                return false;
            } else {
                if (keepBlanks || !text::isBlank(c)) text += c;
                ++pos_;
            }
        }
    }

    Token lex() {
        Token t;
        if (!skipCfws() || pos_ >= in_.size()) return t;
        const char c = in_[pos_];
        if (c == '"') {
            t.kind = Kind::Word;
            t.quoted = true;
            if (!enclosed('"', true, t.text)) t.kind = Kind::End;
        } else if (c == '[') {
            t.kind = Kind::Literal;
            if (!enclosed(']', false, t.text)) t.kind = Kind::End;
        } else if (isSpecial(c)) {
            t.kind = Kind::Special;
            t.special = c;
            ++pos_;
        } else if (isAtext(c)) {
            t.kind = Kind::Word;
            const size_t start = pos_;
            while (pos_ < in_.size() && isAtext(in_[pos_])) ++pos_;
            t.text = std::string(in_.substr(start, pos_ - start));
        } else {
            fault_ = AddressFault::Syntax;  // a control byte, or ')' ']' '\' out of place
        }
        return t;
    }

    const Token& peek() {
        if (!ahead_) ahead_ = lex();
        return *ahead_;
    }
    Token take() {
        peek();
        Token t = std::move(*ahead_);
        ahead_.reset();
        return t;
    }
    bool atEnd() { return peek().kind == Kind::End; }
    bool nextIs(char special) { return peek().kind == Kind::Special && peek().special == special; }
    bool takeIf(char special) {
        if (!nextIs(special)) return false;
        take();
        return true;
    }

    // Words and dots: a display name, or a local part when an '@' follows.
    std::vector<Token> words() {
        std::vector<Token> items;
        while (ok() && (peek().kind == Kind::Word || nextIs('.'))) items.push_back(take());
        return items;
    }
    static bool isPhrase(const std::vector<Token>& items) { return !items.empty() && items[0].kind == Kind::Word; }
    // word *("." word), the obsolete form included; its value has the dots.
    static bool localPart(const std::vector<Token>& items, std::string& value) {
        if (items.size() % 2 == 0) return false;
        for (size_t i = 0; i < items.size(); ++i) {
            const bool wantWord = i % 2 == 0;
            if ((items[i].kind == Kind::Word) != wantWord) return false;
            value += wantWord ? items[i].text : ".";
        }
        return true;
    }

    // atom *("." atom), or a literal; `value` as written, a literal without brackets.
    void domain(std::string& value, bool& literal) {
        literal = peek().kind == Kind::Literal;
        if (literal) {
            value = take().text;
            return;
        }
        for (;;) {
            if (peek().kind != Kind::Word || peek().quoted) {
                if (ok()) fault_ = AddressFault::Syntax;
                return;
            }
            value += take().text;
            if (!takeIf('.')) return;
            value += '.';
        }
    }

    void bareAddress(const std::vector<Token>& local) {
        std::string value, domainValue;
        bool literal = false;
        if (local.empty()) {
            fault_ = AddressFault::NoLocalPart;
            return;
        }
        if (!localPart(local, value)) {
            fault_ = AddressFault::Syntax;
            return;
        }
        domain(domainValue, literal);
        if (!ok()) return;
        if (++count_ == 1) local_ = std::move(value), domain_ = std::move(domainValue), literal_ = literal;
    }

    // A source route before the address: read and dropped, as SMTP does.
    void route() {
        std::string ignored;
        bool literal = false;
        while (takeIf(',')) {
        }
        if (!takeIf('@')) {
            fault_ = AddressFault::Syntax;
            return;
        }
        domain(ignored, literal);
        while (ok() && takeIf(',')) {
            if (takeIf('@')) domain(ignored, literal);
        }
        if (ok() && !takeIf(':')) fault_ = AddressFault::Syntax;
    }

    void closeWith(char close) {
        if (!ok() || takeIf(close)) return;
        if (ok()) fault_ = atEnd() ? AddressFault::Unclosed : AddressFault::Syntax;
    }

    void angleAddress() {
        if (takeIf('>')) {
            fault_ = AddressFault::NoAddress;
            return;
        }
        if (nextIs('@') || nextIs(',')) route();
        if (!ok()) return;
        const std::vector<Token> local = words();
        if (!ok()) return;
        if (!takeIf('@')) {
            if (ok()) fault_ = atEnd() ? AddressFault::Unclosed : AddressFault::Syntax;
            return;
        }
        bareAddress(local);
        closeWith('>');
    }

    void group() {
        while (ok()) {
            if (takeIf(';')) return;
            if (takeIf(',')) continue;
            if (atEnd()) break;
            element(true);
            if (!ok()) return;
            if (takeIf(';')) return;
            if (!takeIf(',')) break;
        }
        if (ok()) fault_ = AddressFault::Syntax;
    }

    void element(bool inGroup) {
        const std::vector<Token> items = words();
        if (!ok()) return;
        if (takeIf('<')) {
            if (!items.empty() && !isPhrase(items)) fault_ = AddressFault::Syntax;
            if (ok()) angleAddress();
        } else if (takeIf('@')) {
            bareAddress(items);
        } else if (!inGroup && isPhrase(items) && takeIf(':')) {
            group();
        } else if (ok()) {
            fault_ = AddressFault::Syntax;
        }
    }

    MailAddress checked() const {
        if (local_.empty()) return fail(AddressFault::NoLocalPart);
        if (!isAscii(local_) || (!literal_ && !isAscii(domain_))) return fail(AddressFault::NotAscii);
        if (!isDotString(local_)) return fail(AddressFault::NeedsQuotes);
        if (local_.size() > kMaxLocalPart) return fail(AddressFault::LocalPartTooLong);
        if (literal_ ? !isAddressLiteral(domain_) : !isHostName(domain_)) return fail(AddressFault::BadDomain);
        MailAddress result;
        result.bareAddress = local_ + "@" + (literal_ ? "[" + domain_ + "]" : domain_);
        if (result.bareAddress.size() > kMaxAddress) return fail(AddressFault::TooLong);
        return result;
    }

    std::string_view in_;
    size_t pos_ = 0;
    AddressFault fault_ = AddressFault::None;
    std::optional<Token> ahead_;
    int count_ = 0;
    std::string local_, domain_;
    bool literal_ = false;
};

}  // namespace

const char* describe(AddressFault fault) {
    switch (fault) {
        case AddressFault::None: return "valid";
        case AddressFault::NoAddress: return "it names no address";
        case AddressFault::Several: return "it names more than one address";
        case AddressFault::Syntax: return "it is not written as an address";
        case AddressFault::Unclosed: return "a quote, comment or bracket is left open";
        case AddressFault::NulByte: return "it holds a NUL byte";
        case AddressFault::NoLocalPart: return "nothing stands before the @";
        case AddressFault::NeedsQuotes: return "its local part would need quotes";
        case AddressFault::LocalPartTooLong: return "its local part is longer than 64 bytes";
        case AddressFault::TooLong: return "it is longer than 254 bytes";
        case AddressFault::BadDomain: return "its domain is no host name or address literal";
        case AddressFault::NotAscii: return "it holds bytes beyond ASCII";
    }
    return "unknown fault";
}

MailAddress parseMailbox(std::string_view text) { return Reader(text).read(); }

bool isBareAddress(std::string_view text) {
    const MailAddress a = parseMailbox(text);
    return a.ok() && a.bareAddress == text;
}

}  // namespace mime
