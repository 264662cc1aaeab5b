#include "Spawn.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string_view>

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
    if (options.outputFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, options.outputFd, 1);
    else
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

    // The first entry of a name is the one getenv finds: the given ones go first
    // and the same names of ours are left out.
    std::vector<char*> env;
    char** envp = environ;
    if (!options.environment.empty()) {
        for (const auto& e : options.environment) env.push_back(const_cast<char*>(e.c_str()));
        for (char** e = environ; *e; ++e) {
            const std::string_view entry(*e);
            const size_t eq = entry.find('=');
            const auto sameName = [&](const std::string& given) {
                return eq != std::string_view::npos && given.starts_with(entry.substr(0, eq + 1));
            };
            if (std::none_of(options.environment.begin(), options.environment.end(), sameName)) env.push_back(*e);
        }
        env.push_back(nullptr);
        envp = env.data();
    }

    const int rc = options.searchPath ? ::posix_spawnp(&pid, args[0], &actions, &attr, args.data(), envp)
                                      : ::posix_spawn(&pid, args[0], &actions, &attr, args.data(), envp);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return rc;
}

}  // namespace platform
