#pragma once

// Accounts as this machine's name service (NSS) resolves them: the account
// files, and a domain's accounts on a member that resolves them.

#include <QString>
#include <optional>
#include <sys/types.h>

namespace orvane {

struct ResolvedAccount {
    uid_t user = 0;
    gid_t group = 0; // the primary group
    QString home;
};

// The account named name, or nothing when the name service knows none.
std::optional<ResolvedAccount> resolveAccount(const QString& name);

} // namespace orvane
