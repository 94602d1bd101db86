// What a hostile or broken domain controller's replies make of a read of its
// directory, checked without a server. The replies are built as ldb's LDAP
// module hands them over (entries as ldb messages, each search's end with its
// controls), and given to DirectoryReading exactly where Directory's reply
// handler gives them; the requests come back to the test as Directory would
// send them. The session with a real server is signed and sealed, so no
// proxy could change what it sends: this is the one place to do it.

#include "platform/samba/DirectoryReading.h"

#include <gtest/gtest.h>

extern "C" {
#include <ldb.h>
#include <talloc.h>
}

namespace orvane::samba {
namespace {

using Search = DirectoryReading::Search;

const std::string kDomain = "S-1-5-21-1-2-3";

// A SID's binary form, as objectSid holds it.
std::string binarySid(std::uint32_t rid) {
    std::string out{'\x01', '\x05', 0, 0, 0, 0, 0, '\x05'};
    for (const std::uint32_t part : {21u, 1u, 2u, 3u, rid})
        for (int shift = 0; shift < 32; shift += 8)
            out += char((part >> shift) & 0xff);
    return out;
}

struct Attribute {
    std::string name;
    std::vector<std::string> values;
};

// One page of replies: its entries, then its end with a cookie or none.
struct Page {
    std::vector<std::vector<Attribute>> entries;
    std::optional<std::string> cookie;
    // What ldb says of the search instead of ending it well.
    int status = LDB_SUCCESS;
};

std::vector<Attribute> account(const std::string& name, std::uint32_t rid) {
    return {{"sAMAccountName", {name}},
            {"objectSid", {binarySid(rid)}},
            {"userAccountControl", {"512"}},
            {"memberOf", {"CN=Users,CN=Builtin,DC=x"}}};
}

std::vector<Attribute> group(const std::string& name, std::uint32_t rid) {
    return {{"sAMAccountName", {name}},
            {"objectSid", {binarySid(rid)}},
            {"groupType", {"-2147483646"}},
            {"objectGUID", {std::string(16, char(rid))}}};
}

// A server that answers from a script: each request gets the next page of
// its search, the last one again once they run out.
class ScriptedServer {
public:
    std::map<Search, std::vector<Page>> pages;
    // The requests as Directory would send them: whole, or the page asked for.
    std::vector<std::optional<std::string>> asked;

    int answer(DirectoryReading& reading, Search search, const std::string* cookie) {
        asked.push_back(cookie ? std::optional(*cookie) : std::nullopt);
        std::vector<Page>& script = pages[search];
        const Page& page = script.at(std::min(m_next[search]++, script.size() - 1));
        TALLOC_CTX* memory = talloc_new(nullptr);
        int status = LDB_SUCCESS;
        for (const auto& attributes : page.entries) {
            ldb_message* message = ldb_msg_new(memory);
            message->dn = ldb_dn_new(message, m_ldb, ("CN=" + attributes[0].values[0]).c_str());
            for (const Attribute& attribute : attributes)
                for (const std::string& value : attribute.values) {
                    ldb_val data{reinterpret_cast<uint8_t*>(
                                     talloc_memdup(message, value.data(), value.size() + 1)),
                                 value.size()};
                    ldb_msg_add_value(message, attribute.name.c_str(), &data, nullptr);
                }
            if ((status = reading.entry(message)) != LDB_SUCCESS)
                break;
        }
        if (status == LDB_SUCCESS && page.status != LDB_SUCCESS)
            status = page.status;
        if (status == LDB_SUCCESS) {
            ldb_control* controls[2] = {nullptr, nullptr};
            if (page.cookie) {
                auto* paged = talloc_zero(memory, ldb_paged_control);
                paged->cookie = static_cast<char*>(
                    talloc_memdup(paged, page.cookie->data(), page.cookie->size() + 1));
                paged->cookie_len = int(page.cookie->size());
                controls[0] = talloc_zero(memory, ldb_control);
                controls[0]->oid = "1.2.840.113556.1.4.319";
                controls[0]->data = paged;
            }
            status = reading.done(controls);
        }
        talloc_free(memory);
        return status;
    }

