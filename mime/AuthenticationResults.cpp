#include "AuthenticationResults.h"

#include "text/TextRules.h"

namespace mime {

namespace {

bool isSpaceOrBreak(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// RFC 2045 token characters: what an authserv-id or a value is made of.
bool isTokenChar(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b > ' ' && b < 0x7F && std::string_view("()<>@,;:\\\"/[]?=").find(c) == std::string_view::npos;
}

// Method, result, property type and name: letters, digits, '-' and '_'
// (Fastmail writes "policy.is_org").
bool isKeywordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

// One pass over the value, no recursion (comments nest by a counter), so no
// value can run it deep or long.
class Reader {
public:
    explicit Reader(std::string_view in) : in_(in) {}

    // authserv-id [CFWS version]
    bool authservId(std::string& id) {
        if (!skipCfws()) return false;
        if (!value(id) || id.empty()) return false;
        if (!skipCfws()) return false;
        if (pos_ < in_.size() && in_[pos_] >= '0' && in_[pos_] <= '9') {
            while (pos_ < in_.size() && in_[pos_] >= '0' && in_[pos_] <= '9') ++pos_;
            if (!skipCfws()) return false;
        }
        return atEnd() || in_[pos_] == ';';
    }

    // *( ";" resinfo ), or "; none"
    bool results(std::vector<AuthResult>& out) {
        while (!atEnd()) {
            if (in_[pos_] != ';') return false;
            ++pos_;
            if (!skipCfws()) return false;
            if (atEnd()) return true;  // a trailing ';'
            AuthResult r;
            if (!keyword(r.method)) return false;
            if (!skipCfws()) return false;
            if (out.empty() && atEnd() && text::equalsIgnoreCase(r.method, "none")) return true;
            if (!resinfo(r)) return false;
            out.push_back(std::move(r));
        }
        return true;
    }

private:
    bool atEnd() const { return pos_ >= in_.size(); }
    bool take(char c) {
        if (atEnd() || in_[pos_] != c) return false;
        ++pos_;
        return true;
    }

    // Blanks, line breaks and comments; false for a comment left open.
    bool skipCfws() {
        for (;;) {
            while (!atEnd() && isSpaceOrBreak(in_[pos_])) ++pos_;
            if (atEnd() || in_[pos_] != '(') return true;
            size_t depth = 0;
            do {
                if (atEnd()) return false;
                const char c = in_[pos_++];
                if (c == '\\') {
                    if (atEnd()) return false;
                    ++pos_;
                } else if (c == '(') {
                    ++depth;
                } else if (c == ')') {
                    --depth;
                }
            } while (depth > 0);
        }
    }

    bool quotedString(std::string& out) {
        ++pos_;  // the opening quote
        while (!atEnd()) {
            const char c = in_[pos_++];
            if (c == '"') return true;
            if (c == '\\') {
                if (atEnd()) return false;
                out += in_[pos_++];
            } else {
                out += c;
            }
        }
        return false;
    }

    // token / quoted-string
    bool value(std::string& out) {
        if (!atEnd() && in_[pos_] == '"') return quotedString(out);
        const size_t start = pos_;
        while (!atEnd() && isTokenChar(in_[pos_])) ++pos_;
        out.assign(in_.substr(start, pos_ - start));
        return pos_ > start;
    }

    bool keyword(std::string& out) {
        const size_t start = pos_;
        while (!atEnd() && isKeywordChar(in_[pos_])) ++pos_;
        out = text::toLower(in_.substr(start, pos_ - start));
        return pos_ > start;
    }

    // value / [[local-part] "@"] domain-name: quoted strings and runs of
    // anything but blanks, comments, quotes and ';', joined.
    bool propertyValue(std::string& out) {
        bool any = false;
        while (!atEnd()) {
            const char c = in_[pos_];
            if (c == '"') {
                if (!quotedString(out)) return false;
            } else if (isSpaceOrBreak(c) || c == '(' || c == ')' || c == ';' || c == '\\') {
                break;
            } else {
                out += c;
                ++pos_;
            }
            any = true;
        }
        return any;
    }

    // method [CFWS] ["/" version] "=" result, then properties; the method
    // is read already.
    bool resinfo(AuthResult& r) {
        if (take('/')) {
            if (!skipCfws()) return false;
            const size_t start = pos_;
            while (!atEnd() && in_[pos_] >= '0' && in_[pos_] <= '9') ++pos_;
            if (pos_ == start || !skipCfws()) return false;
        }
        if (!take('=') || !skipCfws() || !keyword(r.result)) return false;
        for (;;) {
            if (!skipCfws()) return false;
            if (atEnd() || in_[pos_] == ';') return true;
            AuthProperty p;
            if (!keyword(p.property) || !skipCfws()) return false;
            if (take('.')) {
                p.type = std::move(p.property);
                if (!skipCfws() || !keyword(p.property) || !skipCfws()) return false;
            }
            if (!take('=') || !skipCfws() || !propertyValue(p.value)) return false;
            r.properties.push_back(std::move(p));
        }
    }

    std::string_view in_;
    size_t pos_ = 0;
};

// The domain of "local@domain", "@domain" or "domain".
std::string_view domainOf(std::string_view v) {
    const size_t at = v.rfind('@');
    return at == std::string_view::npos ? v : v.substr(at + 1);
}

// `parent` is `domain` or one of its parents with at least two labels, so
// no signature for a top-level domain alone covers everything below it.
bool isDomainOrParent(std::string_view parent, std::string_view domain) {
    if (parent.empty()) return false;
    if (text::equalsIgnoreCase(parent, domain)) return true;
    return parent.find('.') != std::string_view::npos && domain.size() > parent.size() &&
           domain[domain.size() - parent.size() - 1] == '.' && text::endsWithIgnoreCase(domain, parent);
}

}  // namespace

const std::string* AuthResult::find(std::string_view type, std::string_view property) const {
    for (const AuthProperty& p : properties)
        if (text::equalsIgnoreCase(p.type, type) && text::equalsIgnoreCase(p.property, property)) return &p.value;
    return nullptr;
}

bool parseAuthenticationResults(std::string_view value, AuthenticationResults& out) {
    out = {};
    Reader reader(value);
    return reader.authservId(out.authservId) && reader.results(out.results);
}

bool isTrustedAuthServId(std::string_view trusted, std::string_view authservId) {
    if (authservId.empty()) return false;
    size_t pos = 0;
    while (pos < trusted.size()) {
        const size_t end = trusted.find_first_of(", \t", pos);
        const std::string_view entry = trusted.substr(pos, end == std::string_view::npos ? end : end - pos);
        pos = end == std::string_view::npos ? trusted.size() : end + 1;
        if (entry.empty()) continue;
        if (entry.starts_with("*.")) {
            const std::string_view suffix = entry.substr(1);  // ".example.net"
            if (suffix.size() > 1 && authservId.size() > suffix.size() && text::endsWithIgnoreCase(authservId, suffix))
                return true;
        } else if (text::equalsIgnoreCase(entry, authservId)) {
            return true;
        }
    }
    return false;
}

bool vouchesForDomain(const AuthenticationResults& results, std::string_view domain) {
    if (domain.empty()) return false;
    bool pass = false;
    for (const AuthResult& r : results.results) {
        if (r.method == "dmarc") {
            const std::string* from = r.find("header", "from");
            if (from && !text::equalsIgnoreCase(*from, domain)) continue;
            if (r.result == "pass" && from) {
                pass = true;
            } else if (r.result != "pass" && r.result != "none") {
                return false;
            }
        } else if (r.method == "dkim" && r.result == "pass") {
            const std::string* d = r.find("header", "d");
            const std::string* i = r.find("header", "i");
            const std::string_view signer = d ? std::string_view(*d) : i ? domainOf(*i) : std::string_view();
            if (isDomainOrParent(signer, domain)) pass = true;
        }
    }
    return pass;
}

bool trustedResultsVouch(const std::vector<std::string_view>& values, std::string_view trusted,
                         std::string_view domain) {
    for (const std::string_view value : values) {
        std::string id;
        if (!Reader(value).authservId(id) || !isTrustedAuthServId(trusted, id)) continue;
        AuthenticationResults results;
        return parseAuthenticationResults(value, results) && vouchesForDomain(results, domain);
    }
    return false;
}

}  // namespace mime
