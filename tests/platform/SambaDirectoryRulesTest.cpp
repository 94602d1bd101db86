// What the adapter works out from a domain controller's directory, and how
// long it may answer from it, checked without a server.

#include "platform/NETUSER.h"
#include "platform/samba/DirectoryAccounts.h"
#include "platform/samba/RefillSnapshot.h"

#include <gtest/gtest.h>

namespace orvane::samba {
namespace {

const std::string kDomain = "S-1-5-21-1-2-3";

std::string guid(char first) {
    return std::string(1, first) + std::string(15, '\0');
}

DirectoryGroup group(const std::string& dn, const std::string& name, const std::string& sid,
                     std::uint32_t type, char guidFirst, std::vector<std::string> memberOf = {}) {
    return {dn, name, sid, std::int32_t(type), guid(guidFirst), std::move(memberOf)};
}

DirectoryUser user(const std::string& name, std::uint32_t rid,
                   std::vector<std::string> memberOf = {},
                   std::uint32_t control = UF_NORMAL_ACCOUNT) {
    DirectoryUser out;
    out.name = name;
    out.sid = kDomain + '-' + std::to_string(rid);
    out.accountControl = control;
    out.computedControl = 0;
    out.primaryGroupRid = 513;
    out.memberOf = std::move(memberOf);
    return out;
}

// A small domain laid out as a provisioned one is.
DirectoryContents domain() {
    DirectoryContents contents;
    contents.domainSid = kDomain;
    contents.groups = {
        group("cn=users,cn=builtin", "Users", "S-1-5-32-545", 0x80000005, 'm'),
        group("cn=remote desktop users,cn=builtin", "Remote Desktop Users", "S-1-5-32-555",
              0x80000005, 'c'),
        group("cn=administrators,cn=builtin", "Administrators", "S-1-5-32-544", 0x80000005, 'x'),
        group("cn=domain users", "Domain Users", kDomain + "-513", 0x80000002, 'd',
              {"cn=users,cn=builtin"}),
        group("cn=teachers", "Teachers", kDomain + "-1200", 0x80000002, 'e',
              {"cn=remote desktop users,cn=builtin"}),
        group("cn=lab", "Lab", kDomain + "-1201", 0x80000004, 'a'),
        group("cn=mail", "Mail", kDomain + "-1202", 0x80000008, 'f',
              {"cn=administrators,cn=builtin"}),
        // Distribution groups and other domains' groups never give local groups.
        group("cn=newsletter", "Newsletter", kDomain + "-1203", 0x00000002, 'g',
              {"cn=administrators,cn=builtin"}),
        group("cn=foreign", "Foreign", "S-1-5-21-9-9-9-1100", 0x80000002, 'h',
              {"cn=administrators,cn=builtin"}),
    };
    return contents;
}

TEST(SambaDirectoryAccounts, ListedLikeTheServerListsThem) {
    DirectoryContents contents = domain();
    DirectoryUser disabled = user("pupil", 1105);
    disabled.computedControl = UF_ACCOUNTDISABLE;
    disabled.comment = "class 3";
    disabled.homeDir = "/home/pupil";
    disabled.passwordLastSet = 116444736000000000LL + 10000000LL * 1000;
    contents.users = {
        user("zed", 1104),
        user("Guest", 501, {}, UF_NORMAL_ACCOUNT | UF_ACCOUNTDISABLE),
        disabled,
        user("Administrator", 500),
        user("LAB01$", 1000, {}, 0x1000),              // a computer: not a normal account
        user("stranger", 1106, {}, UF_NORMAL_ACCOUNT), // from another domain, below
    };
    contents.users.back().sid = "S-1-5-21-9-9-9-1106";

    const std::vector<DirectoryAccount> listed = listedAccounts(contents, 5000);
    std::vector<std::string> names;
    for (const DirectoryAccount& account : listed)
        names.push_back(account.record.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Administrator", "Guest", "zed", "pupil"}));

    EXPECT_EQ(listed[0].record.priv, USER_PRIV_ADMIN);
    EXPECT_EQ(listed[1].record.priv, USER_PRIV_GUEST);
    EXPECT_EQ(listed[2].record.priv, USER_PRIV_USER);
    const lib::User& pupil = listed[3].record;
    EXPECT_EQ(pupil.comment, "class 3");
    EXPECT_EQ(pupil.homeDir, "/home/pupil");
    EXPECT_EQ(pupil.passwordAge, 4000u);
    EXPECT_EQ(pupil.flags, UF_SCRIPT | UF_NORMAL_ACCOUNT | UF_ACCOUNTDISABLE);
    EXPECT_EQ(listed[1].record.flags, UF_SCRIPT | UF_NORMAL_ACCOUNT | UF_ACCOUNTDISABLE);
}

TEST(SambaDirectoryAccounts, FlagsAgesAndIdentifiersFollowTheServersRules) {
    // Bits the server does not carry over are dropped; the computed ones
    // join in; the script bit is always there.
    EXPECT_EQ(listedFlags(UF_NORMAL_ACCOUNT | 0x40 | 0x4000, 0), UF_SCRIPT | UF_NORMAL_ACCOUNT);
    EXPECT_EQ(listedFlags(UF_NORMAL_ACCOUNT | UF_DONT_EXPIRE_PASSWD, 0),
              UF_SCRIPT | UF_NORMAL_ACCOUNT | UF_DONT_EXPIRE_PASSWD);
    EXPECT_EQ(listedFlags(UF_NORMAL_ACCOUNT, 0x10 | 0x800000),
              UF_SCRIPT | UF_NORMAL_ACCOUNT | 0x10 | 0x800000);
    // Never set counts from 1970; within a second, the nearer second counts.
    EXPECT_EQ(passwordAge(0, 1234), 1234u);
    EXPECT_EQ(passwordAge(-1, 1234), 1234u);
    const std::int64_t at1000 = 116444736000000000LL + 10000000LL * 1000;
    EXPECT_EQ(passwordAge(at1000 + 5000000, 1234), 234u);
    EXPECT_EQ(passwordAge(at1000 + 5000001, 1234), 233u);
    EXPECT_EQ(passwordAge(at1000 + 9999999, 1234), 233u);
    EXPECT_EQ(privilegeOf(1500), USER_PRIV_USER);

    const std::string binary("\x01\x05\x00\x00\x00\x00\x00\x05\x15\x00\x00\x00\x01\x00\x00\x00"
                             "\x02\x00\x00\x00\xff\xff\xff\xff\x4f\x04\x00\x00",
                             28);
    EXPECT_EQ(sidText(binary), "S-1-5-21-1-2-4294967295-1103");
    EXPECT_EQ(sidText(binary.substr(0, 27)), "");
    EXPECT_EQ(sidText(""), "");
    EXPECT_EQ(sidDomain("S-1-5-21-1-2-3-1103"), "S-1-5-21-1-2-3");
    EXPECT_EQ(sidRid("S-1-5-21-1-2-3-1103"), 1103u);
    EXPECT_EQ(sidRid("S-1-5-21-1-2-3-"), std::nullopt);
    EXPECT_EQ(sidRid("nothing"), std::nullopt);
}

TEST(SambaDirectoryAccounts, LocalGroupsComeDirectlyAndThroughGlobalGroupsDomainFirst) {
    DirectoryContents contents = domain();
    contents.users = {
        // Users through Domain Users (the primary group), Remote Desktop Users
        // through Teachers, Lab directly; Administrators through a universal
        // group, but not through a distribution or a foreign group.
        user("teacher", 1300,
             {"cn=teachers", "cn=lab", "cn=mail", "cn=newsletter", "cn=foreign",
              "cn=no longer there"}),
        user("direct", 1301, {"cn=remote desktop users,cn=builtin", "cn=users,cn=builtin"}),
        user("alone", 1302),
    };
    contents.users[2].primaryGroupRid = 9999;
    const std::vector<DirectoryAccount> listed = listedAccounts(contents, 0);
    ASSERT_EQ(listed.size(), 3u);
    // The domain's own groups first, then the built-in ones, each by GUID.
    EXPECT_EQ(listed[0].localGroups,
              (std::vector<std::string>{"Lab", "Remote Desktop Users", "Users", "Administrators"}));
    EXPECT_EQ(listed[1].localGroups, (std::vector<std::string>{"Remote Desktop Users", "Users"}));
    EXPECT_TRUE(listed[2].localGroups.empty());
}

TEST(SambaRefillSnapshot, AnswersEachListedAccountOnceThenEnds) {
    using Clock = RefillSnapshot::Clock;
    const Clock::time_point t0{};
    const lib::Server server = "dc";
    RefillSnapshot snapshot;
    snapshot.begin(server, {{"a", std::vector<std::string>{"Users"}}, {"b", std::nullopt}}, t0);
    std::vector<std::string> groups;
    EXPECT_TRUE(snapshot.groupsOf(server, "a", t0, groups));
    EXPECT_EQ(groups, std::vector<std::string>{"Users"});
    // Another server is never answered from here, and does not end it.
    EXPECT_FALSE(snapshot.groupsOf(std::nullopt, "b", t0, groups));
    EXPECT_TRUE(snapshot.live(server, t0));
    snapshot.keepShares(server, {lib::Share{"home", "", "/srv/home"}}, t0);
    ASSERT_TRUE(snapshot.shares(server, t0));
    EXPECT_EQ(snapshot.shares(server, t0)->front().name, "home");
    // Read from the server, not from the directory: asked of the server.
    EXPECT_FALSE(snapshot.groupsOf(server, "b", t0, groups));
    EXPECT_TRUE(snapshot.live(server, t0)); // the listing is not over yet
    snapshot.listed();
    EXPECT_FALSE(snapshot.live(server, t0));
    EXPECT_FALSE(snapshot.shares(server, t0));
}

TEST(SambaRefillSnapshot, EndsOnASecondQuestionAChangeOrAPause) {
    using Clock = RefillSnapshot::Clock;
    const Clock::time_point t0{};
    const lib::Server server;
    const auto accounts = [] {
        return std::unordered_map<std::string, std::optional<std::vector<std::string>>>{
            {"a", std::vector<std::string>{}}, {"b", std::vector<std::string>{}}};
    };
    std::vector<std::string> groups;
    RefillSnapshot snapshot;

    snapshot.begin(server, accounts(), t0);
    EXPECT_TRUE(snapshot.groupsOf(server, "a", t0, groups));
    EXPECT_FALSE(snapshot.groupsOf(server, "a", t0, groups));
    EXPECT_FALSE(snapshot.groupsOf(server, "b", t0, groups));

    snapshot.begin(server, accounts(), t0);
    snapshot.end(); // what a change does
    EXPECT_FALSE(snapshot.groupsOf(server, "a", t0, groups));

    snapshot.begin(server, accounts(), t0);
    EXPECT_TRUE(snapshot.groupsOf(server, "a", t0 + RefillSnapshot::kPause, groups));
    EXPECT_FALSE(snapshot.groupsOf(server, "b",
                                   t0 + 2 * RefillSnapshot::kPause + Clock::duration(1), groups));
    EXPECT_FALSE(snapshot.live(server, t0 + 2 * RefillSnapshot::kPause));
}

} // namespace
} // namespace orvane::samba
