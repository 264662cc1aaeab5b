// The spool file name of a fetched message, made from the server's unique id.
#pragma once

#include <string>
#include <string_view>

// The id as a file name: ordinary ids stay as they are; '/', '\\', ':', '%',
// control bytes, bytes above 0x7E and a leading '.' become "%XX", and an
// empty id becomes "%". Different ids never give the same name, and the name
// never leaves the list directory or hides from the spool search.
std::string SpoolNameForId(std::string_view uniqueId);
