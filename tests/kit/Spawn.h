// A program started by a test with its standard output on a pipe the test reads: a server
// that says its port, a writer that says it is done.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/types.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char **environ;

namespace kit {

// Starts args[0] with the arguments after it and the test's environment: its process id, or
// -1 when it did not start. `out` is the read end of its standard output (-1 on failure).
inline pid_t SpawnWithOutput(std::vector<std::string> args, int &out)
{
    out = -1;
    int pipe[2];
    if (args.empty() || ::pipe2(pipe, O_CLOEXEC) != 0) return -1;
    std::vector<char *> argv;
    for (std::string &arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe[1]);
    if (pid > 0)
        out = pipe[0];
    else
        ::close(pipe[0]);
    return pid;
}

} // namespace kit
