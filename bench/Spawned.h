#pragma once
// uses-programs: (what each benchmark names on its own line)

// Programs a benchmark starts and waits for, with this process's environment
// plus settings of its own, and their output thrown away.

#include <QByteArray>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern "C" char** environ;

namespace orvane::bench {

// The program's process, or -1 when it could not be started.
inline pid_t spawn(const std::vector<QByteArray>& argv, const std::vector<QByteArray>& extraEnv) {
    std::vector<char*> args, env;
    for (const QByteArray& a : argv)
        args.push_back(const_cast<char*>(a.constData()));
    args.push_back(nullptr);
    for (char** e = environ; *e; ++e)
        env.push_back(*e);
    for (const QByteArray& e : extraEnv)
        env.push_back(const_cast<char*>(e.constData()));
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), env.data());
    ::posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

// The wait status of an ended program.
inline int waitFor(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

// Whether the program ended by itself with status 0.
inline bool succeeds(const std::vector<QByteArray>& argv,
                     const std::vector<QByteArray>& extraEnv = {}) {
    const pid_t pid = spawn(argv, extraEnv);
    if (pid < 0)
        return false;
    const int status = waitFor(pid);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace orvane::bench
