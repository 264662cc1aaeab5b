// Where the program lives: the home directory holds the program file, the
// libraries and every list directory.
#pragma once

#include <string>

namespace platform {

// Full path of the running program file ("" when it cannot be resolved).
std::string programPath();

// Directory of the program file, ending in '/' ("" when unresolvable).
std::string homeDirectory();

}  // namespace platform
