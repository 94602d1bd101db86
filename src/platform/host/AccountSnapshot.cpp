#include "platform/host/AccountSnapshot.h"

#include "platform/Descriptor.h"

#include <QFile>
#include <algorithm>
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
    : m_aliases(std::move(aliases)) {
    for (std::size_t i = 0; i < kFiles; ++i)
        m_files[i].path = QFile::encodeName(etc + u'/' + QLatin1StringView(kNames[i]));
}

void AccountSnapshot::refresh(std::initializer_list<Index> which) {
    for (const Index i : which) {
        File& file = m_files[i];
        struct stat st {};
        const Stamp seen = ::stat(file.path.constData(), &st) == 0 ? stampOf(st) : Stamp{};
        if (file.read && seen == file.stamp)
            continue;
        file.read = false;
        if (i == LoginDefsFile || i == UseraddFile)
            m_policy.reset();
        m_accounts.reset();
        // Without login.defs or useradd's defaults, the suite's own defaults hold.
        file.text = readFile(file.path, i == LoginDefsFile || i == UseraddFile, st);
        file.stamp = stampOf(st);
        file.read = true;
    }
}

const AccountPolicy& AccountSnapshot::currentPolicy() {
    refresh({LoginDefsFile, UseraddFile});
    if (!m_policy)
        m_policy = AccountPolicy{LoginDefs::parse(m_files[LoginDefsFile].text),
                                 LoginDefs::parseAssignments(m_files[UseraddFile].text)};
    return *m_policy;
}

std::shared_ptr<const HostAccounts> AccountSnapshot::current() {
    std::lock_guard lock(m_mutex);
    const AccountPolicy& policy = currentPolicy();
    refresh({PasswdFile, ShadowFile, GroupFile});
    if (m_accounts)
        return m_accounts;
    AccountFilesRead files;
    files.defs = policy.defs;
    files.useraddDefaults = policy.useraddDefaults;
    files.passwd = parsePasswd(m_files[PasswdFile].text);
    files.shadow = parseShadow(m_files[ShadowFile].text);
    files.group = parseGroup(m_files[GroupFile].text);
    m_accounts = std::make_shared<const HostAccounts>(std::move(files), m_aliases);
    return m_accounts;
}

std::optional<PasswdEntry> AccountSnapshot::user(QStringView name) {
    std::lock_guard lock(m_mutex);
    const IdRange uids = currentPolicy().defs.uids();
    refresh({PasswdFile});
    std::optional<PasswdEntry> entry = findPasswd(m_files[PasswdFile].text, name.toUtf8());
    if (entry && !isListed(*entry, uids))
        entry.reset();
    return entry;
}

int AccountSnapshot::namesFoldingTo(QStringView name) {
    std::lock_guard lock(m_mutex);
    refresh({PasswdFile});
    // Folded, an ASCII name is its lower case: only the other names are
    // folded one by one.
    const QByteArray wanted = foldedName(name).toUtf8();
    const auto isAscii = [](QByteArrayView text) {
        return std::all_of(text.begin(), text.end(), [](char c) { return uchar(c) < 0x80; });
    };
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    std::vector<QByteArrayView> found;
    for (const QByteArrayView entry : passwdNames(m_files[PasswdFile].text)) {
        const bool same = isAscii(entry)
                              ? entry.size() == wanted.size() &&
                                    std::equal(entry.begin(), entry.end(), wanted.begin(),
                                               [&](char a, char b) { return lower(a) == b; })
                              : foldedName(QString::fromUtf8(entry)).toUtf8() == wanted;
        // Several entries of one name are one account.
        if (same && std::find(found.begin(), found.end(), entry) == found.end())
            found.push_back(entry);
    }
    return int(found.size());
}

std::optional<GroupEntry> AccountSnapshot::group(QStringView name) {
    std::lock_guard lock(m_mutex);
    const IdRange gids = currentPolicy().defs.gids();
    refresh({PasswdFile, GroupFile});
    const auto listed = [&](const QByteArray& unixName) -> std::optional<GroupEntry> {
        std::optional<GroupEntry> entry = findGroup(m_files[GroupFile].text, unixName);
        if (!entry)
            return entry;
        const bool aliased =
            std::any_of(m_aliases.begin(), m_aliases.end(),
                        [&](const GroupAlias& a) { return a.unixGroup == unixName; });
        const auto accounts = passwdEntriesNamed(m_files[PasswdFile].text, unixName);
        const bool own = std::any_of(accounts.begin(), accounts.end(),
                                     [&](const PasswdEntry& a) { return a.gid == entry->gid; });
        if (!isListedGroup(*entry, aliased, own, gids))
            entry.reset();
        return entry;
    };
    if (std::optional<GroupEntry> entry = listed(name.toUtf8()))
        return entry;
    const GroupAlias* alias = aliasNamed(m_aliases, name);
    return alias ? listed(alias->unixGroup) : std::nullopt;
}

AccountPolicy AccountSnapshot::policy() {
    std::lock_guard lock(m_mutex);
    return currentPolicy();
}

void AccountSnapshot::invalidate() {
    std::lock_guard lock(m_mutex);
    for (File& file : m_files)
        file.read = false;
    m_policy.reset();
    m_accounts.reset();
}

} // namespace orvane::host
