#pragma once

/* The credentials Samba's directory client signs on with. Samba's
 * credentials header compiles as C only, so this one small file builds them. */

#include <stdbool.h>

#ifdef __cplusplus
extern "C" {
#endif

struct cli_credentials;
struct loadparm_context;

/* A password logs on as `user` (which may be "DOMAIN\user" or
 * "user@REALM"); otherwise the default Kerberos ticket cache does, as the
 * account it names. Allocated on `memory` (a talloc context); null with
 * `error` set when the cache cannot be used. */
struct cli_credentials* orvane_directory_credentials(void* memory, struct loadparm_context* lp,
                                                     const char* user, const char* password,
                                                     bool ticket_cache, const char** error);

#ifdef __cplusplus
}
#endif
