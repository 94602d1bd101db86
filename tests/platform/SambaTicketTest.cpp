// Logging on with a Kerberos ticket and no password, against the domain
// controller: the credentials a site that uses kinit gives the program.
// uses-programs: mount umount kinit

#include "NetApiCalls.h"

#include "platform/netapi/Backend.h"
#include "platform/samba/Directory.h"
#include "platform/samba/SambaNetApi.h"
#include "support/SambaTestServer.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

namespace orvane::test {
namespace {

// An environment variable set for a scope.
class Variable {
public:
    Variable(const char* name, const QByteArray& value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name)) {
        value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }
    ~Variable() { m_had ? qputenv(m_name, m_old) : qunsetenv(m_name); }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

bool run(const QString& program, const QStringList& arguments, const QByteArray& input = {}) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// A file bound over another for the test's length: the tests of a run share
// one mount namespace, and a later one must find the system's file again.
class BoundOver {
public:
    BoundOver(const QString& file, const QString& target) : m_target(target) {
        m_bound = run("mount", {"-n", "--bind", file, target});
    }
    ~BoundOver() {
        if (m_bound)
            run("umount", {"-n", m_target});
    }
    bool bound() const { return m_bound; }

private:
    QString m_target;
    bool m_bound = false;
};

TEST(SambaTicket, ATicketAloneLogsOnAndNoPasswordIsAsked) {
    if (const std::string why = SambaTestServer::unavailable(); !why.empty())
        GTEST_SKIP() << why;
    if (SambaTestServer::kind() != u"dc")
        GTEST_SKIP() << "a standalone server has no Kerberos";
    const QString realm = qEnvironmentVariable("ORVANE_TEST_SAMBA_REALM");
    const QString host = QStringLiteral("orvanedc.") + realm.toLower();
    QTemporaryDir dir;

    // Kerberos needs the server by a name its principal carries: this test's
    // namespace gets one for the loopback address, and the realm its KDC.
    QFile hosts(dir.filePath("hosts"));
    QFile system(QStringLiteral("/etc/hosts"));
    ASSERT_TRUE(system.open(QIODevice::ReadOnly) && hosts.open(QIODevice::WriteOnly));
    hosts.write(system.readAll() + "\n127.0.0.1 " + host.toUtf8() + "\n");
    hosts.close();
    const BoundOver names(hosts.fileName(), QStringLiteral("/etc/hosts"));
    ASSERT_TRUE(names.bound());
    QFile config(dir.filePath("krb5.conf"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("[libdefaults]\n default_realm = %1\n dns_lookup_kdc = false\n"
                                "[realms]\n %1 = {\n  kdc = 127.0.0.1\n }\n"
                                "[domain_realm]\n .%2 = %1\n")
                     .arg(realm, realm.toLower())
                     .toUtf8());
    config.close();

    const Variable krb5Config("KRB5_CONFIG", config.fileName().toUtf8());
    const Variable cache("KRB5CCNAME", "FILE:" + dir.filePath("ticket").toUtf8());
    ASSERT_TRUE(run("kinit", {SambaTestServer::user() + u'@' + realm},
                    SambaTestServer::password().toUtf8() + "\n"));

    const Variable user("USER", SambaTestServer::user().toUtf8());
    const Variable password("PASSWD", QByteArray());
    const Variable server("ORVANE_SAMBA_SERVER", host.toUtf8());
    std::unique_ptr<NetApi> api = samba::createSambaNetApi();
    EXPECT_TRUE(findUser(listUsers(*api, QString()).users, SambaTestServer::user()));
    // The directory takes the same ticket.
    std::string why;
    const samba::lib::Credentials ticket{SambaTestServer::user().toStdString(), {}, true};
    std::unique_ptr<samba::Directory> directory =
        samba::Directory::connect(host.toStdString(), ticket, why);
    ASSERT_TRUE(directory) << why;
    samba::DirectoryContents contents;
    EXPECT_TRUE(directory->read(contents, why)) << why;
    EXPECT_FALSE(contents.users.empty());
    directory.reset();
    EXPECT_EQ(addUser(*api, "ctrTicket"), NERR_Success);
    EXPECT_EQ(api->NetUserDel(nullptr, u"ctrTicket"), NERR_Success);
    api.reset();

    // A cache without a ticket: refused at start-up, with no password to
    // fall back on.
    QFile empty(dir.filePath("empty"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    const Variable noTicket("KRB5CCNAME", "FILE:" + empty.fileName().toUtf8());
    EXPECT_THROW(samba::createSambaNetApi(), BackendError);
}

} // namespace
} // namespace orvane::test
