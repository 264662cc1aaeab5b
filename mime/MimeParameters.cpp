#include "MimeParameters.h"

#include <algorithm>
#include <vector>

#include "EncodedWords.h"
#include "TextToUtf8.h"
#include "text/TextRules.h"

namespace mime {

namespace {

class Scanner {
public:
    explicit Scanner(std::string_view s) : s_(s) {}

    bool atEnd() const { return i_ >= s_.size(); }
    char peek() const { return s_[i_]; }
    void skip() { ++i_; }

    // Blanks and comments, which may nest and hold quoted pairs.
    void skipBlanks() {
        while (i_ < s_.size()) {
            const char c = s_[i_];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                ++i_;
            } else if (c == '(') {
                int depth = 0;
                while (i_ < s_.size()) {
                    const char d = s_[i_++];
                    if (d == '\\' && i_ < s_.size())
                        ++i_;
                    else if (d == '(')
                        ++depth;
                    else if (d == ')' && --depth == 0)
                        break;
                }
            } else {
                break;
            }
        }
    }

    // Text up to one of `stops`, comments removed, blanks trimmed.
    std::string until(std::string_view stops) {
        std::string out;
        while (i_ < s_.size()) {
            // Runs of plain text are taken whole: a value may be megabytes long.
            std::size_t j = i_;
            while (j < s_.size() && s_[j] != '(' && stops.find(s_[j]) == std::string_view::npos) ++j;
            out.append(s_.substr(i_, j - i_));
            i_ = j;
            if (i_ >= s_.size() || s_[i_] != '(') break;
            skipBlanks();
        }
        return std::string(text::trimBlanks(out));
    }

    std::string quoted() {
        std::string out;
        ++i_;  // the opening quote
        while (i_ < s_.size()) {
            std::size_t j = i_;
            while (j < s_.size() && s_[j] != '"' && s_[j] != '\\' && s_[j] != '\r' && s_[j] != '\n') ++j;
            out.append(s_.substr(i_, j - i_));
            i_ = j;
            if (i_ >= s_.size()) break;
            const char c = s_[i_++];
            if (c == '"') break;
            // Only a quote or a backslash is taken as escaped: clients put
            // Windows paths in quotes as they are.
            if (c == '\\' && i_ < s_.size() && (s_[i_] == '"' || s_[i_] == '\\')) {
                out += s_[i_++];
                continue;
            }
            if (c == '\\') out += c;
        }
        return out;
    }

private:
    std::string_view s_;
    std::size_t i_ = 0;
};

struct Section {
    int index = -1;  // -1: the name had no number
    bool extended = false;
    std::string value;
};

std::string percentDecoded(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && text::hexDigitValue(s[i + 1]) >= 0 &&
            text::hexDigitValue(s[i + 2]) >= 0) {
            out += static_cast<char>(text::hexDigitValue(s[i + 1]) * 16 + text::hexDigitValue(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// Joins the sections in number order; the first extended one names the charset.
std::string joinSections(std::vector<Section>& sections) {
    std::sort(sections.begin(), sections.end(), [](const Section& a, const Section& b) { return a.index < b.index; });
    std::string charset;
    std::string bytes;
    bool first = true;
    for (const Section& s : sections) {
        std::string_view v = s.value;
        if (s.extended && first) {
            const std::size_t q1 = v.find('\'');
            const std::size_t q2 = q1 == std::string_view::npos ? q1 : v.find('\'', q1 + 1);
            if (q2 != std::string_view::npos) {
                charset = std::string(v.substr(0, q1));
                v.remove_prefix(q2 + 1);
            }
        }
        bytes += s.extended ? percentDecoded(v) : std::string(v);
        first = false;
    }
    std::string out;
    TextToUtf8(charset).convert(bytes, out, true);
    return out;
}

}  // namespace

std::string ContentField::param(const std::string& name) const {
    const auto it = params.find(name);
    return it == params.end() ? std::string() : it->second;
}

std::string ContentField::take(const std::string& name) {
    const auto it = params.find(name);
    return it == params.end() ? std::string() : std::move(it->second);
}

ContentField parseContentField(std::string_view value) {
    ContentField f;
    Scanner sc(value);
    sc.skipBlanks();
    f.value = text::toLower(sc.until(";"));
    // Blanks inside the type ("text / plain") carry no meaning.
    std::erase_if(f.value, text::isBlank);

    std::map<std::string, std::vector<Section>> sectioned;
    while (!sc.atEnd()) {
        if (sc.peek() != ';') {
            sc.skip();
            continue;
        }
        sc.skip();
        sc.skipBlanks();
        std::string name = text::toLower(sc.until("=;"));
        if (sc.atEnd() || sc.peek() != '=') continue;  // a parameter without a value
        sc.skip();
        sc.skipBlanks();
        std::string v;
        if (!sc.atEnd() && sc.peek() == '"') {
            v = sc.quoted();
            sc.until(";");  // anything behind the closing quote
        } else {
            // Lenient: an unquoted value runs to the next ";", blanks inside kept.
            v = sc.until(";");
        }
        if (name.empty()) continue;
        const std::size_t star = name.find('*');
        if (star == std::string::npos) {
            f.params[name] = std::move(v);
            continue;
        }
        Section s;
        std::string_view rest = std::string_view(name).substr(star + 1);
        if (!rest.empty() && rest.back() == '*') {
            s.extended = true;
            rest.remove_suffix(1);
        } else if (rest.empty()) {
            s.extended = true;  // "name*": one extended section
        }
        if (!rest.empty()) {
            if (rest.find_first_not_of("0123456789") != std::string_view::npos || rest.size() > 4) continue;
            s.index = std::stoi(std::string(rest));
        }
        s.value = std::move(v);
        sectioned[name.substr(0, star)].push_back(std::move(s));
    }
    for (auto& [name, sections] : sectioned) f.params[name] = joinSections(sections);
    return f;
}

}  // namespace mime
