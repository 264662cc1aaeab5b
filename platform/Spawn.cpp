#include "Spawn.h"

#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>

extern char** environ;

namespace platform {

int spawnProgram(const std::vector<std::string>& argv, const SpawnOptions& options, pid_t& pid) {
    if (argv.empty() || argv[0].empty()) return ENOENT;
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const bool toFile = !options.outputPath.empty();
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, toFile ? options.outputPath.c_str() : "/dev/null",
                                     toFile ? (O_WRONLY | O_CREAT | O_APPEND) : O_WRONLY, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    // Whatever the caller holds open (windowing connections, locks, sockets,
    // listening ports) stays with the caller.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    // A waiting thread of ours may block signals, and the caller may ignore
    // some: the child starts clean.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    sigset_t defaults;
    sigfillset(&defaults);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    const int rc = options.searchPath ? ::posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ)
                                      : ::posix_spawn(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return rc;
}

}  // namespace platform
