#include "MultiLineEnd.h"

namespace pop3 {

namespace {
constexpr std::string_view kEndMarker = "\r\n.\r\n";
constexpr size_t kKeep = kEndMarker.size() - 1;
}  // namespace

size_t MultiLineEnd::feed(std::string_view piece) {
    if (found_) return 0;
    // A marker that starts in the kept tail (shorter than the marker, so never
    // one seen before) and ends in this piece.
    std::string junction = tail_;
    junction.append(piece.substr(0, kKeep));
    size_t at = junction.find(kEndMarker);
    if (at != std::string::npos) {
        found_ = true;
        return at + kEndMarker.size() - tail_.size();
    }
    at = piece.find(kEndMarker);
    if (at != std::string_view::npos) {
        found_ = true;
        return at + kEndMarker.size();
    }
    if (piece.size() >= kKeep) {
        tail_.assign(piece.substr(piece.size() - kKeep));
    } else {
        tail_.append(piece);
        tail_.erase(0, tail_.size() > kKeep ? tail_.size() - kKeep : 0);
    }
    return piece.size();
}

}  // namespace pop3
