#include "platform/rehearsal/HostRehearsal.h"

#include "platform/HomeRootSetting.h"
#include "platform/MachineFolder.h"
#include "platform/Registry.h"
#include "platform/RegistryKey.h"
#include "platform/rehearsal/ChosenFolder.h"
#include "platform/rehearsal/HostSite.h"
#include "platform/rehearsal/SiteCopy.h"
#include "platform/rehearsal/Supervisor.h"

#include <QDir>
#include <QFileInfo>

namespace orvane::rehearsal {

namespace {

bool isInside(const QString& path, const QStringList& folders) {
    const QString clean = QFileInfo(path).canonicalFilePath();
    return std::any_of(folders.begin(), folders.end(), [&](const QString& folder) {
        return clean == folder || clean.startsWith(folder + u'/');
    });
}

// The home root as the copy's own registry holds it, read inside the copy:
// the registry's database may be made or changed by opening it.
QString homeRootOf(const QString& machine) {
    MachineRegistry registry(machine);
    const RegistryKey key(registry, kHomeRootKey, false);
    return key.isOpen() ? key.ReadString(kHomeRootValue) : QString();
}

} // namespace

void layHostSite(SiteCopy& copy, const QStringList& keptBelow) {
    SiteSettings settings;
    settings.machineFolder = machineFolder();
    readSambaFolders(settings, QStringLiteral("/etc/samba/smb.conf"),
                     QStringLiteral("/usr/bin/testparm"));
    const SiteFolders site = hostSiteFolders(settings);

    // Temporary files and the sockets of the display and session stay as
    // they are; every other stored file of the machine is read-only.
    copy.keepWritable({QStringLiteral("/tmp"), QStringLiteral("/var/tmp")});
    copy.makeTheRestReadOnly();
    for (const QString& folder : site.overlaid)
        if (keptBelow.contains(folder))
            layOverKeepingWhatIsBelow(folder);
        else
            copy.overlay(folder);
    for (const QString& folder : site.emptied)
        copy.empty(folder);
    for (const QString& file : site.discarded)
        copy.discardWrites(file);
    copy.hideSystemLog();
    SiteCopy::dropAuditWrite();

    // The home root, now that its setting can be read without a change.
    const QString homeRoot = homeRootOf(settings.machineFolder);
    if (!homeRoot.isEmpty() && !isInside(homeRoot, site.overlaid)) {
        SiteSettings withRoot;
        withRoot.homeRoot = homeRoot;
        for (const QString& folder : hostSiteFolders(withRoot).overlaid)
            if (!site.overlaid.contains(folder) && !isInside(folder, site.overlaid))
                copy.overlay(folder);
    }
}

int rehearseOnHost(const QString& program, const QStringList& arguments) {
    SiteCopy copy;
    layHostSite(copy);
    return superviseInOwnPids(program, arguments,
                              {QStringLiteral("ORVANE_REHEARSAL=1"), copyMarker()});
}

} // namespace orvane::rehearsal
