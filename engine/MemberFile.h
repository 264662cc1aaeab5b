// Members.TXT: one address a line, administrators marked with a leading "_!_".
#pragma once

#include <string>

#include "MailList.h"

inline constexpr char kAdministratorMarker[] = "_!_";

// Appends the entries of the member file at `path` to `store` in file order.
// False when the file cannot be opened (the store is left as it was).
bool ReadMemberFile(const std::string& path, MemberStore& store);

// Rewrites the member file of the list directory `directory` from `store`,
// administrators first. The new content is complete on disk before it
// replaces Members.TXT; the previous file stays as Members.OLD. On any failure
// Members.TXT is left untouched and false is returned.
bool WriteMemberFile(const std::string& directory, const MemberStore& store);

// The engine's rewrite after a member joined or left.
bool WriteMembers(const MailList& list);
