// uses-programs: useradd usermod userdel chpasswd
#include "platform/host/HostNetApi.h"

#include "platform/PasswordHash.h"
#include "platform/Process.h"
#include "platform/host/PasswordPolicy.h"
#include "platform/host/SambaGroupMap.h"
#include "platform/netapi/Guarded.h"
#include "platform/netapi/Records.h"
#include "platform/netapi/WideText.h"

#include <QFile>
#include <QSysInfo>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <future>

namespace orvane::host {

namespace {

// Codes of the platform that the program itself never tests for.
constexpr NET_API_STATUS kServerNotStarted = 2114;
constexpr DWORD kShareTypeParmnum = 3;
constexpr DWORD kAccessAll = 0x7F;

// Whatever the preferred length, one call hands back at least this many entries.
constexpr std::size_t kMinBatch = 64;

// The shadow suite's exit statuses that say which argument it refused.
constexpr int kBadArgument = 3;
constexpr int kNameInUse = 9;
constexpr int kNoSuchUser = 6;

long today() {
    return long(std::time(nullptr) / 86400);
}

QStringView view(LPCWSTR text) {
    return text ? QStringView(text) : QStringView();
}

// A name the account files can hold and no program takes for something else:
// not a UID (digits alone), nothing that separates the files' fields.
bool isPossibleName(const QString& name) {
    if (name.isEmpty() || name.startsWith(u'-'))
        return false;
    if (std::all_of(name.begin(), name.end(), [](QChar c) { return c.isDigit(); }))
        return false;
    return std::none_of(name.begin(), name.end(), [](QChar c) {
        return c == u':' || c == u',' || c == u'\n' || c.unicode() < 32;
    });
}

// The member's account name, without the machine's name before it.
QString memberName(LPCWSTR domainAndName) {
    return fromWide(domainAndName).section(u'\\', -1);
}

// A listing's next batch: entries of one UID (or GID) never split, so that
// the id alone resumes it.
template <class Entry, class Id>
std::vector<const Entry*> batchFrom(const std::vector<const Entry*>& all, long after,
                                    records::Batch& batch, Id&& id, auto&& bytes, long& next) {
    std::vector<const Entry*> taken;
    auto it = std::lower_bound(all.begin(), all.end(), after,
                               [&](const Entry* e, long value) { return id(*e) < value; });
    for (; it != all.end(); ++it) {
        const bool sameAsLast = !taken.empty() && id(*taken.back()) == id(**it);
        if (!batch.take(bytes(**it)) && !sameAsLast)
            break;
        taken.push_back(*it);
    }
    next = it == all.end() ? 0 : id(**it);
    return taken;
}

} // namespace

std::vector<GroupAlias> HostNetApi::aliasesHere(const HostPaths& paths) {
    if (!SambaAccounts(paths.smbConf, paths.smbd, paths.smbpasswd).installed())
        return defaultGroupAliases();
    return machineGroupAliases(paths.net, paths.smbConf);
}

HostNetApi::HostNetApi(HostPaths paths, std::optional<std::vector<GroupAlias>> aliases)
    : m_paths(std::move(paths)), m_machineName(QSysInfo::machineHostName()),
      m_serverName(QStringLiteral("\\\\") + m_machineName),
      m_files(m_paths.etc, aliases ? std::move(*aliases) : aliasesHere(m_paths)),
      m_samba(m_paths.smbConf, m_paths.smbd, m_paths.smbpasswd),
      m_shares(SambaTools{.smbConf = m_paths.smbConf, .smbd = m_paths.smbd, .net = m_paths.net}) {}

HostNetApi::~HostNetApi() = default;

bool HostNetApi::isThisMachine(LPCWSTR servername) const {
    if (!servername || !servername[0])
        return true;
    return QStringView(servername).compare(m_serverName, Qt::CaseInsensitive) == 0;
}

bool HostNetApi::runTool(const char* tool, const QStringList& arguments, const QByteArray& input,
                         int* status) {
    QString program;
    for (const QString& folder : m_paths.tools) {
        program = folder + u'/' + QLatin1StringView(tool);
        if (QFile::exists(program))
            break;
    }
    const ProcessResult result = runProcess(program, arguments, input);
    if (status)
        *status = result.status;
    if (result.succeeded())
        return true;
    // The tool's own words, for the administrator; never the input.
    std::fprintf(stderr, "orvane: %s %s: %s\n", tool,
                 result.timedOut     ? "did not finish"
                 : result.startError ? "could not be started"
                                     : "refused",
                 result.errors.trimmed().constData());
    return false;
}

bool HostNetApi::acceptable(QStringView password, const QString& account) const {
    // An account without a password would log on without one.
    if (password.isEmpty())
        return false;
    QString reason;
    if (PasswordPolicy(m_paths.etc).accepts(password, account, &reason))
        return true;
    std::fprintf(stderr, "orvane: the password for %s is refused by the machine's policy: %s\n",
                 account.toUtf8().constData(), reason.toUtf8().constData());
    return false;
}

NET_API_STATUS HostNetApi::NetUserEnum(LPCWSTR servername, DWORD level, DWORD filter,
                                       LPBYTE* bufptr, DWORD prefmaxlen, LPDWORD entriesread,
                                       LPDWORD totalentries, PDWORD resume_handle) {
    return guarded([&]() -> NET_API_STATUS {
        records::clearOutputs(bufptr, entriesread, totalentries);
        if (!isThisMachine(servername))
            return ERROR_BAD_NETPATH;
        if (level != 0 && level != 1)
            return ERROR_INVALID_LEVEL;
        if (!bufptr || !entriesread || !totalentries)
            return ERROR_INVALID_PARAMETER;
        // Every account here is a normal one.
        if (filter != 0 && !(filter & FILTER_NORMAL_ACCOUNT)) {
            if (resume_handle)
                *resume_handle = 0;
            return NERR_Success;
        }
        const auto files = m_files.current();
        const long now = today();
        std::vector<records::User> rows;
        records::Batch batch(prefmaxlen, kMinBatch);
        long next = 0;
        const auto taken = batchFrom<PasswdEntry>(
            files->users(), resume_handle ? long(*resume_handle) : 0, batch,
            [](const PasswdEntry& e) { return e.uid; },
            // Each record is made once: the one the batch refused is dropped below.
            [&](const PasswdEntry& e) {
                rows.push_back(files->record(e, now));
                return records::userBytes(level, rows.back());
            },
            next);
        rows.resize(taken.size());
        *bufptr = records::userBuffer(level, rows);
        *entriesread = DWORD(rows.size());
        *totalentries = DWORD(files->users().size());
        if (resume_handle)
            *resume_handle = DWORD(next);
        return next ? ERROR_MORE_DATA : NERR_Success;
    });
}

NET_API_STATUS HostNetApi::NetUserGetLocalGroups(LPCWSTR servername, LPCWSTR username, DWORD level,
                                                 DWORD /*flags*/, LPBYTE* bufptr, DWORD prefmaxlen,
                                                 LPDWORD entriesread, LPDWORD totalentries) {
    // Unix groups hold accounts only: LG_INCLUDE_INDIRECT finds nothing more.
    return guarded([&]() -> NET_API_STATUS {
        records::clearOutputs(bufptr, entriesread, totalentries);
        if (!isThisMachine(servername))
            return ERROR_BAD_NETPATH;
        if (level != 0)
            return ERROR_INVALID_LEVEL;
        if (!username || !bufptr || !entriesread || !totalentries)
            return ERROR_INVALID_PARAMETER;
        const auto files = m_files.current();
        const PasswdEntry* account = files->user(view(username));
        if (!account)
            return NERR_UserNotFound;
        const QStringList groups = files->groupsOf(*account);
        records::Batch batch(prefmaxlen, kMinBatch);
        std::vector<QString> names;
        for (const QString& group : groups) {
            if (!batch.take(records::nameBytes(group)))
                break;
            names.push_back(group);
        }
        *bufptr = records::userLocalGroupBuffer(names);
        *entriesread = DWORD(names.size());
        *totalentries = DWORD(groups.size());
        return batch.more() ? ERROR_MORE_DATA : NERR_Success;
    });
}

NET_API_STATUS HostNetApi::NetLocalGroupEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr,
                                             DWORD prefmaxlen, LPDWORD entriesread,
                                             LPDWORD totalentries, PDWORD_PTR resumehandle) {
    return guarded([&]() -> NET_API_STATUS {
        records::clearOutputs(bufptr, entriesread, totalentries);
        if (!isThisMachine(servername))
            return ERROR_BAD_NETPATH;
        if (level != 0)
            return ERROR_INVALID_LEVEL;
        if (!bufptr || !entriesread || !totalentries)
            return ERROR_INVALID_PARAMETER;
        const auto files = m_files.current();
        records::Batch batch(prefmaxlen, kMinBatch);
        long next = 0;
        const auto taken = batchFrom<GroupEntry>(
            files->groups(), resumehandle ? long(*resumehandle) : 0, batch,
            [](const GroupEntry& e) { return e.gid; },
            [](const GroupEntry& e) { return records::nameBytes(text(e.name)); }, next);
        std::vector<QString> names;
        for (const GroupEntry* group : taken)
            names.push_back(text(group->name));
        *bufptr = records::localGroupBuffer(names);
        *entriesread = DWORD(names.size());
        *totalentries = DWORD(files->groups().size());
        if (resumehandle)
            *resumehandle = DWORD_PTR(next);
        return next ? ERROR_MORE_DATA : NERR_Success;
    });
}

