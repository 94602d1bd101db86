#pragma once

// Who a new home folder is given to. On Linux a new folder inherits nothing
// from its parent: one made by root stays root's, and its account could not
// write a single file in it, unless it is given to the account.

#include <QString>
#include <optional>
#include <sys/types.h>

namespace orvane {

// What a backend's new home folders get, as the backend knows its accounts.
enum class NewHomeFolders {
    // The accounts are not this machine's (the embedded practice machine):
    // the folder stays as made, whatever name this machine may know.
    AsMade,
    // Given to the account when this machine's name service knows its name
    // (a domain's accounts on a member that resolves them).
    ToResolvedAccount,
    // This machine's own accounts: given, with the skeleton copied in as
    // useradd -m copies it.
    ToLocalAccount,
};

struct HomeFolderOwner {
    uid_t user = 0;
    gid_t group = 0; // the account's primary group
    mode_t mode = 0700;
    // The folder whose entries are copied in; empty for none.
    QString skeleton;
};

// The owner of a new home folder for account, looked up through the name
// service; nothing when it does not resolve or the backend's folders stay as
// made. The mode is HOME_MODE of etc/login.defs, else 0700; the skeleton is
// etc/skel for ToLocalAccount.
std::optional<HomeFolderOwner> homeFolderOwner(const QString& account, NewHomeFolders how,
                                               const QString& etc = QStringLiteral("/etc"));

} // namespace orvane
