// libFuzzer target: arbitrary bytes as what an SMTP server sends, taken apart
// into replies as the library reads them, each also read as an EHLO offer.
// Aborts when a reply breaks the framing rules: more taken than there is, a
// reply that does not end at a line end, lines that do not match the line
// ends taken, a code or enhanced status outside the rules, or a reply that
// does not read back the same once written out again.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "smtp/SmtpExtensions.h"
#include "smtp/SmtpReply.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

// A reply with a code written out the way a server would send it.
std::string written(const smtp::Reply& r) {
    std::string out;
    for (size_t i = 0; i < r.lines.size(); ++i) {
        out += std::to_string(r.code);
        out += i + 1 < r.lines.size() ? '-' : ' ';
        out += r.lines[i];
        out += "\r\n";
    }
    return out;
}

void checkReply(std::string_view taken, const smtp::Reply& r) {
    check(!taken.empty() && taken.back() == '\n' && taken.size() <= smtp::kMaxReplyBytes);
    size_t lineEnds = 0;
    for (char c : taken) lineEnds += c == '\n' ? 1 : 0;
    check(r.lines.size() == lineEnds);
    for (const auto& line : r.lines) check(line.find('\n') == std::string::npos);
    check(r.code == 0 || (r.code >= 200 && r.code <= 599));
    if (r.status.present()) {
        check(r.code != 0 && r.status.klass == r.klass());
        check(r.status.subject >= 0 && r.status.subject <= 999 && r.status.detail >= 0 && r.status.detail <= 999);
    }
    if (r.code != 0) {
        const std::string again = written(r);
        smtp::Reply reread;
        check(smtp::parseReply(again, reread) == again.size());
        check(reread.code == r.code && reread.lines == r.lines && reread.status.text() == r.status.text());
    }
    const smtp::Extensions e = smtp::parseEhlo(r);
    for (const auto& m : e.authMechanisms) {
        check(!m.empty() && m.find_first_of(" \t") == std::string::npos);
        for (char c : m) check(!(c >= 'a' && c <= 'z'));
    }
    if (r.code != 250) check(!e.startTls && !e.pipelining && e.authMechanisms.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    while (!text.empty()) {
        smtp::Reply reply;
        const size_t taken = smtp::parseReply(text, reply);
        check(taken <= text.size());
        if (taken == 0) {
            check(reply.code == 0 && reply.lines.empty());
            break;
        }
        checkReply(text.substr(0, taken), reply);
        text.remove_prefix(taken);
    }
    return 0;
}
