#pragma once

// Samba's calls for its process-wide state that every in-process use of its
// libraries here makes: loadparm's settings and the talloc stack. No
// installed header declares them, so exactly the prototypes used are
// declared here, copied from Samba 4.17's sources (the file named on each).
// The SMBCONF_0.0.1 symbols are exported by libsmbconf.so.0, the
// SAMBA_UTIL_0.0.1 one by libsamba-util.so.0 (both in samba-libs).
//
// None of this is thread-safe: SambaCallScope makes every call under one
// process-wide lock.

#include <cstdint>
#include <talloc.h>

extern "C" {

// source3/param/param_proto.h, generated (SMBCONF_0.0.1): the loaded
// "clustering" setting. A clustered Samba keeps its databases in ctdb, which
// only a process with Samba's messaging reaches: Samba's own tools, not
// this one.
bool lp_clustering(void);

// source3/param/loadparm.h (SMBCONF_0.0.1). A setting that loading a file
// no longer changes. Samba's tools set "log level" to 0; here it is
// "all:-1", which silences the general class only: Samba's traces go
// straight to this process's stderr, and at level 0 the general class says a
// line for every share removed without an access list (net prints it each
// time) and loadparm's complaints about a site's settings on every load.
// What fails is said by the calls' results; the other classes (the
// registry's, the account database's) still say their failures.
bool lp_set_cmdline(const char* pszParmName, const char* pszParmValue);

// lib/util/talloc_stack.h (SAMBA_UTIL_0.0.1), the function behind
// talloc_stackframe(). Samba's code allocates on talloc_tos(), the newest
// frame, and finding none it reports a leak (and panics in a developer
// build); Samba's tools keep one frame open for their whole run.
TALLOC_CTX* _talloc_stackframe(const char* location);

// NTSTATUS is this struct where HAVE_IMMEDIATE_STRUCTURES is set
// (samba-util.pc sets it), returned in a register as a uint32_t would be.
struct SambaNtStatus {
    std::uint32_t v;
};
}

// libcli/util/ntstatus_gen.h: the codes tested here.
inline constexpr std::uint32_t kSambaNtStatusOk = 0;
// No access list was kept.
inline constexpr std::uint32_t kSambaNtStatusNotFound = 0xC0000225;
// The account database holds no account of that name.
inline constexpr std::uint32_t kSambaNtStatusNoSuchUser = 0xC0000064;
