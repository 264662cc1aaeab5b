// Taking an address out of header or subject text, and judging whether it
// may become a member.
#pragma once

#include <string>
#include <string_view>

#include "MailList.h"

// Drops everything up to the last '"', then up to the last '<', cuts at the
// first '>' and trims spaces: "Ann, Lee" <ann@x.org> gives ann@x.org.
std::string ExtractAddress(std::string_view text);

// One '@', a later '.' with something between them, and at least two
// characters after the last '.'. Texts that would turn into an administrator
// line of the member file ("_!_" at the start) or break a line of it
// (control bytes) are never valid.
bool IsValidAddress(const MailList& list, std::string_view address);
