// The engine's loaded lists, in discovery order, alive until the process ends.
#pragma once

#include <memory>
#include <vector>

#include "MailList.h"

class ActiveLists {
public:
    int32_t count() const { return static_cast<int32_t>(lists_.size()); }
    void append(std::unique_ptr<MailList> list) { lists_.push_back(std::move(list)); }
    MailList& at(int32_t index) { return *lists_[static_cast<size_t>(index)]; }
    void clear() { lists_.clear(); }

    static ActiveLists& instance();

private:
    std::vector<std::unique_ptr<MailList>> lists_;
};
