// A loaded list's members kept in step with its member file.
#pragma once

#include <cstdint>
#include <functional>

#include "MailList.h"

// Takes up a member file changed on disk (by hand or by the console) since
// the list last read or wrote it. False while the member file cannot be read
// (`memberFileError` tells why): the store then holds no trustworthy members.
bool RefreshMembers(MailList& list);

// One change of the list's members, made under the member-file lock on the
// members as they are on disk: `change` edits the store and returns whether
// there is anything to write. When the rewrite fails, the store is put back
// as it was before `change`, false is returned and `errorCode` tells why.
// `written` (may be null) tells whether the file was rewritten.
bool ChangeMembers(MailList& list, const std::function<bool(MemberStore&)>& change, uint32_t& errorCode,
                   bool* written = nullptr);
