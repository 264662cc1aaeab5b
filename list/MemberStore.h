// A list's members in file order: an address and an administrator flag each.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Member {
    std::string address;
    bool isAdministrator = false;
};

class MemberStore {
public:
    int32_t count() const { return static_cast<int32_t>(entries_.size()); }
    void append(std::string address, bool isAdministrator);
    // False when the index is out of range.
    bool get(int32_t index, Member& out) const;
    bool remove(int32_t index);
    const std::vector<Member>& entries() const { return entries_; }

private:
    std::vector<Member> entries_;
};
