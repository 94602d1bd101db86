// uses-programs: net testparm
#include "platform/host/SambaShares.h"

#include "platform/Descriptor.h"
#include "platform/FolderListing.h"
#include "platform/NameService.h"
#include "platform/Process.h"
#include "platform/embedded/AccountRules.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>

namespace orvane::host {

namespace {

// Codes of the platform that the program itself never tests for.
constexpr NET_API_STATUS kTooManyItems = 2121;

// Full access for Everyone at share level, by its SID: a name would have net
// ask a running smbd for the SID. The folder's owner and mode decide the rest.
const QString kEveryoneFull = QStringLiteral("S-1-1-0:F");

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool isExistingFolder(const QString& path) {
    struct stat st;
    return path.startsWith(u'/') && ::stat(QFile::encodeName(path).constData(), &st) == 0 &&
           S_ISDIR(st.st_mode);
}

// What smbd would not take as it is: a % starts one of its substitutions (a
// path holding "%U" would name another folder for every user), and a line
// break or other control character ends a setting.
bool hasSambaSpecial(const QString& text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c == u'%' || c.unicode() < 32 || c.unicode() == 127; });
}

QString withoutControls(QString text) {
    for (QChar& c : text)
        if (c.unicode() < 32 || c.unicode() == 127)
            c = u' ';
    return text;
}

// "[name]" headers and "key = value" (testparm) or "key=value" (usershare
// info) lines, as Samba's tools print a configuration they have read.
template <class OnSection, class OnValue>
void readSections(const QByteArray& text, OnSection&& section, OnValue&& value) {
    for (const QByteArray& raw : text.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            section(line.mid(1, line.size() - 2));
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals > 0)
            value(line.left(equals).trimmed().toLower(), line.mid(equals + 1).trimmed());
    }
}

bool isYes(const QString& value) {
    return value.compare(u"yes", Qt::CaseInsensitive) == 0 ||
           value.compare(u"true", Qt::CaseInsensitive) == 0 || value == u"1";
}

QString words(const ProcessResult& result) {
    return QString::fromUtf8((result.errors + ' ' + result.output).simplified());
}

// Orvane's processes take turns at changing shares: check and change as one.
class ChangeLock {
public:
    explicit ChangeLock(const QString& path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC)) {
        if (m_fd.valid())
            ::flock(m_fd.get(), LOCK_EX);
    }

private:
    Descriptor m_fd;
};

} // namespace

SambaShares::SambaShares(SambaTools tools) : m_tools(std::move(tools)) {}

bool SambaShares::served() const {
    return QFile::exists(m_tools.smbd) && QFile::exists(m_tools.smbConf) &&
           QFile::exists(m_tools.net) && QFile::exists(m_tools.testparm);
}

QString SambaShares::setting(const char* name, const QString& section) const {
    QStringList arguments{QStringLiteral("-s"),
                          QStringLiteral("--parameter-name=") + QLatin1StringView(name)};
    if (!section.isEmpty())
        arguments << QStringLiteral("--section-name=") + section;
    const ProcessResult result = runProcess(m_tools.testparm, arguments << m_tools.smbConf);
    return QString::fromUtf8(result.output).trimmed();
}

ShareSettings SambaShares::settings() {
    struct stat now {};
    ::stat(QFile::encodeName(m_tools.smbConf).constData(), &now);
    std::lock_guard lock(m_settingsLock);
    if (m_settings && now.st_ino == m_settingsOf.st_ino && now.st_dev == m_settingsOf.st_dev &&
        now.st_size == m_settingsOf.st_size && now.st_mtim.tv_sec == m_settingsOf.st_mtim.tv_sec &&
        now.st_mtim.tv_nsec == m_settingsOf.st_mtim.tv_nsec)
        return *m_settings;
    ShareSettings read;
    read.registry = isYes(setting("registry shares")) ||
                    setting("config backend").compare(u"registry", Qt::CaseInsensitive) == 0;
    read.usersharePath = setting("usershare path");
    read.usershareMax = setting("usershare max shares").toInt();
    // testparm shows the registry's shares with the files' where they are
    // served; those change without smb.conf changing, so they are left out.
    read.fileShares = sectionNames({QStringLiteral("-s"), m_tools.smbConf}, true);
    read.homes = read.fileShares.contains(QStringLiteral("homes"), Qt::CaseInsensitive);
    read.homesWritable = read.homes && !isYes(setting("read only", QStringLiteral("homes")));
    if (read.registry) {
        const QStringList registry = sectionNames(
            {QStringLiteral("-s"), m_tools.smbConf, QStringLiteral("conf"), QStringLiteral("list")},
            false);
        read.fileShares.removeIf(
            [&](const QString& name) { return registry.contains(name, Qt::CaseInsensitive); });
    }
    m_settings = read;
    m_settingsOf = now;
    return read;
}

