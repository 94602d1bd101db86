#pragma once

// Share records of the network-management service, and the routine that
// shares a folder.

#include "platform/netapi/LmTypes.h"

#ifndef _WIN32

struct SHARE_INFO_2 {
    LMSTR shi2_netname;
    DWORD shi2_type;
    LMSTR shi2_remark;
    DWORD shi2_permissions;
    DWORD shi2_max_uses;
    DWORD shi2_current_uses;
    LMSTR shi2_path;
    LMSTR shi2_passwd;
};
using PSHARE_INFO_2 = SHARE_INFO_2*;

struct SHARE_INFO_502 {
    LMSTR shi502_netname;
    DWORD shi502_type;
    LMSTR shi502_remark;
    DWORD shi502_permissions;
    DWORD shi502_max_uses;
    DWORD shi502_current_uses;
    LMSTR shi502_path;
    LMSTR shi502_passwd;
    DWORD shi502_reserved;
    PSECURITY_DESCRIPTOR shi502_security_descriptor;
};
using PSHARE_INFO_502 = SHARE_INFO_502*;

inline constexpr DWORD STYPE_DISKTREE = 0;
inline constexpr DWORD STYPE_PRINTQ = 1;
// The kind of share is the low byte; STYPE_SPECIAL marks the server's own
// (IPC$, ADMIN$, C$).
inline constexpr DWORD STYPE_MASK = 0xFF;
inline constexpr DWORD STYPE_SPECIAL = 0x80000000;
inline constexpr DWORD ACCESS_READ = 0x01;
inline constexpr DWORD ACCESS_WRITE = 0x02;
inline constexpr DWORD ACCESS_CREATE = 0x04;

inline constexpr DWORD SHARE_NETNAME_PARMNUM = 1;
inline constexpr DWORD SHARE_PATH_PARMNUM = 7;

#endif

#include <QString>

namespace orvane {

class NetApi;

// Shares the folder under the name with the remark on the server, through
// NetShareAdd at level 502; returns the call's result.
NET_API_STATUS AddDirShare(NetApi& net, const QString& server, const QString& path,
                           const QString& name, const QString& remark);

} // namespace orvane
