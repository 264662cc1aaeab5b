#include "HeloDomain.h"

#include "transport/ResultCodes.h"

namespace smtp {

int32_t heloDomain(std::string_view from, std::string& domain) {
    domain.clear();
    if (from.empty()) return ResultCode::InvalidParameter;
    int dots = 0;
    bool found = false;
    for (size_t i = from.size(); i-- > 0;) {
        if (from[i] == '@') {
            domain = from.substr(i + 1);
            found = true;
            break;
        }
        if (from[i] == '.' && ++dots == 2) {
            domain = from.substr(i + 1);
            found = true;
            break;
        }
    }
    if (!found && dots == 1) {
        domain = from;
        found = true;
    }
    // A sender ending in "@" leaves nothing to announce.
    if (!found || domain.empty() || domain.size() > kMaxDomainLength) {
        domain.clear();
        return ResultCode::InvalidParameter;
    }
    return ResultCode::Success;
}

}  // namespace smtp
