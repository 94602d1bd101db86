#pragma once

// The credentials a Samba client takes from its environment: USER (which may
// be "name%password") and PASSWD, or a Kerberos ticket cache. libnetapi left
// to itself would prompt on the terminal and then log on anonymously; the
// program never lets it.

#include "platform/samba/LibNetApi.h"

#include <optional>
#include <string>

namespace orvane::samba {

// The credentials, or nothing with `why` saying what is missing. A password
// read from the environment is taken out of it, so that no program started
// from here inherits it.
std::optional<lib::Credentials> takeCredentialsFromEnvironment(std::string& why);

} // namespace orvane::samba
