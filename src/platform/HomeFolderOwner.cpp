#include "platform/HomeFolderOwner.h"

#include "platform/host/LoginDefs.h"

#include <QFile>
#include <cerrno>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace orvane {

namespace {

constexpr mode_t kPrivateHomeMode = 0700;

mode_t homeMode(const QString& etc) {
    QFile file(etc + QStringLiteral("/login.defs"));
    if (!file.open(QIODevice::ReadOnly))
        return kPrivateHomeMode;
    const long mode = host::LoginDefs::parse(file.readAll()).number("HOME_MODE", kPrivateHomeMode);
    return mode >= 0 && mode <= 07777 ? mode_t(mode) : kPrivateHomeMode;
}

} // namespace

std::optional<HomeFolderOwner> homeFolderOwner(const QString& account, NewHomeFolders how,
                                               const QString& etc) {
    if (how == NewHomeFolders::AsMade || account.isEmpty() || account.contains(QChar(0)))
        return std::nullopt;
    const QByteArray name = account.toUtf8();
    const long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? std::size_t(hint) : 4096);
    struct passwd entry;
    struct passwd* found = nullptr;
    int error;
    while ((error = ::getpwnam_r(name.constData(), &entry, buffer.data(), buffer.size(), &found)) ==
               ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (error != 0 || !found)
        return std::nullopt;
    HomeFolderOwner owner;
    owner.user = found->pw_uid;
    owner.group = found->pw_gid;
    owner.mode = homeMode(etc);
    if (how == NewHomeFolders::ToLocalAccount)
        owner.skeleton = etc + QStringLiteral("/skel");
    return owner;
}

} // namespace orvane