NET_API_STATUS HostNetApi::NetUserAdd(LPCWSTR servername, DWORD level, LPBYTE buf,
                                      LPDWORD parm_err) {
    return guarded([&]() -> NET_API_STATUS {
        if (!isThisMachine(servername))
            return ERROR_BAD_NETPATH;
        if (level != 1)
            return ERROR_INVALID_LEVEL;
        if (!buf)
            return ERROR_INVALID_PARAMETER;
        const auto& info = *reinterpret_cast<const USER_INFO_1*>(buf);
        if (!info.usri1_name) {
            if (parm_err)
                *parm_err = USER_NAME_PARMNUM;
            return ERROR_INVALID_PARAMETER;
        }
        const QString name = fromWide(info.usri1_name);
        if (!isPossibleName(name))
            return NERR_BadUsername;
        const QStringView password = view(info.usri1_password);

        std::lock_guard lock(m_changes);
        // Samba's and Windows' clients take names that differ in case alone
        // for the same account; root and the system's accounts exist too.
        // Each check reads only what it needs: every account made changes
        // the files, and a run makes a thousand.
        if (m_files.namesFoldingTo(name) > 0)
            return NERR_UserExists;
        if (!acceptable(password, name))
            return NERR_PasswordTooShort;
        const HashMethod method = m_files.policy().defs.hashMethod();
        const bool disabled = info.usri1_flags & UF_ACCOUNTDISABLE;
        // The hash is worked out while useradd runs: each takes milliseconds.
        std::future<QByteArray> hashing = std::async(std::launch::async, [&] {
            QByteArray hash = hashPassword(password, method.prefix, method.cost);
            if (disabled)
                hash.prepend('!');
            return hash;
        });

        QStringList arguments{QStringLiteral("-M")};
        if (info.usri1_comment)
            arguments << QStringLiteral("-c") << fromWide(info.usri1_comment);
        if (info.usri1_home_dir && info.usri1_home_dir[0])
            arguments << QStringLiteral("-d") << fromWide(info.usri1_home_dir);
        if (info.usri1_flags & UF_DONT_EXPIRE_PASSWD)
            arguments << QStringLiteral("-K") << QStringLiteral("PASS_MAX_DAYS=-1");
        arguments << QStringLiteral("--") << name;
        int status = 0;
        if (!runTool("useradd", arguments, {}, &status)) {
            if (status == kNameInUse)
                return m_files.group(name) ? NERR_GroupExists : NERR_UserExists;
            return status == kBadArgument ? NERR_BadUsername : NERR_InternalError;
        }
        const auto undo = [&] {
            if (m_samba.installed())
                m_samba.remove(name);
            runTool("userdel", {QStringLiteral("--"), name}, {});
        };
        // Another administrator's tool may have made a name of other letter
        // case since the files were read: the one made first stays.
        if (m_files.namesFoldingTo(name) > 1) {
            undo();
            return NERR_UserExists;
        }
        QByteArray hash;
        try {
            hash = hashing.get();
        } catch (...) {
            undo();
            throw;
        }
        // The hash on standard input: a command line is anyone's to read. The
        // same password then opens the account's shares: Samba's record comes
        // after the account files' hash, never ahead of it, even when this
        // process dies between the two. An account that cannot be had in both
        // is not made.
        const bool hashed =
            runTool("chpasswd", {QStringLiteral("-e")}, name.toUtf8() + ':' + hash + '\n');
        const bool inSamba =
            hashed && (!m_samba.installed() || m_samba.add(name, password, disabled));
        if (!inSamba) {
            undo();
            return NERR_InternalError;
        }
        return NERR_Success;
    });
}

