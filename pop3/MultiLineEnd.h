// Finds the end line of a POP3 multi-line answer (".\r\n" alone on a line)
// in the pieces the answer arrives in, also when the marker is split between
// two pieces. The status line, with its CR LF, has already been taken.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pop3 {

class MultiLineEnd {
public:
    // How many bytes of `piece` belong to the answer: all of them while the
    // end has not been seen, else up to and including the end line (bytes
    // behind it are not part of the answer).
    size_t feed(std::string_view piece);
    bool found() const { return found_; }

private:
    // The status line's CR LF stands in front of the first line, so an empty
    // answer ".\r\n" is found by the same search as "\r\n.\r\n".
    std::string tail_ = "\r\n";
    bool found_ = false;
};

}  // namespace pop3