QStringList SambaShares::sectionNames(const QStringList& arguments, bool testparm) const {
    const ProcessResult result = runProcess(testparm ? m_tools.testparm : m_tools.net, arguments);
    QStringList names;
    readSections(
        result.output,
        [&](const QString& name) {
            if (!sameName(name, QStringLiteral("global")))
                names << name;
        },
        [](const QString&, const QString&) {});
    return names;
}

namespace {

// The usershares' names: Samba keeps one file a share in its usershare
// folder, named by the share in lower case; net usershare writes a new one
// as a temporary ":tmp" file first. Read here rather than through a run of
// net usershare list, which costs as much as the share itself.
bool usershareNames(const QString& folder, QStringList& names) {
    FolderListing listing{Descriptor(
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))};
    if (!listing.valid())
        return false;
    while (const char* entry = listing.next()) {
        const QString name = QFile::decodeName(entry);
        if (!name.startsWith(u'.') && !name.contains(u':'))
            names << name;
    }
    return true;
}

// A share's path or comment, as both listings give them; false for others.
bool takeSetting(SambaShare& share, const QString& key, const QString& value) {
    if (key == u"path")
        share.path = value;
    else if (key == u"comment")
        share.comment = value;
    else
        return false;
    return true;
}

} // namespace

NET_API_STATUS SambaShares::list(std::vector<SambaShare>& shares) {
    shares.clear();
    // smb.conf's shares, and the registry's where the site serves them.
    const ProcessResult configured =
        runProcess(m_tools.testparm, {QStringLiteral("-s"), m_tools.smbConf});
    // testparm ends with 1 on a setting it does not know, having read the rest.
    if (!configured.output.contains("[global]")) {
        std::fprintf(stderr, "orvane: testparm cannot read Samba's configuration: %s\n",
                     words(configured).toUtf8().constData());
        return ERROR_ACCESS_DENIED;
    }
    SambaShare* current = nullptr;
    readSections(
        configured.output,
        [&](const QString& name) {
            current = nullptr;
            if (name.compare(u"global", Qt::CaseInsensitive) != 0)
                current = &shares.emplace_back(SambaShare{name, {}, {}, false, {}});
        },
        [&](const QString& key, const QString& value) {
            if (current && !takeSetting(*current, key, value) &&
                (key == u"printable" || key == u"print ok"))
                current->printable = isYes(value);
        });

    if (!settings().usershares())
        return NERR_Success;
    const ProcessResult users =
        runProcess(m_tools.net, {QStringLiteral("-s"), m_tools.smbConf, QStringLiteral("usershare"),
                                 QStringLiteral("info"), QStringLiteral("--long")});
    // A usershare whose folder is gone is left out with a complaint, and
    // ends the tool with 255 when it is the last one read.
    if (!users.succeeded() && !users.errors.contains("info_fn:")) {
        std::fprintf(stderr, "orvane: net usershare info refused: %s\n",
                     words(users).toUtf8().constData());
        return ERROR_ACCESS_DENIED;
    }
    const auto configuredEnd = qsizetype(shares.size());
    std::vector<SambaShare> usershares;
    current = nullptr;
    readSections(
        users.output,
        [&](const QString& name) {
            current = &usershares.emplace_back(
                SambaShare{name, {}, {}, false, SambaShare::Kept::Usershare});
        },
        [&](const QString& key, const QString& value) {
            if (current)
                takeSetting(*current, key, value);
        });
    // smbd serves a name that smb.conf or the registry holds from there.
    for (SambaShare& share : usershares)
        if (std::none_of(shares.begin(), shares.begin() + configuredEnd,
                         [&](const SambaShare& kept) { return sameName(kept.name, share.name); }))
            shares.push_back(std::move(share));
    return NERR_Success;
}

