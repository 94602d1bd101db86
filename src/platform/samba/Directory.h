#pragma once

// A domain controller's directory over LDAP, signed on with the credentials
// the account calls use (NTLMSSP with a password, or Kerberos from the ticket
// cache; signed and sealed as a Samba DC requires), through Samba's own
// directory client. Reads every account and group of the domain in pages.
//
// Not thread-safe; callers serialise it with libnetapi.

#include "platform/samba/DirectoryAccounts.h"
#include "platform/samba/LibNetApi.h"

#include <memory>
#include <string>

struct ldb_context;

namespace orvane::samba {

class Directory {
public:
    // The directory of `host` (a name or address); null with `why` when it
    // cannot be reached or refuses the credentials (then `refused` is set).
    static std::unique_ptr<Directory> connect(const std::string& host,
                                              const lib::Credentials& credentials, std::string& why,
                                              bool* refused = nullptr);
    ~Directory();
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;

    // Searches are asked whole, and page by page where the server caps them.
    enum class Paging { WhenCapped, Always };
    // Every user and group of the domain; false with `why` when a search fails.
    bool read(DirectoryContents& out, std::string& why, Paging paging = Paging::WhenCapped);

private:
    struct Memory;
    Directory(std::unique_ptr<Memory> memory, ldb_context* ldb, std::string base,
              std::string domainSid);

    std::unique_ptr<Memory> m_memory;
    ldb_context* m_ldb;
    std::string m_base;
    std::string m_domainSid;
};

} // namespace orvane::samba