NET_API_STATUS HostNetApi::NetUserDel(LPCWSTR servername, LPCWSTR username) {
    return guarded([&]() -> NET_API_STATUS {
        if (!isThisMachine(servername))
            return ERROR_BAD_NETPATH;
        if (!username)
            return ERROR_INVALID_PARAMETER;
        const QString name = fromWide(username);
        std::lock_guard lock(m_changes);
        if (!m_files.lists(name))
            return NERR_UserNotFound;
        // The account's files and home folder stay, as on Windows; Samba's
        // record goes first, so no SMB logon outlives the account.
        if (m_samba.installed() && !m_samba.remove(name))
            return ERROR_ACCESS_DENIED;
        int status = 0;
        if (runTool("userdel", {QStringLiteral("--"), name}, {}, &status))
            return NERR_Success;
        return status == kNoSuchUser ? NERR_UserNotFound : ERROR_ACCESS_DENIED;
    });
}

NET_API_STATUS HostNetApi::NetUserSetInfo(LPCWSTR servername, LPCWSTR username, DWORD level,
                                          LPBYTE buf, LPDWORD /*parm_err*/) {
    return guarded([&]() -> NET_API_STATUS {
        if (!isThisMachine(servername))
            return ERROR_BAD_NETPATH;
        if (level != 1 && level != 1006)
            return ERROR_INVALID_LEVEL;
        if (!username || !buf)
            return ERROR_INVALID_PARAMETER;
        const QString name = fromWide(username);
        LPCWSTR homeDir = nullptr, comment = nullptr, password = nullptr;
        if (level == 1006) {
            homeDir = reinterpret_cast<const USER_INFO_1006*>(buf)->usri1006_home_dir;
        } else {
            const auto& info = *reinterpret_cast<const USER_INFO_1*>(buf);
            homeDir = info.usri1_home_dir;
            comment = info.usri1_comment;
            password = info.usri1_password;
        }
        std::lock_guard lock(m_changes);
        // The account's own entry, read now: a window registering a thousand
        // homes calls this a thousand times, each after the files changed.
        if (!m_files.lists(name))
            return NERR_UserNotFound;
        if (password && !acceptable(view(password), name))
            return NERR_PasswordTooShort;
        // The account's flags stay as they are, as on the other backends.
        QStringList arguments;
        if (homeDir) {
            // No home given is the machine's default home for the account.
            const QString home =
                homeDir[0] ? fromWide(homeDir)
                           : defaultHomeFolder(m_files.policy().useraddDefaults) + u'/' + name;
            arguments << QStringLiteral("-d") << home;
        }
        if (comment)
            arguments << QStringLiteral("-c") << fromWide(comment);
        int status = 0;
        if (!arguments.isEmpty() &&
            !runTool("usermod", arguments << QStringLiteral("--") << name, {}, &status))
            return status == kBadArgument  ? ERROR_INVALID_PARAMETER
                   : status == kNoSuchUser ? NERR_UserNotFound
                                           : NERR_InternalError;
        if (password) {
            const HashMethod method = m_files.policy().defs.hashMethod();
            const QByteArray hash = hashPassword(view(password), method.prefix, method.cost);
            if (!runTool("chpasswd", {QStringLiteral("-e")}, name.toUtf8() + ':' + hash + '\n') ||
                (m_samba.installed() && !m_samba.setPassword(name, view(password))))
                return NERR_InternalError;
        }
        return NERR_Success;
    });
}

