#include "platform/samba/ResultCodes.h"

namespace orvane::samba {

NET_API_STATUS windowsResult(Operation operation, NET_API_STATUS samba) {
    switch (operation) {
    case Operation::AddUser:
        if (samba == ERROR_USER_EXISTS)
            return NERR_UserExists;
        if (samba == ERROR_PASSWORD_RESTRICTION)
            return NERR_PasswordTooShort;
        break;
    case Operation::ChangeUser:
        if (samba == ERROR_NONE_MAPPED)
            return NERR_UserNotFound;
        if (samba == ERROR_PASSWORD_RESTRICTION)
            return NERR_PasswordTooShort;
        break;
    case Operation::ChangeMembers:
        // Members are resolved before the call, so a name it cannot map is the group.
        if (samba == ERROR_NONE_MAPPED || samba == ERROR_NO_SUCH_ALIAS)
            return NERR_GroupNotFound;
        if (samba == ERROR_MEMBER_IN_GROUP)
            return ERROR_MEMBER_IN_ALIAS;
        if (samba == ERROR_MEMBER_NOT_IN_GROUP)
            return ERROR_MEMBER_NOT_IN_ALIAS;
        break;
    case Operation::AddShare:
        if (samba == ERROR_FILE_EXISTS || samba == ERROR_ALREADY_EXISTS)
            return NERR_DuplicateShare;
        if (samba == ERROR_FILE_NOT_FOUND)
            return NERR_UnknownDevDir;
        break;
    case Operation::DeleteShare:
        if (samba == ERROR_BAD_NET_NAME)
            return NERR_NetNameNotFound;
        break;
    case Operation::Other:
        break;
    }
    return samba;
}

bool connectionLost(NET_API_STATUS samba) {
    // 64 the first time the server is gone, 2152 (its RPC pipe) for good after.
    return samba == ERROR_NETNAME_DELETED || samba == 2152;
}

} // namespace orvane::samba
