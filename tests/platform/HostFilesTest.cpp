// This machine's account policy and account files, read as the shadow suite
// and the C library read them.

#include "platform/host/AccountFiles.h"
#include "platform/host/HostAccounts.h"
#include "platform/host/LoginDefs.h"
#include "platform/host/SambaGroupMap.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace orvane::host {
namespace {

TEST(LoginDefs, ReadsSettingsAsTheSuiteDoes) {
    const LoginDefs defs = LoginDefs::parse("# UID_MIN 5\n"
                                            "UID_MIN\t\t\t 2000\n"
                                            "UID_MIN 3000\n" // the first one counts
                                            "UMASK\t\t022\n"
                                            "HOME_MODE 0x1C0\n"
                                            "ENCRYPT_METHOD \"yescrypt\"\r\n"
                                            "YESCRYPT_COST_FACTOR 7\n"
                                            "USERGROUPS_ENAB Yes\n"
                                            "GID_MAX 12x\n");
    EXPECT_EQ(defs.uids().first, 2000);
    EXPECT_EQ(defs.uids().last, 60000);
    EXPECT_EQ(defs.number("UMASK", -1), 022);
    EXPECT_EQ(defs.number("HOME_MODE", -1), 0700);
    EXPECT_EQ(defs.gids().last, 60000) << "a malformed number keeps the default";
    EXPECT_TRUE(defs.flag("USERGROUPS_ENAB", false));
    EXPECT_FALSE(defs.flag("DEFAULT_HOME", false));
    EXPECT_EQ(defs.hashMethod().prefix, "$y$");
    EXPECT_EQ(defs.hashMethod().cost, 7u);
}

TEST(LoginDefs, HashMethods) {
    EXPECT_EQ(LoginDefs::parse("ENCRYPT_METHOD SHA512\n").hashMethod().prefix, "$6$");
    const HashMethod sha = LoginDefs::parse("ENCRYPT_METHOD SHA256\nSHA_CRYPT_MIN_ROUNDS 9000\n"
                                            "SHA_CRYPT_MAX_ROUNDS 20000\n")
                               .hashMethod();
    EXPECT_EQ(sha.prefix, "$5$");
    EXPECT_EQ(sha.cost, 9000u);
    EXPECT_EQ(LoginDefs::parse("MD5_CRYPT_ENAB yes\n").hashMethod().prefix, "$1$");
    const HashMethod des = LoginDefs::parse("").hashMethod();
    EXPECT_TRUE(des.prefix.isEmpty());
    EXPECT_FALSE(des.prefix.isNull());
}

TEST(AccountFiles, PassesOverWhatIsNoWholeEntry) {
    const auto users = parsePasswd("root:x:0:0:root:/root:/bin/bash\n"
                                   "张三:x:1001:1001:Zhang San,,,:/home/张三:/bin/bash\n"
                                   "+nisuser::::::\n"
                                   "short:x:1002:1002:/home/short\n"
                                   "baduid:x:10a3:1003::/home/b:/bin/sh\n"
                                   "\n"
                                   "empty:x:1004:1004:::\n"
                                   "last:x:1005:100::/home/last:/bin/sh");
    ASSERT_EQ(users.size(), 4u);
    EXPECT_EQ(users[1].name, QByteArray("张三"));
    EXPECT_EQ(users[1].uid, 1001);
    EXPECT_EQ(users[1].gecos, QByteArray("Zhang San,,,"));
    EXPECT_EQ(users[1].home, QByteArray("/home/张三"));
    EXPECT_TRUE(users[2].home.isEmpty());
    EXPECT_EQ(users[3].gid, 100);
}

TEST(AccountFiles, OneEntryIsFoundAsTheWholeFileWouldGiveIt) {
    const QByteArray text = "root:x:0:0:root:/root:/bin/bash\n"
                            "#ann:x:1000:1000::/home/c:/bin/sh\n"
                            "+ann::::::\n"
                            "ann:x:1001:1001:/home/short\n"
                            "ann:x:10a1:1001::/home/baduid:/bin/sh\n"
                            "anna:x:1002:1002::/home/anna:/bin/sh\n"
                            "ann:x:1003:100:Ann:/home/ann:/bin/sh\n"
                            "ann:x:1004:100:twin:/home/twin:/bin/sh\n"
                            "last:x:1005:100::/home/last:/bin/sh";
    const auto all = parsePasswd(text);
    for (const QByteArray name : {"root", "ann", "anna", "last"}) {
        const auto first = std::find_if(all.begin(), all.end(),
                                        [&](const PasswdEntry& e) { return e.name == name; });
        ASSERT_NE(first, all.end()) << name.constData();
        const auto found = findPasswd(text, name);
        ASSERT_TRUE(found.has_value()) << name.constData();
        EXPECT_EQ(found->uid, first->uid) << name.constData();
        EXPECT_EQ(found->home, first->home) << name.constData();
    }
    EXPECT_EQ(findPasswd(text, "ann")->gecos, QByteArray("Ann"));
    for (const QByteArray name : {"an", "nobody", "", "ann:x", "+ann", "#ann"})
        EXPECT_FALSE(findPasswd(text, name).has_value()) << name.constData();
}

TEST(AccountFiles, ShadowStateAndGroupMembers) {
    const auto shadow = parseShadow("a:$6$s$h:19000:0:99999:7:::\n"
                                    "b:!$6$s$h:19000:0:90:7:::\n"
                                    "c:*:::::::\n");
    ASSERT_EQ(shadow.size(), 3u);
    EXPECT_FALSE(isLocked(shadow[0]));
    EXPECT_TRUE(neverExpires(shadow[0]));
    EXPECT_TRUE(isLocked(shadow[1]));
    EXPECT_FALSE(neverExpires(shadow[1]));
    EXPECT_EQ(shadow[2].lastChange, -1);
    EXPECT_TRUE(neverExpires(shadow[2]));

    const auto groups = parseGroup("users:x:100:a,,b\nsudo:x:27:\nbad:x::a\n");
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].members, (std::vector<QByteArray>{"a", "b"}));
    EXPECT_TRUE(groups[1].members.empty());
}

} // namespace
} // namespace orvane::host

