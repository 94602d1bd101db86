// The directory client against the test servers: a domain controller's
// directory read with the site's credentials, a wrong password refused, a
// server with no directory told apart quickly, and a port that accepts and
// then stays silent (from the start, or halfway through a read) given up at
// the bound.

#include "platform/samba/Directory.h"
#include "support/SambaRelay.h"
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

// A loopback address of the test's namespace the servers leave free.
constexpr char kRelayAddress[] = "127.0.0.7";

std::string boundText(std::chrono::seconds bound) {
    return "no answer from the directory within " + std::to_string(bound.count()) + " s";
}

TEST(SambaDirectory, APortThatAcceptsAndNeverAnswersIsGivenUpAtTheBound) {
    if (const std::string why = SambaTestServer::unavailable(); !why.empty())
        GTEST_SKIP() << why;
    SambaRelay silent(kRelayAddress, {});
    ASSERT_TRUE(silent.valid()) << silent.why();
    std::string why;
    bool refused = true;
    EXPECT_FALSE(Directory::connect(kRelayAddress, SambaTestServer::credentials(), why, &refused));
    EXPECT_EQ(why, boundText(Directory::kConnectBound));
    EXPECT_GE(silent.accepted(), 1);
    // Silence is no refusal: the credentials may be tried again later.
    EXPECT_FALSE(refused);

    // A shorter deadline of the caller's is kept to as well.
    EXPECT_FALSE(Directory::connect(kRelayAddress, SambaTestServer::credentials(), why, nullptr,
                                    Directory::Clock::now() + std::chrono::seconds(2)));
    EXPECT_EQ(why, boundText(std::chrono::seconds(2)));
}

TEST(SambaDirectory, ADirectoryThatFallsSilentHalfwayIsGivenUpAtTheBound) {
    if (const std::string why = SambaTestServer::unavailable(); !why.empty())
        GTEST_SKIP() << why;
    if (SambaTestServer::kind() != u"dc")
        GTEST_SKIP() << "a domain controller's directory";
    SambaRelay relay(kRelayAddress, SambaTestServer::address().toStdString());
    ASSERT_TRUE(relay.valid()) << relay.why();
    std::string why;
    // Signed on through the relay, which changes nothing.
    std::unique_ptr<Directory> directory =
        Directory::connect(kRelayAddress, SambaTestServer::credentials(), why);
    ASSERT_TRUE(directory) << why;
    samba::DirectoryContents contents;
    ASSERT_TRUE(directory->read(contents, why)) << why;
    EXPECT_FALSE(contents.users.empty());

    relay.stall();
    const auto deadline = Directory::Clock::now() + std::chrono::seconds(3);
    EXPECT_FALSE(directory->read(contents, why, Directory::Paging::WhenCapped, deadline));
    EXPECT_EQ(why, boundText(std::chrono::seconds(3)));
    EXPECT_TRUE(contents.users.empty());
    EXPECT_TRUE(contents.groups.empty());
}

} // namespace
} // namespace orvane::test
