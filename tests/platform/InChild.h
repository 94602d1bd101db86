#pragma once

// Runs a test's body in a child process, which may change its own mounts and
// namespaces freely: nothing of it reaches the test's process.

#include "platform/rehearsal/SiteCopy.h"

#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace orvane::rehearsal {

// The child's exit status: the body's result, 100 when the copy failed, -1
// when it did not end by itself.
template <class Body> int inChild(Body&& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        int code = 0;
        try {
            code = body();
        } catch (const CopyError& error) {
            std::fprintf(stderr, "copy: %s\n", error.what());
            code = 100;
        }
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace orvane::rehearsal
