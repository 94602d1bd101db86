#pragma once

// Samba's calls for its account database that Orvane makes in process, as
// `smbpasswd -L` makes them (source3/utils/smbpasswd.c). No installed header
// declares them, so exactly the prototypes used are declared here, copied
// from Samba 4.17's sources (the file named on each), beside the ones for
// loadparm and the talloc stack in SambaProcessCalls.h. The
// SAMBA_PASSDB_0.2.0 symbols are exported by libsamba-passdb.so.0, the
// SMBCONF_0.0.1 ones by libsmbconf.so.0, the SAMBA_UTIL_0.0.1 ones by
// libsamba-util.so.0 (all in samba-libs).
//
// None of this is thread-safe: the account database, loadparm and the
// talloc stack are process-wide. SambaPassdb.cpp makes every call inside a
// SambaCallScope.

#include "platform/host/SambaProcessCalls.h"

#include <cstddef>

struct memcache;
struct tevent_context;

extern "C" {

// source3/param/loadparm.h (SMBCONF_0.0.1). Loads the [global] section of a
// configuration file into loadparm: what smbpasswd does with its -c file
// before anything else.
bool lp_load_global(const char* file_name);

// source3/param/param_proto.h, generated (SMBCONF_0.0.1): the loaded
// "passdb backend" (such as "tdbsam", or "tdbsam:/path/passdb.tdb") and
// "private dir" (where tdbsam's passdb.tdb and secrets.tdb are kept).
const char* lp_passdb_backend(void);
const char* lp_private_dir(void);

// source3/include/passdb.h, from source3/passdb/pdb_interface.c
// (SAMBA_PASSDB_0.2.0). Sets up the configured account database's methods
// once per process (`reload` sets them up again); smbpasswd calls it with
// false and no event context before any change. The database itself is
// opened by the first call that reads it, and stays open.
bool initialize_password_db(bool reload, struct tevent_context* tevent_ctx);

// source3/include/passdb.h, from source3/passdb/passdb.c
// (SAMBA_PASSDB_0.2.0). What smbpasswd -L does to one account with the
// LOCAL_* flags below: adds it (its Unix account must exist), sets its
// password, disables or enables it, or deletes it. Everything but a new
// account's record (written first, disabled and without a password) is
// written in one update at the end, one database transaction each. The two
// texts it may give back are malloc'd (free them).
SambaNtStatus local_password_change(const char* user_name, int local_flags, const char* new_passwd,
                                    char** pp_err_str, char** pp_msg_str);

// lib/util/memcache.h (SAMBA_UTIL_0.0.1). Samba's process-wide cache of
// lookups. Without one set, which only smbd sets, every account that
// pdb_getsampwnam reads leaves a copy meant for the cache behind (a few
// kilobytes; source3/passdb/pdb_interface.c): a cache set for one call, and
// freed after it, takes them, and keeps nothing from one call to the next
// that another process may have changed meanwhile (the Unix accounts among
// them). memcache_set_global frees the cache set before.
struct memcache* memcache_init(TALLOC_CTX* mem_ctx, size_t max_size);
void memcache_set_global(struct memcache* cache);

// source3/lib/global_contexts.h, from source3/lib/global_contexts.c
// (SMBCONF_0.0.1). Deleting an account tells Samba's servers to forget it
// through Samba's messaging, whose context the deletion makes for this
// process; freeing it closes the socket that nothing here would read.
void global_messaging_context_free(void);
}

// source3/include/passdb.h: local_password_change's flags, as smbpasswd's
// options set them (-a add, -x delete, -d disable; a new password unless -x
// or -d; LOCAL_AM_ROOT for root in local mode).
inline constexpr int kLocalAddUser = 0x1;
inline constexpr int kLocalDeleteUser = 0x2;
inline constexpr int kLocalDisableUser = 0x4;
inline constexpr int kLocalSetPassword = 0x40;
inline constexpr int kLocalAmRoot = 0x200;
