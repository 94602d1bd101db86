#include "platform/host/SambaCallScope.h"

#include "platform/host/SambaProcessCalls.h"

namespace orvane::host {

namespace {

std::mutex g_samba;

} // namespace

SambaCallScope::SambaCallScope() : m_lock(g_samba), m_frame(_talloc_stackframe(__FILE__)) {
    // Once per process (SambaProcessCalls.h says why this level).
    static bool quiet = false;
    if (!quiet)
        quiet = lp_set_cmdline("log level", "all:-1");
}

// Frames end newest first, as scopes do.
SambaCallScope::~SambaCallScope() {
    talloc_free(m_frame);
}

} // namespace orvane::host
