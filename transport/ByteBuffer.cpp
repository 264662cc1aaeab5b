#include "ByteBuffer.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "text/TextRules.h"

namespace {
size_t blocksFor(size_t n) { return (n + ByteBuffer::kBlockSize - 1) / ByteBuffer::kBlockSize; }
}  // namespace

ByteBuffer::ByteBuffer(std::string_view text) { append(text); }

ByteBuffer::ByteBuffer(const ByteBuffer& other) { append(other.view()); }

ByteBuffer& ByteBuffer::operator=(const ByteBuffer& other) {
    if (this != &other) assign(other.view());
    return *this;
}

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : storage_(std::move(other.storage_)),
      capacity_(std::exchange(other.capacity_, 0)),
      start_(std::exchange(other.start_, 0)),
      length_(std::exchange(other.length_, 0)) {}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
    if (this != &other) {
        storage_ = std::move(other.storage_);
        capacity_ = std::exchange(other.capacity_, 0);
        start_ = std::exchange(other.start_, 0);
        length_ = std::exchange(other.length_, 0);
    }
    return *this;
}

void ByteBuffer::reserveFor(size_t total) {
    const size_t cap = blocksFor(total) * kBlockSize;
    auto fresh = std::make_unique<char[]>(cap);  // zero-filled
    if (length_) std::memcpy(fresh.get(), storage_.get() + start_, length_);
    storage_ = std::move(fresh);
    capacity_ = cap;
    start_ = 0;
}

void ByteBuffer::append(const void* bytes, size_t n) {
    if (n == 0) return;
    if (blocksFor(start_ + length_ + n) > blocksFor(capacity_) || !storage_) {
        // Grow geometrically so that long texts built piece by piece stay linear.
        reserveFor(std::max(length_ + n, length_ + length_ / 2));
    }
    std::memcpy(storage_.get() + start_ + length_, bytes, n);
    length_ += n;
}

void ByteBuffer::assign(std::string_view text) {
    clear();
    append(text);
}

void ByteBuffer::removeFront(size_t n) {
    if (n >= length_) {
        clear();
        return;
    }
    length_ -= n;
    start_ += n;
    if (start_ >= kBlockSize) reserveFor(length_);
}

void ByteBuffer::truncate(size_t n) {
    if (n == 0) {
        clear();
        return;
    }
    if (n < length_) {
        std::memset(storage_.get() + start_ + n, 0, length_ - n);
        length_ = n;
    }
}

void ByteBuffer::clear() {
    storage_.reset();
    capacity_ = start_ = length_ = 0;
}

std::string ByteBuffer::left(size_t n) const { return std::string(view().substr(0, n)); }

std::string ByteBuffer::right(size_t n) const {
    return n >= length_ ? str() : std::string(view().substr(length_ - n));
}

std::string ByteBuffer::mid(size_t from) const { return from >= length_ ? std::string() : std::string(view().substr(from)); }

std::string ByteBuffer::upper() const { return text::toUpper(view()); }

std::string ByteBuffer::lower() const { return text::toLower(view()); }

std::ptrdiff_t ByteBuffer::find(std::string_view needle, size_t from) const {
    const size_t i = view().find(needle, from);
    return i == std::string_view::npos ? -1 : static_cast<std::ptrdiff_t>(i);
}

std::ptrdiff_t ByteBuffer::find(char c, size_t from) const {
    const size_t i = view().find(c, from);
    return i == std::string_view::npos ? -1 : static_cast<std::ptrdiff_t>(i);
}

std::ptrdiff_t ByteBuffer::findLast(char c) const {
    const size_t i = view().rfind(c);
    return i == std::string_view::npos ? -1 : static_cast<std::ptrdiff_t>(i);
}

bool ByteBuffer::startsWith(std::string_view prefix) const { return view().substr(0, prefix.size()) == prefix; }

bool ByteBuffer::endsWith(std::string_view suffix) const {
    return length_ >= suffix.size() && view().substr(length_ - suffix.size()) == suffix;
}

void ByteBuffer::trimLeft() {
    size_t n = 0;
    while (n < length_ && data()[n] == ' ') ++n;
    removeFront(n);
}

void ByteBuffer::trimRight() {
    size_t n = length_;
    while (n > 0 && data()[n - 1] == ' ') --n;
    truncate(n);
}

void ByteBuffer::trim() {
    trimRight();
    trimLeft();
}

size_t ByteBuffer::copyOut(char* target, size_t size) const {
    if (!target || size == 0) return 0;
    std::memset(target, 0, size);
    const size_t n = std::min(length_, size);
    if (n) std::memcpy(target, data(), n);
    return n;
}
