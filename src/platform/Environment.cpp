#include "platform/Environment.h"

#include <cstring>

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

} // namespace orvane
