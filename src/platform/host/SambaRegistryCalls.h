#pragma once

// Samba's calls for its registry configuration that Orvane makes in process.
// smbconf.h (samba-dev) declares libsmbconf's share, parameter and
// transaction calls; what `net conf` does before them has no installed
// header, so exactly the prototypes used are declared here, copied from
// Samba 4.17's sources (the file named on each), beside the ones for
// loadparm and the talloc stack in SambaProcessCalls.h. All are exported by
// libsmbconf.so.0 (samba-libs) as SMBCONF_0.0.1 symbols.
//
// None of this is thread-safe: loadparm, the talloc stack and the open
// registry database are process-wide. RegistryShares.cpp makes every call
// inside a SambaCallScope.

#include "platform/host/SambaProcessCalls.h"

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

// source3/include/proto.h, from lib/sharesec.c (SMBCONF_0.0.1). Removes a
// share's access list from share_info.tdb; `net conf delshare` does it
// after the share, so that a later share of that name starts without it.
SambaNtStatus delete_share_security(const char* servicename);
}
