#pragma once

// Every call's edge: the service reports failures as results, so nothing a
// backend throws reaches the caller, which may be a window's handler or a
// worker thread.

#include "platform/NETUSER.h"

#include <new>

namespace orvane {

template <class Body> NET_API_STATUS guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return NERR_InternalError;
    }
}

} // namespace orvane
