#pragma once

// User and local-group records of the network-management service, with the
// levels, flags and privilege values the program passes and reads.

#include "platform/netapi/LmTypes.h"

#ifndef _WIN32

struct USER_INFO_0 {
    LPWSTR usri0_name;
};

struct USER_INFO_1 {
    LPWSTR usri1_name;
    LPWSTR usri1_password;
    DWORD usri1_password_age;
    DWORD usri1_priv;
    LPWSTR usri1_home_dir;
    LPWSTR usri1_comment;
    DWORD usri1_flags;
    LPWSTR usri1_script_path;
};
using PUSER_INFO_1 = USER_INFO_1*;

struct USER_INFO_1006 {
    LPWSTR usri1006_home_dir;
};

struct LOCALGROUP_INFO_0 {
    LPWSTR lgrpi0_name;
};
using PLOCALGROUP_INFO_0 = LOCALGROUP_INFO_0*;

struct LOCALGROUP_USERS_INFO_0 {
    LPWSTR lgrui0_name;
};
using PLOCALGROUP_USERS_INFO_0 = LOCALGROUP_USERS_INFO_0*;

struct LOCALGROUP_MEMBERS_INFO_3 {
    LPWSTR lgrmi3_domainandname;
};
using PLOCALGROUP_MEMBERS_INFO_3 = LOCALGROUP_MEMBERS_INFO_3*;

inline constexpr DWORD USER_PRIV_GUEST = 0;
inline constexpr DWORD USER_PRIV_USER = 1;
inline constexpr DWORD USER_PRIV_ADMIN = 2;

inline constexpr DWORD UF_SCRIPT = 0x0001;
inline constexpr DWORD UF_ACCOUNTDISABLE = 0x0002;
inline constexpr DWORD UF_PASSWD_NOTREQD = 0x0020;
inline constexpr DWORD UF_NORMAL_ACCOUNT = 0x0200;
inline constexpr DWORD UF_DONT_EXPIRE_PASSWD = 0x10000;
inline constexpr DWORD UF_ACCOUNT_TYPE_MASK = 0x3B00;

inline constexpr DWORD FILTER_NORMAL_ACCOUNT = 0x0002;
inline constexpr DWORD LG_INCLUDE_INDIRECT = 0x0001;

inline constexpr DWORD USER_NAME_PARMNUM = 1;
inline constexpr DWORD USER_PASSWORD_PARMNUM = 3;
inline constexpr DWORD USER_PRIV_PARMNUM = 5;

#endif
