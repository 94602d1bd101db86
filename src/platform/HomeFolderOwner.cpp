// uses-programs: useradd
#include "platform/HomeFolderOwner.h"

#include "platform/NameService.h"
#include "platform/Process.h"
#include "platform/host/LoginDefs.h"

#include <QFile>

namespace orvane {

namespace {

constexpr mode_t kPrivateHomeMode = 0700;

QString underRoot(const QString& root, const char* path) {
    return (root == u'/' ? QString() : root) + QLatin1StringView(path);
}

mode_t homeMode(const QString& root) {
    QFile file(underRoot(root, "/etc/login.defs"));
    if (!file.open(QIODevice::ReadOnly))
        return kPrivateHomeMode;
    const long mode = host::LoginDefs::parse(file.readAll()).number("HOME_MODE", kPrivateHomeMode);
    return mode >= 0 && mode <= 07777 ? mode_t(mode) : kPrivateHomeMode;
}

} // namespace

QString machineSkeleton(const QString& root) {
    // -D alone only shows the defaults; any other option with it would write them.
    QStringList arguments{QStringLiteral("-D")};
    if (root != u'/')
        arguments << QStringLiteral("--prefix") << root;
    const QString useradd = QFile::exists(QStringLiteral("/usr/sbin/useradd"))
                                ? QStringLiteral("/usr/sbin/useradd")
                                : QStringLiteral("/usr/bin/useradd");
    const ProcessResult shown = runProcess(useradd, arguments);
    if (shown.succeeded()) {
        for (const QByteArray& line : shown.output.split('\n'))
            if (line.startsWith("SKEL=") && line.size() > 5)
                return QFile::decodeName(line.mid(5));
    }
    return underRoot(root, "/etc/skel");
}

HomeFolderOwners::HomeFolderOwners(NewHomeFolders how, QString root)
    : m_how(how), m_root(std::move(root)) {}

std::optional<HomeFolderOwner> HomeFolderOwners::of(const QString& account) {
    if (m_how == NewHomeFolders::AsMade)
        return std::nullopt;
    const std::optional<ResolvedAccount> found = resolveAccount(account);
    if (!found)
        return std::nullopt;
    if (!m_settings)
        m_settings =
            Settings{homeMode(m_root),
                     m_how == NewHomeFolders::ToLocalAccount ? machineSkeleton(m_root) : QString()};
    return HomeFolderOwner{found->user, found->group, m_settings->mode, m_settings->skeleton};
}

} // namespace orvane
