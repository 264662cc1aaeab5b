#include "ListMembers.h"

#include "list/MemberFile.h"

bool RefreshMembers(MailList& list) { return list::refreshMembers(list.directory, list.members, list.membersOnDisk); }

bool ChangeMembers(MailList& list, const std::function<bool(MemberStore&)>& change, uint32_t& errorCode,
                   bool* written) {
    return list::changeMembers(list.directory, list.members, list.membersOnDisk, change, errorCode, written);
}
