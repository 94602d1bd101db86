// uses-programs: xdg-open setpriv
#include "platform/Shell.h"

#include "platform/AskingUser.h"
#include <QProcess>

#include <QFileInfo>
#include <QProcessEnvironment>
#include <cstdio>
#include <unistd.h>

namespace orvane {

namespace {

// What the user's own session gave the root process and the user's program
// needs to show itself; nothing else of root's environment goes with it.
constexpr const char* kSessionVariables[] = {
    "DISPLAY", "XAUTHORITY",  "LANG",        "LANGUAGE",   "LC_ALL", "LC_COLLATE", "LC_CTYPE",
    "LC_TIME", "LC_MESSAGES", "LC_MONETARY", "LC_NUMERIC", "TERM",   "COLORTERM",
};

QProcessEnvironment userEnvironment(const UserAccount& user) {
    QProcessEnvironment own = QProcessEnvironment::systemEnvironment();
    QProcessEnvironment env;
    for (const char* name : kSessionVariables) {
        const QString key = QLatin1String(name);
        if (own.contains(key))
            env.insert(key, own.value(key));
    }
    env.insert(QStringLiteral("HOME"), QFile::decodeName(user.home));
    env.insert(QStringLiteral("USER"), QFile::decodeName(user.name));
    env.insert(QStringLiteral("LOGNAME"), QFile::decodeName(user.name));
    env.insert(QStringLiteral("SHELL"), QFile::decodeName(user.shell));
    env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/local/bin:/usr/bin:/bin"));
    // The user's own runtime folder, where their session bus lives.
    const QString runtime = QStringLiteral("/run/user/%1").arg(user.uid);
    const QFileInfo info(runtime);
    if (info.isDir() && !info.isSymLink() && info.ownerId() == user.uid)
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    return env;
}

struct BrowserUser {
    bool start = true;
    std::optional<UserAccount> user; // none: as this process is
};

// Root working for someone else starts the file browser as that user, so
// the folder is shown with the user's rights, not root's; when that user
// cannot be had, nothing is started.
BrowserUser browserUser() {
    if (::geteuid() != 0)
        return {};
    const std::optional<uid_t> uid = askingUid();
    if (!uid) {
        std::fprintf(stderr, "orvane: PKEXEC_UID names no user: the file browser is not started\n");
        return {false, std::nullopt};
    }
    if (*uid == 0)
        return {};
    std::optional<UserAccount> user = lookUpUser(*uid);
    if (!user)
        std::fprintf(stderr, "orvane: there is no user %u: the file browser is not started\n",
                     unsigned(*uid));
    return {user.has_value(), std::move(user)};
}

} // namespace

void DesktopShell::openFolder(QWidget*, const QString& folder) {
    QProcess process;
    QString program = qEnvironmentVariable("ORVANE_FILE_BROWSER");
    if (program.isEmpty())
        program = QStringLiteral("xdg-open");
    process.setProgram(program);
    const BrowserUser asWhom = browserUser();
    if (!asWhom.start)
        return;
    if (const std::optional<UserAccount>& user = asWhom.user) {
        process.setProcessEnvironment(userEnvironment(*user));
        const QFileInfo home(QFile::decodeName(user->home));
        process.setWorkingDirectory(home.isDir() ? home.filePath() : QStringLiteral("/"));
        // setpriv (util-linux, on every Debian system) takes on the user's
        // groups, group and uid, in that order and for good, then runs the
        // browser; it opens no login session as runuser would. The folder
        // follows as one argument, passed as it is.
        process.setArguments({QStringLiteral("--reuid=%1").arg(user->uid),
                              QStringLiteral("--regid=%1").arg(user->gid),
                              QStringLiteral("--init-groups"), QStringLiteral("--"), program,
                              folder});
        process.setProgram(QStringLiteral("/usr/bin/setpriv"));
        process.startDetached();
        return;
    }
    // The folder is one argument, passed as it is: no shell reads it.
    process.setArguments({folder});
    process.startDetached();
}

} // namespace orvane
