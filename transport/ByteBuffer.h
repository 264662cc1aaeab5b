// The growable byte string behind the receive buffer, the transcript and all
// text work of the mail libraries. Storage comes in whole 4096-byte blocks;
// bytes are taken off the front by moving a start offset, and the live bytes
// are only moved once a whole block has been consumed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class ByteBuffer {
public:
    static constexpr size_t kBlockSize = 4096;

    ByteBuffer() = default;
    explicit ByteBuffer(std::string_view text);
    ByteBuffer(const ByteBuffer& other);
    ByteBuffer& operator=(const ByteBuffer& other);
    ByteBuffer(ByteBuffer&& other) noexcept;
    ByteBuffer& operator=(ByteBuffer&& other) noexcept;
    ~ByteBuffer() = default;

    size_t size() const { return length_; }
    bool empty() const { return length_ == 0; }
    // Bytes of storage held (always a whole number of blocks, 0 when released).
    size_t capacity() const { return capacity_; }
    // Offset of the first live byte within the storage.
    size_t start() const { return start_; }

    // The live bytes; while spare room remains they are followed by a zero byte.
    const char* data() const { return storage_ ? storage_.get() + start_ : ""; }
    std::string_view view() const { return {data(), length_}; }
    std::string str() const { return std::string(view()); }
    char operator[](size_t i) const { return data()[i]; }

    // Appending never moves bytes unless a new block is needed. The text
    // overloads take bytes, not characters: zero bytes are kept.
    void append(const void* bytes, size_t n);
    void append(std::string_view text) { append(text.data(), text.size()); }
    void append(char c) { append(&c, 1); }
    void append(const ByteBuffer& other) { append(other.view()); }
    void assign(std::string_view text);

    // Removes n bytes from the front (all of them when n >= size()).
    void removeFront(size_t n);
    // Keeps the first n bytes.
    void truncate(size_t n);
    // Releases the storage.
    void clear();

    // Text helpers. Indices are byte offsets; "not found" is -1.
    std::string left(size_t n) const;
    std::string right(size_t n) const;
    std::string mid(size_t from) const;
    std::string upper() const;  // ASCII letters only
    std::string lower() const;
    std::ptrdiff_t find(std::string_view needle, size_t from = 0) const;
    std::ptrdiff_t find(char c, size_t from = 0) const;
    std::ptrdiff_t findLast(char c) const;
    bool startsWith(std::string_view prefix) const;
    bool endsWith(std::string_view suffix) const;
    bool equals(std::string_view text) const { return view() == text; }
    // Trimming removes the space character only, never tabs.
    void trimLeft();
    void trimRight();
    void trim();

    // Zero-fills all `size` bytes of target, then copies min(size(), size)
    // bytes; a value that fills the array has no terminator. Returns the count.
    size_t copyOut(char* target, size_t size) const;

private:
    void reserveFor(size_t total);  // storage for `total` live bytes, start 0

    std::unique_ptr<char[]> storage_;
    size_t capacity_ = 0;
    size_t start_ = 0;
    size_t length_ = 0;
};
