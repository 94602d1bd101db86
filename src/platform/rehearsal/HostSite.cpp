// uses-programs: testparm
#include "platform/rehearsal/HostSite.h"

#include "platform/Process.h"
#include "platform/rehearsal/SiteCopy.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace orvane::rehearsal {

namespace {

QString existingFolderOrParent(QString path) {
    path = QDir::cleanPath(path);
    while (!path.isEmpty() && path != u"/" && !QFileInfo(path).isDir())
        path = QFileInfo(path).path();
    return path;
}

bool inside(const QString& path, const QString& folder) {
    return path == folder || folder == u"/" || path.startsWith(folder + u'/');
}

// Each folder once, none inside another, the top of the tree never: a copy
// of the whole machine is not what a rehearsal lays over.
QStringList outermost(QStringList folders) {
    folders.removeAll(QString());
    folders.removeAll(QStringLiteral("/"));
    std::sort(folders.begin(), folders.end());
    QStringList kept;
    for (const QString& folder : folders)
        if (std::none_of(kept.begin(), kept.end(),
                         [&](const QString& outer) { return inside(folder, outer); }))
            kept << folder;
    return kept;
}

} // namespace

void readSambaFolders(SiteSettings& settings, const QString& smbConf, const QString& testparm) {
    if (!QFileInfo::exists(smbConf) || !QFileInfo::exists(testparm))
        return;
    const auto setting = [&](const char* name) {
        return QString::fromUtf8(runProcess(testparm, {QStringLiteral("-s"),
                                                       QStringLiteral("--parameter-name=") +
                                                           QLatin1StringView(name),
                                                       smbConf})
                                     .output)
            .trimmed();
    };
    for (const char* name :
         {"state directory", "private dir", "cache directory", "usershare path", "binddns dir"})
        if (const QString folder = setting(name); folder.startsWith(u'/'))
            settings.sambaData << folder;
    for (const char* name : {"lock directory", "pid directory", "ncalrpc dir"})
        if (const QString folder = setting(name); folder.startsWith(u'/'))
            settings.sambaRunTime << folder;
    // The account database where smb.conf keeps it elsewhere ("passdb backend
    // = tdbsam:PATH", the smbpasswd file) is copied too; one in a directory
    // server is not a file a copy can hold.
    const QString passdb = setting("passdb backend");
    const QString backend = passdb.section(u':', 0, 0);
    if (!passdb.isEmpty() && backend != u"tdbsam" && backend != u"smbpasswd")
        throw CopyError(QStringLiteral("Samba keeps its accounts in %1 (passdb backend in %2), "
                                       "which a copy cannot hold")
                            .arg(passdb, smbConf)
                            .toStdString());
    for (const QString& file : {passdb.section(u':', 1), setting("smb passwd file")})
        if (file.startsWith(u'/'))
            settings.sambaData << QFileInfo(file).path();
}

SiteFolders hostSiteFolders(const SiteSettings& settings) {
    QStringList copied;
    for (const QString& folder : QStringList{QStringLiteral("/etc"), QStringLiteral("/var/mail"),
                                             QStringLiteral("/var/spool/mail")} +
                                     settings.sambaData)
        if (QFileInfo(folder).isDir())
            copied << QFileInfo(folder).canonicalFilePath();
    // Orvane's own folders may be made in the copy.
    for (const QString& folder : {settings.machineFolder, settings.homeRoot})
        if (!folder.isEmpty())
            copied << QFileInfo(existingFolderOrParent(folder)).canonicalFilePath();
    SiteFolders site;
    site.overlaid = outermost(copied);
    for (const QString& folder : settings.sambaRunTime) {
        const QString clean = QDir::cleanPath(folder);
        if (QFileInfo(clean).isDir() && !site.emptied.contains(clean))
            site.emptied << clean;
    }
    for (const char* file : {"/var/log/lastlog", "/var/log/faillog"})
        if (QFileInfo::exists(QLatin1StringView(file)))
            site.discarded << QLatin1StringView(file);
    return site;
}

} // namespace orvane::rehearsal
