#include "platform/HomeFolderOwner.h"

#include "platform/NameService.h"
#include "platform/host/LoginDefs.h"

#include <QFile>

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
    if (how == NewHomeFolders::AsMade)
        return std::nullopt;
    const std::optional<ResolvedAccount> found = resolveAccount(account);
    if (!found)
        return std::nullopt;
    HomeFolderOwner owner;
    owner.user = found->user;
    owner.group = found->group;
    owner.mode = homeMode(etc);
    if (how == NewHomeFolders::ToLocalAccount)
        owner.skeleton = etc + QStringLiteral("/skel");
    return owner;
}

} // namespace orvane
