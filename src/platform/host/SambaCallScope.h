#pragma once

// The scope of one use of Samba's libraries in this process. Their state is
// process-wide, whichever thread or object calls: loadparm, the talloc stack,
// the open registry and account databases. Every use takes this one lock
// first and lets it go last, with a talloc frame open in between; other
// processes (smbd, Samba's tools, other Orvane windows) are kept in step by
// the databases' own locks.

#include <mutex>
#include <talloc.h>

namespace orvane::host {

class SambaCallScope {
public:
    SambaCallScope();
    ~SambaCallScope();
    SambaCallScope(const SambaCallScope&) = delete;
    SambaCallScope& operator=(const SambaCallScope&) = delete;

private:
    // Held first and let go last.
    std::lock_guard<std::mutex> m_lock;
    TALLOC_CTX* m_frame;
};

} // namespace orvane::host
