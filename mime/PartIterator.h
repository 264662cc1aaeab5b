// Steps through a message body part by part: a state machine that takes one
// step a call and hands out the leaf parts (those that hold no parts), first
// their facts, then their body in pieces. Multipart parts are entered, and
// forwarded messages are leaves: they are kept whole.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "LineReader.h"
#include "PartFacts.h"

namespace mime {

class PartIterator {
public:
    enum class State {
        Preamble,    // before the first delimiter of a part list: dropped
        Boundary,    // at a delimiter line: a part begins, or its list closes
        PartHeader,  // a part's header lines, up to the empty line
        PartBody,    // behind a part's header: a part list is entered, a leaf handed out
        LeafBody,    // a leaf part's body, handed out in pieces up to a delimiter
        Epilogue,    // behind a closing delimiter: dropped, though a delimiter of
                     // the same list begins a part again (some senders add parts late)
        End,
    };
    enum class Step {
        PartBegins,  // facts() and topLevel() describe the leaf part
        Piece,       // piece() is the next piece of its body
        PartEnds,    // endedAtDelimiter() tells how
        End,         // outcome() tells why
    };
    enum class Outcome {
        Complete,      // the "." line that ends a fetched message was reached
        Truncated,     // the file ended first
        TooDeep,       // part lists nested deeper than kMaxDepth
        TooManyParts,  // more than kMaxParts parts
    };

    // A multipart body whose delimiters are "--" + boundary.
    PartIterator(LineReader& in, const std::string& boundary);
    // The one part of a message that is not multipart, its header already read.
    PartIterator(LineReader& in, const PartFacts& facts);

    Step next();
    State state() const { return state_; }

    const PartFacts& facts() const { return facts_; }
    // The leaf is the message's own body, not one part of a list.
    bool topLevel() const { return delimiters_.empty(); }
    // The leaf's body comes in blocks of whole lines, line ends included,
    // wherever no line can be a delimiter or the end line: for bodies whose
    // line ends carry no meaning (base64) or that are dropped.
    void takeInBulk(bool bulk) { bulk_ = bulk; }

    std::string_view piece() const { return piece_; }
    bool lineStart() const { return lineStart_; }  // the piece begins a line
    bool lineEnded() const { return lineEnded_; }  // the piece ends its line
    // The line end before a delimiter belongs to the delimiter, not the body.
    bool endedAtDelimiter() const { return endedAtDelimiter_; }

    Outcome outcome() const { return outcome_; }

    // Part lists are followed this deep; a deeper one makes the message undecodable.
    static constexpr std::size_t kMaxDepth = 8;
    // No real message holds more parts; a hostile one must not keep the engine.
    static constexpr std::size_t kMaxParts = 10000;

private:
    Step stop(Outcome outcome);
    Step endLeaf(State after, Outcome outcome = Outcome::Complete);
    Step leafBody();
    // The start of the next line (all of a line shorter than the read
    // buffer); the rest of a longer line is passed over.
    bool readLineStart(std::string& line);
    // The index of the delimiter the line begins with (the longest one when
    // one boundary begins with another), or -1.
    int matchDelimiter(std::string_view line) const;

    LineReader& in_;
    State state_;
    std::vector<std::string> delimiters_;  // of the lists entered, outermost first
    std::string line_;
    PartFacts facts_;
    std::size_t parts_ = 0;
    bool bulk_ = false;
    bool atLineStart_ = true;
    std::string_view piece_;
    bool lineStart_ = false;
    bool lineEnded_ = false;
    bool endedAtDelimiter_ = false;
    Outcome outcome_ = Outcome::Truncated;
};

}  // namespace mime
