#pragma once

// The account files as they are now, read again only when one of them has
// changed: a refill asks about every account several times, and the files
// of a large site are megabytes. The shadow suite replaces a file by renaming
// a new one over it, so a changed file has a new identity or time stamp.

#include "platform/host/HostAccounts.h"

#include <QString>
#include <array>
#include <memory>
#include <mutex>

struct stat;

namespace orvane::host {

class AccountSnapshot {
public:
    // `etc` is the folder holding login.defs, default/useradd, passwd, shadow
    // and group.
    AccountSnapshot(QString etc, std::vector<GroupAlias> aliases);

    // The accounts as the files say now. Throws std::system_error when a file
    // cannot be read (the shadow file needs root).
    std::shared_ptr<const HostAccounts> current();
    // The next current() reads the files again, whatever their stamps say.
    void invalidate();

private:
    struct Stamp {
        unsigned long long device = 0, inode = 0, size = 0;
        long long modified = 0, changed = 0;
        bool operator==(const Stamp&) const = default;
    };
    static constexpr std::size_t kFiles = 5;
    static Stamp stampOf(const struct stat& st);

    QString m_etc;
    std::vector<GroupAlias> m_aliases;
    std::mutex m_mutex;
    std::array<Stamp, kFiles> m_stamps{};
    std::shared_ptr<const HostAccounts> m_accounts;
};

} // namespace orvane::host
