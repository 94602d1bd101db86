#pragma once

// The service through Samba's libnetapi, on a Samba server or a Windows one:
// the calls with Windows' levels, records and result codes, UTF-16 text, and
// buffers released by this object's NetApiBufferFree.

#include "platform/netapi/NetApi.h"
#include "platform/samba/LibNetApi.h"
#include "platform/samba/ResultCodes.h"
#include "platform/samba/ServerNames.h"

#include <memory>

namespace orvane::samba {

class SambaNetApi final : public NetApi {
public:
    // libnetapi keeps one context per process: one SambaNetApi at a time.
    // Throws BackendError when libnetapi cannot start or another one lives.
    // `recycleAfter` exchanges make libnetapi's context anew: it holds all it
    // has read until it goes.
    SambaNetApi(lib::Credentials credentials, ServerNames servers,
                unsigned recycleAfter = kRecycleAfter);
    static constexpr unsigned kRecycleAfter = 2000;
    ~SambaNetApi() override;
    SambaNetApi(const SambaNetApi&) = delete;
    SambaNetApi& operator=(const SambaNetApi&) = delete;

    const ServerNames& servers() const { return m_servers; }

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
    // Runs one libnetapi exchange under the process's lock; after a lost
    // connection, starts libnetapi anew and runs it once more.
    template <class Exchange> NET_API_STATUS exchange(Operation operation, Exchange&& run);
    NET_API_STATUS reconnect();
    NET_API_STATUS changeMembers(LPCWSTR servername, LPCWSTR groupname, DWORD level, LPBYTE buf,
                                 DWORD totalentries, bool add);

    lib::Credentials m_credentials;
    ServerNames m_servers;
    unsigned m_recycleAfter;
    unsigned m_exchanges = 0;
    // A listing returned 234 and its caller may come back for more.
    bool m_listing = false;
};

// The backend the environment describes: credentials as Samba clients take
// them, and ORVANE_SAMBA_SERVER for the machine to administer (this one when
// unset). Checks that the server answers; throws BackendError with the reason
// otherwise.
std::unique_ptr<NetApi> createSambaNetApi();

} // namespace orvane::samba
