#pragma once

#include "platform/netapi/NetApi.h"

#include <QString>
#include <memory>
#include <stdexcept>

namespace orvane {

// Raised when the chosen backend cannot be had; the program reports it on
// stderr and ends, never falling back to another backend.
class BackendError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The backend named by ORVANE_NETAPI: "embedded" (the default) on the machine
// in machineFolder, "host" (this machine's own accounts) or "samba".
std::unique_ptr<NetApi> createNetApi(const QString& machineFolder);

} // namespace orvane
