#pragma once

// The embedded machine: the account, group and share service of a machine of
// its own, kept in one SQLite database in the machine folder.

#include "platform/netapi/NetApi.h"

#include <QString>
#include <memory>

namespace orvane::embedded {

class MachineStore;

class EmbeddedNetApi final : public NetApi {
public:
    // Opens (creating and seeding on first use) the machine in the folder.
    // Throws sqlite::Error when it cannot be had.
    explicit EmbeddedNetApi(const QString& folder);
    ~EmbeddedNetApi() override;

    // The machine's own name; "\\" + this names it as a server.
    QString machineName() const;
    // The practice machine's accounts are its own, whatever names this
    // machine knows.
    NewHomeFolders newHomeFolders() const override { return NewHomeFolders::AsMade; }

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
    std::unique_ptr<MachineStore> m_store;
    QString m_serverName;
};

} // namespace orvane::embedded
