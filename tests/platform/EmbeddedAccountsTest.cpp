// Accounts on the embedded machine: what a Windows server answers where the
// contract suite does not look.

#include "EmbeddedTestMachine.h"
#include "NetApiCalls.h"

#include "platform/embedded/PasswordHash.h"
#include "platform/netapi/WideText.h"

#include <gtest/gtest.h>

namespace orvane::test {
namespace {

TEST(EmbeddedAccounts, NamesFollowTheWindowsRules) {
    EmbeddedTestMachine m;
    for (QChar c : QStringView(u"\"/\\[]:;|=,+*?<>\x01\t\x1f"))
        EXPECT_EQ(addUser(m.api(), QStringLiteral("ab") + c + "cd"), NERR_BadUsername)
            << int(c.unicode());
    for (const char* name : {"", "...", "   ", ". .", "abcdefghijklmnopqrstu"})
        EXPECT_EQ(addUser(m.api(), name), NERR_BadUsername) << '"' << name << '"';

    EXPECT_EQ(addUser(m.api(), "abcdefghijklmnopqrst"), NERR_Success);
    EXPECT_EQ(addUser(m.api(), "a.b c@d-e_f'g"), NERR_Success);
    EXPECT_EQ(addUser(m.api(), "ABCDEFGHIJKLMNOPQRST"), NERR_UserExists);
    EXPECT_EQ(addUser(m.api(), "users"), NERR_GroupExists);
    EXPECT_TRUE(findUser(listUsers(m.api(), {}).users, "abcdefghijklmnopqrst"));
}

TEST(EmbeddedAccounts, PasswordsMeetTheComplexityRuleWhileThePolicyIsOn) {
    EmbeddedTestMachine m;
    struct Case {
        const char* name;
        QString password;
        NET_API_STATUS withPolicy;
    };
    const Case cases[] = {
        {"GCUSER1", "kqzt4817.net", NERR_Success},        // lower case, digits, other
        {"GCUSER2", "580317264", NERR_PasswordTooShort},  // digits only
        {"GCUSER3", "abcdefGHIJ", NERR_PasswordTooShort}, // two classes
        {"GCUSER4", "Zgcuser4!x", NERR_PasswordTooShort}, // holds the name
        {"ab", "xabY1z", NERR_Success},                   // too short a name to look for
        {"GCUSER5", QString::fromUtf16(u"日本語Ab"),
         NERR_Success}, // letters without case are a class
        {"GCUSER6", "", NERR_PasswordTooShort},
        {"GCUSER7", QString(), NERR_PasswordTooShort}, // none at all is empty
    };
    for (const Case& c : cases)
        EXPECT_EQ(addUser(m.api(), c.name, c.password), c.withPolicy) << c.name;
    m.complexity(false);
    for (const Case& c : cases) {
        if (c.withPolicy != NERR_Success) {
            EXPECT_EQ(addUser(m.api(), c.name, c.password), NERR_Success) << c.name;
        }
    }
}

TEST(EmbeddedAccounts, AddTakesLevelOneOrdinaryUsersAndOneAccountType) {
    EmbeddedTestMachine m;
    USER_INFO_1 info{
        const_cast<LPWSTR>(u"frank"), nullptr, 0, USER_PRIV_ADMIN, nullptr, nullptr, 0, nullptr};
    DWORD parmErr = 0;
    auto add = [&] { return m.api().NetUserAdd(nullptr, 1, LPBYTE(&info), &parmErr); };
    EXPECT_EQ(add(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(parmErr, USER_PRIV_PARMNUM);
    EXPECT_EQ(m.api().NetUserAdd(nullptr, 2, LPBYTE(&info), nullptr), ERROR_INVALID_LEVEL);
    EXPECT_EQ(m.api().NetUserAdd(nullptr, 1, nullptr, nullptr), ERROR_INVALID_PARAMETER);
    info.usri1_priv = USER_PRIV_USER;
    info.usri1_flags = UF_NORMAL_ACCOUNT | 0x1000; // and a workstation trust account
    EXPECT_EQ(add(), ERROR_INVALID_PARAMETER);

    m.complexity(false);
    ASSERT_EQ(addUser(m.api(), "plain"), NERR_Success);
    ASSERT_EQ(addUser(m.api(), "off", "", {}, {}, UF_ACCOUNTDISABLE), NERR_Success);
    const auto users = listUsers(m.api(), {}).users;
    EXPECT_EQ(findUser(users, "plain")->flags,
              UF_DONT_EXPIRE_PASSWD | UF_NORMAL_ACCOUNT | UF_SCRIPT);
    EXPECT_EQ(findUser(users, "off")->flags, UF_ACCOUNTDISABLE | UF_NORMAL_ACCOUNT | UF_SCRIPT);
}

TEST(EmbeddedAccounts, SetInfoChangesWhatItIsGivenAndChecksThePassword) {
    EmbeddedTestMachine m;
    ASSERT_EQ(addUser(m.api(), "sam", kGoodPassword, "note", m.makeFolder("h")), NERR_Success);
    m.exec("UPDATE accounts SET password_set = password_set - 1000 WHERE name = 'sam'");
    const QString oldHash = m.text("SELECT password_hash FROM accounts WHERE name = 'sam'");
    QString password = "weak";
    USER_INFO_1 info{nullptr,
                     const_cast<LPWSTR>(wideText(password)),
                     0,
                     USER_PRIV_ADMIN,
                     nullptr,
                     nullptr,
                     UF_ACCOUNTDISABLE | 0x1000,
                     nullptr};
    DWORD parmErr = 0;
    auto set = [&](DWORD level = 1) {
        return m.api().NetUserSetInfo(nullptr, u"SAM", level, LPBYTE(&info), &parmErr);
    };
    EXPECT_EQ(set(), NERR_PasswordTooShort);
    EXPECT_EQ(m.text("SELECT password_hash FROM accounts WHERE name = 'sam'"), oldHash);

    password = "New-pass-99";
    info.usri1_password = const_cast<LPWSTR>(wideText(password));
    EXPECT_EQ(set(), NERR_Success);
    const QString hash = m.text("SELECT password_hash FROM accounts WHERE name = 'sam'");
    EXPECT_NE(hash, oldHash);
    EXPECT_TRUE(embedded::passwordMatches(password, hash.toLatin1()));
    const std::optional<User> sam = findUser(listUsers(m.api(), {}).users, "sam");
    ASSERT_TRUE(sam);
    EXPECT_LT(sam->passwordAge, 100u);
    EXPECT_EQ(sam->priv, USER_PRIV_USER); // a privilege is not changed here
    EXPECT_EQ(sam->comment, "note");
    EXPECT_EQ(sam->homeDir, m.path("h"));
    // The record's flags are not taken: setting a home folder must not change them.
    EXPECT_EQ(sam->flags, UF_DONT_EXPIRE_PASSWD | UF_NORMAL_ACCOUNT | UF_SCRIPT);

    info.usri1_priv = 3;
    EXPECT_EQ(set(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(parmErr, USER_PRIV_PARMNUM);
    EXPECT_EQ(set(2), ERROR_INVALID_LEVEL);
    info.usri1_priv = USER_PRIV_USER;
    EXPECT_EQ(m.api().NetUserSetInfo(nullptr, u"nobody", 1, LPBYTE(&info), nullptr),
              NERR_UserNotFound);

    USER_INFO_1006 home{const_cast<LPWSTR>(u"/srv/elsewhere")};
    EXPECT_EQ(m.api().NetUserSetInfo(nullptr, u"sam", 1006, LPBYTE(&home), nullptr), NERR_Success);
    EXPECT_EQ(findUser(listUsers(m.api(), {}).users, "sam")->homeDir, "/srv/elsewhere");
}

TEST(EmbeddedAccounts, BuiltinAccountsStayAndMembershipsGoWithTheirAccount) {
    EmbeddedTestMachine m;
    EXPECT_EQ(m.api().NetUserDel(nullptr, u"Administrator"), ERROR_SPECIAL_ACCOUNT);
    EXPECT_EQ(m.api().NetUserDel(nullptr, u"guest"), ERROR_SPECIAL_ACCOUNT);
    EXPECT_EQ(m.api().NetUserDel(nullptr, nullptr), ERROR_INVALID_PARAMETER);

    ASSERT_EQ(addUser(m.api(), "dan"), NERR_Success);
    ASSERT_EQ(addMembers(m.api(), {}, "Users", {"dan"}), NERR_Success);
    ASSERT_EQ(addMembers(m.api(), {}, "Administrators", {"dan"}), NERR_Success);
    QStringList groups;
    EXPECT_EQ(userGroups(m.api(), "DAN", groups), NERR_Success);
    EXPECT_EQ(groups, QStringList({"Administrators", "Users"}));
    EXPECT_EQ(m.api().NetUserDel(nullptr, u"dan"), NERR_Success);
    EXPECT_EQ(m.integer("SELECT count(*) FROM memberships"), 2); // the builtin accounts' own
    EXPECT_EQ(userGroups(m.api(), "dan", groups), NERR_UserNotFound);
}

TEST(EmbeddedAccounts, ListingComesInRidOrderInBatchesOfAtLeast64) {
    EmbeddedTestMachine m;
    m.complexity(false);
    for (int i = 0; i < 70; ++i)
        ASSERT_EQ(addUser(m.api(), QStringLiteral("u%1").arg(i), ""), NERR_Success);

    const Listing batches = listUsers(m.api(), {}, 0);
    EXPECT_EQ(batches.results, (std::vector<NET_API_STATUS>{ERROR_MORE_DATA, NERR_Success}));
    EXPECT_EQ(batches.resumeHandles, (std::vector<DWORD>{1061, 0})); // 500, 501, 1000...1061
    ASSERT_EQ(batches.users.size(), 72u);
    EXPECT_EQ(batches.users[0].name, "Administrator");
    EXPECT_EQ(batches.users[71].name, "u69");
    for (DWORD prefmaxlen : {MAX_PREFERRED_LENGTH, 1u << 20})
        EXPECT_EQ(listUsers(m.api(), {}, prefmaxlen).results.size(), 1u);

    LPBYTE buffer = nullptr;
    DWORD read = 0, total = 0, resume = 0;
    // The count follows what another connection writes.
    m.exec("INSERT INTO accounts (name, name_key, password_hash, password_set, priv, flags) "
           "VALUES ('Raw', 'raw', '', 0, 1, 513)");
    EXPECT_EQ(m.api().NetUserEnum(nullptr, 0, 0, &buffer, 0, &read, &total, &resume),
              ERROR_MORE_DATA);
    m.api().NetApiBufferFree(buffer);
    EXPECT_EQ(total, 73u);
    for (auto [filter, expected] : {std::pair{FILTER_NORMAL_ACCOUNT, 73u}, {0x10u, 0u}}) {
        EXPECT_EQ(m.api().NetUserEnum(nullptr, 0, filter, &buffer, MAX_PREFERRED_LENGTH, &read,
                                      &total, nullptr),
                  NERR_Success);
        EXPECT_EQ(read, expected);
        EXPECT_EQ(total, expected);
        m.api().NetApiBufferFree(buffer);
    }
    EXPECT_EQ(m.api().NetUserEnum(nullptr, 2, 0, &buffer, 0, &read, &total, &resume),
              ERROR_INVALID_LEVEL);
    EXPECT_EQ(m.api().NetUserEnum(nullptr, 1, 0, nullptr, 0, &read, &total, &resume),
              ERROR_INVALID_PARAMETER);
}

} // namespace
} // namespace orvane::test
