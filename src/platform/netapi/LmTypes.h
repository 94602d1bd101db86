#pragma once

// The base types of the network-management calls, spelled as the Windows SDK
// spells them. Strings are UTF-16: wchar_t on Windows, char16_t elsewhere.

#include <cstdint>

#ifdef _WIN32
#include <lm.h>
#include <windows.h>
#else

using DWORD = std::uint32_t;
using PDWORD = DWORD*;
using LPDWORD = DWORD*;
using DWORD_PTR = std::uintptr_t;
using PDWORD_PTR = DWORD_PTR*;
using BYTE = std::uint8_t;
using LPBYTE = BYTE*;
using LPVOID = void*;
using PSECURITY_DESCRIPTOR = void*;
using WCHAR = char16_t;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using LMSTR = LPWSTR;
using NET_API_STATUS = DWORD;

inline constexpr DWORD MAX_PREFERRED_LENGTH = 0xFFFFFFFFu;

// Result codes.
inline constexpr NET_API_STATUS NERR_Success = 0;
inline constexpr NET_API_STATUS ERROR_ACCESS_DENIED = 5;
inline constexpr NET_API_STATUS ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr NET_API_STATUS ERROR_NOT_SUPPORTED = 50;
inline constexpr NET_API_STATUS ERROR_BAD_NETPATH = 53;
inline constexpr NET_API_STATUS ERROR_INVALID_PARAMETER = 87;
inline constexpr NET_API_STATUS ERROR_INVALID_NAME = 123;
inline constexpr NET_API_STATUS ERROR_INVALID_LEVEL = 124;
inline constexpr NET_API_STATUS ERROR_MORE_DATA = 234;
inline constexpr NET_API_STATUS ERROR_SPECIAL_ACCOUNT = 1371;
inline constexpr NET_API_STATUS ERROR_MEMBER_NOT_IN_ALIAS = 1377;
inline constexpr NET_API_STATUS ERROR_MEMBER_IN_ALIAS = 1378;
inline constexpr NET_API_STATUS ERROR_NO_SUCH_MEMBER = 1387;
inline constexpr NET_API_STATUS NERR_BASE = 2100;
inline constexpr NET_API_STATUS NERR_InternalError = 2140;
inline constexpr NET_API_STATUS NERR_UnknownDevDir = 2116;
inline constexpr NET_API_STATUS NERR_DuplicateShare = 2118;
inline constexpr NET_API_STATUS NERR_BadUsername = 2202;
inline constexpr NET_API_STATUS NERR_GroupNotFound = 2220;
inline constexpr NET_API_STATUS NERR_UserNotFound = 2221;
inline constexpr NET_API_STATUS NERR_GroupExists = 2223;
inline constexpr NET_API_STATUS NERR_UserExists = 2224;
inline constexpr NET_API_STATUS NERR_PasswordTooShort = 2245;
inline constexpr NET_API_STATUS NERR_NetNameNotFound = 2310;

#endif
