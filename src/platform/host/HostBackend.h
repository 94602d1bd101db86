#pragma once

#include "platform/netapi/NetApi.h"

#include <memory>

namespace orvane::host {

// The host backend for this machine, or BackendError: it needs root (the
// shadow file and the account tools are root's), and it is refused on a
// Samba domain controller, whose accounts are the directory's, not the
// account files'.
std::unique_ptr<NetApi> createHostNetApi();

} // namespace orvane::host
