#pragma once

// A domain controller's accounts as its directory holds them, and what the
// account calls answer from them: the same records, order and local groups a
// listing account by account gives, worked out from two bulk reads.

#include "platform/samba/LibNetApi.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane::samba {

// Distinguished names are compared folded, as the directory gives them back.
struct DirectoryUser {
    std::string name, comment, homeDir, scriptPath;
    std::string sid; // S-1-5-21-...
    std::uint32_t accountControl = 0;
    // What the directory works out (locked out, password expired): none
    // where a server does not give it in a search.
    std::uint32_t computedControl = 0;
    std::int64_t passwordLastSet = 0; // Windows file time
    std::uint32_t primaryGroupRid = 0;
    std::vector<std::string> memberOf;
};

struct DirectoryGroup {
    std::string dn;
    std::string name;
    std::string sid;
    std::int32_t groupType = 0;
    std::string guid; // 16 bytes as stored
    std::vector<std::string> memberOf;
};

struct DirectoryContents {
    std::string domainSid;
    std::vector<DirectoryUser> users;
    std::vector<DirectoryGroup> groups;
};

struct DirectoryAccount {
    lib::User record;
    std::vector<std::string> localGroups;
};

// The accounts a level-1 listing with no filter gives, in its order (by
// relative identifier), each with the local groups NetUserGetLocalGroups
// names for it, groups reached through its global groups included.
// `now` is the Unix time the password ages count to.
std::vector<DirectoryAccount> listedAccounts(const DirectoryContents& contents, std::int64_t now);

// The rules the listing follows, one by one.
std::uint32_t listedFlags(std::uint32_t accountControl, std::uint32_t computed);
std::uint32_t privilegeOf(std::uint32_t rid);
std::uint32_t passwordAge(std::int64_t passwordLastSet, std::int64_t now);

// "S-1-5-21-..." for a binary security identifier; empty when malformed.
std::string sidText(std::string_view binary);
// The domain part and the relative identifier of a SID's text.
std::string_view sidDomain(std::string_view sid);
std::optional<std::uint32_t> sidRid(std::string_view sid);

inline constexpr std::string_view kBuiltinDomain = "S-1-5-32";

} // namespace orvane::samba
