#include "platform/host/HostAccounts.h"

#include <QSet>
#include <algorithm>

namespace orvane::host {

QString foldedName(QStringView name) {
    return name.toString().toCaseFolded();
}

std::vector<GroupAlias> defaultGroupAliases() {
    return {{QStringLiteral("Administrators"), "sudo"},
            {QStringLiteral("Users"), "users"},
            {QStringLiteral("Guests"), "guests"},
            // The group xrdp admits to remote desktops (its TerminalServerUsers).
            {QStringLiteral("Remote Desktop Users"), "tsusers"}};
}

bool isListed(const PasswdEntry& entry, const IdRange& uids) {
    return entry.uid != 0 && entry.name != "root" && entry.name != "nobody" &&
           uids.contains(entry.uid);
}

bool isListedGroup(const GroupEntry& entry, bool aliased, bool accountsOwn, const IdRange& gids) {
    return aliased || (!accountsOwn && gids.contains(entry.gid));
}

const GroupAlias* aliasNamed(const std::vector<GroupAlias>& aliases, QStringView windowsName) {
    for (const GroupAlias& alias : aliases)
        if (alias.windowsName.compare(windowsName, Qt::CaseInsensitive) == 0)
            return &alias;
    return nullptr;
}

HostAccounts::HostAccounts(AccountFilesRead files, std::vector<GroupAlias> aliases)
    : m_files(std::move(files)), m_aliases(std::move(aliases)) {
    const IdRange uids = m_files.defs.uids();
    for (const PasswdEntry& entry : m_files.passwd) {
        const QString name = text(entry.name);
        // The first entry of a name is the one the C library finds.
        if (m_byName.contains(name))
            continue;
        ++m_foldedNames[foldedName(name)];
        m_byName.insert(name, &entry);
        if (!isListed(entry, uids)) {
            m_byName[name] = nullptr;
            continue;
        }
        if (!m_byFoldedName.contains(foldedName(name)))
            m_byFoldedName.insert(foldedName(name), &entry);
        m_users.push_back(&entry);
    }
    std::stable_sort(m_users.begin(), m_users.end(),
                     [](const PasswdEntry* a, const PasswdEntry* b) { return a->uid < b->uid; });
    for (const ShadowEntry& entry : m_files.shadow)
        if (!m_shadow.contains(text(entry.name)))
            m_shadow.insert(text(entry.name), &entry);

    // An account's private group: its name and its primary GID.
    QSet<QString> privateGroups;
    for (const PasswdEntry& entry : m_files.passwd)
        privateGroups.insert(text(entry.name) + u':' + QString::number(entry.gid));
    QSet<QByteArray> aliased;
    for (const GroupAlias& alias : m_aliases)
        aliased.insert(alias.unixGroup);
    const IdRange gids = m_files.defs.gids();
    QSet<QString> seen;
    for (const GroupEntry& entry : m_files.group) {
        const QString name = text(entry.name);
        if (seen.contains(name))
            continue;
        seen.insert(name);
        if (!isListedGroup(entry, aliased.contains(entry.name),
                           privateGroups.contains(name + u':' + QString::number(entry.gid)), gids))
            continue;
        m_groups.push_back(&entry);
        m_groupByName.insert(name, &entry);
    }
    std::stable_sort(m_groups.begin(), m_groups.end(),
                     [](const GroupEntry* a, const GroupEntry* b) { return a->gid < b->gid; });
    for (const GroupEntry* entry : m_groups) {
        for (const QByteArray& member : entry->members) {
            auto& of = m_memberOf[member];
            if (of.empty() || of.back() != entry)
                of.push_back(entry);
        }
    }
    m_administrators = group(u"Administrators");
}

QString defaultHomeFolder(const LoginDefs& useraddDefaults) {
    const QByteArray home = useraddDefaults.value("HOME").value_or("/home");
    return home.isEmpty() ? QStringLiteral("/home") : text(home);
}

QString HostAccounts::defaultHome() const {
    return defaultHomeFolder(m_files.useraddDefaults);
}

const PasswdEntry* HostAccounts::user(QStringView name) const {
    const auto found = m_byName.find(name.toString());
    return found == m_byName.end() ? nullptr : *found;
}

const PasswdEntry* HostAccounts::userFoldingCase(QStringView name) const {
    const auto found = m_byFoldedName.find(foldedName(name));
    return found == m_byFoldedName.end() ? nullptr : *found;
}

int HostAccounts::namesFoldingTo(QStringView name) const {
    return m_foldedNames.value(foldedName(name));
}

bool HostAccounts::isUnlisted(QStringView name) const {
    const auto found = m_byName.find(name.toString());
    return found != m_byName.end() && !*found;
}

records::User HostAccounts::record(const PasswdEntry& account, long today) const {
    records::User user;
    user.name = text(account.name);
    user.comment = text(account.gecos);
    user.homeDir = text(account.home);
    user.flags = UF_SCRIPT | UF_NORMAL_ACCOUNT;
    const auto shadow = m_shadow.find(user.name);
    if (shadow != m_shadow.end()) {
        if (isLocked(*(*shadow)))
            user.flags |= UF_ACCOUNTDISABLE;
        if (neverExpires(*(*shadow)))
            user.flags |= UF_DONT_EXPIRE_PASSWD;
        const long changed = (*shadow)->lastChange;
        if (changed >= 0 && changed <= today)
            user.passwordAge = DWORD((today - changed) * 86400);
    }
    user.priv = USER_PRIV_USER;
    if (m_administrators && isIn(account, *m_administrators))
        user.priv = USER_PRIV_ADMIN;
    return user;
}

const GroupEntry* HostAccounts::group(QStringView name) const {
    const auto found = m_groupByName.find(name.toString());
    if (found != m_groupByName.end())
        return *found;
    const GroupAlias* alias = aliasNamed(m_aliases, name);
    if (!alias)
        return nullptr;
    const auto target = m_groupByName.find(text(alias->unixGroup));
    return target == m_groupByName.end() ? nullptr : *target;
}

bool HostAccounts::isIn(const PasswdEntry& account, const GroupEntry& group) const {
    if (account.gid == group.gid)
        return true;
    const auto of = m_memberOf.find(account.name);
    return of != m_memberOf.end() && std::find((*of).begin(), (*of).end(), &group) != (*of).end();
}

QStringList HostAccounts::groupsOf(const PasswdEntry& account) const {
    std::vector<const GroupEntry*> in;
    const auto of = m_memberOf.find(account.name);
    if (of != m_memberOf.end())
        in = (*of);
    // The primary group counts, at its place in GID order.
    const auto primary = std::find_if(m_groups.begin(), m_groups.end(),
                                      [&](const GroupEntry* g) { return g->gid == account.gid; });
    if (primary != m_groups.end() && std::find(in.begin(), in.end(), *primary) == in.end())
        in.insert(std::upper_bound(
                      in.begin(), in.end(), *primary,
                      [](const GroupEntry* a, const GroupEntry* b) { return a->gid < b->gid; }),
                  *primary);
    QStringList names;
    names.reserve(qsizetype(in.size()));
    for (const GroupEntry* entry : in)
        names.push_back(text(entry->name));
    return names;
}

} // namespace orvane::host
