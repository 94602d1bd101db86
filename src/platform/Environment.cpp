#include "platform/Environment.h"

#include <cstring>
#include <unistd.h>

namespace orvane {

QString environmentValue(const char* name) {
    if (qEnvironmentVariableIsSet(name))
        return qEnvironmentVariable(name);
    if (std::strcmp(name, "USERNAME") == 0)
        return qEnvironmentVariable("USER");
    return QString();
}

bool runsAsRoot() {
    return ::geteuid() == 0;
}

} // namespace orvane
