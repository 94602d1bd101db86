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

// The owners of one command's new home folders. The machine's settings for
// new homes are read once, when the first account resolves; each account is
// looked up in the name service.
class HomeFolderOwners {
public:
    // root: the top of the machine whose etc/ holds login.defs and
    // default/useradd: "/" for this one.
    explicit HomeFolderOwners(NewHomeFolders how, QString root = QStringLiteral("/"));

    // The owner of a new home folder for account; nothing when it does not
    // resolve or the backend's folders stay as made. The mode is HOME_MODE
    // of login.defs, else 0700; the skeleton, for ToLocalAccount, is the one
    // useradd -m copies (machineSkeleton).
    std::optional<HomeFolderOwner> of(const QString& account);

private:
    struct Settings {
        mode_t mode;
        QString skeleton;
    };
    NewHomeFolders m_how;
    QString m_root;
    std::optional<Settings> m_settings;
};

// The folder useradd -m copies into a new home: SKEL as useradd -D shows it,
// so that the distribution's own reader decides what etc/default/useradd
// says. A root other than "/" is useradd's --prefix. Where useradd cannot
// tell, its built-in /etc/skel under root.
QString machineSkeleton(const QString& root = QStringLiteral("/"));

} // namespace orvane