namespace orvane::host {
namespace {

AccountFilesRead machine() {
    return {LoginDefs::parse("UID_MIN 1000\nUID_MAX 60000\nGID_MIN 1000\nGID_MAX 60000\n"),
            LoginDefs::parseAssignments("# useradd defaults\nSHELL=/bin/sh\nHOME = /srv/h\n"),
            parsePasswd("root:x:0:0:root:/root:/bin/bash\n"
                        "daemon:x:1:1::/usr/sbin:/usr/sbin/nologin\n"
                        "bob:x:1002:1002:Bob:/home/bob:/bin/bash\n"
                        "Alice:x:1001:100:Alice A:/srv/h/Alice:/bin/bash\n"
                        "nobody:x:65534:65534::/nonexistent:/usr/sbin/nologin\n"
                        "toor:x:1003:0::/root:/bin/sh\n"
                        "Bob:x:1002:1002:twin:/home/bob:/bin/bash\n"),
            parseShadow("Alice:!$6$s$h:20000:0:99999:7:::\n"
                        "bob:$6$s$h:19990:0:90:7:::\n"),
            parseGroup("root:x:0:\n"
                       "sudo:x:27:bob\n"
                       "users:x:100:bob\n"
                       "bob:x:1002:\n"
                       "class1:x:1500:Alice,bob\n"
                       "system:x:999:bob\n"
                       "sudo:x:28:Alice\n")};
}

TEST(HostAccounts, ListsTheMachinesPeopleInUidOrder) {
    const HostAccounts accounts(machine(), defaultGroupAliases());
    QStringList names;
    for (const PasswdEntry* user : accounts.users())
        names.push_back(text(user->name));
    // Bob shares bob's UID: both are listed, in file order within the UID.
    EXPECT_EQ(names, (QStringList{QStringLiteral("Alice"), QStringLiteral("bob"),
                                  QStringLiteral("Bob"), QStringLiteral("toor")}));
    EXPECT_TRUE(accounts.isUnlisted(u"root"));
    EXPECT_TRUE(accounts.isUnlisted(u"nobody"));
    EXPECT_TRUE(accounts.isUnlisted(u"daemon"));
    EXPECT_FALSE(accounts.isUnlisted(u"carol"));
    EXPECT_EQ(accounts.user(u"ALICE"), nullptr);
    ASSERT_NE(accounts.userFoldingCase(u"ALICE"), nullptr);
    EXPECT_EQ(accounts.userFoldingCase(u"ALICE")->name, QByteArray("Alice"));
}

TEST(HostAccounts, RecordsShowLockAgePrivilegeAndHome) {
    const HostAccounts accounts(machine(), defaultGroupAliases());
    const records::User alice = accounts.record(*accounts.user(u"Alice"), 20003);
    EXPECT_EQ(alice.comment, QStringLiteral("Alice A"));
    EXPECT_EQ(alice.homeDir, QStringLiteral("/srv/h/Alice"));
    EXPECT_EQ(alice.flags,
              UF_SCRIPT | UF_NORMAL_ACCOUNT | UF_ACCOUNTDISABLE | UF_DONT_EXPIRE_PASSWD);
    EXPECT_EQ(alice.passwordAge, 3u * 86400);
    // Only the first sudo group counts: the second is one the C library never finds.
    EXPECT_EQ(alice.priv, USER_PRIV_USER);
    const records::User bob = accounts.record(*accounts.user(u"bob"), 20000);
    EXPECT_EQ(bob.flags, UF_SCRIPT | UF_NORMAL_ACCOUNT);
    EXPECT_EQ(bob.priv, USER_PRIV_ADMIN);
    // No shadow entry: nothing known of the password.
    EXPECT_EQ(accounts.record(*accounts.user(u"toor"), 20000).passwordAge, 0u);
    EXPECT_EQ(accounts.defaultHome(), QStringLiteral("/srv/h"));
}

TEST(HostAccounts, GroupsAreTheHandedOutOnesWithAliases) {
    const HostAccounts accounts(machine(), defaultGroupAliases());
    QStringList names;
    for (const GroupEntry* group : accounts.groups())
        names.push_back(text(group->name));
    // Not root, not the system range, not bob's own group.
    EXPECT_EQ(names, (QStringList{QStringLiteral("sudo"), QStringLiteral("users"),
                                  QStringLiteral("class1")}));
    ASSERT_NE(accounts.group(u"users"), nullptr);
    EXPECT_EQ(accounts.group(u"Users"), accounts.group(u"users"));
    EXPECT_EQ(accounts.group(u"administrators"), accounts.group(u"sudo"));
    EXPECT_EQ(accounts.group(u"Remote Desktop Users"), nullptr);
    EXPECT_EQ(accounts.group(u"bob"), nullptr);
    EXPECT_EQ(
        accounts.groupsOf(*accounts.user(u"bob")),
        (QStringList{QStringLiteral("sudo"), QStringLiteral("users"), QStringLiteral("class1")}));
    // The primary group counts, in GID order.
    EXPECT_EQ(accounts.groupsOf(*accounts.user(u"Alice")),
              (QStringList{QStringLiteral("users"), QStringLiteral("class1")}));
}

} // namespace
} // namespace orvane::host

