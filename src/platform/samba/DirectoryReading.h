#pragma once

// What one read of a domain controller's directory takes from the replies
// Samba's directory client hands over, checked and bounded: the entries and,
// at each search's end, its controls, exactly as ldb's reply handler passes
// them on. A server that sends what a directory would not (a page nobody
// asked for, the same page again, an account with two names or one with a
// NUL in it, more than any domain holds) ends the read as a failure, and the
// account calls then ask the server one by one.

#include "platform/samba/DirectoryAccounts.h"

#include <cstddef>
#include <functional>
#include <set>
#include <string>

struct ldb_message;
struct ldb_control;

namespace orvane::samba {

// Bounds on one read. A school's domain (10,000 accounts, each in a few dozen
// groups, about 10 MB as the directory sends it) stays far inside them.
struct DirectoryLimits {
    std::size_t entries = 100000;       // users and groups together
    std::size_t valuesPerEntry = 10000; // in any one attribute of an entry
    std::size_t bytes = 128u << 20;     // attribute names and values, in all
    unsigned pages = 1000;              // of one search
};

// One search's replies as ldb hands them over.
class Replies {
public:
    virtual ~Replies() = default;
    // LDB_SUCCESS, or the error that ends the search, with why().
    virtual int entry(const ldb_message* message) = 0;
    virtual int done(ldb_control* const* controls) = 0;
    const std::string& why() const { return m_why; }

protected:
    int fail(std::string why);
    std::string m_why;
};

// A base search's entry (the root entry, the domain): one, and no pages.
class OneEntry final : public Replies {
public:
    explicit OneEntry(std::function<void(const ldb_message*)> take) : m_take(std::move(take)) {}
    int entry(const ldb_message* message) override;
    int done(ldb_control* const* controls) override;

private:
    std::function<void(const ldb_message*)> m_take;
    bool m_seen = false;
};

class DirectoryReading final : public Replies {
public:
    enum class Search { Users, Groups };
    explicit DirectoryReading(DirectoryContents& out, DirectoryLimits limits = {})
        : m_out(out), m_limits(limits) {}

    // Sends one request and waits for its replies, handing them to entry()
    // and done(); returns ldb's result. The search is asked whole when
    // `cookie` is null, else for the page it names (empty: the first).
    using Ask = std::function<int(Search search, const std::string* cookie)>;
    // The users, then the groups; each asked whole unless `pagesOnly`, then
    // page by page where the server caps it or takes too long. Returns
    // LDB_SUCCESS, or the error that ended the read (with why() when it was
    // the replies); `out` then holds nothing.
    int read(bool pagesOnly, const Ask& ask);

    int entry(const ldb_message* message) override;
    int done(ldb_control* const* controls) override;

private:
    int search(Search search, bool paged, const Ask& ask);
    int user(const ldb_message* message);
    int group(const ldb_message* message);
    // Counts the entry against the bounds; the error when one is passed.
    int count(const ldb_message* message);

    DirectoryContents& m_out;
    DirectoryLimits m_limits;
    Search m_search = Search::Users;
    bool m_paged = false;
    // The next page's cookie (empty: the search is done), and those seen.
    std::string m_next;
    std::set<std::string> m_cookies;
    unsigned m_pages = 0;
    std::size_t m_entries = 0, m_bytes = 0;
};

} // namespace orvane::samba
