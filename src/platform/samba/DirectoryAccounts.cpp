#include "platform/samba/DirectoryAccounts.h"

#include "platform/NETUSER.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

namespace orvane::samba {

namespace {

// Group types as the directory stores them (signed: the security bit is the top one).
constexpr std::int32_t kGlobalGroup = std::int32_t(0x80000002u);
constexpr std::int32_t kDomainLocalGroup = std::int32_t(0x80000004u);
constexpr std::int32_t kBuiltinLocalGroup = std::int32_t(0x80000005u);
constexpr std::int32_t kUniversalGroup = std::int32_t(0x80000008u);

constexpr std::uint32_t kAdministratorRid = 500;
constexpr std::uint32_t kGuestRid = 501;

// The account-control bits the server carries over to account flags; the
// others never reach a listing.
constexpr std::uint32_t kMappedControlBits =
    0x00000002 | 0x00000008 | 0x00000010 | 0x00000020 | 0x00000080 | 0x00000100 | 0x00000200 |
    0x00000800 | 0x00001000 | 0x00002000 | 0x00010000 | 0x00020000 | 0x00040000 | 0x00080000 |
    0x00100000 | 0x00200000 | 0x00400000 | 0x00800000 | 0x01000000 | 0x02000000 | 0x04000000 |
    0x08000000;

// Windows counts 100 ns ticks from 1601.
constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kUnixEpochSeconds = 11644473600LL;

bool inDomain(std::string_view sid, std::string_view domain) {
    return !domain.empty() && sidDomain(sid) == domain;
}

// The order the server returns a search's entries in: by object GUID.
bool byGuid(const DirectoryGroup* a, const DirectoryGroup* b) {
    return a->guid < b->guid;
}

class Groups {
public:
    explicit Groups(const DirectoryContents& contents) : m_domain(contents.domainSid) {
        for (const DirectoryGroup& group : contents.groups) {
            m_byDn.emplace(group.dn, &group);
            m_bySid.emplace(group.sid, &group);
        }
    }

    // What NetUserGetLocalGroups names: the local groups that hold the
    // account itself, its primary group or a global group it is in, those of
    // its domain first, then the built-in ones.
    std::vector<std::string> localGroupsOf(const DirectoryUser& user) const {
        std::unordered_set<const DirectoryGroup*> found;
        collectLocal(user.memberOf, found);
        if (const DirectoryGroup* primary = find(m_bySid, std::string(sidDomain(user.sid)) + '-' +
                                                              std::to_string(user.primaryGroupRid)))
            collectLocal(primary->memberOf, found);
        for (const std::string& dn : user.memberOf)
            if (const DirectoryGroup* group = find(m_byDn, dn);
                group &&
                (group->groupType == kGlobalGroup || group->groupType == kUniversalGroup) &&
                inDomain(group->sid, m_domain))
                collectLocal(group->memberOf, found);

        std::vector<const DirectoryGroup*> domain, builtin;
        for (const DirectoryGroup* group : found)
            (inDomain(group->sid, m_domain) ? domain : builtin).push_back(group);
        std::sort(domain.begin(), domain.end(), byGuid);
        std::sort(builtin.begin(), builtin.end(), byGuid);
        std::vector<std::string> names;
        names.reserve(found.size());
        for (const auto* part : {&domain, &builtin})
            for (const DirectoryGroup* group : *part)
                names.push_back(group->name);
        return names;
    }

private:
    template <class Map> static const DirectoryGroup* find(const Map& map, const std::string& key) {
        const auto it = map.find(key);
        return it == map.end() ? nullptr : it->second;
    }

    void collectLocal(const std::vector<std::string>& memberOf,
                      std::unordered_set<const DirectoryGroup*>& found) const {
        for (const std::string& dn : memberOf) {
            const DirectoryGroup* group = find(m_byDn, dn);
            if (!group)
                continue;
            if ((group->groupType == kDomainLocalGroup && inDomain(group->sid, m_domain)) ||
                (group->groupType == kBuiltinLocalGroup && inDomain(group->sid, kBuiltinDomain)))
                found.insert(group);
        }
    }

