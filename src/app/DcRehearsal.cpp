// uses-programs: samba-tool klist kinit (and this program itself, a step of the copy)
// uses-programs-if-installed: samba
#include "app/DcRehearsal.h"

#include "platform/rehearsal/ChosenFolder.h"
#include "platform/rehearsal/CopyStep.h"
#include "platform/rehearsal/DcCopy.h"
#include "platform/rehearsal/DomainController.h"
#include "platform/rehearsal/HostRehearsal.h"
#include "platform/rehearsal/SiteCopy.h"
#include "platform/rehearsal/SiteShares.h"
#include "platform/rehearsal/Supervisor.h"
#include "ui/LookAndFeel.h"
#include "ui/RehearsalProgress.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <memory>
#include <optional>

namespace orvane {

namespace {

using namespace rehearsal;
using namespace std::chrono_literals;

const QString kSambaTool = QStringLiteral("/usr/bin/samba-tool");
const QString kSamba = QStringLiteral("/usr/sbin/samba");

// How the window logs on, as Samba's tools take it from the environment: a
// password (USER and PASSWD, or USER=name%password), else a ticket cache.
bool logsOnWithTicket() {
    return !qEnvironmentVariableIsSet("PASSWD") && !qEnvironmentVariable("USER").contains(u'%');
}

// The environment of Samba's tools: their temporary files in the scratch,
// and the window's own credentials, never on a command line.
QStringList toolEnvironment(const QString& scratch) {
    QStringList environment{QStringLiteral("PATH=/usr/sbin:/usr/bin:/sbin:/bin"),
                            QStringLiteral("LANG=C.UTF-8"), QStringLiteral("TMPDIR=") + scratch,
                            QStringLiteral("HOME=") + scratch};
    for (const char* name : {"USER", "PASSWD", "KRB5CCNAME", "KRB5_CONFIG"})
        if (qEnvironmentVariableIsSet(name))
            environment << QLatin1StringView(name) + u'=' + qEnvironmentVariable(name);
    return environment;
}

// The environment with Kerberos as the copy's /etc has it.
QStringList withCopyKerberos(QStringList environment) {
    environment.removeIf(
        [](const QString& setting) { return setting.startsWith(u"KRB5_CONFIG="); });
    return environment << QStringLiteral("KRB5_CONFIG=/etc/krb5.conf");
}

// Samba's tools keep the service tickets they get in the cache: a cache in
// a file is copied into the scratch for them, so that the site's own stays
// as it was. (A cache of another type, kernel keyring or KCM, is used as it is.)
QStringList withCacheInScratch(QStringList environment, const QString& scratch) {
    QString cache = qEnvironmentVariable("KRB5CCNAME");
    if (cache.isEmpty())
        cache = QStringLiteral("FILE:/tmp/krb5cc_0"); // root's own: a rehearsal runs as root
    if (cache.startsWith(u"FILE:"))
        cache.remove(0, 5);
    if (!cache.startsWith(u'/'))
        return environment;
    const QString copy = scratch + QStringLiteral("/site.ccache");
    if (!QFile::copy(cache, copy) ||
        !QFile::setPermissions(copy, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        throw CopyError(QStringLiteral("cannot read the ticket cache %1").arg(cache).toStdString());
    environment.removeIf([](const QString& setting) { return setting.startsWith(u"KRB5CCNAME="); });
    return environment << QStringLiteral("KRB5CCNAME=FILE:") + copy;
}

QString backupFileIn(const QString& scratch) {
    const QStringList found =
        QDir(scratch).entryList({QStringLiteral("samba-backup-*.tar.bz2")}, QDir::Files);
    if (found.size() != 1)
        throw CopyError("the backup made no single backup file");
    return scratch + u'/' + found.first();
}

// The ticket's principal, as the cache names it.
QString principalOf(const QStringList& environment) {
    const QString listed = runCopyStep(QStringLiteral("/usr/bin/klist"), {}, environment, 30s);
    for (const QString& line : listed.split(u'\n'))
        if (line.startsWith(u"Default principal:"))
            return line.section(u':', 1).trimmed();
    throw CopyError("the ticket cache names no principal");
}

struct RunningCopy {
    std::unique_ptr<ServerInOwnPids> server;
    QStringList windowEnvironment;
};

// The DC's shares, read by this program as a step of its own (see
// kSiteSharesStep) with the tools' environment.
SiteShares readSharesOf(const QString& server, const QStringList& environment,
                        const QString& scratch) {
    const QString file = scratch + QStringLiteral("/site-shares.json");
    runCopyStep(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath(),
                {QLatin1StringView(kSiteSharesStep), server, file}, environment, 120s);
    QFile text(file);
    if (!text.open(QIODevice::ReadOnly))
        throw CopyError("the server's shares were not written");
    const SiteShares shares = sharesFromText(text.readAll());
    text.remove();
    return shares;
}

// Where the copy's share commands are: beside this program in the build
// tree, else where the package puts them.
QString shareCommand() {
    const QString beside = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath() +
                           QStringLiteral("/share-command");
    return QFileInfo(beside).isExecutable() ? beside : QStringLiteral(ORVANE_SHARE_COMMAND);
}

RunningCopy makeCopy(ui::RehearsalProgress& progress, SiteCopy& copy, const QString& server,
                     const DomainController& dc, const QString& scratch) {
    if (!QFileInfo(kSamba).isExecutable())
        throw CopyError("the copy is served by Samba's own domain controller (/usr/sbin/samba, "
                        "package samba), which is not installed here");
    // The site's own folders as the host half lays them; /etc keeps what
    // is mounted below it (a client's smb.conf put there).
    layHostSite(copy, {QStringLiteral("/etc")});
    mountScratch(scratch);
    const bool ticket = logsOnWithTicket();
    const QStringList environment =
        ticket ? withCacheInScratch(toolEnvironment(scratch), scratch) : toolEnvironment(scratch);

    progress.showStep(0, QStringLiteral("正在备份域控制器…"));
    QStringList backup{QStringLiteral("domain"), QStringLiteral("backup"), QStringLiteral("online"),
                       QStringLiteral("--server=") + server,
                       QStringLiteral("--targetdir=") + scratch};
    if (ticket)
        backup << QStringLiteral("--use-kerberos=required");
    runCopyStep(kSambaTool, backup, environment, 600s);
    const SiteShares shares = readSharesOf(server, environment, scratch);

    progress.showStep(1, QStringLiteral("正在恢复副本…"));
    const QString dcFolder = scratch + QStringLiteral("/dc");
    runCopyStep(kSambaTool,
                {QStringLiteral("domain"), QStringLiteral("backup"), QStringLiteral("restore"),
                 QStringLiteral("--backup-file=") + backupFileIn(scratch),
                 QStringLiteral("--newservername=") + copyServerName(),
                 QStringLiteral("--targetdir=") + dcFolder},
                environment, 600s);
    QFile::remove(backupFileIn(scratch));
    const QString conf = dcFolder + QStringLiteral("/etc/smb.conf");
    const QString log =
        settleCopyConfig(dcFolder, shares.takesNewShares ? shareCommand() : QString());
    carrySharesIntoCopy(shares, conf);
    // The restore gave the copy's KDC keys of its own: a ticket of the real
    // one is no good there. The same account's keys, from the copy's own
    // database, get the window a ticket of the copy's.
    QString principal, keytab = scratch + QStringLiteral("/logon.keytab");
    if (ticket) {
        principal = principalOf(environment);
        runCopyStep(kSambaTool,
                    {QStringLiteral("domain"), QStringLiteral("exportkeytab"), keytab,
                     QStringLiteral("--principal=") + principal, QStringLiteral("-s"), conf},
                    environment, 120s);
        // The directory's service names, which a DC adds for itself as it
        // updates its DNS (switched off in the copy): Kerberos clients of
        // the directory ask for them.
        for (const QString& name : {copyHostName(dc), copyServerName()})
            runCopyStep(kSambaTool,
                        {QStringLiteral("spn"), QStringLiteral("add"),
                         QStringLiteral("ldap/") + name, copyServerName() + u'$',
                         QStringLiteral("-s"), conf},
                        environment, 120s);
    }

    progress.showStep(2, QStringLiteral("正在启动副本…"));
    pointNamesAtCopy(dc);
    enterOwnNetwork();
    RunningCopy running;
    running.server = std::make_unique<ServerInOwnPids>(
        kSamba, QStringList{QStringLiteral("-F"), QStringLiteral("-s"), conf},
        QStringList{QStringLiteral("PATH=/usr/sbin:/usr/bin:/sbin:/bin"),
                    QStringLiteral("LANG=C.UTF-8")},
        copyServerEmptiedFolders());
    ServerInOwnPids& samba = *running.server;
    if (!waitWithEvents([] { return listensOnLoopback(445) && listensOnLoopback(389); },
                        [&] { return !samba.running(); }, 120s)) {
        QFile file(log);
        const QString words =
            file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
        throw CopyError(QStringLiteral("the copy's server did not start\n%1")
                            .arg(lastLines(words))
                            .toStdString());
    }
    // Kerberos as the copy's /etc has it, whatever the site's own says.
    running.windowEnvironment = {QStringLiteral("ORVANE_REHEARSAL=1"), copyMarker(),
                                 QStringLiteral("ORVANE_SAMBA_SERVER=") + copyHostName(dc),
                                 QStringLiteral("KRB5_CONFIG=/etc/krb5.conf")};
    if (qEnvironmentVariableIsSet("LOGONSERVER"))
        running.windowEnvironment << QStringLiteral("LOGONSERVER=\\\\") + copyHostName(dc);
    if (ticket) {
        progress.showStep(3, QStringLiteral("正在登录副本…"));
        const QString cache = QStringLiteral("FILE:") + scratch + QStringLiteral("/logon.ccache");
        runCopyStep(QStringLiteral("/usr/bin/kinit"),
                    {QStringLiteral("-k"), QStringLiteral("-t"), keytab, QStringLiteral("-c"),
                     cache, principal},
                    withCopyKerberos(environment), 60s);
        QFile::remove(keytab);
        running.windowEnvironment << QStringLiteral("KRB5CCNAME=") + cache;
    }
    return running;
}

} // namespace

int rehearseOnDomainController(const QString& window, const QStringList& arguments, int& argc,
                               char** argv, const QString& scratch) {
    QString server = qEnvironmentVariable("ORVANE_SAMBA_SERVER");
    if (server.startsWith(u"\\\\"))
        server.remove(0, 2);
    if (server.isEmpty())
        server = QStringLiteral("localhost");
    // First, while this process has no thread: a mount namespace of its own.
    std::optional<SiteCopy> copy;
    try {
        copy.emplace();
    } catch (const CopyError& error) {
        std::fprintf(stderr, "orvane-rehearse: %s\n", error.what());
        return 1;
    }
    const std::optional<DomainController> dc = askDomainController(server);
    if (!dc) {
        std::fprintf(stderr,
                     "orvane-rehearse: %s is no Active Directory domain controller; a rehearsal "
                     "is offered on a domain controller only, which Samba's tools can copy\n",
                     server.toLocal8Bit().constData());
        return 2;
    }
    RunningCopy running;
    {
        QApplication application(argc, argv);
        ui::applyLookAndFeel();
        ui::RehearsalProgress progress(logsOnWithTicket() ? 4 : 3);
        progress.show();
        try {
            running = makeCopy(progress, *copy, server, *dc, scratch);
        } catch (const CopyError& error) {
            std::fprintf(stderr,
                         "orvane-rehearse: the copy of the site could not be made, and nothing "
                         "was changed: %s\n",
                         error.what());
            progress.hide();
            ui::showCopyFailure(QString::fromLocal8Bit(error.what()));
            return 1;
        }
    }
    // The progress window has gone with its application: the window below
    // is the only one of the rehearsal.
    return superviseInOwnPids(window, arguments, running.windowEnvironment);
}

} // namespace orvane
