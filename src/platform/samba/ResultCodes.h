#pragma once

// Samba answers some cases with codes of its own, or with other Windows codes
// than a Windows server gives; the handlers test Windows' codes.

#include "platform/netapi/LmTypes.h"

namespace orvane::samba {

// What a call did, as far as its results need telling apart.
enum class Operation {
    AddUser,
    ChangeUser,    // delete, set information, list its groups: the account must exist
    ChangeMembers, // the group's membership: the group must exist
    AddShare,
    DeleteShare,
    Other,
};

NET_API_STATUS windowsResult(Operation operation, NET_API_STATUS samba);

// The codes libnetapi gives once its connection to the server has gone; it
// never makes a new one by itself.
bool connectionLost(NET_API_STATUS samba);

// Windows' names for the codes Samba uses instead.
inline constexpr NET_API_STATUS ERROR_FILE_NOT_FOUND = 2;
inline constexpr NET_API_STATUS ERROR_BAD_NET_NAME = 67;
inline constexpr NET_API_STATUS ERROR_NETNAME_DELETED = 64;
// Samba's NT_STATUS_UNSUCCESSFUL.
inline constexpr NET_API_STATUS ERROR_GEN_FAILURE = 31;
inline constexpr NET_API_STATUS ERROR_USER_EXISTS = 1316;
inline constexpr NET_API_STATUS ERROR_MEMBER_IN_GROUP = 1320;
inline constexpr NET_API_STATUS ERROR_MEMBER_NOT_IN_GROUP = 1321;
inline constexpr NET_API_STATUS ERROR_PASSWORD_RESTRICTION = 1325;
inline constexpr NET_API_STATUS ERROR_NONE_MAPPED = 1332;
inline constexpr NET_API_STATUS ERROR_NO_SUCH_ALIAS = 1376;
inline constexpr NET_API_STATUS ERROR_FILE_EXISTS = 80;
inline constexpr NET_API_STATUS ERROR_ALREADY_EXISTS = 183;

} // namespace orvane::samba