NET_API_STATUS HostNetApi::changeMembers(LPCWSTR servername, LPCWSTR groupname, DWORD level,
                                         LPBYTE buf, DWORD totalentries, bool add) {
    return guarded([&]() -> NET_API_STATUS {
        if (!isThisMachine(servername))
            return ERROR_BAD_NETPATH;
        if (level != 3)
            return ERROR_INVALID_LEVEL;
        if (!groupname || (totalentries && !buf))
            return ERROR_INVALID_PARAMETER;
        const auto* members = reinterpret_cast<const LOCALGROUP_MEMBERS_INFO_3*>(buf);
        std::lock_guard lock(m_changes);
        // The group's entry and each member's alone: a run puts every new
        // account in Users, one call each, the files changed before each.
        const std::optional<GroupEntry> group = m_files.group(view(groupname));
        if (!group)
            return NERR_GroupNotFound;
        const QString unixGroup = text(group->name);
        // All members of the call or none: check them all first.
        QStringList names;
        for (DWORD i = 0; i < totalentries; ++i) {
            if (!members[i].lgrmi3_domainandname)
                return ERROR_INVALID_PARAMETER;
            const QString name = memberName(members[i].lgrmi3_domainandname);
            const std::optional<PasswdEntry> account = m_files.user(name);
            if (!account)
                return ERROR_NO_SUCH_MEMBER;
            // Its primary group, or a member by name.
            const bool in = account->gid == group->gid ||
                            std::find(group->members.begin(), group->members.end(),
                                      account->name) != group->members.end();
            if (add == in)
                return add ? ERROR_MEMBER_IN_ALIAS : ERROR_MEMBER_NOT_IN_ALIAS;
            // A primary group is the account's own, no membership to take away.
            if (!add && account->gid == group->gid)
                return ERROR_ACCESS_DENIED;
            names << name;
        }
        // usermod reads and writes the group under the suite's lock; gpasswd
        // reads it first and writes its copy back, losing what another
        // administrator's tool changed meanwhile.
        for (qsizetype i = 0; i < names.size(); ++i) {
            if (runTool("usermod",
                        {add ? QStringLiteral("-a") : QStringLiteral("-r"), QStringLiteral("-G"),
                         unixGroup, QStringLiteral("--"), names[i]},
                        {}))
                continue;
            // Undo the ones done, so the call changed nothing.
            for (qsizetype j = 0; j < i; ++j)
                runTool("usermod",
                        {add ? QStringLiteral("-r") : QStringLiteral("-a"), QStringLiteral("-G"),
                         unixGroup, QStringLiteral("--"), names[j]},
                        {});
            return NERR_InternalError;
        }
        return NERR_Success;
    });
}

