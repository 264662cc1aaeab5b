#include "MemberStore.h"

void MemberStore::append(std::string address, bool isAdministrator) {
    entries_.push_back(Member{std::move(address), isAdministrator});
}

bool MemberStore::get(int32_t index, Member& out) const {
    if (index < 0 || index >= count()) return false;
    out = entries_[static_cast<size_t>(index)];
    return true;
}

bool MemberStore::remove(int32_t index) {
    if (index < 0 || index >= count()) return false;
    entries_.erase(entries_.begin() + index);
    return true;
}