#include "platform/host/AccountSnapshot.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <optional>
#include <system_error>

namespace orvane::host {
namespace {

void write(const QString& path, const QByteArray& text) {
    // As the shadow suite writes: a new file renamed over the old.
    QFile file(path + QStringLiteral("+"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    ASSERT_EQ(
        ::rename(QFile::encodeName(path + u'+').constData(), QFile::encodeName(path).constData()),
        0);
}

TEST(AccountSnapshot, ReadsAgainOnlyWhatChanged) {
    QTemporaryDir etc;
    write(etc.filePath("passwd"), "a:x:1001:1001::/home/a:/bin/sh\n");
    write(etc.filePath("shadow"), "a:!:20000:0:99999:7:::\n");
    write(etc.filePath("group"), "users:x:100:a\n");
    AccountSnapshot snapshot(etc.path(), defaultGroupAliases());
    // No login.defs: the suite's defaults.
    const auto first = snapshot.current();
    ASSERT_EQ(first->users().size(), 1u);
    EXPECT_EQ(snapshot.current(), first);

    write(etc.filePath("passwd"), "a:x:1001:1001::/home/a:/bin/sh\nb:x:1002:100::/h/b:/bin/sh\n");
    const auto second = snapshot.current();
    EXPECT_NE(second, first);
    EXPECT_EQ(second->users().size(), 2u);
    EXPECT_EQ(first->users().size(), 1u) << "a read in use stays as it was";
    EXPECT_EQ(second->groupsOf(*second->user(u"b")), QStringList{QStringLiteral("users")});

    write(etc.filePath("login.defs"), "UID_MIN 1002\n");
    EXPECT_EQ(snapshot.current()->users().size(), 1u);

    ASSERT_TRUE(QFile::remove(etc.filePath("shadow")));
    EXPECT_THROW(snapshot.current(), std::system_error);
}

TEST(AccountSnapshot, ListsAnAccountAsTheWholeReadWould) {
    QTemporaryDir etc;
    write(etc.filePath("passwd"), "root:x:0:0::/root:/bin/sh\n"
                                  "daemon:x:1:1::/usr/sbin:/usr/sbin/nologin\n"
                                  "a:x:1001:1001::/home/a:/bin/sh\n"
                                  "c:x:1003:100::/home/c:/bin/sh\n");
    write(etc.filePath("shadow"), "a:!:20000:0:99999:7:::\n");
    write(etc.filePath("group"), "users:x:100:\n");
    AccountSnapshot snapshot(etc.path(), defaultGroupAliases());
    const auto agrees = [&](QStringView name) {
        const bool listed = snapshot.lists(name);
        EXPECT_EQ(listed, snapshot.current()->user(name) != nullptr)
            << name.toString().toStdString();
        return listed;
    };
    EXPECT_TRUE(agrees(u"a"));
    EXPECT_FALSE(agrees(u"root"));
    EXPECT_FALSE(agrees(u"daemon"));
    EXPECT_FALSE(agrees(u"b"));
    EXPECT_FALSE(agrees(u"A")) << "letter case counts";

    // Another administrator's tools meanwhile: each call sees the files as
    // they are then.
    write(etc.filePath("passwd"), "a:x:1001:1001::/srv/a:/bin/sh\n"
                                  "b:x:1002:100::/home/b:/bin/sh\n"
                                  "c:x:1003:100::/home/c:/bin/sh\n");
    EXPECT_TRUE(snapshot.lists(u"b"));
    write(etc.filePath("passwd"), "a:x:1001:1001::/srv/a:/bin/sh\nc:x:1003:100::/home/c:/bin/sh\n");
    EXPECT_FALSE(snapshot.lists(u"b"));
    EXPECT_FALSE(agrees(u"b"));
    write(etc.filePath("login.defs"), "UID_MIN 1002\n");
    EXPECT_FALSE(agrees(u"a"));
    EXPECT_TRUE(agrees(u"c"));
    EXPECT_EQ(snapshot.policy().defs.uids().first, 1002);

    ASSERT_TRUE(QDir(etc.path()).mkdir(QStringLiteral("default")));
    write(etc.filePath("default/useradd"), "HOME=/srv/h\n");
    EXPECT_EQ(defaultHomeFolder(snapshot.policy().useraddDefaults), QStringLiteral("/srv/h"));

    ASSERT_TRUE(QFile::remove(etc.filePath("passwd")));
    EXPECT_THROW(snapshot.lists(u"c"), std::system_error);
}

// A call about one name reads only that name's entries; it must say what
// the whole read says, on files with everything the rules tell apart.
TEST(AccountSnapshot, OneNameIsAnsweredAsTheWholeReadWould) {
    QTemporaryDir etc;
    write(etc.filePath("login.defs"), "UID_MIN 1000\nUID_MAX 60000\nGID_MIN 1000\n");
    write(etc.filePath("passwd"), "root:x:0:0::/root:/bin/sh\n"
                                  "daemon:x:1:1::/usr/sbin:/usr/sbin/nologin\n"
                                  "anna:x:1001:1001::/home/anna:/bin/sh\n"
                                  "Bob:x:1002:100::/home/Bob:/bin/sh\n"
                                  "bob:x:1003:100::/home/bob:/bin/sh\n"
                                  "bob:x:1004:1600::/home/bob2:/bin/sh\n"
                                  "broken:x:10z5:100::/home/broken:/bin/sh\n"
                                  "\xc3\x84rger:x:1006:100::/home/a:/bin/sh\n"
                                  "\xce\xa3igma:x:1007:100::/home/s:/bin/sh\n"
                                  "\xe2\x84\xaa"
                                  "elvin:x:1008:100::/home/k:/bin/sh\n"
                                  "class1:x:1009:1700::/home/c:/bin/sh\n");
    write(etc.filePath("shadow"), "anna:!:20000:0:99999:7:::\n");
    write(etc.filePath("group"), "sudo:x:27:anna\n"
                                 "users:x:100:anna,Bob\n"
                                 "audio:x:29:anna\n"
                                 "anna:x:1001:\n"
                                 "bob:x:1600:\n"
                                 "class1:x:1500:Bob,\xc3\x84rger\n"
                                 "class1:x:1501:anna\n"
                                 "staff2:x:1x:anna\n"
                                 "staff2:x:1502:\n"
                                 "pupils:x:999:\n");
    AccountSnapshot snapshot(etc.path(), defaultGroupAliases());
    const auto whole = snapshot.current();
    const char* names[] = {"anna",
                           "ANNA",
                           "Bob",
                           "bob",
                           "BOB",
                           "root",
                           "Root",
                           "daemon",
                           "broken",
                           "nobody",
                           "\xc3\xa4rger",
                           "\xc3\x84RGER",
                           "\xcf\x83igma",
                           "\xcf\x82IGMA",
                           "kelvin",
                           "Kelvin",
                           "class1",
                           "",
                           "users",
                           "Users",
                           "USERS",
                           "sudo",
                           "administrators",
                           "Guests",
                           "audio",
                           "staff2",
                           "pupils",
                           "Remote Desktop Users"};
    for (const char* utf8 : names) {
        const QString name = QString::fromUtf8(utf8);
        SCOPED_TRACE(name.toStdString());
        const PasswdEntry* account = whole->user(name);
        const std::optional<PasswdEntry> one = snapshot.user(name);
        ASSERT_EQ(one.has_value(), account != nullptr);
        if (account) {
            EXPECT_EQ(one->uid, account->uid);
        }
        EXPECT_EQ(snapshot.namesFoldingTo(name), whole->namesFoldingTo(name));
        const GroupEntry* group = whole->group(name);
        const std::optional<GroupEntry> found = snapshot.group(name);
        ASSERT_EQ(found.has_value(), group != nullptr);
        if (group) {
            EXPECT_EQ(found->name, group->name);
            EXPECT_EQ(found->gid, group->gid);
            EXPECT_EQ(found->members, group->members);
        }
    }
    // What the rules give here, so that the comparison above means something.
    EXPECT_EQ(snapshot.namesFoldingTo(u"BOB"), 2);
    EXPECT_EQ(snapshot.namesFoldingTo(QString::fromUtf8("\xc3\xa4RGER")), 1);
    EXPECT_EQ(snapshot.namesFoldingTo(u"KELVIN"), 1) << "the Kelvin sign folds to k";
    EXPECT_EQ(snapshot.user(u"bob")->uid, 1003) << "the first entry of a name";
    EXPECT_EQ(snapshot.group(u"Users")->name, "users");
    EXPECT_EQ(snapshot.group(u"administrators")->name, "sudo");
    EXPECT_EQ(snapshot.group(u"class1")->gid, 1500);
    EXPECT_EQ(snapshot.group(u"staff2")->gid, 1502) << "the first whole entry of a name";
    EXPECT_TRUE(snapshot.group(u"class1")) << "a group of an account's name, not its own";
    EXPECT_FALSE(snapshot.group(u"bob")) << "the own group of a later entry of a name";
    EXPECT_FALSE(snapshot.group(u"anna")) << "an account's own group";
    EXPECT_FALSE(snapshot.group(u"audio")) << "a system group";
    EXPECT_FALSE(snapshot.group(u"Guests")) << "an alias of a group the files lack";
}

// `net groupmap list`, as Samba prints it: names with spaces and brackets,
// SIDs mapped to no Unix group, groups that are not built-in ones.
TEST(SambaGroupMap, TakesTheBuiltinGroupsSambaMaps) {
    const auto aliases = host::parseGroupMap("Administrators (S-1-5-32-544) -> wheel\n"
                                             "Remote Desktop Users (S-1-5-32-555) -> rdp users\n"
                                             "Guests (S-1-5-32-546) -> -1\n"
                                             "Lehrer (intern) (S-1-5-21-1-2-3-1105) -> staff\n"
                                             "Benutzer (S-1-5-32-545) -> schueler\n"
                                             "garbage line\n");
    ASSERT_EQ(aliases.size(), 3u);
    EXPECT_EQ(aliases[0].windowsName, u"Administrators");
    EXPECT_EQ(aliases[0].unixGroup, "wheel");
    EXPECT_EQ(aliases[1].windowsName, u"Remote Desktop Users");
    EXPECT_EQ(aliases[1].unixGroup, "rdp users");
    // Samba's own name for the group may be translated: the SID decides.
    EXPECT_EQ(aliases[2].windowsName, u"Users");
    EXPECT_EQ(aliases[2].unixGroup, "schueler");

    const auto all = host::withDefaults(aliases);
    auto target = [&](const char16_t* name) {
        for (const auto& alias : all)
            if (alias.windowsName == QStringView(name))
                return alias.unixGroup;
        return QByteArray();
    };
    EXPECT_EQ(target(u"Users"), "schueler");
    EXPECT_EQ(target(u"Guests"), "guests") << "unmapped in Samba: the default table";
    EXPECT_EQ(all.size(), 4u);
    EXPECT_EQ(host::withDefaults({}).size(), host::defaultGroupAliases().size());
}

TEST(HostAccounts, NamesFoldingToCountEveryAccountOfTheFiles) {
    AccountFilesRead files;
    files.defs = LoginDefs::parse("UID_MIN 1000\nUID_MAX 60000\n");
    files.passwd = parsePasswd("root:x:0:0::/root:/bin/sh\n"
                               "Anna:x:1001:1001::/home/Anna:/bin/sh\n"
                               "ANNA:x:1002:1002::/home/ANNA:/bin/sh\n"
                               "anna:x:1003:1003::/home/anna:/bin/sh\n"
                               "anna:x:1004:1004::/home/anna2:/bin/sh\n");
    const HostAccounts accounts(std::move(files), defaultGroupAliases());
    EXPECT_EQ(accounts.namesFoldingTo(u"aNNa"), 3) << "a name twice in the files counts once";
    EXPECT_EQ(accounts.namesFoldingTo(u"ROOT"), 1) << "root and the system's accounts count too";
    EXPECT_EQ(accounts.namesFoldingTo(u"bob"), 0);
}

} // namespace
} // namespace orvane::host
