// libFuzzer target: arbitrary bytes as a POP3 server's answer. The first
// byte says how the rest is cut into the pieces it arrives in; the rest is a
// status line and the multi-line answer behind it (a LIST or UIDL listing, a
// message with dot-stuffed lines). Aborts when the end of the answer found
// in pieces differs from the end found in the whole, when the answer taken
// does not end in the end line, or when an earlier end line was passed over.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "pop3/MultiLineEnd.h"
#include "pop3/Pop3Reply.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

struct Taken {
    std::string answer;
    bool found = false;
};

// Feeds `rest` in pieces of the lengths the generator gives (1 to 16 bytes),
// or whole when `cut` is 0.
Taken feed(std::string_view rest, uint8_t cut) {
    pop3::MultiLineEnd end;
    Taken t;
    uint32_t state = cut;
    while (!rest.empty() && !end.found()) {
        size_t n = rest.size();
        if (cut != 0) {
            state = state * 1103515245u + 12345u;
            n = std::min<size_t>(n, 1 + (state >> 16) % 16);
        }
        const std::string_view piece = rest.substr(0, n);
        const size_t part = end.feed(piece);
        check(part <= piece.size());
        check(end.found() || part == piece.size());
        t.answer.append(piece.substr(0, part));
        rest.remove_prefix(n);
    }
    t.found = end.found();
    check(end.feed("\r\n.\r\n") == 0 || !t.found);
    return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t cut = data[0];
    std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const size_t lf = text.find('\n');
    if (lf == std::string_view::npos) return 0;
    const std::string_view status = text.substr(0, lf + 1);
    const pop3::Status s = pop3::parseStatus(status);
    check((s == pop3::Status::Ok) == status.starts_with("+OK"));
    check((s == pop3::Status::Error) == status.starts_with("-ERR"));
    check((s == pop3::Status::Challenge) == (status.starts_with("+") && !status.starts_with("+OK")));

    const std::string_view rest = text.substr(lf + 1);
    const Taken whole = feed(rest, 0);
    const Taken pieces = feed(rest, cut);
    check(whole.answer == pieces.answer && whole.found == pieces.found);
    check(rest.starts_with(whole.answer));
    // The first end line ends the answer: behind the status line's CR LF the
    // answer holds the marker exactly once, at its end.
    const std::string framed = "\r\n" + whole.answer;
    const size_t marker = framed.find("\r\n.\r\n");
    if (whole.found) {
        check(marker == framed.size() - 5);
    } else {
        check(marker == std::string::npos && whole.answer.size() == rest.size());
    }
    return 0;
}
