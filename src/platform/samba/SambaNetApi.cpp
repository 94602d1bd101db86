#include "platform/samba/SambaNetApi.h"

#include "platform/netapi/Backend.h"
#include "platform/netapi/Guarded.h"
#include "platform/netapi/Records.h"
#include "platform/netapi/WideText.h"
#include "platform/samba/AccountControl.h"
#include "platform/samba/Credentials.h"
#include "platform/samba/SharePaths.h"

#include <QCoreApplication>
#include <QStringList>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <future>
#include <mutex>
#include <new>
#include <thread>

namespace orvane::samba {

namespace {

// libnetapi's context is the process's: so is the lock around it.
std::mutex g_libnetapi;
std::atomic<bool> g_instance{false};

// libnetapi answers a small prefmaxlen with one entry per exchange on a
// domain controller; the program's listings ask for 0 and show each batch.
constexpr DWORD kSmallestBatchBytes = 16 * 1024;

// An account listing's resume handle: the listing's number, then the next
// entry's position.
constexpr unsigned kPositionBits = 24;
constexpr DWORD kPositionMask = (DWORD(1) << kPositionBits) - 1;
constexpr std::uint32_t kListingIds = (std::uint32_t(1) << (32 - kPositionBits)) - 1;

// Runs `work` on a thread of its own while the window's thread, when it is
// the caller, dispatches its events: the window stays responsive while a slow
// or silent directory is read. What the events start waits for the locks
// `work` holds, never the other way round.
template <class Work> auto whileDispatching(Work&& work) -> decltype(work()) {
    const QCoreApplication* application = QCoreApplication::instance();
    if (!application || QThread::currentThread() != application->thread())
        return work();
    std::packaged_task<decltype(work())()> task(std::forward<Work>(work));
    std::future<decltype(work())> done = task.get_future();
    std::thread thread(std::move(task));
    while (done.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    thread.join();
    return done.get();
}

// A directory that could not be read is tried again after this.
constexpr auto kDirectoryRetry = std::chrono::seconds(30);

// Entries a batch holds, counted as the server counts them (54 bytes each).
std::size_t batchEntries(DWORD prefmaxlen) {
    if (prefmaxlen == MAX_PREFERRED_LENGTH)
        return kPositionMask;
    return 1 + std::max(prefmaxlen, kSmallestBatchBytes) / 54;
}

std::string utf8(LPCWSTR text) {
    return fromWide(text).toStdString();
}

// A null pointer stays null, so a field the caller leaves out stays out.
class Utf8 {
public:
    explicit Utf8(LPCWSTR text) : m_null(!text), m_text(utf8(text)) {}
    const char* get() const { return m_null ? nullptr : m_text.c_str(); }
    const std::string& text() const { return m_text; }
    bool null() const { return m_null; }

private:
    bool m_null;
    std::string m_text;
};

QString qt(const std::string& text) {
    return QString::fromStdString(text);
}

// The names as the platform's strings, for a name buffer.
std::vector<QString> qtNames(const std::vector<std::string>& names) {
    std::vector<QString> texts;
    texts.reserve(names.size());
    for (const std::string& name : names)
        texts.push_back(qt(name));
    return texts;
}

// Whether a retry's result is what a first exchange that reached the server
// before its connection went would leave behind.
bool doneBefore(Operation operation, NET_API_STATUS retried) {
    switch (operation) {
    case Operation::AddUser:
        return retried == NERR_UserExists;
    case Operation::ChangeUser:
        return retried == NERR_UserNotFound;
    case Operation::AddShare:
        return retried == NERR_DuplicateShare;
    case Operation::DeleteShare:
        return retried == NERR_NetNameNotFound;
    default:
        return false;
    }
}

bool listed(NET_API_STATUS status) {
    return status == NERR_Success || status == ERROR_MORE_DATA;
}

// The member's account name, without a domain before it.
std::string memberName(LPCWSTR domainAndName) {
    const QString text = fromWide(domainAndName);
    return text.section(u'\\', -1).toStdString();
}

// Whether the server lists a share of that name; share names ignore case.
bool shareListed(const lib::Server& server, const std::string& name) {
    std::uint32_t resume = 0;
    std::vector<lib::Share> shares;
    lib::Status status;
    do {
        status = lib::shareEnum(server, MAX_PREFERRED_LENGTH, resume, shares);
        if (!listed(status))
            return false;
        for (const lib::Share& share : shares)
            if (qt(share.name).compare(qt(name), Qt::CaseInsensitive) == 0)
                return true;
    } while (status == ERROR_MORE_DATA);
    return false;
}

} // namespace

SambaNetApi::SambaNetApi(lib::Credentials credentials, ServerNames servers, unsigned recycleAfter,
                         Directory directory)
    : m_credentials(std::move(credentials)), m_servers(std::move(servers)),
      m_recycleAfter(recycleAfter), m_directoryUse(directory) {
    if (g_instance.exchange(true))
        throw BackendError("the samba backend is already open in this process");
    std::lock_guard lock(g_libnetapi);
    if (const lib::Status status = lib::open(m_credentials); status != lib::kSuccess) {
        g_instance = false;
        throw BackendError("libnetapi cannot start: " + lib::errorText(status));
    }
}

SambaNetApi::~SambaNetApi() {
    std::lock_guard lock(g_libnetapi);
    // Samba's directory client goes before the next instance may start.
    m_directories.clear();
    lib::close();
    g_instance = false;
}

NET_API_STATUS SambaNetApi::reconnect() {
    lib::close();
    return lib::open(m_credentials);
}

template <class Exchange>
NET_API_STATUS SambaNetApi::exchange(Operation operation, Exchange&& run, ListingPart listing) {
    std::lock_guard lock(g_libnetapi);
    const NET_API_STATUS status = exchangeLocked(operation, run);
    // Read by the next exchange, under this same lock, from whichever thread.
    if (listing == ListingPart::Yes)
        m_listing = status == ERROR_MORE_DATA;
    return status;
}

template <class Exchange>
NET_API_STATUS SambaNetApi::exchangeLocked(Operation operation, Exchange&& run) {
    // libnetapi keeps what it reads on its context until the context goes: a
    // new one now and then, never in the middle of a listing.
    if (lib::isOpen() && ++m_exchanges > m_recycleAfter && !m_listing) {
        lib::close();
        m_exchanges = 0;
    }
    // Without its context libnetapi would make one of its own, with no
    // credentials: it would prompt, then log on anonymously.
    if (!lib::isOpen())
        if (const NET_API_STATUS status = lib::open(m_credentials); status != lib::kSuccess)
            return status;
    const NET_API_STATUS first = run();
    if (!connectionLost(first) || reconnect() != lib::kSuccess)
        return windowsResult(operation, first);
    const NET_API_STATUS again = windowsResult(operation, run());
    // The lost exchange may have made the change already: a retry that finds
    // it made proves nothing, and the caller hears of the lost connection.
    return doneBefore(operation, again) ? first : again;
}

bool SambaNetApi::listedFromDirectory() {
    std::lock_guard state(m_state);
    return m_fromDirectory;
}

NET_API_STATUS SambaNetApi::startListing(const lib::Server& server, DWORD filter,
                                         std::optional<std::vector<DirectoryAccount>> read,
                                         std::uint64_t changes) {
    m_fromDirectory = read.has_value();
    m_refill.end();
    Listing listing;
    // A handle names its listing in its top bits, the next entry below them.
    listing.id = m_listings = m_listings % kListingIds + 1;
    listing.server = server;
    std::unordered_map<std::string, std::optional<std::vector<std::string>>> accounts;
    if (read) {
        listing.records.emplace();
        listing.records->reserve(read->size());
        for (DirectoryAccount& account : *read) {
            accounts.emplace(account.record.name, std::move(account.localGroups));
            listing.records->push_back(std::move(account.record));
        }
    } else {
        const NET_API_STATUS status = exchange(
            Operation::Other, [&] { return lib::userNames(server, filter, listing.names); });
        if (status != NERR_Success)
            return status;
        for (const std::string& name : listing.names)
            accounts.emplace(name, std::nullopt);
    }
    if (m_changes == changes) {
        m_refill.begin(server, std::move(accounts), RefillSnapshot::Clock::now());
        ++m_refills;
    }
    if (m_live.size() == kLiveListings)
        m_live.pop_front();
    m_live.push_back(std::move(listing));
    return NERR_Success;
}

std::optional<std::vector<DirectoryAccount>>
SambaNetApi::directoryAccounts(const lib::Server& server) {
    if (m_directoryUse == Directory::Never)
        return std::nullopt;
    return whileDispatching([&] { return readDirectory(server); });
}

std::optional<std::vector<DirectoryAccount>> SambaNetApi::readDirectory(const lib::Server& server) {
    std::lock_guard directories(m_directoryState);
    DirectoryLink& link = m_directories[server];
    if (!link.checked) {
        std::uint32_t role = 0;
        if (exchange(Operation::Other, [&] { return lib::serverRole(server, role); }) !=
            NERR_Success)
            return std::nullopt;
        link.checked = true;
        link.domainController = role == lib::kRolePrimary || role == lib::kRoleBackup;
    }
    const auto now = RefillSnapshot::Clock::now();
    if (!link.domainController || link.refused ||
        (link.failed && now - *link.failed < kDirectoryRetry))
        return std::nullopt;
    std::lock_guard lock(g_libnetapi);
    const std::string host = server.value_or("localhost");
    std::string why;
    DirectoryContents contents;
    // One bound for the whole read, a new connection included.
    const auto deadline = samba::Directory::Clock::now() + samba::Directory::kReadBound;
    // A connection the server has dropped since the last refill is made anew
    // once; a new one that fails is not tried again at once.
    const bool existing = link.directory != nullptr;
    for (int attempt = 0; attempt < (existing ? 2 : 1); ++attempt) {
        if (!link.directory) {
            bool refused = false;
            link.directory =
                samba::Directory::connect(host, m_credentials, why, &refused, deadline);
            // Each try would count against the account as a bad password.
            link.refused = refused;
        }
        if (link.directory &&
            link.directory->read(contents, why, samba::Directory::Paging::WhenCapped, deadline)) {
            link.failed.reset();
            return listedAccounts(contents, std::int64_t(std::time(nullptr)));
        }
        link.directory.reset();
        if (link.refused)
            break;
    }
    link.failed = now;
    qWarning("orvane: the directory of %s cannot be read (%s); accounts are listed one by one",
             host.c_str(), why.c_str());
    return std::nullopt;
}

void SambaNetApi::changing() {
    ++m_changes;
    std::lock_guard state(m_state);
    m_refill.end();
}

NET_API_STATUS SambaNetApi::NetUserEnum(LPCWSTR servername, DWORD level, DWORD filter,
                                        LPBYTE* bufptr, DWORD prefmaxlen, LPDWORD entriesread,
                                        LPDWORD totalentries, PDWORD resume_handle) {
    return guarded([&]() -> NET_API_STATUS {
        if (!bufptr || !entriesread || !totalentries)
            return ERROR_INVALID_PARAMETER;
        *bufptr = nullptr;
        *entriesread = *totalentries = 0;
        if (level != 0 && level != 1)
            return ERROR_INVALID_LEVEL;
        const lib::Server server = m_servers.spell(servername);
        const DWORD handle = resume_handle ? *resume_handle : 0;
        // A change that ends while the listing is read leaves it no snapshot.
        const std::uint64_t changes = m_changes;
        std::optional<std::vector<DirectoryAccount>> read;
        if (handle == 0) {
            // What the last refill read answers no more once a listing starts,
            // though this one's read takes a while.
            std::unique_lock state(m_state);
            m_refill.end();
            state.unlock();
            if (filter == 0 || filter == FILTER_NORMAL_ACCOUNT)
                read = directoryAccounts(server);
        }
        std::lock_guard state(m_state);
        auto live = m_live.end();
        if (handle == 0) {
            if (const NET_API_STATUS status =
                    startListing(server, filter, std::move(read), changes);
                status != NERR_Success)
                return status;
            live = std::prev(m_live.end());
        } else {
            live = std::find_if(m_live.begin(), m_live.end(), [&](const Listing& listing) {
                return listing.id == handle >> kPositionBits && listing.server == server;
            });
            if (live == m_live.end())
                return ERROR_INVALID_PARAMETER;
            live->next = handle & kPositionMask;
        }
        Listing& listing = *live;
        const std::size_t first = std::min(listing.next, listing.size());
        const std::size_t count = std::min(listing.size() - first, batchEntries(prefmaxlen));
        std::vector<lib::User> users;
        users.reserve(count);
        if (listing.records) {
            users.assign(listing.records->begin() + std::ptrdiff_t(first),
                         listing.records->begin() + std::ptrdiff_t(first + count));
        } else {
            for (std::size_t i = first; i < first + count; ++i) {
                lib::User user;
                user.name = listing.names[i];
                if (level == 1) {
                    const NET_API_STATUS status = exchange(Operation::Other, [&] {
                        return lib::userInfo(server, listing.names[i], user);
                    });
                    // Deleted since the listing started: no longer listed.
                    if (status == NERR_UserNotFound || status == ERROR_NONE_MAPPED)
                        continue;
                    // Samba answers "unsuccessful" for an account it cannot map
                    // to a Unix one (deleted behind its back): the account is
                    // listed by its name, and the rest of the list stays.
                    if (status == ERROR_GEN_FAILURE) {
                        if (m_unreadable.insert(listing.names[i]).second)
                            std::fprintf(stderr,
                                         "orvane: the server cannot read the account %s (Samba "
                                         "answers \"unsuccessful\": its Unix account may be "
                                         "gone); it is listed by its name only\n",
                                         listing.names[i].c_str());
                        user = lib::User{};
                        user.name = listing.names[i];
                    } else if (status != NERR_Success) {
                        return status;
                    }
                }
                users.push_back(std::move(user));
            }
        }
        listing.next = first + count;
        const std::size_t left = listing.size() - listing.next;
        const DWORD resume = left ? DWORD(listing.id) << kPositionBits | DWORD(listing.next) : 0;
        if (left == 0) {
            // The refill snapshot is the newest listing's.
            if (std::next(live) == m_live.end())
                m_refill.listed();
            m_live.erase(live);
        }

        std::vector<records::User> rows;
        rows.reserve(users.size());
        for (const lib::User& user : users)
            rows.push_back({qt(user.name), user.passwordAge, user.priv, qt(user.homeDir),
                            qt(user.comment), user.flags, qt(user.scriptPath)});
        *bufptr = records::userBuffer(level, rows);
        *entriesread = DWORD(users.size());
        *totalentries = DWORD(users.size() + left);
        if (resume_handle)
            *resume_handle = resume;
        return left ? ERROR_MORE_DATA : NERR_Success;
    });
}

NET_API_STATUS SambaNetApi::NetUserAdd(LPCWSTR servername, DWORD level, LPBYTE buf,
                                       LPDWORD parm_err) {
    return guarded([&]() -> NET_API_STATUS {
        if (level != 1)
            return ERROR_INVALID_LEVEL;
        if (!buf)
            return ERROR_INVALID_PARAMETER;
        const auto& info = *reinterpret_cast<const USER_INFO_1*>(buf);
        const Utf8 name(info.usri1_name), password(info.usri1_password),
            homeDir(info.usri1_home_dir), comment(info.usri1_comment),
            scriptPath(info.usri1_script_path);
        lib::NewUser user;
        user.name = name.get();
        user.password = password.get();
        user.homeDir = homeDir.get();
        user.comment = comment.get();
        user.scriptPath = scriptPath.get();
        user.priv = info.usri1_priv;
        user.accountControl = accountControlBits(info.usri1_flags);
        const Change change(*this);
        const lib::Server server = m_servers.spell(servername);
        std::uint32_t parameter = 0;
        const NET_API_STATUS status =
            exchange(Operation::AddUser, [&] { return lib::userAdd(server, user, parameter); });
        if (parm_err && status == ERROR_INVALID_PARAMETER)
            *parm_err = parameter;
        return status;
    });
}

NET_API_STATUS SambaNetApi::NetUserDel(LPCWSTR servername, LPCWSTR username) {
    return guarded([&]() -> NET_API_STATUS {
        if (!username)
            return ERROR_INVALID_PARAMETER;
        const Change change(*this);
        const lib::Server server = m_servers.spell(servername);
        const std::string name = utf8(username);
        return exchange(Operation::ChangeUser, [&] { return lib::userDel(server, name); });
    });
}

NET_API_STATUS SambaNetApi::NetUserSetInfo(LPCWSTR servername, LPCWSTR username, DWORD level,
                                           LPBYTE buf, LPDWORD /*parm_err*/) {
    return guarded([&]() -> NET_API_STATUS {
        if (level != 1 && level != 1006)
            return ERROR_INVALID_LEVEL;
        if (!username || !buf)
            return ERROR_INVALID_PARAMETER;
        const Change change(*this);
        const lib::Server server = m_servers.spell(servername);
        const std::string name = utf8(username);
        if (level == 1006) {
            const Utf8 homeDir(reinterpret_cast<const USER_INFO_1006*>(buf)->usri1006_home_dir);
            if (homeDir.null())
                return NERR_Success;
            return exchange(Operation::ChangeUser,
                            [&] { return lib::userSetHomeDir(server, name, homeDir.text()); });
        }
        // libnetapi refuses level 1 before sending it: each text field the record
        // gives goes at the level that carries it alone. The flags stay as they
        // are: the privilege and account flags the record must carry would
        // otherwise re-enable a disabled account whenever its home is set.
        const auto& info = *reinterpret_cast<const USER_INFO_1*>(buf);
        if (info.usri1_priv > USER_PRIV_ADMIN)
            return ERROR_INVALID_PARAMETER;
        const Utf8 password(info.usri1_password), homeDir(info.usri1_home_dir),
            comment(info.usri1_comment);
        return exchange(Operation::ChangeUser, [&]() -> lib::Status {
            lib::Status status = lib::kSuccess;
            if (!password.null() && (status = lib::userSetPassword(server, name, password.text())))
                return status;
            if (!homeDir.null() && (status = lib::userSetHomeDir(server, name, homeDir.text())))
                return status;
            if (!comment.null())
                status = lib::userSetComment(server, name, comment.text());
            return status;
        });
    });
}

NET_API_STATUS SambaNetApi::NetUserGetLocalGroups(LPCWSTR servername, LPCWSTR username, DWORD level,
                                                  DWORD flags, LPBYTE* bufptr, DWORD /*prefmaxlen*/,
                                                  LPDWORD entriesread, LPDWORD totalentries) {
    return guarded([&]() -> NET_API_STATUS {
        if (!bufptr || !entriesread || !totalentries || !username)
            return ERROR_INVALID_PARAMETER;
        *bufptr = nullptr;
        *entriesread = *totalentries = 0;
        if (level != 0)
            return ERROR_INVALID_LEVEL;
        const lib::Server server = m_servers.spell(servername);
        const std::string name = utf8(username);
        std::vector<std::string> groups;
        bool known = false;
        {
            std::lock_guard state(m_state);
            known = m_refill.groupsOf(server, name, RefillSnapshot::Clock::now(), groups);
        }
        if (!known) {
            const NET_API_STATUS status = exchange(Operation::ChangeUser, [&] {
                return lib::userLocalGroups(server, name, flags, groups);
            });
            if (!listed(status))
                return status;
        }
        *bufptr = records::userLocalGroupBuffer(qtNames(groups));
        *entriesread = *totalentries = DWORD(groups.size());
        return NERR_Success;
    });
}

NET_API_STATUS SambaNetApi::NetLocalGroupEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr,
                                              DWORD prefmaxlen, LPDWORD entriesread,
                                              LPDWORD totalentries, PDWORD_PTR resumehandle) {
    return guarded([&]() -> NET_API_STATUS {
        if (!bufptr || !entriesread || !totalentries)
            return ERROR_INVALID_PARAMETER;
        *bufptr = nullptr;
        *entriesread = *totalentries = 0;
        if (level != 0)
            return ERROR_INVALID_LEVEL;
        const lib::Server server = m_servers.spell(servername);
        const std::uint32_t start = resumehandle ? std::uint32_t(*resumehandle) : 0;
        std::uint32_t resume = start;
        std::vector<std::string> groups;
        const NET_API_STATUS status = exchange(
            Operation::Other,
            [&] {
                resume = start;
                return lib::localGroupEnum(server, std::max(prefmaxlen, kSmallestBatchBytes),
                                           resume, groups);
            },
            ListingPart::Yes);
        if (!listed(status))
            return status;
        *bufptr = records::localGroupBuffer(qtNames(groups));
        *entriesread = *totalentries = DWORD(groups.size());
        if (resumehandle)
            *resumehandle = status == ERROR_MORE_DATA ? resume : 0;
        return status;
    });
}

NET_API_STATUS SambaNetApi::changeMembers(LPCWSTR servername, LPCWSTR groupname, DWORD level,
                                          LPBYTE buf, DWORD totalentries, bool add) {
    return guarded([&]() -> NET_API_STATUS {
        if (level != 3)
            return ERROR_INVALID_LEVEL;
        if (!groupname || (!buf && totalentries))
            return ERROR_INVALID_PARAMETER;
        const lib::Server server = m_servers.spell(servername);
        const std::string group = utf8(groupname);
        const auto* members = reinterpret_cast<const LOCALGROUP_MEMBERS_INFO_3*>(buf);
        std::vector<std::string> names;
        for (DWORD i = 0; i < totalentries; ++i) {
            if (!members[i].lgrmi3_domainandname)
                return ERROR_INVALID_PARAMETER;
            names.push_back(memberName(members[i].lgrmi3_domainandname));
        }
        const Change change(*this);
        // Level 3 brings libnetapi down; level 0 takes each member's SID.
        return exchange(Operation::ChangeMembers, [&]() -> lib::Status {
            std::vector<lib::Sid> sids(names.size());
            for (std::size_t i = 0; i < names.size(); ++i) {
                const lib::Status status = lib::userSid(server, names[i], sids[i]);
                if (status == ERROR_NONE_MAPPED || status == NERR_UserNotFound)
                    return ERROR_NO_SUCH_MEMBER;
                if (status != lib::kSuccess)
                    return status;
            }
            return add ? lib::localGroupAddMembers(server, group, sids)
                       : lib::localGroupDelMembers(server, group, sids);
        });
    });
}

NET_API_STATUS SambaNetApi::NetLocalGroupAddMembers(LPCWSTR servername, LPCWSTR groupname,
                                                    DWORD level, LPBYTE buf, DWORD totalentries) {
    return changeMembers(servername, groupname, level, buf, totalentries, true);
}

NET_API_STATUS SambaNetApi::NetLocalGroupDelMembers(LPCWSTR servername, LPCWSTR groupname,
                                                    DWORD level, LPBYTE buf, DWORD totalentries) {
    return changeMembers(servername, groupname, level, buf, totalentries, false);
}

NET_API_STATUS SambaNetApi::NetShareEnum(LMSTR servername, DWORD level, LPBYTE* bufptr,
                                         DWORD prefmaxlen, LPDWORD entriesread,
                                         LPDWORD totalentries, LPDWORD resume_handle) {
    return guarded([&]() -> NET_API_STATUS {
        if (!bufptr || !entriesread || !totalentries)
            return ERROR_INVALID_PARAMETER;
        *bufptr = nullptr;
        *entriesread = *totalentries = 0;
        if (level != 2)
            return ERROR_INVALID_LEVEL;
        const lib::Server server = m_servers.spell(servername);
        const std::uint32_t start = resume_handle ? *resume_handle : 0;
        std::uint32_t resume = start;
        std::vector<lib::Share> shares;
        // A whole listing, asked for row after row of a refill, is listed once.
        const bool whole = start == 0 && prefmaxlen == MAX_PREFERRED_LENGTH;
        std::unique_lock state(m_state);
        const auto now = RefillSnapshot::Clock::now();
        const std::vector<lib::Share>* kept = whole ? m_refill.shares(server, now) : nullptr;
        // Shares listed across a change, or into another refill, are not kept.
        const std::uint64_t changes = m_changes, refill = m_refills;
        NET_API_STATUS status = NERR_Success;
        if (kept) {
            shares = *kept;
        } else {
            state.unlock();
            status = exchange(
                Operation::Other,
                [&] {
                    resume = start;
                    return lib::shareEnum(server, std::max(prefmaxlen, kSmallestBatchBytes), resume,
                                          shares);
                },
                ListingPart::Yes);
            if (!listed(status))
                return status;
            state.lock();
            if (whole && status == NERR_Success && m_changes == changes && m_refills == refill)
                m_refill.keepShares(server, shares, now);
        }
        state.unlock();
        std::vector<records::Share> rows;
        rows.reserve(shares.size());
        for (const lib::Share& share : shares)
            rows.push_back({qt(share.name), share.type, qt(share.remark), share.permissions,
                            share.maxUses, share.currentUses, localSharePath(qt(share.path))});
        *bufptr = records::shareBuffer(2, rows);
        *entriesread = *totalentries = DWORD(shares.size());
        if (resume_handle)
            *resume_handle = status == ERROR_MORE_DATA ? resume : 0;
        return status;
    });
}

NET_API_STATUS SambaNetApi::NetShareAdd(LMSTR servername, DWORD level, LPBYTE buf,
                                        LPDWORD parm_err) {
    return guarded([&]() -> NET_API_STATUS {
        if (level != 2 && level != 502)
            return ERROR_INVALID_LEVEL;
        if (!buf)
            return ERROR_INVALID_PARAMETER;
        // Level 502 begins with level 2's fields.
        const auto& info = *reinterpret_cast<const SHARE_INFO_2*>(buf);
        const Utf8 name(info.shi2_netname), remark(info.shi2_remark), path(info.shi2_path);
        if (name.null() || path.null()) {
            if (parm_err)
                *parm_err = name.null() ? SHARE_NETNAME_PARMNUM : SHARE_PATH_PARMNUM;
            return ERROR_INVALID_PARAMETER;
        }
        lib::NewShare share;
        share.name = name.get();
        share.remark = remark.get();
        share.path = path.get();
        share.type = info.shi2_type;
        share.permissions = info.shi2_permissions;
        share.maxUses = info.shi2_max_uses;
        const Change change(*this);
        const lib::Server server = m_servers.spell(servername);
        std::uint32_t parameter = 0;
        const NET_API_STATUS status = exchange(Operation::AddShare, [&]() -> lib::Status {
            const lib::Status added = lib::shareAdd(server, share, parameter);
            // Samba runs a site's script to add a share, and a refused duplicate
            // comes back as whatever the script made of it.
            if (added != lib::kSuccess && !connectionLost(added) &&
                shareListed(server, name.text()))
                return NERR_DuplicateShare;
            return added;
        });
        if (parm_err && status == ERROR_INVALID_PARAMETER)
            *parm_err = parameter;
        return status;
    });
}

NET_API_STATUS SambaNetApi::NetShareDel(LMSTR servername, LMSTR netname, DWORD /*reserved*/) {
    return guarded([&]() -> NET_API_STATUS {
        if (!netname)
            return ERROR_INVALID_PARAMETER;
        const Change change(*this);
        const lib::Server server = m_servers.spell(servername);
        const std::string name = utf8(netname);
        return exchange(Operation::DeleteShare, [&] { return lib::shareDel(server, name); });
    });
}

NET_API_STATUS SambaNetApi::NetApiBufferFree(LPVOID Buffer) {
    std::free(Buffer);
    return NERR_Success;
}

std::unique_ptr<NetApi> createSambaNetApi() {
    std::string why;
    std::optional<lib::Credentials> credentials = takeCredentialsFromEnvironment(why);
    if (!credentials)
        throw BackendError("ORVANE_NETAPI=samba: " + why);
    auto api = std::make_unique<SambaNetApi>(
        std::move(*credentials),
        ServerNames(qEnvironmentVariable("ORVANE_SAMBA_SERVER"), ServerNames::thisMachine()));
    LPBYTE buffer = nullptr;
    DWORD read = 0, total = 0;
    const NET_API_STATUS status =
        api->NetLocalGroupEnum(nullptr, 0, &buffer, MAX_PREFERRED_LENGTH, &read, &total, nullptr);
    api->NetApiBufferFree(buffer);
    if (status != NERR_Success && status != ERROR_MORE_DATA) {
        std::lock_guard lock(g_libnetapi);
        throw BackendError(
            "ORVANE_NETAPI=samba: the server " + api->servers().target().toStdString() +
            " does not answer: " + lib::errorText(status) + " (" + std::to_string(status) + ")");
    }
    return api;
}

} // namespace orvane::samba
