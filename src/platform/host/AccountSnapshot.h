#pragma once

// The account files as they are now, read again only when one of them has
// changed: a refill asks about every account several times, and the files
// of a large site are megabytes. The shadow suite replaces a file by renaming
// a new one over it, so a changed file has a new identity or time stamp.

#include "platform/host/HostAccounts.h"

#include <QString>
#include <array>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>

struct stat;

namespace orvane::host {

// The machine's policy for accounts: login.defs and useradd's defaults.
struct AccountPolicy {
    LoginDefs defs;
    LoginDefs useraddDefaults;
};

class AccountSnapshot {
public:
    // `etc` is the folder holding login.defs, default/useradd, passwd, shadow
    // and group.
    AccountSnapshot(QString etc, std::vector<GroupAlias> aliases);

    // The accounts as the files say now. Throws std::system_error when a file
    // cannot be read (the shadow file needs root).
    std::shared_ptr<const HostAccounts> current();
    // What current() would say of one account or group, read from the files
    // that answer it and parsed no further than its entries: a call costs
    // about the same at any number of accounts, where current() builds
    // every account's record again after each change, and a run of new
    // accounts changes the files with every one.
    //
    // The listed account of exactly this name now, as current()->user(name)
    // says (login.defs and the passwd file).
    std::optional<PasswdEntry> user(QStringView name);
    bool lists(QStringView name) { return user(name).has_value(); }
    // As current()->namesFoldingTo(name) says (the passwd file).
    int namesFoldingTo(QStringView name);
    // The listed group of this name here, or of the Windows name of its
    // alias, as current()->group(name) says (login.defs, the group file, and
    // the passwd entries of the group's name).
    std::optional<GroupEntry> group(QStringView name);
    // The policy as its files say now.
    AccountPolicy policy();
    // The next call reads the files again, whatever their stamps say.
    void invalidate();

private:
    struct Stamp {
        unsigned long long device = 0, inode = 0, size = 0;
        long long modified = 0, changed = 0;
        bool operator==(const Stamp&) const = default;
    };
    enum Index : std::size_t { LoginDefsFile, UseraddFile, PasswdFile, ShadowFile, GroupFile };
    static constexpr std::size_t kFiles = 5;
    struct File {
        QByteArray path;
        // Of the text read, not of what stat saw before.
        Stamp stamp;
        QByteArray text;
        bool read = false;
    };
    static Stamp stampOf(const struct stat& st);
    // Reads again each of these files that is new or changed, and drops what
    // was built from it.
    void refresh(std::initializer_list<Index> which);
    const AccountPolicy& currentPolicy();

    std::vector<GroupAlias> m_aliases;
    std::mutex m_mutex;
    std::array<File, kFiles> m_files;
    // Built from the texts read; dropped when one of them changes.
    std::optional<AccountPolicy> m_policy;
    std::shared_ptr<const HostAccounts> m_accounts;
};

} // namespace orvane::host
