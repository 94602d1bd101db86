#pragma once

// The service through Samba's libnetapi, on a Samba server or a Windows one:
// the calls with Windows' levels, records and result codes, UTF-16 text, and
// buffers released by this object's NetApiBufferFree.
//
// An account listing is taken whole when it starts and handed out in
// batches, so no call between batches can cut it short. On a domain
// controller it is read from the directory in bulk, with every account's
// local groups; the refill that follows (each account's groups, the shares)
// is answered from what was read, until RefillSnapshot says it may be stale.

#include "platform/netapi/NetApi.h"
#include "platform/samba/Directory.h"
#include "platform/samba/LibNetApi.h"
#include "platform/samba/RefillSnapshot.h"
#include "platform/samba/ResultCodes.h"
#include "platform/samba/ServerNames.h"

#include <atomic>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

namespace orvane::samba {

class SambaNetApi final : public NetApi {
public:
    // libnetapi keeps one context per process: one SambaNetApi at a time.
    // Throws BackendError when libnetapi cannot start or another one lives.
    // `recycleAfter` exchanges make libnetapi's context anew: it holds all it
    // has read until it goes.
    // Listings come from a domain controller's directory unless `directory`
    // says otherwise; a server without one is asked account by account.
    enum class Directory { WhereThereIsOne, Never };
    SambaNetApi(lib::Credentials credentials, ServerNames servers,
                unsigned recycleAfter = kRecycleAfter,
                Directory directory = Directory::WhereThereIsOne);
    static constexpr unsigned kRecycleAfter = 2000;
    ~SambaNetApi() override;
    SambaNetApi(const SambaNetApi&) = delete;
    SambaNetApi& operator=(const SambaNetApi&) = delete;

    const ServerNames& servers() const { return m_servers; }
    // Whether the latest account listing was read from a directory.
    bool listedFromDirectory();

    NET_API_STATUS NetUserEnum(LPCWSTR servername, DWORD level, DWORD filter, LPBYTE* bufptr,
                               DWORD prefmaxlen, LPDWORD entriesread, LPDWORD totalentries,
                               PDWORD resume_handle) override;
    NET_API_STATUS NetUserAdd(LPCWSTR servername, DWORD level, LPBYTE buf,
                              LPDWORD parm_err) override;
    NET_API_STATUS NetUserDel(LPCWSTR servername, LPCWSTR username) override;
    NET_API_STATUS NetUserSetInfo(LPCWSTR servername, LPCWSTR username, DWORD level, LPBYTE buf,
                                  LPDWORD parm_err) override;
    NET_API_STATUS NetUserGetLocalGroups(LPCWSTR servername, LPCWSTR username, DWORD level,
                                         DWORD flags, LPBYTE* bufptr, DWORD prefmaxlen,
                                         LPDWORD entriesread, LPDWORD totalentries) override;
    NET_API_STATUS NetLocalGroupEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr,
                                     DWORD prefmaxlen, LPDWORD entriesread, LPDWORD totalentries,
                                     PDWORD_PTR resumehandle) override;
    NET_API_STATUS NetLocalGroupAddMembers(LPCWSTR servername, LPCWSTR groupname, DWORD level,
                                           LPBYTE buf, DWORD totalentries) override;
    NET_API_STATUS NetLocalGroupDelMembers(LPCWSTR servername, LPCWSTR groupname, DWORD level,
                                           LPBYTE buf, DWORD totalentries) override;
    NET_API_STATUS NetShareEnum(LMSTR servername, DWORD level, LPBYTE* bufptr, DWORD prefmaxlen,
                                LPDWORD entriesread, LPDWORD totalentries,
                                LPDWORD resume_handle) override;
    NET_API_STATUS NetShareAdd(LMSTR servername, DWORD level, LPBYTE buf,
                               LPDWORD parm_err) override;
    NET_API_STATUS NetShareDel(LMSTR servername, LMSTR netname, DWORD reserved) override;
    NET_API_STATUS NetApiBufferFree(LPVOID Buffer) override;

private:
    // One account listing, from its first batch to its last.
    struct Listing {
        std::uint32_t id = 0;
        lib::Server server;
        // Read whole from the directory; else only the names, and each
        // batch's records asked of the server as it is handed out.
        std::optional<std::vector<lib::User>> records;
        std::vector<std::string> names;
        std::size_t next = 0;
        std::size_t size() const { return records ? records->size() : names.size(); }
    };
    // What is known of a server's directory.
    struct DirectoryLink {
        bool checked = false;
        bool domainController = false;
        // When it could not be read: each attempt may cost a connection
        // timeout, so the next waits a while.
        std::optional<RefillSnapshot::Clock::time_point> failed;
        // It refused the credentials: not asked again this session.
        bool refused = false;
        std::unique_ptr<samba::Directory> directory;
    };

