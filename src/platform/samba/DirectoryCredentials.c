#include "platform/samba/DirectoryCredentials.h"

#include <stdint.h>
#include <talloc.h>

#include <credentials.h>
#include <param.h>

struct cli_credentials* orvane_directory_credentials(void* memory, struct loadparm_context* lp,
                                                     const char* user, const char* password,
                                                     bool ticket_cache, const char** error) {
    struct cli_credentials* credentials = cli_credentials_init(memory);
    if (!credentials || !cli_credentials_set_conf(credentials, lp)) {
        *error = "out of memory";
        return NULL;
    }
    if (ticket_cache) {
        /* Kerberos alone, as the account calls take it: the ticket names the
         * account and its realm. */
        cli_credentials_set_kerberos_state(credentials, CRED_USE_KERBEROS_REQUIRED, CRED_SPECIFIED);
        /* The error text hangs from the credentials: they go with `memory`. */
        if (cli_credentials_set_ccache(credentials, lp, NULL, CRED_SPECIFIED, error) != 0)
            return NULL;
        return credentials;
    }
    if (user && *user)
        cli_credentials_parse_string(credentials, user, CRED_SPECIFIED);
    cli_credentials_set_password(credentials, password ? password : "", CRED_SPECIFIED);
    return credentials;
}