NET_API_STATUS SambaShares::add(const QString& name, const QString& path, const QString& remark) {
    if (!embedded::isValidShareName(name) || hasSambaSpecial(name) ||
        sameName(name, QStringLiteral("global")))
        return ERROR_INVALID_NAME;
    if (hasSambaSpecial(path))
        return ERROR_INVALID_PARAMETER;
    if (!isExistingFolder(path))
        return NERR_UnknownDevDir;

    std::lock_guard lock(m_changes);
    const ChangeLock turn(m_tools.smbConf);
    // The names taken: smb.conf's (read once per change of it), the
    // usershares (names alone, the lightest listing), and the registry's,
    // which net conf itself refuses to take twice.
    const ShareSettings site = settings();
    if (site.fileShares.contains(name, Qt::CaseInsensitive))
        return NERR_DuplicateShare;
    QStringList usershares;
    if (site.usershares()) {
        if (!usershareNames(site.usersharePath, usershares)) {
            std::fprintf(stderr, "orvane: Samba's usershare folder %s cannot be read\n",
                         site.usersharePath.toUtf8().constData());
            return ERROR_ACCESS_DENIED;
        }
        if (usershares.contains(name, Qt::CaseInsensitive))
            return NERR_DuplicateShare;
    }
    if (const NET_API_STATUS held = homeServiceHolds(name, path, site))
        return held;
    if (site.registry)
        return addToRegistry(name, path, withoutControls(remark));
    return addUsershare(name, path, withoutControls(remark), site, int(usershares.size()));
}

// Samba keeps an account's name for the account's own home service: net
// usershare takes no share of that name, and where smb.conf has [homes],
// smbd gives the account its home service under that name when it signs on,
// ahead of a registry share. A share there that its owner could not use as
// made is refused, with what the site changes.
NET_API_STATUS SambaShares::homeServiceHolds(const QString& name, const QString& path,
                                             const ShareSettings& site) const {
    std::optional<ResolvedAccount> account = resolveAccount(name);
    if (!account)
        account = resolveAccount(name.toLower());
    if (!account)
        return NERR_Success;
    const bool ownHome = QDir::cleanPath(account->home) == QDir::cleanPath(path);
    if (site.registry && (!site.homes || (site.homesWritable && ownHome)))
        return NERR_Success;
    const QByteArray conf = m_tools.smbConf.toUtf8();
    QByteArray change;
    if (!site.registry)
        change = "set \"registry shares = yes\" in the [global] section of " + conf +
                 " (usershares are never named after an account)";
    if (site.homes && !site.homesWritable)
        change += QByteArray(change.isEmpty() ? "" : ", and ") +
                  "remove its [homes] section or set \"read only = no\" in it ([homes] gives " +
                  name.toUtf8() + " its own home folder under this name, read only)";
    else if (site.homes && !ownHome)
        change += QByteArray(change.isEmpty() ? "" : ", and ") +
                  "remove its [homes] section or register the folder as " + name.toUtf8() +
                  "'s home folder ([homes] gives " + name.toUtf8() + " " +
                  QFile::encodeName(account->home) + " under this name)";
    std::fprintf(stderr,
                 "orvane: sharing %s: Samba keeps this name for the account's own home folder; "
                 "to share home folders under their accounts' names, %s\n",
                 name.toUtf8().constData(), change.constData());
    return NERR_DuplicateShare;
}

bool SambaShares::registryThroughNet(const RegistryShares::Result& result) {
    if (result.outcome != RegistryShares::Outcome::Unreachable)
        return false;
    if (result.words != m_registryUnreachable) {
        std::fprintf(stderr, "orvane: Samba's registry through net conf, not in process: %s\n",
                     result.words.toUtf8().constData());
        m_registryUnreachable = result.words;
    }
    return true;
}

NET_API_STATUS SambaShares::addToRegistry(const QString& name, const QString& path,
                                          const QString& remark) {
    const RegistryShares::Result written = m_registry.add(name, path, remark);
    if (written.outcome == RegistryShares::Outcome::Done)
        return NERR_Success;
    if (written.outcome == RegistryShares::Outcome::Exists)
        return NERR_DuplicateShare;
    if (!registryThroughNet(written)) {
        std::fprintf(stderr, "orvane: sharing %s: Samba's registry refused it: %s\n",
                     name.toUtf8().constData(), written.words.toUtf8().constData());
        return ERROR_ACCESS_DENIED;
    }
    const ProcessResult result = runProcess(
        m_tools.net,
        {QStringLiteral("-s"), m_tools.smbConf, QStringLiteral("conf"), QStringLiteral("addshare"),
         name, path, QStringLiteral("writeable=y"), QStringLiteral("guest_ok=n"), remark});
    if (result.succeeded())
        return NERR_Success;
    std::fprintf(stderr, "orvane: sharing %s: net conf addshare refused: %s\n",
                 name.toUtf8().constData(), words(result).toUtf8().constData());
    return result.errors.contains("already exists") || result.output.contains("already exists")
               ? NERR_DuplicateShare
               : ERROR_ACCESS_DENIED;
}

