#pragma once

// This machine's accounts and groups as the service shows them: which are
// listed, what each record says, the groups an account is in, and the
// Windows names of the built-in groups as aliases of the Unix groups here.
// Plain rules over one read of the account files; nothing here reads a file.

#include "platform/host/AccountFiles.h"
#include "platform/host/LoginDefs.h"
#include "platform/netapi/Records.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace orvane::host {

// One consistent read of the policy and the account files.
struct AccountFilesRead {
    LoginDefs defs;
    // useradd's own defaults (/etc/default/useradd), as NAME=value lines.
    LoginDefs useraddDefaults;
    std::vector<PasswdEntry> passwd;
    std::vector<ShadowEntry> shadow;
    std::vector<GroupEntry> group;
};

// A built-in group's Windows name and the Unix group that stands for it.
struct GroupAlias {
    QString windowsName;
    QByteArray unixGroup;
};

// The table used for the names Samba does not map: Administrators are those
// who may use sudo, Users everyone in the users group, Guests the guests
// group and Remote Desktop Users xrdp's tsusers, where a site has them.
std::vector<GroupAlias> defaultGroupAliases();

// The folder useradd puts new accounts' homes in: HOME of its defaults.
QString defaultHomeFolder(const LoginDefs& useraddDefaults);

// Whether the service lists this entry of the account files: a UID in
// login.defs' range, and never root or nobody. Of several entries of one
// name, only the first counts (the one the C library finds).
bool isListed(const PasswdEntry& entry, const IdRange& uids);

// Whether the service lists this group: one a built-in group's name stands
// for (`aliased`), or one of login.defs' GID range that is not an account's
// own private group (`accountsOwn`: an account of the group's name has its
// GID as primary group). Of several entries of one name, only the first
// counts.
bool isListedGroup(const GroupEntry& entry, bool aliased, bool accountsOwn, const IdRange& gids);

// The alias whose Windows name this is, letter case ignored, if any.
const GroupAlias* aliasNamed(const std::vector<GroupAlias>& aliases, QStringView windowsName);

// An account's name as Samba's and Windows' clients compare names: letter
// case folded.
QString foldedName(QStringView name);

class HostAccounts {
public:
    HostAccounts(AccountFilesRead files, std::vector<GroupAlias> aliases);
    // Its indexes point into its own read of the files.
    HostAccounts(const HostAccounts&) = delete;
    HostAccounts& operator=(const HostAccounts&) = delete;

    const LoginDefs& defs() const { return m_files.defs; }
    // The hash method new passwords get.
    HashMethod hashMethod() const { return m_files.defs.hashMethod(); }
    // The folder useradd puts new accounts' homes in.
    QString defaultHome() const;

    // The listed accounts: UID in UID_MIN..UID_MAX, never root or nobody; in
    // UID order, then name, so that a listing resumes by UID.
    const std::vector<const PasswdEntry*>& users() const { return m_users; }
    // The account of exactly this name, if it is listed.
    const PasswdEntry* user(QStringView name) const;
    // A listed account whose name differs from this one in letter case only,
    // or is the same: Samba's and Windows' clients fold case.
    const PasswdEntry* userFoldingCase(QStringView name) const;
    // Whether the name is an account of the files that is not listed (root,
    // a system account), which no call may change.
    bool isUnlisted(QStringView name) const;
    // How many accounts of the files, listed or not, have this name when
    // letter case is ignored.
    int namesFoldingTo(QStringView name) const;

    // The record of a listed account; password age counted to `today` (days
    // since 1970, as the shadow file counts).
    records::User record(const PasswdEntry& account, long today) const;

    // The listed groups, by their names here, in GID order: the Unix groups the
    // built-in names map to, and the GID_MIN..GID_MAX groups that are not an
    // account's own private group.
    const std::vector<const GroupEntry*>& groups() const { return m_groups; }
    // A listed group by its name here or by the Windows name of its alias.
    const GroupEntry* group(QStringView name) const;
    // The listed groups that hold the account, its primary group counted.
    QStringList groupsOf(const PasswdEntry& account) const;

private:
    bool isIn(const PasswdEntry& account, const GroupEntry& group) const;

    AccountFilesRead m_files;
    std::vector<GroupAlias> m_aliases;
    std::vector<const PasswdEntry*> m_users;
    std::vector<const GroupEntry*> m_groups;
    QHash<QString, const PasswdEntry*> m_byName;
    QHash<QString, const PasswdEntry*> m_byFoldedName;
    QHash<QString, int> m_foldedNames;
    QHash<QString, const ShadowEntry*> m_shadow;
    QHash<QString, const GroupEntry*> m_groupByName;
    // The listed groups each account is a supplementary member of, in GID order.
    QHash<QByteArray, std::vector<const GroupEntry*>> m_memberOf;
    const GroupEntry* m_administrators = nullptr;
};

// The text of a file's field, which the files keep as UTF-8.
inline QString text(const QByteArray& field) {
    return QString::fromUtf8(field);
}

} // namespace orvane::host
