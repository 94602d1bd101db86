#pragma once

#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/embedded/EmbeddedNetApi.h"
#include "platform/netapi/WideText.h"
#include "support/ScriptedDialogs.h"
#include "ui/Platform.h"

#include <QByteArray>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <optional>

namespace orvane::test {

// A machine of the test's own in a temporary folder: the embedded service,
// its registry and dialogs that a script answers.
struct TestMachine {
    QTemporaryDir dir;
    QString folder = dir.path() + QStringLiteral("/machine");
    embedded::EmbeddedNetApi net{folder};
    MachineRegistry registry{folder};
    ScriptedDialogs dialogs;
    // The real shell; tests point ORVANE_FILE_BROWSER at a recorder.
    DesktopShell shell;

    Platform platform() { return Platform{net, registry, dialogs, shell}; }

    // A path inside the temporary folder.
    QString path(const QString& name) const { return dir.path() + u'/' + name; }

    // Creates an account through the service, as an administrator would.
    NET_API_STATUS addUser(const QString& name,
                           const QString& password = QStringLiteral("Pa55word!"),
                           const QString& comment = QString());
    NET_API_STATUS setHome(const QString& name, const QString& home);
    NET_API_STATUS join(const QString& group, const QString& name);
    NET_API_STATUS share(const QString& name, const QString& path);
    // The account's local groups as the service reports them; nothing when
    // the account does not exist.
    std::optional<QStringList> groupsOf(const QString& name);
    // The machine's password complexity rule, as an administrator sets it.
    void setPasswordComplexity(bool on);
    // How many accounts the machine holds, and its database's own check.
    int accountCount();
    // An account the service itself would refuse (such as ".."), written
    // straight into the machine's tables as another tool could.
    void addRawAccount(const QString& name);
    QString integrityCheck();
};

// Sets or clears an environment variable for a scope and restores it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<QString> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

} // namespace orvane::test
