#pragma once

// The seam between the program and the account, group and share service. The
// methods carry the platform's names, arguments and results; a backend is the
// service itself (Windows), Samba's libnetapi, or the embedded machine.

#include "platform/HomeFolderOwner.h"
#include "platform/NETUSER.h"
#include "platform/NTDShare.h"

namespace orvane {

class NetApi {
public:
    virtual ~NetApi() = default;

    virtual NET_API_STATUS NetUserEnum(LPCWSTR servername, DWORD level, DWORD filter,
                                       LPBYTE* bufptr, DWORD prefmaxlen, LPDWORD entriesread,
                                       LPDWORD totalentries, PDWORD resume_handle) = 0;
    virtual NET_API_STATUS NetUserAdd(LPCWSTR servername, DWORD level, LPBYTE buf,
                                      LPDWORD parm_err) = 0;
    virtual NET_API_STATUS NetUserDel(LPCWSTR servername, LPCWSTR username) = 0;
    virtual NET_API_STATUS NetUserSetInfo(LPCWSTR servername, LPCWSTR username, DWORD level,
                                          LPBYTE buf, LPDWORD parm_err) = 0;
    virtual NET_API_STATUS NetUserGetLocalGroups(LPCWSTR servername, LPCWSTR username, DWORD level,
                                                 DWORD flags, LPBYTE* bufptr, DWORD prefmaxlen,
                                                 LPDWORD entriesread, LPDWORD totalentries) = 0;
    virtual NET_API_STATUS NetLocalGroupEnum(LPCWSTR servername, DWORD level, LPBYTE* bufptr,
                                             DWORD prefmaxlen, LPDWORD entriesread,
                                             LPDWORD totalentries, PDWORD_PTR resumehandle) = 0;
    virtual NET_API_STATUS NetLocalGroupAddMembers(LPCWSTR servername, LPCWSTR groupname,
                                                   DWORD level, LPBYTE buf, DWORD totalentries) = 0;
    virtual NET_API_STATUS NetLocalGroupDelMembers(LPCWSTR servername, LPCWSTR groupname,
                                                   DWORD level, LPBYTE buf, DWORD totalentries) = 0;
    virtual NET_API_STATUS NetShareEnum(LMSTR servername, DWORD level, LPBYTE* bufptr,
                                        DWORD prefmaxlen, LPDWORD entriesread, LPDWORD totalentries,
                                        LPDWORD resume_handle) = 0;
    virtual NET_API_STATUS NetShareAdd(LMSTR servername, DWORD level, LPBYTE buf,
                                       LPDWORD parm_err) = 0;
    virtual NET_API_STATUS NetShareDel(LMSTR servername, LMSTR netname, DWORD reserved) = 0;
    virtual NET_API_STATUS NetApiBufferFree(LPVOID Buffer) = 0;

    // Not one of the service's calls: what a home folder made for one of the
    // backend's accounts gets on this machine. A service's accounts are
    // this machine's only as far as its name service resolves them.
    virtual NewHomeFolders newHomeFolders() const { return NewHomeFolders::ToResolvedAccount; }
};

} // namespace orvane
