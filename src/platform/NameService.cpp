#include "platform/NameService.h"

#include <QFile>
#include <cerrno>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace orvane {

std::optional<ResolvedAccount> resolveAccount(const QString& name) {
    if (name.isEmpty() || name.contains(QChar(0)))
        return std::nullopt;
    const QByteArray encoded = name.toUtf8();
    const long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? std::size_t(hint) : 4096);
    struct passwd entry;
    struct passwd* found = nullptr;
    int error;
    while ((error = ::getpwnam_r(encoded.constData(), &entry, buffer.data(), buffer.size(),
                                 &found)) == ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (error != 0 || !found)
        return std::nullopt;
    return ResolvedAccount{found->pw_uid, found->pw_gid, QFile::decodeName(found->pw_dir)};
}

} // namespace orvane
