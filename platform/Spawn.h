// How the system starts another program: an argument vector (no shell),
// standard input from /dev/null, standard output and error into one file or
// pipe, nothing else of ours inherited, and no signal blocked or ignored,
// whatever the starting thread had.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace platform {

struct SpawnOptions {
    bool searchPath = false;  // argv[0] looked up in PATH when it has no '/'
    std::string outputPath;   // appended to, created when missing; empty: /dev/null
    int outputFd = -1;        // when set, output goes here instead (a pipe the caller reads)
    std::vector<std::string> environment{};  // "NAME=value" entries set over ours
};

// Starts argv[0] with argv. 0 with the child's id in `pid`, else the error number.
int spawnProgram(const std::vector<std::string>& argv, const SpawnOptions& options, pid_t& pid);

}  // namespace platform
