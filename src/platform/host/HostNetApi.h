#pragma once

// This Linux machine's own accounts and groups behind the service's calls, as
// Windows' calls on a member server see its local accounts: read from the
// account files, changed only through the distribution's own tools, so that
// login.defs, /etc/default/useradd, the locks, the system log and the
// name-service caches are the distribution's.

#include "platform/host/AccountSnapshot.h"
#include "platform/host/SambaAccounts.h"
#include "platform/host/SambaShares.h"
#include "platform/netapi/NetApi.h"

#include <QString>
#include <QStringList>
#include <mutex>
#include <optional>

namespace orvane::host {

struct HostPaths {
    // The folder of login.defs and the account files.
    QString etc = QStringLiteral("/etc");
    // The folders of the shadow suite's tools, searched in turn.
    QStringList tools{QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin")};
    // Samba on this machine: its configuration, its file server, and the tool
    // that keeps its account database where this process cannot.
    QString smbConf = QStringLiteral("/etc/samba/smb.conf");
    QString smbd = QStringLiteral("/usr/sbin/smbd");
    QString smbpasswd = QStringLiteral("/usr/bin/smbpasswd");
    // Samba's own tool for its settings and its group mapping.
    QString net = QStringLiteral("/usr/bin/net");
};

class HostNetApi final : public NetApi {
public:
    // Without aliases given, the built-in groups' Windows names stand for the
    // Unix groups Samba maps them to where Samba is here, else the defaults.
    explicit HostNetApi(HostPaths paths = {},
                        std::optional<std::vector<GroupAlias>> aliases = std::nullopt);
    ~HostNetApi() override;

    // This machine's name; "\\" + this names it as a server.
    const QString& machineName() const { return m_machineName; }
    NewHomeFolders newHomeFolders() const override { return NewHomeFolders::ToLocalAccount; }

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
    static std::vector<GroupAlias> aliasesHere(const HostPaths& paths);
    bool isThisMachine(LPCWSTR servername) const;
    // Not empty, and what the machine's policy takes (said on stderr if not).
    bool acceptable(QStringView password, const QString& account) const;
    NET_API_STATUS changeMembers(LPCWSTR servername, LPCWSTR groupname, DWORD level, LPBYTE buf,
                                 DWORD totalentries, bool add);
    // Runs one of the suite's tools; its refusal goes to stderr with its words.
    bool runTool(const char* tool, const QStringList& arguments, const QByteArray& input,
                 int* status = nullptr);

    HostPaths m_paths;
    QString m_machineName;
    QString m_serverName;
    AccountSnapshot m_files;
    SambaAccounts m_samba;
    SambaShares m_shares;
    // One change at a time from this process: each is several tools in turn.
    std::mutex m_changes;
};

} // namespace orvane::host