    std::string m_domain;
    std::unordered_map<std::string, const DirectoryGroup*> m_byDn, m_bySid;
};

} // namespace

std::uint32_t listedFlags(std::uint32_t accountControl, std::uint32_t computed) {
    return UF_SCRIPT | ((accountControl | computed) & kMappedControlBits);
}

std::uint32_t privilegeOf(std::uint32_t rid) {
    switch (rid) {
    case kAdministratorRid:
        return USER_PRIV_ADMIN;
    case kGuestRid:
        return USER_PRIV_GUEST;
    default:
        return USER_PRIV_USER;
    }
}

std::uint32_t passwordAge(std::int64_t passwordLastSet, std::int64_t now) {
    // Never set (0) and "never" (-1) count from 1970, and a time within a
    // second rounds to the nearer one, as the server's clients have it.
    std::int64_t set = 0;
    if (passwordLastSet != 0 && passwordLastSet != -1) {
        set = passwordLastSet / kTicksPerSecond - kUnixEpochSeconds;
        if (passwordLastSet % kTicksPerSecond > kTicksPerSecond / 2)
            ++set;
    }
    return std::uint32_t(now - set);
}

std::string sidText(std::string_view binary) {
    if (binary.size() < 8)
        return {};
    const auto byte = [&](std::size_t i) { return std::uint8_t(binary[i]); };
    const std::size_t count = byte(1);
    if (count > 15 || binary.size() != 8 + 4 * count)
        return {};
    std::uint64_t authority = 0;
    for (std::size_t i = 2; i < 8; ++i)
        authority = authority << 8 | byte(i);
    std::string out = "S-" + std::to_string(byte(0)) + '-' + std::to_string(authority);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = 8 + 4 * i;
        const std::uint32_t value = std::uint32_t(byte(at)) | std::uint32_t(byte(at + 1)) << 8 |
                                    std::uint32_t(byte(at + 2)) << 16 |
                                    std::uint32_t(byte(at + 3)) << 24;
        out += '-' + std::to_string(value);
    }
    return out;
}

std::string_view sidDomain(std::string_view sid) {
    const std::size_t dash = sid.rfind('-');
    return dash == std::string_view::npos ? std::string_view() : sid.substr(0, dash);
}

std::optional<std::uint32_t> sidRid(std::string_view sid) {
    const std::size_t dash = sid.rfind('-');
    if (dash == std::string_view::npos)
        return std::nullopt;
    std::uint32_t rid = 0;
    const char* first = sid.data() + dash + 1;
    const char* last = sid.data() + sid.size();
    const auto [end, error] = std::from_chars(first, last, rid);
    if (error != std::errc() || end != last || first == last)
        return std::nullopt;
    return rid;
}

std::vector<DirectoryAccount> listedAccounts(const DirectoryContents& contents, std::int64_t now) {
    struct Listed {
        std::uint32_t rid;
        const DirectoryUser* user;
    };
    std::vector<Listed> listed;
    listed.reserve(contents.users.size());
    for (const DirectoryUser& user : contents.users) {
        // A listing with no filter asks for normal accounts of the domain.
        const std::uint32_t control = user.accountControl;
        if (!(control & UF_NORMAL_ACCOUNT) || !inDomain(user.sid, contents.domainSid))
            continue;
        if (const std::optional<std::uint32_t> rid = sidRid(user.sid))
            listed.push_back({*rid, &user});
    }
    std::sort(listed.begin(), listed.end(),
              [](const Listed& a, const Listed& b) { return a.rid < b.rid; });

    const Groups groups(contents);
    std::vector<DirectoryAccount> out;
    out.reserve(listed.size());
    for (const auto& [rid, user] : listed) {
        DirectoryAccount account;
        account.record = {user->name,
                          user->homeDir,
                          user->comment,
                          user->scriptPath,
                          passwordAge(user->passwordLastSet, now),
                          privilegeOf(rid),
                          listedFlags(user->accountControl, user->computedControl)};
        account.localGroups = groups.localGroupsOf(*user);
        out.push_back(std::move(account));
    }
    return out;
}

} // namespace orvane::samba
