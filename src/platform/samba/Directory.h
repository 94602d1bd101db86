#pragma once

// A domain controller's directory over LDAP, signed on with the credentials
// the account calls use (NTLMSSP with a password, or Kerberos from the ticket
// cache; signed and sealed as a Samba DC requires), through Samba's own
// directory client. Reads every account and group of the domain in pages.
// Every wait keeps to a deadline, and what the server sends is checked and
// bounded (DirectoryReading).
//
// Not thread-safe; callers serialise it with libnetapi.

#include "platform/samba/DirectoryAccounts.h"
#include "platform/samba/LibNetApi.h"

#include <chrono>
#include <memory>
#include <string>

struct ldb_context;
struct tevent_context;

namespace orvane::samba {

class Directory {
public:
    using Clock = std::chrono::steady_clock;
    // A connection is made and signed on within this, and a refill's whole
    // read, connection included, takes no longer than the second: a server
    // that is silent or slow holds the window no longer.
    static constexpr std::chrono::seconds kConnectBound{5}, kReadBound{10};

    // The directory of `host` (a name or address); null with `why` when it
    // cannot be reached or refuses the credentials (then `refused` is set).
    // Gives up at `deadline` (by default kReadBound from now) or kConnectBound
    // from now, whichever comes first.
    static std::unique_ptr<Directory> connect(const std::string& host,
                                              const lib::Credentials& credentials, std::string& why,
                                              bool* refused = nullptr,
                                              Clock::time_point deadline = {});
    ~Directory();
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;

    // Searches are asked whole, and page by page where the server caps them.
    enum class Paging { WhenCapped, Always };
    // Every user and group of the domain; false with `why` when a search
    // fails, the server sends what no directory would, or `deadline` (by
    // default kReadBound from now) passes. A connection that failed so is not
    // to be read again.
    bool read(DirectoryContents& out, std::string& why, Paging paging = Paging::WhenCapped,
              Clock::time_point deadline = {});

private:
    struct Memory;
    Directory(std::unique_ptr<Memory> memory, tevent_context* events, ldb_context* ldb,
              std::string base, std::string domainSid);

    std::unique_ptr<Memory> m_memory;
    tevent_context* m_events;
    ldb_context* m_ldb;
    std::string m_base;
    std::string m_domainSid;
};

} // namespace orvane::samba