NET_API_STATUS HostNetApi::NetLocalGroupAddMembers(LPCWSTR servername, LPCWSTR groupname,
                                                   DWORD level, LPBYTE buf, DWORD totalentries) {
    return changeMembers(servername, groupname, level, buf, totalentries, true);
}

NET_API_STATUS HostNetApi::NetLocalGroupDelMembers(LPCWSTR servername, LPCWSTR groupname,
                                                   DWORD level, LPBYTE buf, DWORD totalentries) {
    return changeMembers(servername, groupname, level, buf, totalentries, false);
}

// Sharing goes through this machine's Samba (SambaShares); without its file
// server the server service is not running, as Windows says when it is stopped.
NET_API_STATUS HostNetApi::NetShareEnum(LMSTR servername, DWORD level, LPBYTE* bufptr,
                                        DWORD prefmaxlen, LPDWORD entriesread, LPDWORD totalentries,
                                        LPDWORD resume_handle) {
    return guarded([&]() -> NET_API_STATUS {
        records::clearOutputs(bufptr, entriesread, totalentries);
        const DWORD after = resume_handle ? *resume_handle : 0;
        if (resume_handle)
            *resume_handle = 0;
        if (!isThisMachine(servername))
            return ERROR_BAD_NETPATH;
        if (level != 2 && level != 502)
            return ERROR_INVALID_LEVEL;
        if (!bufptr || !entriesread || !totalentries)
            return ERROR_INVALID_PARAMETER;
        if (!m_shares.served())
            return kServerNotStarted;
        std::vector<SambaShare> shares;
        if (const NET_API_STATUS listed = m_shares.list(shares))
            return listed;
        // The resume handle counts the entries handed back before.
        records::Batch batch(prefmaxlen, kMinBatch);
        std::vector<records::Share> rows;
        for (std::size_t i = after; i < shares.size(); ++i) {
            const SambaShare& share = shares[i];
            records::Share row{share.name,    share.printable ? STYPE_PRINTQ : STYPE_DISKTREE,
                               share.comment, kAccessAll,
                               DWORD(-1),     0,
                               share.path};
            if (!batch.take(records::shareBytes(level, row)))
                break;
            rows.push_back(std::move(row));
        }
        *bufptr = records::shareBuffer(level, rows);
        *entriesread = DWORD(rows.size());
        *totalentries = DWORD(shares.size());
        if (batch.more() && resume_handle)
            *resume_handle = DWORD(after + rows.size());
        return batch.more() ? ERROR_MORE_DATA : NERR_Success;
    });
}