NET_API_STATUS SambaShares::addUsershare(const QString& name, const QString& path,
                                         const QString& remark, const ShareSettings& site,
                                         int usershares) {
    const auto full = [&] {
        std::fprintf(
            stderr,
            "orvane: sharing %s: Samba's configuration here takes no more shares (usershares: "
            "%d of %d%s); to share more, set \"registry shares = yes\" in the [global] section "
            "of %s, or raise \"usershare max shares\"\n",
            name.toUtf8().constData(), usershares, site.usershareMax,
            site.usersharePath.isEmpty() ? ", no usershare path" : "",
            m_tools.smbConf.toUtf8().constData());
        return kTooManyItems;
    };
    if (!site.usershares() || usershares >= site.usershareMax)
        return full();
    const ProcessResult result =
        runProcess(m_tools.net, {QStringLiteral("-s"), m_tools.smbConf, QStringLiteral("usershare"),
                                 QStringLiteral("add"), name, path, remark, kEveryoneFull,
                                 QStringLiteral("guest_ok=n")});
    if (result.succeeded())
        return NERR_Success;
    // Someone else's usershare took the last place meanwhile.
    if (result.errors.contains("maximum number of allowed usershares"))
        return full();
    std::fprintf(stderr, "orvane: sharing %s: net usershare add refused: %s\n",
                 name.toUtf8().constData(), words(result).toUtf8().constData());
    return ERROR_ACCESS_DENIED;
}

NET_API_STATUS SambaShares::remove(const QString& name) {
    std::lock_guard lock(m_changes);
    const ChangeLock turn(m_tools.smbConf);
    std::vector<SambaShare> shares;
    if (const NET_API_STATUS listed = list(shares))
        return listed;
    const auto found = std::find_if(shares.begin(), shares.end(), [&](const SambaShare& share) {
        return sameName(share.name, name);
    });
    if (found == shares.end())
        return NERR_NetNameNotFound;
    const bool usershare = found->kept == SambaShare::Kept::Usershare;
    // Not in the registry: smb.conf (or a file it includes) holds it.
    const auto inFiles = [&] {
        std::fprintf(stderr,
                     "orvane: the share %s is defined in Samba's configuration files, which "
                     "Orvane never edits; remove it there\n",
                     found->name.toUtf8().constData());
        return ERROR_ACCESS_DENIED;
    };
    if (!usershare) {
        const RegistryShares::Result removed = m_registry.remove(found->name);
        if (removed.outcome == RegistryShares::Outcome::Done)
            return NERR_Success;
        if (removed.outcome == RegistryShares::Outcome::NoSuchShare)
            return inFiles();
        if (!registryThroughNet(removed)) {
            std::fprintf(stderr, "orvane: removing the share %s: Samba's registry refused: %s\n",
                         found->name.toUtf8().constData(), removed.words.toUtf8().constData());
            return ERROR_ACCESS_DENIED;
        }
    }
    const ProcessResult result = runProcess(
        m_tools.net,
        usershare ? QStringList{QStringLiteral("-s"), m_tools.smbConf, QStringLiteral("usershare"),
                                QStringLiteral("delete"), found->name}
                  : QStringList{QStringLiteral("-s"), m_tools.smbConf, QStringLiteral("conf"),
                                QStringLiteral("delshare"), found->name});
    if (!result.succeeded()) {
        if (!usershare && (result.errors + result.output).contains("SBC_ERR_NO_SUCH_SERVICE"))
            return inFiles();
        std::fprintf(stderr, "orvane: removing the share %s: net refused: %s\n",
                     found->name.toUtf8().constData(), words(result).toUtf8().constData());
        return ERROR_ACCESS_DENIED;
    }
    // Each client's smbd looks shares up as it connects: nothing to tell.
    return NERR_Success;
}

} // namespace orvane::host
