#pragma once

#include <QString>

namespace orvane {

// The process environment as the program reads it: a missing variable is an
// empty text. USERNAME falls back to the POSIX USER where only that is set.
QString environmentValue(const char* name);

// Whether the process runs as root (never on Windows, where an administrator
// is an ordinary user with rights).
bool runsAsRoot();

} // namespace orvane
