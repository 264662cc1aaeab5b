// A first-in first-out list of owned byte blocks, each with the tick count of
// its making and a flag word. The transport keeps its send queue in one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <optional>
#include <string>

class ItemList {
public:
    struct Item {
        uint32_t stamp = 0;  // tick count when the item was made
        std::string bytes;
        uint32_t flags = 0;
    };

    size_t count() const { return items_.size(); }
    bool isEmpty() const { return items_.empty(); }
    bool isNotEmpty() const { return !items_.empty(); }

    void push(std::string bytes, uint32_t flags = 0);
    // Null when index is out of range.
    const Item* peek(size_t index) const;
    // Takes the item out and hands its bytes over.
    std::optional<std::string> remove(size_t index);
    std::optional<std::string> popFront() { return remove(0); }
    void removeAll() { items_.clear(); }
    bool setFlags(size_t index, uint32_t flags);

    // While on, every push first drops items older than 15000 ms. Off by
    // default, and never switched on for anything whose loss would go unseen
    // (the send queue keeps every byte until it has been sent).
    void setExpiry(bool on) { expiry_ = on; }
    bool expiry() const { return expiry_; }

    static constexpr uint32_t kExpiryMs = 15000;

private:
    std::list<Item> items_;
    bool expiry_ = false;
};
