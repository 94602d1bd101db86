#pragma once

#include <QString>

namespace orvane {

// The process environment as the program reads it: a missing variable is an
// empty text. USERNAME falls back to the POSIX USER where only that is set.
QString environmentValue(const char* name);

} // namespace orvane