NET_API_STATUS HostNetApi::NetShareAdd(LMSTR servername, DWORD level, LPBYTE buf,
                                       LPDWORD parm_err) {
    return guarded([&]() -> NET_API_STATUS {
        if (!isThisMachine(servername))
            return ERROR_BAD_NETPATH;
        if (level != 2 && level != 502)
            return ERROR_INVALID_LEVEL;
        if (!buf)
            return ERROR_INVALID_PARAMETER;
        if (!m_shares.served())
            return kServerNotStarted;
        // Level 502 begins with level 2's members; the share grants full
        // access, so permissions, limits and the security descriptor go unused.
        const auto& info = *reinterpret_cast<const SHARE_INFO_2*>(buf);
        const auto refuse = [&](DWORD parameter) {
            if (parm_err)
                *parm_err = parameter;
            return ERROR_INVALID_PARAMETER;
        };
        if (!info.shi2_netname || !info.shi2_netname[0])
            return refuse(SHARE_NETNAME_PARMNUM);
        if ((info.shi2_type & STYPE_MASK) != STYPE_DISKTREE)
            return refuse(kShareTypeParmnum);
        if (!info.shi2_path || !info.shi2_path[0])
            return refuse(SHARE_PATH_PARMNUM);
        const NET_API_STATUS added = m_shares.add(
            fromWide(info.shi2_netname), fromWide(info.shi2_path), fromWide(info.shi2_remark));
        if (added == ERROR_INVALID_PARAMETER && parm_err)
            *parm_err = SHARE_PATH_PARMNUM;
        return added;
    });
}

NET_API_STATUS HostNetApi::NetShareDel(LMSTR servername, LMSTR netname, DWORD /*reserved*/) {
    return guarded([&]() -> NET_API_STATUS {
        if (!isThisMachine(servername))
            return ERROR_BAD_NETPATH;
        if (!netname || !netname[0])
            return ERROR_INVALID_PARAMETER;
        if (!m_shares.served())
            return kServerNotStarted;
        return m_shares.remove(fromWide(netname));
    });
}

NET_API_STATUS HostNetApi::NetApiBufferFree(LPVOID Buffer) {
    std::free(Buffer);
    return NERR_Success;
}

} // namespace orvane::host
