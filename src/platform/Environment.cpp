#include "platform/Environment.h"

#include <cstring>
#ifndef _WIN32
#include <unistd.h>
#endif

namespace orvane {

QString environmentValue(const char* name) {
    if (qEnvironmentVariableIsSet(name))
        return qEnvironmentVariable(name);
#ifndef _WIN32
    if (std::strcmp(name, "USERNAME") == 0)
        return qEnvironmentVariable("USER");
#endif
    return QString();
}

bool runsAsRoot() {
#ifdef _WIN32
    return false;
#else
    return ::geteuid() == 0;
#endif
}

} // namespace orvane
