#include "SmtpExtensions.h"

#include <algorithm>

#include "text/TextRules.h"

namespace smtp {

namespace {

// The words of a parameter list, split at spaces (and tabs, which some
// servers put there).
std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t start = text.find_first_not_of(" \t", pos);
        if (start == std::string_view::npos) break;
        const size_t end = std::min(text.find_first_of(" \t", start), text.size());
        out.emplace_back(text.substr(start, end - start));
        pos = end;
    }
    return out;
}

}  // namespace

bool Extensions::offersAuth(std::string_view mechanism) const {
    return std::find(authMechanisms.begin(), authMechanisms.end(), mechanism) != authMechanisms.end();
}

Extensions parseEhlo(const Reply& reply) {
    Extensions e;
    if (reply.code != 250) return e;
    // The first line names the server, not an extension.
    for (size_t i = 1; i < reply.lines.size(); ++i) {
        std::vector<std::string> w = words(text::toUpper(reply.lines[i]));
        if (w.empty()) continue;
        std::string keyword = w.front();
        // "AUTH=LOGIN PLAIN", as servers wrote it for clients of a draft.
        if (keyword.starts_with("AUTH=")) {
            w.front() = keyword.substr(5);
            keyword = "AUTH";
        } else {
            w.erase(w.begin());
        }
        if (keyword == "STARTTLS") e.startTls = true;
        if (keyword == "PIPELINING") e.pipelining = true;
        if (keyword != "AUTH") continue;
        for (auto& m : w)
            if (!m.empty() && !e.offersAuth(m)) e.authMechanisms.push_back(std::move(m));
    }
    return e;
}

}  // namespace smtp
