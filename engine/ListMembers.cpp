#include "ListMembers.h"

#include "list/MemberFile.h"
#include "platform/FileSystem.h"

bool RefreshMembers(MailList& list) {
    switch (list::refreshMembers(list.directory, list.members, list.membersOnDisk)) {
        case list::MemberRefresh::Reloaded: list.memberFileError = 0; break;
        case list::MemberRefresh::Unreadable: list.memberFileError = platform::lastErrorCode(); break;
        case list::MemberRefresh::Unchanged: break;  // a vanished file keeps whatever was known
    }
    return list.memberFileError == 0;
}

bool ChangeMembers(MailList& list, const std::function<bool(MemberStore&)>& change, uint32_t& errorCode,
                   bool* written) {
    return list::changeMembers(list.directory, list.members, list.membersOnDisk, change, errorCode, written);
}
