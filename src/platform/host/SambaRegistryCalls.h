#pragma once

// Samba's calls for its registry configuration that Orvane makes in process.
// smbconf.h (samba-dev) declares libsmbconf's share, parameter and
// transaction calls; what `net conf` does before them has no installed
// header, so exactly the prototypes used are declared here, copied from
// Samba 4.17's sources (the file named on each). All are exported by
// Samba's public libraries: the SMBCONF_0.0.1 symbols by libsmbconf.so.0,
// the SAMBA_UTIL_0.0.1 ones by libsamba-util.so.0 (both in samba-libs).
//
// None of this is thread-safe: loadparm, the talloc stack and the open
// registry database are process-wide. RegistryShares.cpp makes every call
// under one lock.

#include <cstdint>
#include <talloc.h>

extern "C" {
#include <smbconf.h>

// source3/lib/smbconf/smbconf_reg.h (SMBCONF_0.0.1). Opens the registry
// configuration below `path` (NULL: HKLM\Software\Samba\smbconf), creating
// Samba's registry database and keys where they are missing; state_path()
// of the loaded configuration says where. What `net conf` opens, through
// smbconf_init(..., "registry:").
sbcErr smbconf_init_reg(TALLOC_CTX* mem_ctx, struct smbconf_ctx** conf_ctx, const char* path);

// source3/param/loadparm.h (SMBCONF_0.0.1). Loads the [global] section of a
// configuration file into loadparm, as a client: what `net -s FILE` does
// before any subcommand (lib/cmdline/cmdline_s3.c).
bool lp_load_client(const char* file_name);

// source3/param/param_proto.h, generated (SMBCONF_0.0.1): the loaded
// "clustering" setting. A clustered Samba keeps its registry in ctdb, which
// only a process with Samba's messaging reaches: net, not this one.
bool lp_clustering(void);

// source3/param/loadparm.h (SMBCONF_0.0.1). A setting that loading a file
// no longer changes. `net` sets "log level" to 0; here it is "all:-1":
// Samba's traces go straight to this process's stderr, and at level 0 its
// general class says a line for every share removed without an access list
// (net prints it each time) and loadparm's complaints about a site's
// settings on every load. What fails is said by the calls' results; the
// registry's own class still says its failures.
bool lp_set_cmdline(const char* pszParmName, const char* pszParmValue);

// source3/include/proto.h, from lib/sharesec.c (SMBCONF_0.0.1). Removes a
// share's access list from share_info.tdb; `net conf delshare` does it
// after the share, so that a later share of that name starts without it.
// NTSTATUS is this struct where HAVE_IMMEDIATE_STRUCTURES is set
// (samba-util.pc sets it), returned in a register as a uint32_t would be.
struct SambaNtStatus {
    std::uint32_t v;
};
SambaNtStatus delete_share_security(const char* servicename);

// lib/util/talloc_stack.h (SAMBA_UTIL_0.0.1), the function behind
// talloc_stackframe(). Samba's registry code allocates on talloc_tos(), the
// newest frame, and finding none it reports a leak (and panics in a
// developer build); `net` keeps one frame open for its whole run.
TALLOC_CTX* _talloc_stackframe(const char* location);
}

// NT_STATUS_NOT_FOUND (libcli/util/ntstatus_gen.h): no access list was kept.
inline constexpr std::uint32_t kSambaNtStatusNotFound = 0xC0000225;
