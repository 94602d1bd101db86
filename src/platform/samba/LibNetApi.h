#pragma once

// Samba's libnetapi in plain C++ terms: UTF-8 strings, owned results, every
// libnetapi buffer released before a call returns. Its header declares records
// under the same names as ours, so only LibNetApi.cpp includes it.
//
// libnetapi keeps one context for the whole process and is not thread-safe:
// callers serialise every call, these included.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orvane::samba::lib {

using Status = std::uint32_t;

// libnetapi's codes that are Windows' own and that this layer looks at.
inline constexpr Status kSuccess = 0;
inline constexpr Status kMoreData = 234;

// A null server is the one libnetapi reaches by default (this machine).
using Server = std::optional<std::string>;

struct Credentials {
    std::string user;
    std::string password;
    // Take the Kerberos ticket cache instead of the password.
    bool useTicketCache = false;
};

// Starts the process's libnetapi context with the credentials; stops it.
Status open(const Credentials& credentials);
void close();
bool isOpen();
// libnetapi's text for a result code.
std::string errorText(Status status);

struct User {
    std::string name, homeDir, comment, scriptPath;
    std::uint32_t passwordAge = 0, priv = 0, flags = 0;
};

struct NewUser {
    const char* name = nullptr;
    const char* password = nullptr;
    const char* homeDir = nullptr;
    const char* comment = nullptr;
    const char* scriptPath = nullptr;
    std::uint32_t priv = 0;
    // Samba's account-control bits, not Windows' account flags.
    std::uint32_t accountControl = 0;
};

struct Share {
    std::string name, remark, path;
    std::uint32_t type = 0, permissions = 0, maxUses = 0, currentUses = 0;
};

struct NewShare {
    const char* name = nullptr;
    const char* remark = nullptr;
    const char* path = nullptr;
    std::uint32_t type = 0, permissions = 0, maxUses = 0;
};

// A security identifier as libnetapi lays it out.
struct Sid {
    std::uint8_t revision = 0;
    std::uint8_t subAuthorityCount = 0;
    std::array<std::uint8_t, 6> authority{};
    std::array<std::uint32_t, 15> subAuthorities{};
};

Status userEnum(const Server& server, std::uint32_t filter, std::uint32_t prefmaxlen,
                std::uint32_t& resume, std::vector<User>& out);
// Every account's name, in the server's order: level 0 costs the server one
// exchange per batch, where level 1 costs six per account.
Status userNames(const Server& server, std::uint32_t filter, std::vector<std::string>& out);
// One account as a level-1 listing gives it.
Status userInfo(const Server& server, const std::string& name, User& out);
Status userAdd(const Server& server, const NewUser& user, std::uint32_t& parmErr);
Status userDel(const Server& server, const std::string& name);
Status userSetPassword(const Server& server, const std::string& name, const std::string& password);
Status userSetHomeDir(const Server& server, const std::string& name, const std::string& homeDir);
Status userSetComment(const Server& server, const std::string& name, const std::string& comment);
Status userSid(const Server& server, const std::string& name, Sid& out);
Status userLocalGroups(const Server& server, const std::string& name, std::uint32_t flags,
                       std::vector<std::string>& out);

Status localGroupEnum(const Server& server, std::uint32_t prefmaxlen, std::uint32_t& resume,
                      std::vector<std::string>& out);
Status localGroupAddMembers(const Server& server, const std::string& group,
                            const std::vector<Sid>& members);
Status localGroupDelMembers(const Server& server, const std::string& group,
                            const std::vector<Sid>& members);

// The role of the server's account database (UAS_ROLE_*).
Status serverRole(const Server& server, std::uint32_t& out);
inline constexpr std::uint32_t kRoleBackup = 2;
inline constexpr std::uint32_t kRolePrimary = 3;

Status shareEnum(const Server& server, std::uint32_t prefmaxlen, std::uint32_t& resume,
                 std::vector<Share>& out);
Status shareAdd(const Server& server, const NewShare& share, std::uint32_t& parmErr);
Status shareDel(const Server& server, const std::string& name);

} // namespace orvane::samba::lib
