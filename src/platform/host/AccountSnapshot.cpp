#include "platform/host/AccountSnapshot.h"

#include "platform/Descriptor.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>

namespace orvane::host {

namespace {

constexpr const char* kNames[] = {"login.defs", "default/useradd", "passwd", "shadow", "group"};

[[noreturn]] void fail(const QByteArray& path, int error) {
    throw std::system_error(error, std::generic_category(), path.toStdString());
}

// The file's whole text, and the stamp of what was read.
QByteArray readFile(const QByteArray& path, bool optional, struct stat& st) {
    const Descriptor fd(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!fd.valid()) {
        if (optional && errno == ENOENT) {
            st = {};
            return QByteArray();
        }
        fail(path, errno);
    }
    if (::fstat(fd.get(), &st) != 0)
        fail(path, errno);
    if (!S_ISREG(st.st_mode))
        fail(path, EINVAL);
    QByteArray text;
    text.reserve(qsizetype(st.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            fail(path, errno);
        }
        if (got == 0)
            break;
        text.append(chunk, qsizetype(got));
    }
    return text;
}

} // namespace

AccountSnapshot::Stamp AccountSnapshot::stampOf(const struct stat& st) {
    auto nanoseconds = [](const timespec& t) { return t.tv_sec * 1000000000LL + t.tv_nsec; };
    return {st.st_dev, st.st_ino, (unsigned long long)st.st_size, nanoseconds(st.st_mtim),
            nanoseconds(st.st_ctim)};
}

AccountSnapshot::AccountSnapshot(QString etc, std::vector<GroupAlias> aliases)
    : m_etc(std::move(etc)), m_aliases(std::move(aliases)) {}

std::shared_ptr<const HostAccounts> AccountSnapshot::current() {
    std::lock_guard lock(m_mutex);
    std::array<QByteArray, kFiles> paths;
    std::array<Stamp, kFiles> stamps{};
    bool same = m_accounts != nullptr;
    for (std::size_t i = 0; i < kFiles; ++i) {
        paths[i] = QFile::encodeName(m_etc + u'/' + QLatin1StringView(kNames[i]));
        struct stat st {};
        if (::stat(paths[i].constData(), &st) == 0)
            stamps[i] = stampOf(st);
        same = same && stamps[i] == m_stamps[i];
    }
    if (same)
        return m_accounts;

    AccountFilesRead files;
    std::array<QByteArray, kFiles> texts;
    for (std::size_t i = 0; i < kFiles; ++i) {
        struct stat st {};
        // Without login.defs or useradd's defaults, the suite's own defaults hold.
        texts[i] = readFile(paths[i], i < 2, st);
        // The stamp of what was read, not of what stat saw before.
        m_stamps[i] = stampOf(st);
    }
    files.defs = LoginDefs::parse(texts[0]);
    files.useraddDefaults = LoginDefs::parseAssignments(texts[1]);
    files.passwd = parsePasswd(texts[2]);
    files.shadow = parseShadow(texts[3]);
    files.group = parseGroup(texts[4]);
    m_accounts = std::make_shared<const HostAccounts>(std::move(files), m_aliases);
    return m_accounts;
}

void AccountSnapshot::invalidate() {
    std::lock_guard lock(m_mutex);
    m_accounts.reset();
}

} // namespace orvane::host
