#include "Membership.h"

#include "AddressRules.h"
#include "text/TextRules.h"

namespace {
bool findMember(const MailList& list, std::string_view text, bool administratorsOnly) {
    if (list.members.count() == 0 || text.empty()) return false;
    const std::string wanted = MailboxAddress(text);
    if (wanted.empty()) return false;
    for (const Member& m : list.members.entries()) {
        if (m.address.empty()) continue;
        if (administratorsOnly && !m.isAdministrator) continue;
        if (text::equalsIgnoreCase(m.address, wanted)) return true;
    }
    return false;
}
}  // namespace

bool IsMember(const MailList& list, std::string_view text) { return findMember(list, text, false); }

bool IsAdministrator(const MailList& list, std::string_view text) { return findMember(list, text, true); }
