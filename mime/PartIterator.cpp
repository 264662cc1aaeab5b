#include "PartIterator.h"

#include <cstring>

#include "HeaderLines.h"

namespace mime {

PartIterator::PartIterator(LineReader& in, const std::string& boundary) : in_(in), state_(State::Preamble) {
    delimiters_.push_back("--" + boundary);
}

PartIterator::PartIterator(LineReader& in, const PartFacts& facts)
    : in_(in), state_(State::PartBody), facts_(facts), parts_(1) {}

int PartIterator::matchDelimiter(std::string_view line) const {
    if (line.size() < 2 || line[0] != '-' || line[1] != '-') return -1;
    int best = -1;
    std::size_t bestLength = 0;
    for (std::size_t i = 0; i < delimiters_.size(); ++i) {
        const std::string& d = delimiters_[i];
        if (line.starts_with(d) && d.size() >= bestLength) {
            best = static_cast<int>(i);
            bestLength = d.size();
        }
    }
    return best;
}

bool PartIterator::readLineStart(std::string& line) {
    std::string_view piece;
    bool ended = false;
    if (!in_.readPiece(piece, ended)) return false;
    line.assign(piece);
    while (!ended && in_.readPiece(piece, ended)) {
    }
    return true;
}

PartIterator::Step PartIterator::stop(Outcome outcome) {
    outcome_ = outcome;
    state_ = State::End;
    return Step::End;
}

PartIterator::Step PartIterator::endLeaf(State after, Outcome outcome) {
    endedAtDelimiter_ = after == State::Boundary;
    state_ = after;
    outcome_ = outcome;
    return Step::PartEnds;
}

PartIterator::Step PartIterator::next() {
    for (;;) {
        switch (state_) {
            case State::Preamble:
            case State::Epilogue:
                if (!readLineStart(line_)) return stop(Outcome::Truncated);
                // The spool is dot-stuffed, so a lone "." can only be the message's end.
                if (line_ == ".") return stop(Outcome::Complete);
                if (matchDelimiter(line_) >= 0) state_ = State::Boundary;
                break;

            case State::Boundary: {
                // A delimiter of an enclosing list also closes the lists inside it.
                const int m = matchDelimiter(line_);
                delimiters_.resize(static_cast<std::size_t>(m) + 1);
                if (line_.compare(delimiters_.back().size(), 2, "--") == 0) {
                    state_ = State::Epilogue;
                    break;
                }
                if (++parts_ > kMaxParts) return stop(Outcome::TooManyParts);
                facts_ = PartFacts();
                state_ = State::PartHeader;
                break;
            }

            case State::PartHeader: {
                const HeaderRead r = readHeaderLine(in_, line_);
                if (r == HeaderRead::End) return stop(Outcome::Truncated);
                if (line_ == ".") return stop(Outcome::Complete);
                if (line_.empty()) {
                    state_ = State::PartBody;
                    break;
                }
                // A part without header end and body: the next delimiter follows at once.
                if (matchDelimiter(line_) >= 0) {
                    state_ = State::Boundary;
                    break;
                }
                facts_.take(line_);
                if (r == HeaderRead::LastLine) return stop(Outcome::Truncated);
                break;
            }

            case State::PartBody:
                if (facts_.isMultipart() && !facts_.boundary.empty()) {
                    if (delimiters_.size() >= kMaxDepth) return stop(Outcome::TooDeep);
                    delimiters_.push_back("--" + facts_.boundary);
                    state_ = State::Preamble;
                    break;
                }
                state_ = State::LeafBody;
                bulk_ = false;
                atLineStart_ = true;
                return Step::PartBegins;

            case State::LeafBody: return leafBody();

            case State::End: return Step::End;
        }
    }
}

PartIterator::Step PartIterator::leafBody() {
    if (bulk_ && atLineStart_) {
        // Delimiters begin with "-" and the end line and stuffed lines with
        // ".": whole lines before the first of either are plain body.
        const std::string_view block = in_.peekLines();
        std::size_t cut = block.size();
        for (const char c : {'-', '.'}) {
            if (cut == 0) break;
            const void* at = std::memchr(block.data(), c, cut);
            if (!at) continue;
            const std::size_t i = static_cast<const char*>(at) - block.data();
            const void* lineEnd = memrchr(block.data(), '\n', i);
            cut = lineEnd ? static_cast<const char*>(lineEnd) - block.data() + 1 : 0;
        }
        if (cut > 0) {
            in_.skip(cut);
            piece_ = block.substr(0, cut);
            lineStart_ = lineEnded_ = true;
            return Step::Piece;
        }
    }
    std::string_view piece;
    bool ended = false;
    if (!in_.readPiece(piece, ended)) return endLeaf(State::End, Outcome::Truncated);
    if (atLineStart_) {
        if (ended && piece == ".") return endLeaf(State::End, Outcome::Complete);
        if (matchDelimiter(piece) >= 0) {
            line_.assign(piece);
            // Only the delimiter and what directly follows it matter.
            while (!ended && in_.readPiece(piece, ended)) {
            }
            return endLeaf(State::Boundary);
        }
    }
    piece_ = piece;
    lineStart_ = atLineStart_;
    lineEnded_ = ended;
    atLineStart_ = ended;
    return Step::Piece;
}

}  // namespace mime
