#include "platform/embedded/EmbeddedNetApi.h"

#include "platform/embedded/AccountRules.h"
#include "platform/embedded/MachineDatabase.h"
#include "platform/embedded/MachineStore.h"
#include "platform/embedded/PasswordHash.h"
#include "platform/embedded/Sqlite.h"
#include "platform/netapi/Guarded.h"
#include "platform/netapi/Records.h"
#include "platform/netapi/WideText.h"

#include <QFile>
#include <cstdlib>
#include <sqlite3.h>
#include <sys/stat.h>

namespace orvane::embedded {

namespace {

// Codes and parameter numbers of the platform that the program itself never tests for.
constexpr NET_API_STATUS kErrorDiskFull = 112;
constexpr DWORD kUserFlagsParmnum = 8;
constexpr DWORD kShareTypeParmnum = 3;

// Whatever the preferred length, one call hands back at least this many entries
// (when there are that many), so that a caller asking for 0 bytes still moves on.
constexpr std::size_t kMinBatch = 64;

NET_API_STATUS statusOf(const sqlite::Error& error) {
    switch (error.code() & 0xFF) {
    case SQLITE_FULL:
        return kErrorDiskFull;
    case SQLITE_NOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_CANTOPEN:
        return ERROR_ACCESS_DENIED;
    default:
        return NERR_InternalError;
    }
}

// The one edge of every call, with the database's failures as the service's.
template <class Call> NET_API_STATUS storeGuarded(Call&& call) noexcept {
    return guarded([&]() -> NET_API_STATUS {
        try {
            return call();
        } catch (const sqlite::Error& error) {
            return statusOf(error);
        }
    });
}

NET_API_STATUS invalidParameter(LPDWORD parm_err, DWORD parameter) {
    if (parm_err)
        *parm_err = parameter;
    return ERROR_INVALID_PARAMETER;
}

QStringView view(LPCWSTR text) {
    return text ? QStringView(text) : QStringView();
}

bool isExistingFolder(const QString& path) {
    // The service resolves paths on its own machine: a relative one names nothing.
    if (!path.startsWith(u'/'))
        return false;
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// What the membership calls reject before they look at the machine.
NET_API_STATUS checkMembers(LPCWSTR groupname, DWORD level, LPBYTE buf, DWORD totalentries) {
    if (level != 3)
        return ERROR_INVALID_LEVEL;
    if (!groupname || (totalentries && !buf))
        return ERROR_INVALID_PARAMETER;
    const auto* members = reinterpret_cast<const LOCALGROUP_MEMBERS_INFO_3*>(buf);
    for (DWORD i = 0; i < totalentries; ++i) {
        if (!members[i].lgrmi3_domainandname)
            return ERROR_INVALID_PARAMETER;
    }
    return NERR_Success;
}

std::vector<QString> memberNames(LPBYTE buf, DWORD count) {
    const auto* members = reinterpret_cast<const LOCALGROUP_MEMBERS_INFO_3*>(buf);
    std::vector<QString> names;
    names.reserve(count);
    for (DWORD i = 0; i < count; ++i)
        names.push_back(fromWide(members[i].lgrmi3_domainandname));
    return names;
}

// Every call: a null or empty server name, or "\\" and this machine's name in
// any letter case, is this machine; there is no other machine to reach.
bool isThisMachine(LPCWSTR servername, const QString& serverName) {
    if (!servername || !servername[0])
        return true;
    return QStringView(servername).compare(serverName, Qt::CaseInsensitive) == 0;
}

} // namespace

EmbeddedNetApi::EmbeddedNetApi(const QString& folder)
    : m_store(std::make_unique<MachineStore>(MachineDatabase::open(folder))),
      m_serverName(QStringLiteral("\\\\") + m_store->machineName()) {}

EmbeddedNetApi::~EmbeddedNetApi() = default;

QString EmbeddedNetApi::machineName() const {
    return m_store->machineName();
}

NET_API_STATUS EmbeddedNetApi::NetUserEnum(LPCWSTR servername, DWORD level, DWORD filter,
                                           LPBYTE* bufptr, DWORD prefmaxlen, LPDWORD entriesread,
                                           LPDWORD totalentries, PDWORD resume_handle) {
    return storeGuarded([&]() -> NET_API_STATUS {
        records::clearOutputs(bufptr, entriesread, totalentries);
        if (!isThisMachine(servername, m_serverName))
            return ERROR_BAD_NETPATH;
        if (level != 0 && level != 1)
            return ERROR_INVALID_LEVEL;
        if (!bufptr || !entriesread || !totalentries)
            return ERROR_INVALID_PARAMETER;
        // FILTER_* bit n stands for the account type UF_* bit n + 8.
        std::int64_t typeMask = 0;
        if (filter != 0) {
            typeMask = (std::int64_t(filter) << 8) & UF_ACCOUNT_TYPE_MASK;
            if (!typeMask) {
                if (resume_handle)
                    *resume_handle = 0;
                return NERR_Success;
            }
        }
        records::Batch batch(prefmaxlen, kMinBatch);
        const auto page =
            m_store->users(level, resume_handle ? *resume_handle : 0, typeMask, batch);
        *bufptr = records::userBuffer(level, page.rows);
        *entriesread = DWORD(page.rows.size());
        *totalentries = page.total;
        if (resume_handle)
            *resume_handle = page.more ? DWORD(page.last) : 0;
        return page.more ? ERROR_MORE_DATA : NERR_Success;
    });
}

NET_API_STATUS EmbeddedNetApi::NetUserAdd(LPCWSTR servername, DWORD level, LPBYTE buf,
                                          LPDWORD parm_err) {
    return storeGuarded([&]() -> NET_API_STATUS {
        if (!isThisMachine(servername, m_serverName))
            return ERROR_BAD_NETPATH;
        if (level != 1)
            return ERROR_INVALID_LEVEL;
        if (!buf)
            return ERROR_INVALID_PARAMETER;
        const auto& info = *reinterpret_cast<const USER_INFO_1*>(buf);
        if (!info.usri1_name)
            return invalidParameter(parm_err, USER_NAME_PARMNUM);
        if (info.usri1_priv != USER_PRIV_USER)
            return invalidParameter(parm_err, USER_PRIV_PARMNUM);
        NewAccount account{fromWide(info.usri1_name),     {},
                           fromWide(info.usri1_home_dir), fromWide(info.usri1_comment),
                           info.usri1_flags | UF_SCRIPT,  fromWide(info.usri1_script_path)};
        if (!isValidAccountName(account.name))
            return NERR_BadUsername;
        const DWORD type = account.flags & UF_ACCOUNT_TYPE_MASK;
        if (type == 0)
            account.flags |= UF_NORMAL_ACCOUNT;
        else if (type & (type - 1))
            return invalidParameter(parm_err, kUserFlagsParmnum);

        // Hashing is the slow part: do it before taking the lock, so that callers
        // on several threads hash at once and readers are not held up.
        const QStringView password = view(info.usri1_password);
        account.passwordHash = hashPassword(password);
        return m_store->addUser(account, password);
    });
}

NET_API_STATUS EmbeddedNetApi::NetUserDel(LPCWSTR servername, LPCWSTR username) {
    return storeGuarded([&]() -> NET_API_STATUS {
        if (!isThisMachine(servername, m_serverName))
            return ERROR_BAD_NETPATH;
        if (!username)
            return ERROR_INVALID_PARAMETER;
        return m_store->deleteUser(fromWide(username));
    });
}

NET_API_STATUS EmbeddedNetApi::NetUserSetInfo(LPCWSTR servername, LPCWSTR username, DWORD level,
                                              LPBYTE buf, LPDWORD parm_err) {
    return storeGuarded([&]() -> NET_API_STATUS {
        if (!isThisMachine(servername, m_serverName))
            return ERROR_BAD_NETPATH;
        if (level != 1 && level != 1006)
            return ERROR_INVALID_LEVEL;
        if (!username || !buf)
            return ERROR_INVALID_PARAMETER;
        const QString name = fromWide(username);
        AccountChange change;

        if (level == 1006) {
            const auto& info = *reinterpret_cast<const USER_INFO_1006*>(buf);
            if (info.usri1006_home_dir)
                change.homeDir = fromWide(info.usri1006_home_dir);
            return m_store->changeUser(name, change, std::nullopt);
        }

        const auto& info = *reinterpret_cast<const USER_INFO_1*>(buf);
        // The level can name a privilege, but changing it takes group membership.
        if (info.usri1_priv > USER_PRIV_ADMIN)
            return invalidParameter(parm_err, USER_PRIV_PARMNUM);
        std::optional<QStringView> password;
        if (info.usri1_password) {
            password = view(info.usri1_password);
            change.passwordHash = hashPassword(*password);
        }
        // The account's flags stay as they are: the program sends this level to
        // set a home folder, with flags of its own that would otherwise enable a
        // disabled account. The samba backend keeps them the same way.
        if (info.usri1_home_dir)
            change.homeDir = fromWide(info.usri1_home_dir);
        if (info.usri1_comment)
            change.comment = fromWide(info.usri1_comment);
        if (info.usri1_script_path)
            change.scriptPath = fromWide(info.usri1_script_path);
        return m_store->changeUser(name, change, password);
    });
}

NET_API_STATUS EmbeddedNetApi::NetUserGetLocalGroups(LPCWSTR servername, LPCWSTR username,
                                                     DWORD level, DWORD /*flags*/, LPBYTE* bufptr,
                                                     DWORD prefmaxlen, LPDWORD entriesread,
                                                     LPDWORD totalentries) {
    // Local groups hold accounts only, so LG_INCLUDE_INDIRECT finds nothing more.
    return storeGuarded([&]() -> NET_API_STATUS {
        records::clearOutputs(bufptr, entriesread, totalentries);
        if (!isThisMachine(servername, m_serverName))
            return ERROR_BAD_NETPATH;
        if (level != 0)
            return ERROR_INVALID_LEVEL;
        if (!username || !bufptr || !entriesread || !totalentries)
            return ERROR_INVALID_PARAMETER;
        records::Batch batch(prefmaxlen, kMinBatch);
        Page<QString> page;
        if (const NET_API_STATUS status = m_store->groupsOf(fromWide(username), batch, page))
            return status;
        *bufptr = records::userLocalGroupBuffer(page.rows);
        *entriesread = DWORD(page.rows.size());
        *totalentries = page.total;
        return page.more ? ERROR_MORE_DATA : NERR_Success;
    });
}

NET_API_STATUS EmbeddedNetApi::NetLocalGroupEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr,
                                                 DWORD prefmaxlen, LPDWORD entriesread,
                                                 LPDWORD totalentries, PDWORD_PTR resumehandle) {
    return storeGuarded([&]() -> NET_API_STATUS {
        records::clearOutputs(bufptr, entriesread, totalentries);
        if (!isThisMachine(servername, m_serverName))
            return ERROR_BAD_NETPATH;
        if (level != 0)
            return ERROR_INVALID_LEVEL;
        if (!bufptr || !entriesread || !totalentries)
            return ERROR_INVALID_PARAMETER;
        records::Batch batch(prefmaxlen, kMinBatch);
        const auto page = m_store->groups(resumehandle ? std::int64_t(*resumehandle) : 0, batch);
        *bufptr = records::localGroupBuffer(page.rows);
        *entriesread = DWORD(page.rows.size());
        *totalentries = page.total;
        if (resumehandle)
            *resumehandle = page.more ? DWORD_PTR(page.last) : 0;
        return page.more ? ERROR_MORE_DATA : NERR_Success;
    });
}

NET_API_STATUS EmbeddedNetApi::NetLocalGroupAddMembers(LPCWSTR servername, LPCWSTR groupname,
                                                       DWORD level, LPBYTE buf,
                                                       DWORD totalentries) {
    return storeGuarded([&]() -> NET_API_STATUS {
        if (!isThisMachine(servername, m_serverName))
            return ERROR_BAD_NETPATH;
        if (const NET_API_STATUS bad = checkMembers(groupname, level, buf, totalentries))
            return bad;
        return m_store->changeMembers(fromWide(groupname), memberNames(buf, totalentries), true);
    });
}

NET_API_STATUS EmbeddedNetApi::NetLocalGroupDelMembers(LPCWSTR servername, LPCWSTR groupname,
                                                       DWORD level, LPBYTE buf,
                                                       DWORD totalentries) {
    return storeGuarded([&]() -> NET_API_STATUS {
        if (!isThisMachine(servername, m_serverName))
            return ERROR_BAD_NETPATH;
        if (const NET_API_STATUS bad = checkMembers(groupname, level, buf, totalentries))
            return bad;
        return m_store->changeMembers(fromWide(groupname), memberNames(buf, totalentries), false);
    });
}

NET_API_STATUS EmbeddedNetApi::NetShareEnum(LMSTR servername, DWORD level, LPBYTE* bufptr,
                                            DWORD prefmaxlen, LPDWORD entriesread,
                                            LPDWORD totalentries, LPDWORD resume_handle) {
    return storeGuarded([&]() -> NET_API_STATUS {
        records::clearOutputs(bufptr, entriesread, totalentries);
        if (!isThisMachine(servername, m_serverName))
            return ERROR_BAD_NETPATH;
        if (level != 2 && level != 502)
            return ERROR_INVALID_LEVEL;
        if (!bufptr || !entriesread || !totalentries)
            return ERROR_INVALID_PARAMETER;
        records::Batch batch(prefmaxlen, kMinBatch);
        const auto page = m_store->shares(level, resume_handle ? *resume_handle : 0, batch);
        *bufptr = records::shareBuffer(level, page.rows);
        *entriesread = DWORD(page.rows.size());
        *totalentries = page.total;
        if (resume_handle)
            *resume_handle = page.more ? DWORD(page.last) : 0;
        return page.more ? ERROR_MORE_DATA : NERR_Success;
    });
}

NET_API_STATUS EmbeddedNetApi::NetShareAdd(LMSTR servername, DWORD level, LPBYTE buf,
                                           LPDWORD parm_err) {
    return storeGuarded([&]() -> NET_API_STATUS {
        if (!isThisMachine(servername, m_serverName))
            return ERROR_BAD_NETPATH;
        if (level != 2 && level != 502)
            return ERROR_INVALID_LEVEL;
        if (!buf)
            return ERROR_INVALID_PARAMETER;
        // The members that a new share keeps: the security descriptor of 502 is
        // not kept, and share passwords are ignored, as on NT.
        LPCWSTR netname, remark, path;
        DWORD type, permissions, maxUses;
        if (level == 2) {
            const auto& given = *reinterpret_cast<const SHARE_INFO_2*>(buf);
            netname = given.shi2_netname, remark = given.shi2_remark, path = given.shi2_path;
            type = given.shi2_type, permissions = given.shi2_permissions;
            maxUses = given.shi2_max_uses;
        } else {
            const auto& given = *reinterpret_cast<const SHARE_INFO_502*>(buf);
            netname = given.shi502_netname, remark = given.shi502_remark;
            path = given.shi502_path, type = given.shi502_type;
            permissions = given.shi502_permissions, maxUses = given.shi502_max_uses;
        }
        if (!netname || !netname[0])
            return invalidParameter(parm_err, SHARE_NETNAME_PARMNUM);
        const QString name = fromWide(netname);
        if (!isValidShareName(name))
            return ERROR_INVALID_NAME;
        if ((type & STYPE_MASK) != STYPE_DISKTREE)
            return invalidParameter(parm_err, kShareTypeParmnum);
        if (!path || !path[0])
            return invalidParameter(parm_err, SHARE_PATH_PARMNUM);
        const QString folder = fromWide(path);
        if (!isExistingFolder(folder))
            return NERR_UnknownDevDir;
        return m_store->addShare({name, type, fromWide(remark), permissions, maxUses, 0, folder});
    });
}

NET_API_STATUS EmbeddedNetApi::NetShareDel(LMSTR servername, LMSTR netname, DWORD /*reserved*/) {
    return storeGuarded([&]() -> NET_API_STATUS {
        if (!isThisMachine(servername, m_serverName))
            return ERROR_BAD_NETPATH;
        if (!netname || !netname[0])
            return ERROR_INVALID_PARAMETER;
        return m_store->deleteShare(fromWide(netname));
    });
}

NET_API_STATUS EmbeddedNetApi::NetApiBufferFree(LPVOID Buffer) {
    std::free(Buffer);
    return NERR_Success;
}

} // namespace orvane::embedded
