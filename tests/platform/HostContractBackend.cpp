// uses-programs: groupadd
#include "ContractBackend.h"
#include "NetApiCalls.h"

#include "platform/Process.h"
#include "platform/host/HostNetApi.h"
#include "platform/netapi/WideText.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <grp.h>
#include <unistd.h>

namespace orvane::test {

namespace {

// Which Samba the run has (ORVANE_TEST_HOST_SAMBA, set by the test's entry):
// "absent" as on a machine without Samba's file server, or "smbd", Samba as
// installed with a server of the run's own (tests/support/with-host-smbd).
QString sambaConfiguration() {
    return qEnvironmentVariable("ORVANE_TEST_HOST_SAMBA");
}

host::HostPaths pathsFor(const QString& configuration) {
    host::HostPaths paths;
    if (configuration == u"absent")
        paths.smbd = QStringLiteral("/nonexistent/sbin/smbd");
    return paths;
}

// This machine over the private /etc of the run: what a test adds is deleted
// after it, so each test starts from the accounts and shares there were.
class HostMachine final : public ContractMachine {
public:
    explicit HostMachine(const QString& configuration) : m_api(pathsFor(configuration)) {
        for (const User& user : listUsers(m_api, QString()).users)
            m_accounts.insert(user.name);
        std::vector<Share> list;
        shares(m_api, QString(), list);
        for (const Share& share : list)
            m_shares.insert(share.name.toLower());
    }
    ~HostMachine() override {
        std::vector<Share> list;
        shares(m_api, QString(), list);
        for (const Share& share : list)
            if (!m_shares.contains(share.name.toLower()))
                delShare(m_api, QString(), share.name);
        for (const User& user : listUsers(m_api, QString()).users)
            if (!m_accounts.contains(user.name))
                m_api.NetUserDel(nullptr, wideText(user.name));
    }
    NetApi& api() override { return m_api; }
    // useradd's: HOME in /etc/default/useradd, else /home.
    QString defaultHome(const QString& account) const override {
        QString base = QStringLiteral("/home");
        QFile defaults(QStringLiteral("/etc/default/useradd"));
        if (defaults.open(QIODevice::ReadOnly))
            for (const QByteArray& line : defaults.readAll().split('\n'))
                if (line.startsWith("HOME=") && line.size() > 5)
                    base = QString::fromUtf8(line.mid(5).trimmed());
        return base + u'/' + account;
    }
    QString groupName(const QString& windowsName) const override {
        for (const host::GroupAlias& alias : host::defaultGroupAliases())
            if (alias.windowsName == windowsName)
                return QString::fromUtf8(alias.unixGroup);
        return windowsName;
    }
    QString serverName() const override { return QStringLiteral("\\\\") + m_api.machineName(); }
    QString makeFolder(const QString& leaf) override {
        const QString path = m_temp.filePath(leaf);
        QDir().mkpath(path);
        return path;
    }

private:
    QTemporaryDir m_temp;
    host::HostNetApi m_api;
    QSet<QString> m_accounts, m_shares;
};

// A site with the groups the default table names for Guests and Remote
// Desktop Users (a Debian machine has neither until xrdp's group check or
// its administrator adds them).
void addSiteGroups() {
    for (const char* group : {"guests", "tsusers"})
        if (::getgrnam(group) == nullptr)
            runProcess(QStringLiteral("/usr/sbin/groupadd"), {QString::fromLatin1(group)});
}

class HostBackend final : public ContractBackend {
public:
    std::string name() const override { return "host_" + sambaConfiguration().toStdString(); }
    std::string unavailable() const override {
        if (qEnvironmentVariable("ORVANE_TEST_PRIVATE_ETC") != u"1" || ::geteuid() != 0)
            return "needs root over a private /etc (tests/support/with-private-etc)";
        const QString configuration = sambaConfiguration();
        if (configuration != u"absent" && configuration != u"smbd")
            return "ORVANE_TEST_HOST_SAMBA must say absent or smbd";
        if (configuration == u"smbd" && qEnvironmentVariable("ORVANE_TEST_HOST_SMBD").isEmpty())
            return "needs a smbd of the run's own (tests/support/with-host-smbd)";
        return {};
    }
    bool servesShares() const override { return sambaConfiguration() == u"smbd"; }
    std::unique_ptr<ContractMachine> freshMachine() override {
        addSiteGroups();
        return std::make_unique<HostMachine>(sambaConfiguration());
    }
};

const RegisterContractBackend registration(std::make_shared<HostBackend>());

} // namespace

} // namespace orvane::test
