#include "ItemList.h"

#include <iterator>

#include "platform/Clock.h"

void ItemList::push(std::string bytes, uint32_t flags) {
    const uint32_t now = platform::tickCount();
    if (expiry_) {
        // Unsigned difference: correct across a wrap of the tick counter.
        items_.remove_if([now](const Item& it) { return now - it.stamp > kExpiryMs; });
    }
    items_.push_back(Item{now, std::move(bytes), flags});
}

const ItemList::Item* ItemList::peek(size_t index) const {
    if (index >= items_.size()) return nullptr;
    return &*std::next(items_.begin(), static_cast<std::ptrdiff_t>(index));
}

std::optional<std::string> ItemList::remove(size_t index) {
    if (index >= items_.size()) return std::nullopt;
    auto it = std::next(items_.begin(), static_cast<std::ptrdiff_t>(index));
    std::string bytes = std::move(it->bytes);
    items_.erase(it);
    return bytes;
}

bool ItemList::setFlags(size_t index, uint32_t flags) {
    if (index >= items_.size()) return false;
    std::next(items_.begin(), static_cast<std::ptrdiff_t>(index))->flags = flags;
    return true;
}
