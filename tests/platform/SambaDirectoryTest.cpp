// The directory client against the test servers: a domain controller's
// directory read with the site's credentials, a wrong password refused, and
// a server with no directory told apart quickly.

#include "platform/samba/Directory.h"
#include "support/SambaTestServer.h"

#include <chrono>
#include <gtest/gtest.h>

namespace orvane::test {
namespace {

using samba::Directory;

TEST(SambaDirectory, ADomainControllersDirectoryIsReadWithTheSitesCredentials) {
    if (const std::string why = SambaTestServer::unavailable(); !why.empty())
        GTEST_SKIP() << why;
    const std::string host = SambaTestServer::address().toStdString();
    std::string why;
    const auto started = std::chrono::steady_clock::now();
    std::unique_ptr<Directory> directory =
        Directory::connect(host, SambaTestServer::credentials(), why);
    if (SambaTestServer::kind() != u"dc") {
        // Nothing listens for LDAP on a standalone server: said at once.
        EXPECT_FALSE(directory);
        EXPECT_NE(why.find("389"), std::string::npos) << why;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(4));
        return;
    }
    ASSERT_TRUE(directory) << why;
    samba::DirectoryContents contents;
    ASSERT_TRUE(directory->read(contents, why)) << why;
    EXPECT_EQ(contents.domainSid.rfind("S-1-5-21-", 0), 0u) << contents.domainSid;
    bool administrator = false;
    for (const samba::DirectoryUser& user : contents.users)
        administrator = administrator || user.name == "Administrator";
    EXPECT_TRUE(administrator);
    bool users = false;
    for (const samba::DirectoryGroup& group : contents.groups)
        users = users || (group.name == "Users" && group.sid == "S-1-5-32-545");
    EXPECT_TRUE(users);

    // A server that caps searches is read page by page, to the same contents.
    samba::DirectoryContents paged;
    ASSERT_TRUE(directory->read(paged, why, Directory::Paging::Always)) << why;
    ASSERT_EQ(paged.users.size(), contents.users.size());
    for (std::size_t i = 0; i < paged.users.size(); ++i) {
        EXPECT_EQ(paged.users[i].name, contents.users[i].name);
        EXPECT_EQ(paged.users[i].memberOf, contents.users[i].memberOf);
    }
    ASSERT_EQ(paged.groups.size(), contents.groups.size());

    samba::lib::Credentials wrong = SambaTestServer::credentials();
    wrong.password += "-wrong";
    EXPECT_FALSE(Directory::connect(host, wrong, why));
    EXPECT_NE(why.find("LDAP error 49"), std::string::npos) << why;
}

} // namespace
} // namespace orvane::test
