#pragma once

#include "platform/PasswordHash.h"

namespace orvane::embedded {

// yescrypt at its lowest cost: about 1.4 ms a hash, so that importing a
// thousand accounts stays a matter of seconds.
inline QByteArray hashPassword(QStringView password) {
    return orvane::hashPassword(password, "$y$", 1);
}

using orvane::passwordMatches;

} // namespace orvane::embedded
