// Replacing the HTML documents of a message body by one marker line, line by
// line, so that members of a list that strips HTML read text only.
#pragma once

#include <string>
#include <string_view>

inline constexpr char kHtmlMarkerLine[] = "-=> HTML removed by KOVA Ringpost <=-";

// A document runs from an "<HTML>" tag to an "</HTML>" tag (any letter case,
// no attributes). The body is fed in pieces: a physical line without its line
// end, or one part of a line too long to take at once.
class HtmlRemover {
public:
    // The text to write for one piece (possibly empty). `endsLine` says the
    // piece is the last of its physical line. Text that follows a closing tag
    // starts a line of its own and keeps the spool's dot-stuffing.
    std::string take(std::string_view piece, bool endsLine);

    bool inHtml() const { return inHtml_; }

private:
    bool inHtml_ = false;
    bool midLine_ = false;    // what was written so far ends without a line end
    bool freshLine_ = false;  // the next text starts an output line the input had not started
};
