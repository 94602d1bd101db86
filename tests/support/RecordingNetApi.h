#pragma once

// A NetApi that passes every call on to a real backend and records, for each,
// the server it was addressed to, its level and the record it carried, so
// tests can check which calls go to the local machine and which to the logon
// server, and with what.

#include "platform/netapi/NetApi.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <mutex>
#include <optional>
#include <vector>

namespace orvane::test {

struct RecordedCall {
    QString call;
    // The server argument as passed; nothing for a null pointer.
    std::optional<QString> server;
    DWORD level = 0;
    // The other arguments and the record's members, as text: a null string is
    // "<null>", numbers are decimal (flags in hex, "0x10000").
    QMap<QString, QString> arguments;
};

class RecordingNetApi final : public NetApi {
public:
    explicit RecordingNetApi(NetApi& backend) : m_backend(backend) {}

    std::vector<RecordedCall> calls() const;
    // The recorded calls of one name, in order.
    std::vector<RecordedCall> callsOf(const QString& name) const;
    void clear();

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
    void record(RecordedCall call);

    NetApi& m_backend;
    mutable std::mutex m_mutex; // the bulk-test workers call from their threads
    std::vector<RecordedCall> m_calls;
};

} // namespace orvane::test
