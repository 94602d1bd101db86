#include "platform/AskingUser.h"

#include <QtGlobal>
#include <cerrno>
#include <charconv>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace orvane {

std::optional<uid_t> askingUid() {
    if (!qEnvironmentVariableIsSet("PKEXEC_UID"))
        return ::getuid();
    const QByteArray text = qgetenv("PKEXEC_UID");
    unsigned long value = 0;
    const auto [end, error] = std::from_chars(text.constBegin(), text.constEnd(), value);
    if (text.isEmpty() || error != std::errc() || end != text.constEnd() ||
        value != static_cast<uid_t>(value) || static_cast<uid_t>(value) == static_cast<uid_t>(-1))
        return std::nullopt;
    return static_cast<uid_t>(value);
}

std::optional<UserAccount> lookUpUser(uid_t uid) {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    while (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == ERANGE)
        buffer.resize(buffer.size() * 2);
    if (!found)
        return std::nullopt;
    UserAccount account;
    account.uid = entry.pw_uid;
    account.gid = entry.pw_gid;
    account.name = entry.pw_name;
    account.home = entry.pw_dir;
    account.shell = entry.pw_shell;
    return account;
}

} // namespace orvane