    // A new listing, last in m_live, of what the directory gave (`read`) or
    // else of the server's names; the refill snapshot is taken with it unless
    // a change came after `changes`. Under m_state.
    NET_API_STATUS startListing(const lib::Server& server, DWORD filter,
                                std::optional<std::vector<DirectoryAccount>> read,
                                std::uint64_t changes);
    // The directory's accounts, or nothing where the server has no directory
    // or it cannot be read. Read on a thread of its own while the window's
    // thread dispatches its events, so it is called with no lock held.
    std::optional<std::vector<DirectoryAccount>> directoryAccounts(const lib::Server& server);
    // Takes the directory lock, then the libnetapi lock.
    std::optional<std::vector<DirectoryAccount>> readDirectory(const lib::Server& server);
    // A change through the adapter, from before it starts until after it
    // ends: nothing read before it, or while it runs, answers after it.
    void changing();
    class Change {
    public:
        explicit Change(SambaNetApi& api) : m_api(api) { m_api.changing(); }
        ~Change() { m_api.changing(); }
        Change(const Change&) = delete;
        Change& operator=(const Change&) = delete;

    private:
        SambaNetApi& m_api;
    };

    // Runs one libnetapi exchange under the process's lock; after a lost
    // connection, starts libnetapi anew and runs it once more. A part of a
    // listing libnetapi keeps its place in says, before the lock goes,
    // whether the listing goes on.
    enum class ListingPart { No, Yes };
    template <class Exchange>
    NET_API_STATUS exchange(Operation operation, Exchange&& run,
                            ListingPart listing = ListingPart::No);
    template <class Exchange> NET_API_STATUS exchangeLocked(Operation operation, Exchange&& run);
    NET_API_STATUS reconnect();
    NET_API_STATUS changeMembers(LPCWSTR servername, LPCWSTR groupname, DWORD level, LPBYTE buf,
                                 DWORD totalentries, bool add);

    lib::Credentials m_credentials;
    ServerNames m_servers;
    unsigned m_recycleAfter;
    Directory m_directoryUse;
    // Under the libnetapi lock, with libnetapi's context: the exchanges made
    // on it, and whether a listing returned 234 and its caller may come back
    // for more.
    unsigned m_exchanges = 0;
    bool m_listing = false;

    // Guards what follows; taken before the libnetapi lock, never after it.
    std::mutex m_state;
    // The listings a caller may still come back to, oldest first: callers
    // that list at once each keep their place.
    std::deque<Listing> m_live;
    static constexpr std::size_t kLiveListings = 8;
    std::uint32_t m_listings = 0;
    // Changes begun and ended, and refill snapshots begun.
    std::atomic<std::uint64_t> m_changes{0};
    std::uint64_t m_refills = 0;
    bool m_fromDirectory = false;
    RefillSnapshot m_refill;
    // Accounts the server could not read, each said once on stderr.
    std::set<std::string> m_unreadable;

    // Guards what is known of each server's directory; taken with no other
    // lock held, and before the libnetapi lock.
    std::mutex m_directoryState;
    std::map<lib::Server, DirectoryLink> m_directories;
};

// The backend the environment describes: credentials as Samba clients take
// them, and ORVANE_SAMBA_SERVER for the machine to administer (this one when
// unset). Checks that the server answers; throws BackendError with the reason
// otherwise.
std::unique_ptr<NetApi> createSambaNetApi();

} // namespace orvane::samba