    ScriptedServer() = default;
    ScriptedServer(const ScriptedServer& other) : pages(other.pages) {}
    ScriptedServer& operator=(const ScriptedServer& other) {
        pages = other.pages;
        return *this;
    }
    ~ScriptedServer() { talloc_free(m_memory); }

private:
    std::map<Search, std::size_t> m_next;
    // Distinguished names are parsed by a directory client of their own.
    TALLOC_CTX* m_memory = talloc_new(nullptr);
    ldb_context* m_ldb = ldb_init(m_memory, nullptr);
};

struct Read {
    int status;
    std::string why;
    DirectoryContents contents;
};

Read read(ScriptedServer& server, bool pagesOnly = false, DirectoryLimits limits = {}) {
    Read out{};
    out.contents.domainSid = kDomain;
    DirectoryReading reading(out.contents, limits);
    out.status = reading.read(pagesOnly, [&](Search search, const std::string* cookie) {
        return server.answer(reading, search, cookie);
    });
    out.why = reading.why();
    return out;
}

ScriptedServer wellBehaved() {
    ScriptedServer server;
    server.pages[Search::Users] = {
        {{account("Administrator", 500), account("pupil1", 1101)}, std::nullopt}};
    server.pages[Search::Groups] = {{{group("Users", 545)}, std::nullopt}};
    return server;
}

TEST(SambaDirectoryReading, AWellBehavedDirectoryIsReadWhole) {
    ScriptedServer server = wellBehaved();
    const Read got = read(server);
    ASSERT_EQ(got.status, LDB_SUCCESS) << got.why;
    ASSERT_EQ(got.contents.users.size(), 2u);
    EXPECT_EQ(got.contents.users[1].name, "pupil1");
    EXPECT_EQ(got.contents.users[1].sid, kDomain + "-1101");
    EXPECT_EQ(got.contents.users[1].memberOf, std::vector<std::string>{"cn=users,cn=builtin,dc=x"});
    ASSERT_EQ(got.contents.groups.size(), 1u);
    EXPECT_EQ(got.contents.groups[0].groupType, std::int32_t(0x80000002u));
    EXPECT_EQ(server.asked.size(), 2u);
}

TEST(SambaDirectoryReading, ACappedSearchIsAskedInPagesAndNothingIsListedTwice) {
    ScriptedServer server = wellBehaved();
    Page capped{{account("Administrator", 500)}, std::nullopt, LDB_ERR_SIZE_LIMIT_EXCEEDED};
    server.pages[Search::Users] = {capped,
                                   {{account("Administrator", 500)}, std::string("p2")},
                                   {{account("pupil1", 1101)}, std::string()}};
    const Read got = read(server);
    ASSERT_EQ(got.status, LDB_SUCCESS) << got.why;
    ASSERT_EQ(got.contents.users.size(), 2u);
    EXPECT_EQ(got.contents.users[0].name, "Administrator");
    EXPECT_EQ(got.contents.users[1].name, "pupil1");
    // Whole, then the first page, then the page the cookie named.
    ASSERT_GE(server.asked.size(), 3u);
    EXPECT_EQ(server.asked[0], std::nullopt);
    EXPECT_EQ(server.asked[1], std::string());
    EXPECT_EQ(server.asked[2], std::string("p2"));
}

TEST(SambaDirectoryReading, PageCookiesNobodyAskedForOrSeenBeforeEndTheRead) {
    {
        // A whole search that says there is more: before, the read asked for
        // it again and again, for ever, listing everything each time.
        ScriptedServer server = wellBehaved();
        server.pages[Search::Users][0].cookie = "more";
        const Read got = read(server);
        EXPECT_NE(got.status, LDB_SUCCESS);
        EXPECT_EQ(got.why, "a page cookie the directory was not asked for");
        EXPECT_EQ(server.asked.size(), 1u);
        EXPECT_TRUE(got.contents.users.empty());
    }
    {
        // Pages asked for, and the same one given back each time.
        ScriptedServer server = wellBehaved();
        server.pages[Search::Users][0].cookie = "same";
        const Read got = read(server, true);
        EXPECT_NE(got.status, LDB_SUCCESS);
        EXPECT_EQ(got.why, "the same page cookie twice in one search");
        EXPECT_EQ(server.asked.size(), 2u);
        EXPECT_TRUE(got.contents.users.empty());
        EXPECT_TRUE(got.contents.groups.empty());
    }
    {
        // A new cookie every time, and no entries: ends at the page bound.
        ScriptedServer server = wellBehaved();
        server.pages[Search::Users].clear();
        for (int i = 0; i < 10; ++i)
            server.pages[Search::Users].push_back({{}, "page" + std::to_string(i)});
        DirectoryLimits limits;
        limits.pages = 4;
        const Read got = read(server, true, limits);
        EXPECT_NE(got.status, LDB_SUCCESS);
        EXPECT_EQ(got.why, "more than 4 pages in one search");
        EXPECT_EQ(server.asked.size(), 4u);
    }
}

TEST(SambaDirectoryReading, MoreThanTheBoundsEndTheRead) {
    DirectoryLimits limits;
    limits.entries = 2; // users and groups together
    {
        ScriptedServer server = wellBehaved();
        const Read got = read(server, false, limits);
        EXPECT_NE(got.status, LDB_SUCCESS);
        EXPECT_EQ(got.why, "more than 2 entries");
        EXPECT_TRUE(got.contents.users.empty());
    }
    {
        // A capped whole search's entries do not count against its pages.
        ScriptedServer server;
        server.pages[Search::Users] = {
            {{account("Administrator", 500)}, std::nullopt, LDB_ERR_SIZE_LIMIT_EXCEEDED},
            {{account("Administrator", 500)}, std::string()}};
        server.pages[Search::Groups] = {{{group("Users", 545)}, std::nullopt}};
        EXPECT_EQ(read(server, false, limits).status, LDB_SUCCESS);
    }
    limits = {};
    limits.valuesPerEntry = 3;
    ScriptedServer server = wellBehaved();
    server.pages[Search::Users][0].entries[1].push_back({"memberOf", {"a", "b", "c"}});
    Read got = read(server, false, limits);
    EXPECT_EQ(got.why, "more than 3 values of memberOf in one entry");
    limits = {};
    limits.bytes = 1 << 20;
    server = wellBehaved();
    server.pages[Search::Users][0].entries[1].push_back(
        {"description", {std::string(1 << 20, 'x')}});
    got = read(server, false, limits);
    EXPECT_EQ(got.why, "more than 1 MB of entries");
    EXPECT_TRUE(got.contents.users.empty());
}

TEST(SambaDirectoryReading, EntriesThatCouldNameAnotherAccountEndTheRead) {
    const auto withUser = [](std::vector<Attribute> entry) {
        ScriptedServer server = wellBehaved();
        server.pages[Search::Users][0].entries.push_back(std::move(entry));
        return read(server);
    };
    std::vector<Attribute> entry = account("x", 1102);
    entry.erase(entry.begin());
    EXPECT_EQ(withUser(entry).why, "no sAMAccountName in an account");

    entry = account("pupil2", 1102);
    entry[2].values.push_back("514");
    EXPECT_EQ(withUser(entry).why, "several values of userAccountControl in an account");

    entry = account("pupil2", 1102);
    entry[1].values[0].pop_back();
    EXPECT_EQ(withUser(entry).why, "a malformed objectSid of an account");

    // Shown and acted on as the Administrator before.
    entry = account(std::string("Administrator\0x", 15), 1102);
    const Read got = withUser(entry);
    EXPECT_EQ(got.why, "a NUL in the sAMAccountName of an account");
    EXPECT_TRUE(got.contents.users.empty());

    entry = account("pupil2", 1102);
    entry[2].values[0] = "512x";
    EXPECT_EQ(withUser(entry).why, "a malformed userAccountControl of an account");

    entry = account("pupil2", 1102);
    entry.push_back({"homeDirectory", {std::string("\\\\s\\h\0\\other", 11)}});
    EXPECT_EQ(withUser(entry).why, "a NUL in the homeDirectory of an account");

    ScriptedServer server = wellBehaved();
    server.pages[Search::Groups][0].entries[0][0].values.push_back("Administrators");
    EXPECT_EQ(read(server).why, "several values of sAMAccountName in a group");
}

TEST(SambaDirectoryReading, ABaseSearchTakesOneEntryAndNoPages) {
    std::string taken;
    OneEntry root([&](const ldb_message* message) {
        taken = reinterpret_cast<const char*>(ldb_msg_find_ldb_val(message, "n")->data);
    });
    TALLOC_CTX* memory = talloc_new(nullptr);
    ldb_message* message = ldb_msg_new(memory);
    ldb_msg_add_string(message, "n", "DC=x");
    EXPECT_EQ(root.entry(message), LDB_SUCCESS);
    EXPECT_EQ(taken, "DC=x");
    EXPECT_NE(root.entry(message), LDB_SUCCESS);
    auto* paged = talloc_zero(memory, ldb_paged_control);
    paged->cookie = talloc_strdup(paged, "more");
    paged->cookie_len = 4;
    ldb_control control{"1.2.840.113556.1.4.319", false, paged};
    ldb_control* controls[] = {&control, nullptr};
    EXPECT_NE(OneEntry({}).done(controls), LDB_SUCCESS);
    talloc_free(memory);
}

} // namespace
} // namespace orvane::samba
