#include "platform/samba/AccountControl.h"

namespace orvane::samba {

namespace {

// Samba's account-control bits.
constexpr std::uint32_t ACB_DISABLED = 0x0001;
constexpr std::uint32_t ACB_HOMDIRREQ = 0x0002;
constexpr std::uint32_t ACB_PWNOTREQ = 0x0004;
constexpr std::uint32_t ACB_TEMPDUP = 0x0008;
constexpr std::uint32_t ACB_NORMAL = 0x0010;
constexpr std::uint32_t ACB_DOMTRUST = 0x0040;
constexpr std::uint32_t ACB_WSTRUST = 0x0080;
constexpr std::uint32_t ACB_SVRTRUST = 0x0100;
constexpr std::uint32_t ACB_PWNOEXP = 0x0200;
constexpr std::uint32_t ACB_AUTOLOCK = 0x0400;
constexpr std::uint32_t ACB_ENC_TXT_PWD_ALLOWED = 0x0800;
constexpr std::uint32_t ACB_SMARTCARD_REQUIRED = 0x1000;
constexpr std::uint32_t ACB_TRUSTED_FOR_DELEGATION = 0x2000;
constexpr std::uint32_t ACB_NOT_DELEGATED = 0x4000;
constexpr std::uint32_t ACB_USE_DES_KEY_ONLY = 0x8000;
constexpr std::uint32_t ACB_DONT_REQUIRE_PREAUTH = 0x10000;
constexpr std::uint32_t ACB_PW_EXPIRED = 0x20000;

struct Pair {
    DWORD windows;
    std::uint32_t samba;
};

// UF_SCRIPT and UF_PASSWD_CANT_CHANGE have no bit: Samba keeps neither.
constexpr Pair kFlags[] = {
    {0x0002, ACB_DISABLED},                // UF_ACCOUNTDISABLE
    {0x0008, ACB_HOMDIRREQ},               // UF_HOMEDIR_REQUIRED
    {0x0010, ACB_AUTOLOCK},                // UF_LOCKOUT
    {0x0020, ACB_PWNOTREQ},                // UF_PASSWD_NOTREQD
    {0x0080, ACB_ENC_TXT_PWD_ALLOWED},     // UF_ENCRYPTED_TEXT_PASSWORD_ALLOWED
    {0x10000, ACB_PWNOEXP},                // UF_DONT_EXPIRE_PASSWD
    {0x40000, ACB_SMARTCARD_REQUIRED},     // UF_SMARTCARD_REQUIRED
    {0x80000, ACB_TRUSTED_FOR_DELEGATION}, // UF_TRUSTED_FOR_DELEGATION
    {0x100000, ACB_NOT_DELEGATED},         // UF_NOT_DELEGATED
    {0x200000, ACB_USE_DES_KEY_ONLY},      // UF_USE_DES_KEY_ONLY
    {0x400000, ACB_DONT_REQUIRE_PREAUTH},  // UF_DONT_REQUIRE_PREAUTH
    {0x800000, ACB_PW_EXPIRED},            // UF_PASSWORD_EXPIRED
};

std::uint32_t accountType(DWORD windowsFlags) {
    switch (windowsFlags & UF_ACCOUNT_TYPE_MASK) {
    case 0x0100:
        return ACB_TEMPDUP; // UF_TEMP_DUPLICATE_ACCOUNT
    case 0x0800:
        return ACB_DOMTRUST; // UF_INTERDOMAIN_TRUST_ACCOUNT
    case 0x1000:
        return ACB_WSTRUST; // UF_WORKSTATION_TRUST_ACCOUNT
    case 0x2000:
        return ACB_SVRTRUST; // UF_SERVER_TRUST_ACCOUNT
    default:
        return ACB_NORMAL; // UF_NORMAL_ACCOUNT, or none named
    }
}

} // namespace

std::uint32_t accountControlBits(DWORD windowsFlags) {
    std::uint32_t bits = accountType(windowsFlags);
    for (const Pair& pair : kFlags)
        if (windowsFlags & pair.windows)
            bits |= pair.samba;
    return bits;
}

} // namespace orvane::samba
