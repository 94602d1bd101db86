#pragma once

// Runs a program of the system to its end, the way an administrator's tool
// must: by absolute path, no shell, a minimal environment of our own (so no
// password in this process's environment and no caller's locale reaches it),
// standard input from the caller's bytes only (secrets go there, never on
// the command line), every other descriptor closed, and a deadline after
// which it is killed.

#include <QByteArray>
#include <QStringList>
#include <chrono>

namespace orvane {

struct ProcessResult {
    // The exit status; -1 when it could not be started or was killed.
    int status = -1;
    // errno when it could not be started, else 0.
    int startError = 0;
    bool timedOut = false;
    QByteArray output;
    QByteArray errors;

    bool succeeded() const { return status == 0; }
};

ProcessResult runProcess(const QString& program, const QStringList& arguments,
                         const QByteArray& input = {},
                         std::chrono::milliseconds deadline = std::chrono::seconds(60));

} // namespace orvane
