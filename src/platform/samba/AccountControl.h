#pragma once

// NetUserAdd at level 1 hands usri1_flags to a Samba server unchanged, where
// they are read as Samba's account-control bits: Windows' UF_SCRIPT would
// disable the account and UF_DONT_EXPIRE_PASSWD would mean something else.

#include "platform/NETUSER.h"

#include <cstdint>

namespace orvane::samba {

// Samba's bits for the account flags a caller can set.
std::uint32_t accountControlBits(DWORD windowsFlags);

} // namespace orvane::samba
